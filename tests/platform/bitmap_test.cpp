#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include "platform/exceptions.h"

namespace nimbrel {
namespace {

TBitmap Numbered(int32_t w, int32_t h) {
    TBitmap b;
    b.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, y * 100 + x);
    return b;
}

TEST(Bitmap, PixelsKeepTheColourValueAndTheMemoryIsADibRow) {
    TBitmap b;
    b.SetSize(3, 2);
    b.SetPixel(2, 1, 0x00FF8001);  // blue FF, green 80, red 01
    EXPECT_EQ(b.GetPixel(2, 1), 0x00FF8001);
    EXPECT_EQ(b.Scanline(1)[2], 0x000180FFu);  // B G R in memory order, top-down
    b.SetPixel(3, 0, 5);                       // outside: ignored
    EXPECT_EQ(b.GetPixel(3, 0), -1);
    EXPECT_EQ(b.GetPixel(-1, 0), -1);
    b.SetPixel(0, 0, 0x01000005);  // the top byte is not kept by a 32-bit bitmap
    EXPECT_EQ(b.GetPixel(0, 0), 5);
}

TEST(Bitmap, ResizeKeepsTheOverlapAndRefusesHugeSizes) {
    TBitmap b = Numbered(4, 4);
    b.SetSize(2, 6);
    EXPECT_EQ(b.GetPixel(1, 3), 301);
    EXPECT_EQ(b.GetPixel(1, 5), 0);
    EXPECT_THROW(b.SetSize(70000, 70000), EOutOfResources);
    EXPECT_THROW(b.SetSize(-1, 1), EOutOfResources);
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Height(), 6);
}

TEST(Bitmap, FillRectIsHalfOpenAndClipped) {
    TBitmap b = Numbered(5, 5);
    b.FillRect(TRect{3, 3, 20, 20}, 7);
    b.FillRect(TRect{-5, -5, 1, 1}, 9);
    b.FillRect(TRect{2, 2, 2, 4}, 8);  // empty
    EXPECT_EQ(b.GetPixel(0, 0), 9);
    EXPECT_EQ(b.GetPixel(1, 0), 1);
    EXPECT_EQ(b.GetPixel(2, 2), 202);
    EXPECT_EQ(b.GetPixel(3, 3), 7);
    EXPECT_EQ(b.GetPixel(4, 4), 7);
    EXPECT_EQ(b.GetPixel(2, 3), 302);
}

TEST(Bitmap, DrawAndCopyClipOnBothSides) {
    const TBitmap src = Numbered(4, 3);
    TBitmap dst;
    dst.SetSize(3, 3);
    dst.FillRect(TRect{0, 0, 3, 3}, 999);
    dst.Draw(-2, 1, src);  // negative position shows the right part of the source
    EXPECT_EQ(dst.GetPixel(0, 1), 2);
    EXPECT_EQ(dst.GetPixel(1, 2), 103);
    EXPECT_EQ(dst.GetPixel(2, 1), 999);
    EXPECT_EQ(dst.GetPixel(0, 0), 999);
}

TEST(Bitmap, OverlappingCopyWithinOneBitmapDoublesAStrip) {
    TBitmap b = Numbered(8, 4);
    // copy rows 0..1 down by one row: overlapping, must read the old rows
    b.CopyRect(0, 1, b, TRect{0, 0, 8, 2});
    EXPECT_EQ(b.GetPixel(3, 1), 3);
    EXPECT_EQ(b.GetPixel(3, 2), 103);
    // copy columns 0..3 right by one: overlapping the other way
    TBitmap c = Numbered(8, 1);
    c.CopyRect(1, 0, c, TRect{0, 0, 4, 1});
    EXPECT_EQ(c.GetPixel(1, 0), 0);
    EXPECT_EQ(c.GetPixel(4, 0), 3);
    EXPECT_EQ(c.GetPixel(5, 0), 5);
}

}  // namespace
}  // namespace nimbrel
