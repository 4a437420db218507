// The coordinates of views too deep for doubles: how many bits their centre
// keeps, and the views that the explorer reaches from them by its moves,
// every digit kept at any depth.
//
// A view keeps its centre (and its Julia constant) to 64 bits below the
// first bit of its height, whatever picture it is drawn at: far finer than
// any pixel of a picture, and the same number of bits wherever a view comes
// from (a scene line, a move), so that a line written from a view reads back
// as that very view.
#pragma once

#include <cstdint>

#include "values/big_real.h"
#include "values/float_exp.h"
#include "values/view.h"

namespace nimbrel {

// The finest the scene lines and the explorer keep a centre: about 19,700
// decimal digits, a height of about 1e-19700, the most the engine draws.
inline constexpr int32_t kMaxCoordinateBits = 1 << 16;

// The bits of the centre of a view of height Width (positive) whose
// coordinates are at most 2^MagnitudeLog2 in size: 64 below the height's
// first bit, at least TBigReal::kMinBits, at most kMaxCoordinateBits.
int32_t CoordinateBits(const TFloatExp& Width, int64_t MagnitudeLog2);
// The same for a view: its exact height, and the size of its centre and,
// for a Julia view, its constant.
int32_t CoordinateBits(const TView& View);
// The exact height of a view: its Deep's, or its double's.
TFloatExp ExactWidth(const TView& View);

// Whether a view of this height, centre and constant keeps every digit
// (carries Deep): when its height is below 2^-32 of its largest coordinate
// (or of 1), where a picture of some thousand pixels would run out of
// the doubles' digits.
bool WantsDigits(const TFloatExp& Width, int64_t MagnitudeLog2);

// The largest binary exponent among a view's centre and, for a Julia view,
// its constant (at least 0).
int64_t MagnitudeLog2(const TView& View);

// View with its centre moved by (OffsetRe, OffsetIm) in the plane and the
// height Width, with every digit (a deep view at CoordinateBits), its other
// fields as they were. The constant keeps its value at the new precision.
TView MovedView(const TView& View, const TFloatExp& OffsetRe, const TFloatExp& OffsetIm, const TFloatExp& Width);

// The pixel step of a view of height Width on a picture Height pixels high.
inline TFloatExp PixelStep(const TFloatExp& Width, int32_t Height) {
    return Width * (1.0 / static_cast<double>(Height));
}

}  // namespace nimbrel
