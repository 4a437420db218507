// The frames of a journey, composed from exact pictures of one centre: a
// frame between two pictures one halving apart shows the outer picture (twice
// the inner's width) enlarged to the frame, and the inner one reduced over its
// middle, both sampled bilinearly with weights in 64ths. Every frame pixel is
// thus a blend of pixels the engine computed for a view of the journey; a
// frame of exactly the inner picture's width is that picture, pixel for pixel.
//
// The frame, the inner and the outer picture have one size. The rows are
// blended vertically into a row buffer first (contiguous, in vector
// registers), then sampled horizontally with the columns' places and weights
// worked out once per frame; AVX2 where the processor has it (four frame
// pixels and their right neighbours picked from eight loaded source pixels
// by one permutation, the source being at most twice as wide), SSE2
// elsewhere (AVX-512 levels take the AVX2 code: on a processor with
// AVX-512 the frame waits on memory, not on the instructions), and every
// level gives the same pixels as the scalar code.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/batch_kernels.h"
#include "platform/bitmap.h"

namespace nimbrel {

class TJourneyComposer {
public:
    explicit TJourneyComposer(TSimdLevel Level = DefaultSimdLevel()) : level_(Level) {}

    // Ratio is the frame's width over the inner picture's, 1 to 2. At 1 the
    // frame is Inner; otherwise Outer must be given. Frame takes the pictures'
    // size. ERangeError for pictures of different sizes or a ratio outside.
    void Compose(TBitmap& Frame, const TBitmap& Inner, const TBitmap* Outer, double Ratio);

private:
    // Where the frame's columns fall in a picture sampled at Step source
    // pixels per frame pixel: per column the left source column, and the
    // weights (64 - f, f) for each channel's byte pair. The same for every row.
    // For the AVX2 code, per eight columns from a multiple of 8: the left
    // source column of columns 0 and 4, and per four columns the offsets of
    // their left and right source columns from the first's (Picks, 8 bytes),
    // with the weights in the order the byte interleave leaves the pixels
    // (Paired: 0 1 4 5 2 3 6 7). Pickable is false when some four columns
    // reach beyond eight source pixels.
    struct TColumns {
        std::vector<int32_t> Left;
        std::vector<uint64_t> Weights;
        std::vector<uint64_t> Picks;
        std::vector<uint64_t> Paired;
        bool Pickable = false;
    };
    static void Place(TColumns& Columns, int32_t Width, double Step);
    // One picture sampled at Step into the frame's columns [X0, X1) of row Y.
    void SampleRow(uint32_t* Out, const TBitmap& Source, const TColumns& Columns, double Step, int32_t Y, int32_t X0,
                   int32_t X1);

    [[maybe_unused]] TSimdLevel level_;  // unused where no vector path is built
    std::vector<uint32_t> row_;  // the vertical blend of two source rows, and room for a vector load beyond
    TColumns inner_, outer_;
};

}  // namespace nimbrel
