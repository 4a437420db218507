#include "engine/picture_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/application.h"
#include "platform/bitmap.h"

namespace nimbrel {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20, kGiB = uint64_t{1} << 30;

TEST(PictureBudget, IsHalfTheMemoryWithinTheFloorAndTheCeiling) {
    const struct {
        uint64_t Memory, Budget;
    } cases[] = {
        {0, 512 * kMiB},  // unknown: taken as 1 GiB
        {16 * kMiB, 64 * kMiB},
        {128 * kMiB, 64 * kMiB},
        {8 * kGiB, 4 * kGiB},
        {23 * kGiB, 23 * kGiB / 2},
        {32 * kGiB, 16 * kGiB},
        {std::numeric_limits<uint64_t>::max(), 16 * kGiB},
    };
    for (const auto& c : cases) EXPECT_EQ(TPictureBudget::ForMemory(c.Memory).Bytes(), c.Budget) << c.Memory;
    const TScopedPhysicalMemory memory(6 * kGiB);
    EXPECT_EQ(TPictureBudget::OfMachine().Bytes(), 3 * kGiB);
}

// The pictures the review found: a stored 100000 x 100000 and a shaded
// 30000 x 30000 (a 3.6 GB bitmap and a 21.6 GB result cache) on a machine of
// 23 GiB; sizes that overflow 32 and 64 bits when multiplied.
TEST(PictureBudget, RefusesWhatTheMachineCannotHoldAndNeverOverflows) {
    const TPictureBudget budget = TPictureBudget::ForMemory(23 * kGiB);
    const int64_t huge = std::numeric_limits<int64_t>::max();
    const struct {
        int64_t W, H;
        bool Shaded, Fits;
    } cases[] = {
        {3840, 2160, true, true},       {16000, 16000, true, true},     {30000, 30000, false, true},
        {30000, 30000, true, false},    {100000, 100000, false, false}, {32768, 32768, false, true},
        {32768, 32769, false, false},   {int64_t{1} << 30, 1, false, false},
        {huge, huge, false, false},     {huge, 1, true, false},         {1, huge, false, false},
        {0, 10, false, false},          {10, -1, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(budget.Fits(c.W, c.H, c.Shaded), c.Fits) << c.W << "x" << c.H << (c.Shaded ? " shaded" : "");
        // Extra bytes beside the picture, up to the whole budget.
        EXPECT_FALSE(budget.Fits(c.W, c.H, c.Shaded, budget.Bytes())) << c.W << "x" << c.H;
        EXPECT_FALSE(budget.Fits(c.W, c.H, c.Shaded, std::numeric_limits<uint64_t>::max()));
    }
    EXPECT_EQ(TPictureBudget::Need(huge, huge, true), std::numeric_limits<uint64_t>::max());
}

// The largest picture of a shape, against every long side tried in turn.
TEST(PictureBudget, TheLargestPictureOfAShapeIsTheLongestThatFits) {
    const struct {
        int64_t W, H;
        uint64_t Budget;
        bool Shaded;
    } cases[] = {
        {640, 480, 2 * kMiB, false}, {640, 480, 2 * kMiB, true},   {480, 640, 3 * kMiB, true},
        {5000, 7, 1 * kMiB, false},  {7, 5000, 1 * kMiB, true},    {333, 333, 1 * kMiB, true},
        {300, 200, 64 * kMiB, true}, {100000, 3, 2 * kMiB, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " in " << c.Budget << (c.Shaded ? " shaded" : ""));
        const TPictureBudget budget(c.Budget);
        const TPictureSize largest = budget.Largest(c.W, c.H, c.Shaded);
        const bool wide = c.W >= c.H;
        const int64_t L = wide ? c.W : c.H, S = wide ? c.H : c.W;
        int64_t expected = 0;
        for (int64_t l = 1; l <= L; ++l) {
            const int64_t s = l == L ? S : std::max<int64_t>(1, (S * l * 2 + L) / (2 * L));
            if (wide ? budget.Fits(l, s, c.Shaded) : budget.Fits(s, l, c.Shaded)) expected = l;
        }
        EXPECT_EQ(wide ? largest.Width : largest.Height, expected);
        EXPECT_TRUE(budget.Fits(largest.Width, largest.Height, c.Shaded));
        if (expected == L) {
            EXPECT_EQ(largest, (TPictureSize{static_cast<int32_t>(c.W), static_cast<int32_t>(c.H)}));
        }
    }
    // Nothing fits: no size at all.
    EXPECT_EQ(TPictureBudget(1000).Largest(640, 480, false), TPictureSize{});
    EXPECT_EQ(TPictureBudget(kGiB).Largest(0, 480, false), TPictureSize{});
    // Sides beyond any bitmap keep their shape.
    const TPictureSize wide = TPictureBudget(16 * kGiB).Largest(std::numeric_limits<int64_t>::max(),
                                                                 std::numeric_limits<int64_t>::max() / 2, false);
    EXPECT_LE(std::abs(wide.Width - 2 * wide.Height), 1);
    EXPECT_LE(int64_t{wide.Width} * wide.Height, TBitmap::kMaxPixels);
}

}  // namespace
}  // namespace nimbrel
