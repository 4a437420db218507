#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/exceptions.h"

namespace nimbrel {

void TBitmap::SetSize(int32_t width, int32_t height) {
    if (width == width_ && height == height_) return;
    if (width < 0 || height < 0 || int64_t{width} * height > kMaxPixels) throw EOutOfResources();
    std::vector<uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
    const int32_t keepWidth = std::min(width, width_);
    const int32_t keepHeight = std::min(height, height_);
    for (int32_t y = 0; y < keepHeight; ++y)
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width, Scanline(y),
                    static_cast<std::size_t>(keepWidth) * sizeof(uint32_t));
    pixels_ = std::move(pixels);
    width_ = width;
    height_ = height;
}

void TBitmap::FillRect(const TRect& rect, TColor color) {
    const int32_t left = std::max(rect.Left, 0);
    const int32_t top = std::max(rect.Top, 0);
    const int32_t right = std::min(rect.Right, width_);
    const int32_t bottom = std::min(rect.Bottom, height_);
    if (left >= right || top >= bottom) return;
    const uint32_t pixel = ToPixel(color);
    for (int32_t y = top; y < bottom; ++y) std::fill(Scanline(y) + left, Scanline(y) + right, pixel);
}

void TBitmap::CopyRect(int32_t x, int32_t y, const TBitmap& from, const TRect& source) {
    // Clip the source to its bitmap, moving the target with it; work in 64 bits
    // so that no coordinate sum can overflow.
    int64_t srcLeft = source.Left, srcTop = source.Top, srcRight = source.Right, srcBottom = source.Bottom;
    int64_t dstX = x, dstY = y;
    if (srcLeft < 0) dstX -= srcLeft, srcLeft = 0;
    if (srcTop < 0) dstY -= srcTop, srcTop = 0;
    srcRight = std::min<int64_t>(srcRight, from.width_);
    srcBottom = std::min<int64_t>(srcBottom, from.height_);
    // Then clip the target to this bitmap, moving the source with it.
    if (dstX < 0) srcLeft -= dstX, dstX = 0;
    if (dstY < 0) srcTop -= dstY, dstY = 0;
    srcRight = std::min<int64_t>(srcRight, srcLeft + (width_ - dstX));
    srcBottom = std::min<int64_t>(srcBottom, srcTop + (height_ - dstY));
    if (srcLeft >= srcRight || srcTop >= srcBottom) return;

    const auto count = static_cast<std::size_t>(srcRight - srcLeft);
    const auto rows = static_cast<int32_t>(srcBottom - srcTop);
    // A copy within one bitmap may overlap: take the rows in the safe order.
    const bool upward = &from == this && dstY > srcTop;
    for (int32_t i = 0; i < rows; ++i) {
        const int32_t row = upward ? rows - 1 - i : i;
        const uint32_t* src = from.Scanline(static_cast<int32_t>(srcTop) + row) + srcLeft;
        uint32_t* dst = Scanline(static_cast<int32_t>(dstY) + row) + dstX;
        std::memmove(dst, src, count * sizeof(uint32_t));
    }
}

}  // namespace nimbrel
