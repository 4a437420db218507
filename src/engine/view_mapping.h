// The mapping between the pixels of a picture and the points of the plane,
// the one every draw method uses and everything else asks for.
//
// The view keeps the shape of the picture: ViewWidth is its height in the
// plane, Width x ViewWidth / Height its extent along the real axis. P is the
// top-left corner, Q the corner one pixel step beyond the bottom-right pixel,
// and pixel (x, y) stands for the point P + (x dx, y dy); dy is negative, as
// rows grow downwards while the imaginary part falls. P itself lies on the
// top-left pixel, not on its centre.
#pragma once

#include <cstdint>

#include "values/view.h"

namespace nimbrel {

struct TViewMapping {
    TComplexPoint P;
    TComplexPoint Q;
    double dx = 0;
    double dy = 0;
    int32_t Width = 0;
    int32_t Height = 0;

    // The mapping of View on a picture of Width x Height pixels, both at
    // least 1.
    static TViewMapping Of(const TView& View, int32_t Width, int32_t Height);

    // The plane point of pixel (x, y), exactly as the draw methods take it.
    TComplexPoint Point(int32_t x, int32_t y) const { return {x * dx + P.Re, y * dy + P.Im}; }
    // The same mapping measured from the view's centre, for a position in
    // pixels that may fall between them: the point at (X, Y) is the centre
    // plus this offset. At the middle of the picture it is exactly 0, so a
    // view moved by offsets keeps every digit of a centre that stays put.
    TComplexPoint Offset(double X, double Y) const {
        return {(X - Width / 2.0) * dx, (Y - Height / 2.0) * dy};
    }
};

// The deep path: where doubles can no longer separate the pixels of a view.
// The double path computes pixel (x, y) as x dx + P.Re, y dy + P.Im; a
// coordinate of size M is a multiple of its unit in the last place, at most
// M 2^-52. Where the smaller pixel step falls below M 2^-kDeepStepBits
// (M the largest size of a coordinate of the corners P and Q), neighbouring
// pixels lie fewer than 16 such units apart and their coordinates show the
// rounding (steps of 15 and 16 units, then blocks); above it the doubles
// keep at least 4 bits below the step and the picture is today's. A deep
// view whose exact height is below 2^kDeepWidthLog2 (about 1e-289) always
// takes the deep path: its steps and their squares leave the doubles'
// normal range. A view whose mapping is not finite or has no extent (height
// 0) keeps the double path, so every view of doubles is drawn as it always
// was unless its pixels run together (then its doubles are its exact values).
inline constexpr int kDeepStepBits = 48;
inline constexpr int kDeepWidthLog2 = -960;
bool NeedsDeepPath(const TView& View, int32_t Width, int32_t Height);

}  // namespace nimbrel
