// TView: which part of which set a picture shows, whatever its size: the
// kind, the point at the middle of the picture, the height of the view in
// the plane, the Julia constant and the power. The engine holds one, the
// result cache remembers the one it was computed for, the explorer steps
// through them and the scene files store them.
#pragma once

#include <cstdint>

#include "values/fractal_types.h"

namespace nimbrel {

struct TView {
    TFractalKind Kind = fkMandelbrot;
    // The point shown at the middle of the picture.
    TComplexPoint Center;
    // The extent of the view along the imaginary (vertical) axis; the picture's
    // shape gives the horizontal one. Never negative in the engine.
    double ViewWidth = 0;
    // The constant c of z -> z^Power + c; a view of the Mandelbrot set has
    // none, whatever this holds.
    TComplexPoint JuliaConstant;
    int32_t Power = 2;
};

// The same view: the same kind, centre, width and power, and the same
// constant unless both show the Mandelbrot set. Doubles compare as numbers
// (0 and -0 are one, a NaN is no view).
bool operator==(const TView& A, const TView& B);

}  // namespace nimbrel
