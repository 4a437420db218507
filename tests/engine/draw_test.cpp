#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>
#include <utility>

#include "engine/mandel_class.h"
#include "engine/mandel_draw.h"
#include "headless/recorded_error_box.h"
#include "../support/bitmap_pixels.h"
#include "platform/exceptions.h"
#include "platform/application.h"

namespace nimbrel {
namespace {

using testing::Pixels;

void Size(TMandel& m, int32_t w, int32_t h) {
    m.SetWidth(w);
    m.SetHeight(h);
}

// A kernel that records every point it is asked for, as pixel coordinates.
struct RecordingKernel {
    TMandel* engine;
    TComplexPoint P;
    double dx, dy;
    std::vector<std::pair<int32_t, int32_t>>* calls;
    int32_t operator()(const TComplexPoint& p) const {
        calls->emplace_back(static_cast<int32_t>(std::lround((p.Re - P.Re) / dx)),
                            static_cast<int32_t>(std::lround((p.Im - P.Im) / dy)));
        return engine->IterateMandel2(p);
    }
};

RecordingKernel Recorder(TMandel& m, std::vector<std::pair<int32_t, int32_t>>& calls) {
    const TComplexPoint P = m.GetPointP(), Q = m.GetPointQ();
    return {&m, P, (Q.Re - P.Re) / m.GetWidth(), (Q.Im - P.Im) / m.GetHeight(), &calls};
}

class DrawOrders : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(DrawOrders, SearchAndEmergeComputeEveryPixelOnceAndAgreeWithNormal) {
    const auto [w, h] = GetParam();
    TMandel m;
    Size(m, w, h);
    m.SetMaxIter(64);
    m.DrawMode = dmNormal;
    m.Draw();
    const auto normal = Pixels(m.GetBitmap());
    EXPECT_EQ(m.Stats.KernelCalls, static_cast<uint64_t>(w) * h);

    for (int which = 0; which < 2; ++which) {
        m.GetBitmap().FillRect(TRect{0, 0, w, h}, 0x123456);
        std::vector<std::pair<int32_t, int32_t>> calls;
        if (which == 0)
            m.DrawSearch(Recorder(m, calls));
        else
            m.DrawEmerge(Recorder(m, calls));
        EXPECT_EQ(Pixels(m.GetBitmap()), normal) << (which ? "emerge" : "search");
        std::set<std::pair<int32_t, int32_t>> distinct(calls.begin(), calls.end());
        EXPECT_EQ(calls.size(), static_cast<std::size_t>(w) * h);
        EXPECT_EQ(distinct.size(), calls.size());
        for (const auto& [x, y] : distinct) {
            EXPECT_TRUE(x >= 0 && x < w && y >= 0 && y < h) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OddSizes, DrawOrders,
                         ::testing::Values(std::pair{1, 1}, std::pair{17, 5}, std::pair{40, 20},
                                           std::pair{641, 479}));

TEST(DrawSearch, VisitsTheLevelsCoarseToFine) {
    TMandel m;
    Size(m, 40, 20);
    std::vector<std::pair<int32_t, int32_t>> calls;
    std::vector<std::size_t> rowEnds;
    TScopedMessagePump pump([&] { rowEnds.push_back(calls.size()); });
    m.DrawSearch(Recorder(m, calls));
    std::map<std::pair<int32_t, int32_t>, std::size_t> order;
    for (std::size_t i = 0; i < calls.size(); ++i) order[calls[i]] = i;
    auto at = [&](int32_t x, int32_t y) { return order.at(std::make_pair(x, y)); };
    // Block pass: 3 x 2 blocks, two rows of blocks.
    const std::size_t blocks = 6;
    EXPECT_LT(at(0, 0), blocks);
    EXPECT_LT(at(32, 16), blocks);
    EXPECT_GE(at(8, 0), blocks);
    EXPECT_LT(at(8, 0), at(4, 4));
    EXPECT_LT(at(4, 4), at(2, 2));
    EXPECT_LT(at(2, 2), at(1, 0));
    // Yields: 2 block rows, 3 + 5 + 10 refinement rows, 20 final rows.
    EXPECT_EQ(rowEnds.size(), 2u + 3 + 5 + 10 + 20);
    EXPECT_EQ(rowEnds[0], 3u);
}

TEST(DrawSearch, OnePixelIsComputedInTheBlockPassOnly) {
    TMandel m;
    Size(m, 1, 1);
    std::vector<std::pair<int32_t, int32_t>> calls;
    m.DrawSearch(Recorder(m, calls));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(0, 0));
}

// Fills the bitmap with a sentinel, then draws with a pump that clears Busy
// at the given row end.
template <class DrawFn>
void ExpectCancelAfterRow(TMandel& m, int32_t cancelAt, DrawFn draw, std::size_t& rowsSeen) {
    m.GetBitmap().SetSize(m.GetWidth(), m.GetHeight());
    m.GetBitmap().FillRect(TRect{0, 0, m.GetWidth(), m.GetHeight()}, 0x0BADBAD);
    rowsSeen = 0;
    TScopedMessagePump pump([&] {
        EXPECT_TRUE(m.GetBusy());
        if (static_cast<int32_t>(++rowsSeen) == cancelAt) m.SetBusy(false);
    });
    EXPECT_THROW(draw(), EAbort);
    EXPECT_FALSE(m.GetBusy());
}

TEST(Cancellation, NormalStopsAfterTheRowAndLeavesTheRestUntouched) {
    TMandel m;
    Size(m, 30, 10);
    std::size_t rows = 0;
    ExpectCancelAfterRow(m, 3, [&] { m.Draw(); }, rows);
    EXPECT_EQ(rows, 3u);
    EXPECT_NE(m.GetBitmap().GetPixel(5, 2), 0x0BADBAD);
    for (int32_t y = 3; y < 10; ++y)
        for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(m.GetBitmap().GetPixel(x, y), 0x0BADBAD);
    EXPECT_EQ(m.Stats.KernelCalls, 90u);
}

TEST(Cancellation, SearchStopsInTheBlockPassWithoutRefinement) {
    TMandel m;
    Size(m, 64, 64);
    m.DrawMode = dmSearch;
    std::size_t rows = 0;
    ExpectCancelAfterRow(m, 1, [&] { m.Draw(); }, rows);
    EXPECT_EQ(m.Stats.KernelCalls, 4u);  // one row of four blocks
    EXPECT_EQ(m.GetBitmap().GetPixel(0, 16), 0x0BADBAD);
}

TEST(Cancellation, EmergeLeavesTheOldPictureBetweenTheVisitedPixels) {
    TMandel m;
    Size(m, 8, 8);
    m.DrawMode = dmEmerge;
    std::size_t rows = 0;
    ExpectCancelAfterRow(m, 4, [&] { m.Draw(); }, rows);  // the whole first pass
    EXPECT_NE(m.GetBitmap().GetPixel(6, 6), 0x0BADBAD);
    EXPECT_EQ(m.GetBitmap().GetPixel(1, 1), 0x0BADBAD);
    EXPECT_EQ(m.GetBitmap().GetPixel(0, 1), 0x0BADBAD);
}

TEST(Cancellation, HugeIterationLimitOnAOnePixelPicture) {
    TMandel m;
    Size(m, 1, 1);
    m.SetCenter({10, 10});  // escapes at once, so the limit is never reached
    m.SetMaxIter(std::numeric_limits<int32_t>::max());
    std::size_t rows = 0;
    ExpectCancelAfterRow(m, 1, [&] { m.Draw(); }, rows);
    EXPECT_EQ(m.Stats.KernelCalls, 1u);
}

TEST(HostileState, ColourStepZeroRaisesAndClearsBusy) {
    TMandel m;
    Size(m, 8, 8);
    m.SetColorStep(0);
    EXPECT_THROW(m.Draw(), EDivByZero);
    EXPECT_FALSE(m.GetBusy());
    m.SetColorStep(-3);
    EXPECT_THROW(m.Draw(), ERangeError);
    EXPECT_FALSE(m.GetBusy());
}

TEST(HostileState, NonFiniteViewsDrawWithoutFault) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (uint8_t mode : {dmNormal, dmSearch, dmEmerge}) {
        TMandel m;
        Size(m, 9, 7);
        m.DrawMode = mode;
        m.SetCenter({nan, 0});
        m.Draw();
        EXPECT_EQ(m.GetBitmap().GetPixel(4, 3), m.GetColorTable()[0]);
        m.SetCenter({0, 0});
        m.SetViewWidth(inf);
        m.Draw();
        m.SetViewWidth(1e308);
        m.SetCenter({-inf, inf});
        m.Draw();
        EXPECT_FALSE(m.GetBusy());
    }
}

TEST(Draw, IntegerModesReleaseTheResultCache) {
    TMandel m;
    Size(m, 4, 4);
    m.ResultCache.assign(5, std::vector<TResultCell>(5));
    m.CacheKey.Width = 4;
    m.CacheKey.Height = 4;
    m.Draw();
    EXPECT_TRUE(m.ResultCache.empty());
    EXPECT_EQ(m.CacheKey.Width, 0);
    EXPECT_EQ(m.CacheKey.Height, 0);
}

TEST(Draw, KernelChoiceFollowsKindAndPower) {
    TMandel m;
    Size(m, 16, 12);
    m.SetMaxIter(40);
    for (uint8_t kind : {fkMandelbrot, fkJulia}) {
        for (int32_t power : {2, 3, 5}) {
            if (m.GetKind() != kind) m.SwitchKind();
            if (kind == fkJulia) m.SetJuliaConstant({-0.4, 0.6});
            m.SetPower(power);
            m.ResetView();
            m.Draw();
            const TComplexPoint P = m.GetPointP();
            const int32_t expected =
                kind == fkMandelbrot ? (power == 2 ? m.IterateMandel2(P) : m.IterateMandelN(P))
                                     : (power == 2 ? m.IterateJulia2(P) : m.IterateJuliaN(P));
            EXPECT_EQ(m.GetBitmap().GetPixel(0, 0), m.CountToColor(expected));
        }
    }
}

}  // namespace
}  // namespace nimbrel
