// The pixels of a bitmap as colour values, row by row, for comparing pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"

namespace nimbrel::testing {

inline std::vector<int32_t> Pixels(const TBitmap& bitmap) {
    std::vector<int32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()));
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) pixels.push_back(bitmap.GetPixel(x, y));
    return pixels;
}

}  // namespace nimbrel::testing
