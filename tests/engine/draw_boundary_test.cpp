#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/mandel_class.h"
#include "engine/mandel_draw.h"
#include "platform/exceptions.h"
#include "platform/application.h"

namespace nimbrel {
namespace {

constexpr int32_t kSentinel = 0x0BADBAD;

using Calls = std::vector<std::pair<int32_t, int32_t>>;

// A kernel that answers a count chosen by pixel coordinates and records
// every point it is asked for.
struct FieldKernel {
    TComplexPoint P;
    double dx, dy;
    std::function<int32_t(int32_t, int32_t)> field;
    Calls* calls;
    int32_t operator()(const TComplexPoint& p) const {
        const auto x = static_cast<int32_t>(std::lround((p.Re - P.Re) / dx));
        const auto y = static_cast<int32_t>(std::lround((p.Im - P.Im) / dy));
        calls->emplace_back(x, y);
        return field(x, y);
    }
};

FieldKernel Field(TMandel& m, std::function<int32_t(int32_t, int32_t)> field, Calls& calls) {
    const TComplexPoint P = m.GetPointP(), Q = m.GetPointQ();
    return {P, (Q.Re - P.Re) / m.GetWidth(), (Q.Im - P.Im) / m.GetHeight(), std::move(field), &calls};
}

void Prepare(TMandel& m, int32_t w, int32_t h) {
    m.SetWidth(w);
    m.SetHeight(h);
    m.GetBitmap().SetSize(w, h);
    m.GetBitmap().FillRect(TRect{0, 0, w, h}, kSentinel);
}

// A view that lies wholly inside the main cardioid: every count is 0.
void InsideTheSet(TMandel& m) {
    m.SetCenter({-0.1, 0});
    m.SetViewWidth(0.01);
}

bool OnTileLines(int32_t x, int32_t y, const TMandel& m) {
    return x % 20 == 0 || y % 20 == 0 || x == m.GetWidth() - 1 || y == m.GetHeight() - 1;
}

// A count field whose regions are diagonal bands: the extremes over any
// rectangle lie on its border, so a uniform border means a uniform inside and
// the trace must reproduce the plain picture exactly.
int32_t Bands(int32_t x, int32_t y) { return 1 + (x + 2 * y) / 7; }

class BoundarySizes : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(BoundarySizes, CoversEveryPixelWithTheCountOfItsOwnPoint) {
    const auto [w, h] = GetParam();
    TMandel m;
    Prepare(m, w, h);
    Calls calls;
    m.DrawBoundary(Field(m, Bands, calls));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            ASSERT_EQ(m.GetBitmap().GetPixel(x, y), m.CountToColor(Bands(x, y))) << x << "," << y;
    for (const auto& [x, y] : calls) ASSERT_TRUE(x >= 0 && x < w && y >= 0 && y < h) << x << "," << y;
    EXPECT_FALSE(m.GetBusy());
}

INSTANTIATE_TEST_SUITE_P(Sizes, BoundarySizes,
                         ::testing::Values(std::pair{1, 1}, std::pair{10, 10}, std::pair{21, 21},
                                           std::pair{20, 20}, std::pair{41, 41}, std::pair{45, 23},
                                           std::pair{22, 1}, std::pair{1, 22}, std::pair{97, 63}));

struct InsideCase {
    int32_t w, h;
    std::size_t points;  // counted by hand from the walk
    std::size_t yields;
};

class BoundaryInsideTheSet : public ::testing::TestWithParam<InsideCase> {};

TEST_P(BoundaryInsideTheSet, ComputesOnlyTheTileEdgesAndFillsEachTileAtOnce) {
    const InsideCase c = GetParam();
    TMandel m;
    InsideTheSet(m);
    Prepare(m, c.w, c.h);
    Calls calls;
    std::size_t yields = 0;
    TScopedMessagePump pump([&] { ++yields; });
    m.DrawBoundary(Field(m, [&](int32_t, int32_t) { return 0; }, calls));
    EXPECT_EQ(calls.size(), c.points);
    EXPECT_EQ(yields, c.yields);
    // A split would compute points off the tile lines.
    for (const auto& [x, y] : calls) EXPECT_TRUE(OnTileLines(x, y, m)) << x << "," << y;
    for (int32_t y = 0; y < c.h; ++y)
        for (int32_t x = 0; x < c.w; ++x) ASSERT_EQ(m.GetBitmap().GetPixel(x, y), m.GetColorTable()[0]);
}

// 41 x 41: first row 41; two strips of (left column 21 + two tiles of 21 + 19
// + a last tile of width 0 with its right edge 21); a last strip of height 0
// (1 + two tiles of 1 + 19 + 1). 21 x 21: 21 + (21 + 40 + 21) + (1 + 20 + 1),
// the bottom row computed twice. 10 x 10: no full strip, one last tile
// (0,0)..(9,9): 10 + 10 + 10 + 8, and no yield at all. 1 x 1: the one point
// three times.
INSTANTIATE_TEST_SUITE_P(Sizes, BoundaryInsideTheSet,
                         ::testing::Values(InsideCase{41, 41, 327, 8}, InsideCase{21, 21, 125, 3},
                                           InsideCase{10, 10, 38, 0}, InsideCase{1, 1, 3, 0}),
                         [](const auto& info) {
                             return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

TEST(Boundary, TheLastStripOfHeightZeroRepeatsTheBottomRow) {
    TMandel m;
    InsideTheSet(m);
    Prepare(m, 21, 21);
    Calls calls;
    m.DrawBoundary(Field(m, [](int32_t, int32_t) { return 0; }, calls));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), std::pair{10, 20}), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), std::pair{10, 0}), 1);
}

TEST(Boundary, CountsOfTheSameColourStillSplitATile) {
    for (const bool differ : {false, true}) {
        TMandel m;
        m.SetColorStep(2);  // counts 2 and 3 share a colour
        Prepare(m, 21, 21);
        ASSERT_EQ(m.CountToColor(2), m.CountToColor(3));
        Calls calls;
        m.DrawBoundary(Field(m, [&](int32_t x, int32_t y) { return differ && x == 0 && y == 5 ? 3 : 2; }, calls));
        const bool split = std::count(calls.begin(), calls.end(), std::pair{10, 5}) > 0;
        EXPECT_EQ(split, differ);
        for (int32_t y = 0; y < 21; ++y)
            for (int32_t x = 0; x < 21; ++x) ASSERT_EQ(m.GetBitmap().GetPixel(x, y), m.CountToColor(2));
    }
}

TEST(Boundary, CancellingAfterTheFirstTileLeavesTheRestOfThePicture) {
    TMandel m;
    InsideTheSet(m);
    Prepare(m, 61, 45);
    Calls calls;
    TScopedMessagePump pump([&] { m.SetBusy(false); });
    EXPECT_THROW(m.DrawBoundary(Field(m, [](int32_t, int32_t) { return 0; }, calls)), EAbort);
    EXPECT_FALSE(m.GetBusy());
    EXPECT_EQ(calls.size(), 61u + 21 + 40);  // first row, left column, one tile
    const TBitmap& b = m.GetBitmap();
    EXPECT_NE(b.GetPixel(10, 10), kSentinel);  // filled
    EXPECT_NE(b.GetPixel(50, 0), kSentinel);   // the first row
    EXPECT_EQ(b.GetPixel(30, 10), kSentinel);  // the second tile
    EXPECT_EQ(b.GetPixel(5, 30), kSentinel);   // the strip below
}

TEST(Boundary, DrawCountsTheKernelCallsOfModeTwo) {
    TMandel m;
    InsideTheSet(m);
    Prepare(m, 41, 41);
    m.DrawMode = dmBoundary;
    m.Draw();
    EXPECT_EQ(m.Stats.KernelCalls, 327u);
    EXPECT_EQ(m.Stats.Iterations, 327u * 256);
}

}  // namespace
}  // namespace nimbrel
