// A bitmap of random pixels, the same for the same seed: pictures for the
// composition of journey frames that no smooth shortcut could pass.
#pragma once

#include <cstdint>
#include <random>

#include "platform/bitmap.h"

namespace nimbrel::testing {

inline TBitmap Noise(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 random(seed);
    TBitmap bitmap;
    bitmap.SetSize(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) bitmap.Scanline(y)[x] = random();
    return bitmap;
}

}  // namespace nimbrel::testing
