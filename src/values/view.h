// TView: which part of which set a picture shows, whatever its size: the
// kind, the point at the middle of the picture, the height of the view in
// the plane, the Julia constant and the power. The engine holds one, the
// result cache remembers the one it was computed for, the explorer steps
// through them and the scene files store them.
//
// A deep view carries every digit besides: Deep holds the centre and the
// Julia constant in high precision and the height with an exponent of any
// size, and the double fields hold their nearest doubles. A view without
// Deep is exactly its doubles.
#pragma once

#include <cstdint>
#include <memory>

#include "values/big_real.h"
#include "values/float_exp.h"
#include "values/fractal_types.h"

namespace nimbrel {

// The exact values of a deep view, shared (never changed once made) by the
// copies of the view.
struct TDeepView {
    TBigReal CenterRe;
    TBigReal CenterIm;
    // Unused for the Mandelbrot set.
    TBigReal JuliaRe;
    TBigReal JuliaIm;
    // The height of the view in the plane, as ViewWidth; never negative.
    TFloatExp Width;
};

struct TView {
    TFractalKind Kind = fkMandelbrot;
    // The point shown at the middle of the picture.
    TComplexPoint Center;
    // The extent of the view along the imaginary (vertical) axis; the picture's
    // shape gives the horizontal one. Never negative in the engine. For a
    // deep view the nearest double, and the smallest positive double
    // (2^-1074) where a positive height would round to 0, so that a deep
    // view's ViewWidth is positive whenever its height is.
    double ViewWidth = 0;
    // The constant c of z -> z^Power + c; a view of the Mandelbrot set has
    // none, whatever this holds.
    TComplexPoint JuliaConstant;
    int32_t Power = 2;
    // Every digit, or none when the doubles are the whole view.
    std::shared_ptr<const TDeepView> Deep;
};

// The same view: the same kind, centre, width and power, and the same
// constant unless both show the Mandelbrot set. Doubles compare as numbers
// (0 and -0 are one, a NaN is no view); where either view is deep, the exact
// values compare (a deep view whose values are doubles equals the view of
// those doubles).
bool operator==(const TView& A, const TView& B);

// A deep view from its exact parts, its doubles the nearest ones. The Julia
// constant is kept whatever the kind. Width must not be negative.
TView MakeDeepView(TFractalKind Kind, const TBigReal& CenterRe, const TBigReal& CenterIm, const TFloatExp& Width,
                   const TBigReal& JuliaRe, const TBigReal& JuliaIm, int32_t Power);

// The exact values of any view: its Deep, or its doubles at Bits.
TDeepView ExactParts(const TView& View, int32_t Bits = TBigReal::kMinBits);

}  // namespace nimbrel
