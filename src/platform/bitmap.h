// TBitmap: the off-screen picture. A plain in-memory buffer of 32-bit pixels,
// rows top-down, each pixel laid out as a 32-bit DIB holds it (blue in the low
// byte), so that the window copy on Windows is a single blit. Colour values at
// the interface are the program's colour values (red in the low byte).
//
// The canvas operations are methods of the bitmap itself: set and read one
// pixel, fill a rectangle, copy a rectangle, draw a bitmap at a point.
// Rectangles are half-open (right and bottom excluded) and every operation is
// clipped to the bitmap, as a drawing surface clips.
#pragma once

#include <cstdint>
#include <vector>

namespace nimbrel {

// A colour value: red in bits 0-7, green 8-15, blue 16-23.
using TColor = int32_t;

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

class TBitmap {
public:
    // The largest bitmap this class allocates: 2^30 pixels of 4 bytes, 4 GiB.
    // It bounds the bitmap alone; what a picture may take on a machine (its
    // bitmap, the result cache of the shaded modes, the row buffers) is the
    // picture budget of engine/picture_budget.h, which keeps every picture
    // within this bound and most far below it.
    static constexpr int64_t kMaxPixels = int64_t{1} << 30;

    TBitmap() = default;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // Resizing keeps the pixels of the overlapping area; new pixels are 0.
    // A negative size or one above kMaxPixels raises EOutOfResources and
    // leaves the bitmap as it was.
    void SetWidth(int32_t width) { SetSize(width, height_); }
    void SetHeight(int32_t height) { SetSize(width_, height); }
    void SetSize(int32_t width, int32_t height);

    // Outside the bitmap a write does nothing and a read gives -1, as a
    // drawing surface answers for a point it does not hold.
    void SetPixel(int32_t x, int32_t y, TColor color) {
        if (Contains(x, y)) pixels_[Index(x, y)] = ToPixel(color);
    }
    TColor GetPixel(int32_t x, int32_t y) const {
        return Contains(x, y) ? FromPixel(pixels_[Index(x, y)]) : -1;
    }
    bool Contains(int32_t x, int32_t y) const {
        return x >= 0 && y >= 0 && x < width_ && y < height_;
    }

    void FillRect(const TRect& rect, TColor color);
    // Copies the rectangle `source` of `from` (which may be this bitmap) so that
    // its top-left corner lands on (x, y); clipped to both bitmaps.
    void CopyRect(int32_t x, int32_t y, const TBitmap& from, const TRect& source);
    // Draws the whole of `from` with its top-left pixel at (x, y).
    void Draw(int32_t x, int32_t y, const TBitmap& from) {
        CopyRect(x, y, from, TRect{0, 0, from.width_, from.height_});
    }

    // Direct access for the draw loops: row y starts at Scanline(y).
    uint32_t* Scanline(int32_t y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const uint32_t* Scanline(int32_t y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * width_;
    }

    static constexpr uint32_t ToPixel(TColor color) {
        const auto c = static_cast<uint32_t>(color);
        return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
    }
    static constexpr TColor FromPixel(uint32_t pixel) {
        return static_cast<TColor>(((pixel & 0xFFu) << 16) | (pixel & 0xFF00u) | ((pixel >> 16) & 0xFFu));
    }

private:
    std::size_t Index(int32_t x, int32_t y) const {
        return static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x);
    }

    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint32_t> pixels_;
};

}  // namespace nimbrel
