// The memory policy of pictures: what a picture of a size needs, the budget
// it must fit on this machine, and the largest picture of a shape that fits.
// Every program asks it before it sizes a picture: the show and the settings
// dialog, the X11 show, nimbrel-render and the explorer.
//
// A picture of W x H pixels needs
// - its bitmap, 4 bytes a pixel, counted twice: a resize holds the old and
//   the new bitmap for a moment, and the front ends keep a copy (the window
//   system's image, the explorer's preview and texture);
// - in the shaded draw modes 5 to 8 the result cache, (W + 1) x (H + 1)
//   cells of 24 bytes;
// - the row buffers of the draw methods and of the worker pool's
//   participants: at most 8 KiB per column, whatever the mode;
// - and what else the caller names (the reference orbits of deep views).
//
// The budget is half of the physical memory (Application().PhysicalMemory()),
// at least 64 MiB and at most 16 GiB; a machine that does not tell its memory
// gets 1 GiB. No picture has more than TBitmap::kMaxPixels pixels.
//
// Every size is taken as a 64-bit integer and every product is formed in 64
// bits after the pixel count has been checked, so no size can overflow.
#pragma once

#include <cstdint>

namespace nimbrel {

struct TPictureSize {
    int32_t Width = 0;
    int32_t Height = 0;
    bool operator==(const TPictureSize&) const = default;
};

class TPictureBudget {
public:
    static constexpr uint64_t kMiB = uint64_t{1} << 20;
    static constexpr uint64_t kFloor = 64 * kMiB;
    static constexpr uint64_t kCeiling = uint64_t{16} << 30;
    static constexpr uint64_t kUnknownMemory = uint64_t{1} << 30;

    explicit constexpr TPictureBudget(uint64_t Bytes) : bytes_(Bytes) {}
    // The budget of a machine of PhysicalMemory bytes (0: unknown).
    static TPictureBudget ForMemory(uint64_t PhysicalMemory);
    // This machine's.
    static TPictureBudget OfMachine();

    uint64_t Bytes() const { return bytes_; }

    // The bytes a picture of Width x Height needs; UINT64_MAX when a side is
    // below 1 or the pixels exceed TBitmap::kMaxPixels.
    static uint64_t Need(int64_t Width, int64_t Height, bool Shaded);
    // Whether the picture and Extra bytes beside it fit the budget.
    bool Fits(int64_t Width, int64_t Height, bool Shaded, uint64_t Extra = 0) const;
    // The size itself when it fits; else the largest of the same shape that
    // fits: the longer side as long as it can be, the shorter one in
    // proportion (rounded, at least 1). {0, 0} when a side is below 1 or not
    // even one pixel fits.
    TPictureSize Largest(int64_t Width, int64_t Height, bool Shaded, uint64_t Extra = 0) const;

private:
    uint64_t bytes_;
};

}  // namespace nimbrel
