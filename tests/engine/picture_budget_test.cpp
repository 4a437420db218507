#include "engine/picture_budget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/bitmap.h"

namespace nimbrel {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20, kGiB = uint64_t{1} << 30;
constexpr int64_t kHuge = std::numeric_limits<int64_t>::max();

// Half of the memory within the floor and the ceiling; the pictures the
// review found on a machine of 23 GiB (a stored 100000 x 100000, a shaded
// 30000 x 30000); sizes whose products overflow 32 and 64 bits.
TEST(PictureBudget, RefusesWhatTheMachineCannotHoldAndNeverOverflows) {
    EXPECT_EQ(TPictureBudget::ForMemory(0).Bytes(), 512 * kMiB);  // unknown: taken as 1 GiB
    EXPECT_EQ(TPictureBudget::ForMemory(16 * kMiB).Bytes(), 64 * kMiB);
    EXPECT_EQ(TPictureBudget::ForMemory(UINT64_MAX).Bytes(), 16 * kGiB);
    const TPictureBudget budget = TPictureBudget::ForMemory(23 * kGiB);
    const struct {
        int64_t W, H;
        bool Shaded, Fits;
    } cases[] = {
        {16000, 16000, true, true}, {30000, 30000, false, true}, {30000, 30000, true, false},
        {100000, 100000, false, false}, {32768, 32769, false, false}, {int64_t{1} << 30, 1, false, false},
        {kHuge, kHuge, true, false}, {1, kHuge, false, false}, {0, 10, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(budget.Fits(c.W, c.H, c.Shaded), c.Fits) << c.W << "x" << c.H << (c.Shaded ? " shaded" : "");
        EXPECT_FALSE(budget.Fits(c.W, c.H, c.Shaded, UINT64_MAX));  // extra bytes beside the picture
    }
}

// The largest picture of a shape against every long side tried in turn.
TEST(PictureBudget, TheLargestPictureOfAShapeIsTheLongestThatFits) {
    const struct {
        int64_t W, H;
        bool Shaded;
    } shapes[] = {{640, 480, true}, {480, 640, false}, {5000, 7, false}, {7, 5000, true}};
    for (const auto& [W, H, shaded] : shapes) {
        const TPictureBudget budget(2 * kMiB);
        const TPictureSize largest = budget.Largest(W, H, shaded);
        const int64_t L = std::max(W, H), S = std::min(W, H);
        int64_t expected = 0;
        for (int64_t l = 1; l <= L; ++l) {
            const int64_t s = l == L ? S : std::max<int64_t>(1, (S * l * 2 + L) / (2 * L));
            if (W >= H ? budget.Fits(l, s, shaded) : budget.Fits(s, l, shaded)) expected = l;
        }
        EXPECT_EQ(std::max(largest.Width, largest.Height), expected) << W << "x" << H;
        EXPECT_TRUE(budget.Fits(largest.Width, largest.Height, shaded)) << W << "x" << H;
    }
    EXPECT_EQ(TPictureBudget(1000).Largest(640, 480, false), TPictureSize{});
    // Sides beyond any bitmap keep their shape.
    const TPictureSize wide = TPictureBudget(16 * kGiB).Largest(kHuge, kHuge / 2, false);
    EXPECT_LE(std::abs(wide.Width - 2 * wide.Height), 1);
    EXPECT_LE(int64_t{wide.Width} * wide.Height, TBitmap::kMaxPixels);
}

}  // namespace
}  // namespace nimbrel
