#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../support/environment.h"
#include "../support/simd_levels.h"
#include "engine/mandel_class.h"
#include "engine/mandel_draw.h"
#include "engine/draw_potential.h"
#include "platform/exceptions.h"
#include "platform/application.h"

namespace nimbrel {
namespace {

using testing::SetEnv;

using TPixels = std::vector<uint32_t>;

TPixels Pixels(const TBitmap& b) {
    TPixels out;
    for (int32_t y = 0; y < b.Height(); ++y) out.insert(out.end(), b.Scanline(y), b.Scanline(y) + b.Width());
    return out;
}

struct TSetup {
    uint8_t Kind = fkMandelbrot;
    int32_t Power = 2;
    int32_t Width = 64, Height = 48;
    int32_t MaxIter = 120;
    // Modes 5..8: the escape radius and the palette or tint renderer.
    double EscapeRadius = 2;
    uint8_t Tint = 0;
    // A view width of 0 keeps the default view of the kind and power.
    TComplexPoint Center{};
    double ViewWidth = 0;
    TComplexPoint JuliaConstant{-0.7269, 0.1889};
};

// The cache cells bit for bit, column by column.
std::vector<uint64_t> Cells(const TMandel& m) {
    std::vector<uint64_t> out;
    for (const auto& column : m.ResultCache) {
        for (const TResultCell& c : column) {
            out.push_back(static_cast<uint64_t>(static_cast<uint32_t>(c.Count)));
            out.push_back(std::bit_cast<uint64_t>(c.Z.Re));
            out.push_back(std::bit_cast<uint64_t>(c.Z.Im));
        }
    }
    return out;
}

constexpr uint8_t kAllModes[] = {dmNormal,         dmSearch,         dmBoundary,        dmEmerge,         dmAntialias,
                                 dmPotentialCache, dmPotentialGreen, dmPotentialSmooth, dmPotentialCosine};

std::string Describe(const TSetup& s, uint8_t mode) {
    return "mode " + std::to_string(mode) + (s.Tint ? " tint" : "") + " radius " + std::to_string(s.EscapeRadius) + (s.Kind == fkJulia ? " julia" : " mandel") + " power " +
           std::to_string(s.Power) + " " + std::to_string(s.Width) + "x" + std::to_string(s.Height) + " maxIter " +
           std::to_string(s.MaxIter) +
           (s.ViewWidth != 0 ? " centre " + std::to_string(s.Center.Re) + "," + std::to_string(s.Center.Im) +
                                   " width " + std::to_string(s.ViewWidth)
                             : "");
}

void Configure(TMandel& m, const TSetup& s, uint8_t mode) {
    if (m.GetKind() != s.Kind) m.SwitchKind();
    if (s.Kind == fkJulia) m.SetJuliaConstant(s.JuliaConstant);
    m.SetPower(s.Power);
    m.ResetView();
    if (s.ViewWidth != 0) {
        m.SetCenter(s.Center);
        m.SetViewWidth(s.ViewWidth);
    }
    m.SetWidth(s.Width);
    m.SetHeight(s.Height);
    m.SetMaxIter(s.MaxIter);
    m.DrawMode = mode;
    m.SetEscapeRadius(s.EscapeRadius);
    m.PotentialVariant = s.Tint;
    m.GetBitmap().SetSize(s.Width, s.Height);
    m.GetBitmap().FillRect(TRect{0, 0, s.Width, s.Height}, 0x0BADBAD);
}

// What a draw shows: the bitmap and the statistics at every yield and at
// the end.
struct TTrace {
    std::vector<TPixels> AtYield;
    std::vector<std::pair<uint64_t, uint64_t>> StatsAtYield;  // kernel calls, iterations
    TPixels Final;
    TDrawStats Stats;
    std::vector<uint64_t> Cache;
    std::string Error;  // what stopped the draw, if anything did
};

// The engine's kernels called point by point: Draw's own dispatch and
// binding, through the draw methods' path for arbitrary kernels.
void DrawScalar(TMandel& m) {
    const TEngineKernel engine{&m};
    const TEngineCacheKernel cache{&m};
    m.DrawWith([engine](const TComplexPoint& p) { return engine(p); },
               [cache](const TComplexPoint& c, int32_t X, int32_t Y) { cache(c, X, Y); });
}

// The scalar kernel called point by point, through the draw methods' path
// for arbitrary kernels.
TTrace ScalarTrace(const TSetup& s, uint8_t mode) {
    TMandel m;
    Configure(m, s, mode);
    TTrace t;
    TScopedMessagePump pump([&] {
        t.AtYield.push_back(Pixels(m.GetBitmap()));
        t.StatsAtYield.emplace_back(m.Stats.KernelCalls, m.Stats.Iterations);
    });
    try {
        DrawScalar(m);
    } catch (const Exception& e) {
        t.Error = e.what();
    }
    t.Final = Pixels(m.GetBitmap());
    t.Stats = m.Stats;
    t.Cache = Cells(m);
    return t;
}

TTrace BatchTrace(const TSetup& s, uint8_t mode, TSimdLevel level, int32_t threads, uint64_t budget = kYieldBudget) {
    TMandel m;
    Configure(m, s, mode);
    m.SetSimdLevel(level);
    m.SetThreadCount(threads);
    m.SetWorkBudget(budget);
    TTrace t;
    const auto gui = std::this_thread::get_id();
    TScopedMessagePump pump([&] {
        EXPECT_EQ(std::this_thread::get_id(), gui) << "a handler ran on a worker";
        t.AtYield.push_back(Pixels(m.GetBitmap()));
        t.StatsAtYield.emplace_back(m.Stats.KernelCalls, m.Stats.Iterations);
    });
    try {
        m.Draw();
    } catch (const Exception& e) {
        t.Error = e.what();
    }
    t.Final = Pixels(m.GetBitmap());
    t.Stats = m.Stats;
    t.Cache = Cells(m);
    return t;
}

// The message of the exception that ends draw(), or "" when none does.
template <class F> std::string ErrorOf(F&& draw) {
    try {
        draw();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

// The draws of one SIMD level against the scalar draw.
class BatchDrawAtLevel : public testing::SimdLevelTest {
protected:
    // Every yield shows exactly the picture the scalar draw shows there: the
    // same pixels, the same rows complete, the same yield points.
    void ExpectSameTrace(const TSetup& s, uint8_t mode) const {
        const TSimdLevel level = Level();
        const TTrace want = ScalarTrace(s, mode);
        for (int32_t threads : {1, 2, 3}) {
            const TTrace got = BatchTrace(s, mode, level, threads);
            const std::string what = Describe(s, mode) + " " + SimdLevelName(level) + " threads " + std::to_string(threads);
            ASSERT_EQ(got.AtYield.size(), want.AtYield.size()) << what;
            for (std::size_t i = 0; i < want.AtYield.size(); ++i)
                ASSERT_TRUE(got.AtYield[i] == want.AtYield[i]) << what << ": differs at yield " << i;
            // Points computed ahead are counted only once the scalar draw
            // has come to them.
            EXPECT_TRUE(got.StatsAtYield == want.StatsAtYield) << what;
            EXPECT_TRUE(got.Final == want.Final) << what;
            EXPECT_EQ(got.Stats.KernelCalls, want.Stats.KernelCalls) << what;
            EXPECT_EQ(got.Stats.Iterations, want.Stats.Iterations) << what;
            EXPECT_TRUE(got.Cache == want.Cache) << what;
            EXPECT_EQ(got.Error, want.Error) << what;
        }
    }

    // A draw that fails on a colour stops, under the level and every thread
    // count, with the scalar draw's message, pixels, statistics and cache
    // cells.
    void ExpectSameFailure(const TMandel& ref, const std::string& wantError, const TSetup& s, uint8_t mode,
                           int32_t step, std::initializer_list<int32_t> threadCounts, const std::string& where) const {
        const TSimdLevel level = Level();
        for (int32_t threads : threadCounts) {
            TMandel m;
            Configure(m, s, mode);
            m.SetColorStep(step);
            m.SetSimdLevel(level);
            m.SetThreadCount(threads);
            const std::string error = ErrorOf([&] { m.Draw(); });
            const std::string what = where + " " + SimdLevelName(level) + " threads " + std::to_string(threads);
            EXPECT_EQ(error, wantError) << what;
            EXPECT_FALSE(m.GetBusy());
            EXPECT_TRUE(Pixels(m.GetBitmap()) == Pixels(ref.GetBitmap())) << what;
            // The statistics stop at the same point: the rest of the row was
            // computed, but the scalar kernel never got there.
            EXPECT_EQ(m.Stats.KernelCalls, ref.Stats.KernelCalls) << what;
            EXPECT_EQ(m.Stats.Iterations, ref.Stats.Iterations) << what;
            if (IsPotentialDrawMode(mode)) {
                EXPECT_TRUE(Cells(m) == Cells(ref)) << what;
                EXPECT_FALSE(m.CacheKey.Complete) << what;
            }
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Levels, BatchDrawAtLevel, ::testing::ValuesIn(testing::kSimdLevels),
                         testing::SimdLevelTestName);

// Wide enough that the rows of every pass (half rows in DrawEmerge and in
// DrawSearch's last pass) are shared with the workers.
TEST_P(BatchDrawAtLevel, EveryModeKindAndPowerShowsTheScalarPictureAtEveryYield) {
    for (uint8_t mode : kAllModes)
        for (uint8_t kind : {fkMandelbrot, fkJulia})
            for (int32_t power : {2, 3, 4}) ExpectSameTrace({kind, power, 613, 21, 90}, mode);
}

// The cache kernels escape at the escape radius, not at 2: radii at which
// the batch kernels' vector slots see bailouts far from 4, both renderers.
// Some of them make a brightness fail (a range error), at the same pixel.
TEST_P(BatchDrawAtLevel, PotentialModesWithOtherEscapeRadiiAndTheTint) {
    for (uint8_t mode : {dmPotentialCache, dmPotentialGreen, dmPotentialSmooth, dmPotentialCosine}) {
        for (double radius : {0.5, 1e3, 1e150}) ExpectSameTrace({fkMandelbrot, 2, 300, 9, 60, radius, 0}, mode);
        for (int32_t power : {2, 3, 7}) ExpectSameTrace({fkJulia, power, 400, 8, 60, 40, 1}, mode);
    }
}

TEST_P(BatchDrawAtLevel, OddSizesAndIterationLimits) {
    for (uint8_t mode : kAllModes) {
        for (auto [w, h] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 40}, std::pair{300, 7}}) {
            ExpectSameTrace({fkMandelbrot, 2, w, h, 64}, mode);
        }
        for (int32_t maxIter : {0, 1, 2, -5}) ExpectSameTrace({fkMandelbrot, 2, 23, 17, maxIter}, mode);
        // Beyond the colour lookup: the calling thread converts every count.
        ExpectSameTrace({fkJulia, 2, 12, 9, 70000}, mode);
    }
}

TEST_P(BatchDrawAtLevel, AWideRowIsSharedWithoutChangingAPixel) {
    for (uint8_t mode : {dmNormal, dmSearch, dmAntialias, dmPotentialCache, dmPotentialSmooth})
        ExpectSameTrace({fkMandelbrot, 2, 1500, 6, 300}, mode);
}

// A colour step that makes CountToColor fail: the failure comes at the same
// pixel, with the same pixels set before it.
TEST_P(BatchDrawAtLevel, ColourFailuresStopAtTheSamePixel) {
    for (uint8_t mode : kAllModes) {
        for (int32_t step : {0, -3}) {
            const TSetup s{fkMandelbrot, 2, 600, 30, 100};
            TMandel ref;
            Configure(ref, s, mode);
            ref.SetColorStep(step);
            const std::string wantError = ErrorOf([&] { DrawScalar(ref); });
            ASSERT_FALSE(wantError.empty());
            ExpectSameFailure(ref, wantError, s, mode, step, {1, 2},
                              "mode " + std::to_string(mode) + " step " + std::to_string(step));
        }
    }
}

// The shaded modes share each row among the participants: a colour that
// fails in any part of a row, on any participant (while another may already
// have shaded pixels after it), stops the draw at the pixel where the
// point-by-point loop stops, with the pixels, the statistics and the cache
// cells it leaves. Rows of 1101 grid points, failing near their start (the
// first chunk) and in their middle (a later one), by a negative colour step:
// the palette fails on the entry of the brightness, the tint on the count.
TEST_P(BatchDrawAtLevel, ShadedColourFailuresInEveryPartOfASharedRow) {
    struct Case {
        uint8_t mode, tint;
        int32_t step;
    };
    const Case cases[] = {{dmPotentialGreen, 0, -15}, {dmPotentialCosine, 0, -15}, {dmPotentialSmooth, 1, -8},
                          {dmPotentialCosine, 1, -2}, {dmPotentialCache, 0, -4}};
    std::vector<int32_t> failedAt;
    for (const Case& c : cases) {
        const TSetup s{fkMandelbrot, 2, 1100, 20, 100, 2, c.tint};
        TMandel ref;
        Configure(ref, s, c.mode);
        ref.SetColorStep(c.step);
        const std::string wantError = ErrorOf([&] { DrawScalar(ref); });
        const std::string where = Describe(s, c.mode) + " step " + std::to_string(c.step);
        ASSERT_FALSE(wantError.empty()) << where;
        const TPixels shown = Pixels(ref.GetBitmap());
        failedAt.push_back(static_cast<int32_t>(std::find(shown.begin(), shown.end(), TBitmap::ToPixel(0x0BADBAD)) - shown.begin()) %
                           s.Width);
        ExpectSameFailure(ref, wantError, s, c.mode, c.step, {1, 2, 3}, where);
    }
    EXPECT_LT(*std::min_element(failedAt.begin(), failedAt.end()), 256) << "a failure in a row's first chunk";
    EXPECT_GT(*std::max_element(failedAt.begin(), failedAt.end()), 512) << "a failure in a later chunk";
}

TEST(BatchDraw, CancellationStopsAfterTheSameRow) {
    for (uint8_t mode : kAllModes) {
        const TSetup s{fkMandelbrot, 2, 700, 40, 200};
        const TTrace want = ScalarTrace(s, mode);
        for (int32_t cancelAt : {1, 3, 17}) {
            for (int32_t threads : {1, 2}) {
                TMandel m;
                Configure(m, s, mode);
                m.SetThreadCount(threads);
                int32_t rows = 0;
                TScopedMessagePump pump([&] {
                    if (++rows == cancelAt) m.SetBusy(false);
                });
                EXPECT_THROW(m.Draw(), EAbort);
                EXPECT_EQ(rows, cancelAt);
                EXPECT_FALSE(m.GetBusy());
                EXPECT_TRUE(Pixels(m.GetBitmap()) == want.AtYield[static_cast<std::size_t>(cancelAt - 1)])
                    << "mode " << int(mode) << " cancelled at " << cancelAt;
                // An interrupted computation leaves a cache that matches no view.
                if (IsPotentialDrawMode(mode)) {
                    EXPECT_FALSE(m.CacheMatchesView()) << "mode " << int(mode);
                }
            }
        }
    }
}

// Mode 2 over several strips, with narrower last tiles and strips (257 x
// 141) and with last tiles and a last strip of width and height 0 (241 x
// 121): the default view, a view mostly inside the set (where nearly every
// tile is filled at once), a Julia view and power 3.
TEST_P(BatchDrawAtLevel, BoundaryTraceOnDefaultInsideJuliaAndPowerThreeViews) {
    for (auto [w, h] : {std::pair{257, 141}, std::pair{241, 121}}) {
        ExpectSameTrace({fkMandelbrot, 2, w, h, 200}, dmBoundary);
        ExpectSameTrace({fkMandelbrot, 2, w, h, 500, 2, 0, {-0.1, 0}, 0.5}, dmBoundary);
        ExpectSameTrace({fkJulia, 2, w, h, 200}, dmBoundary);
        ExpectSameTrace({fkMandelbrot, 3, w, h, 200}, dmBoundary);
    }
}

// Cancelled at a tile of the first strip, at the first tile of the second
// and in the middle of the third: the same pixels and statistics as the
// scalar draw at that yield, and nothing computed ahead is counted.
TEST(BatchDraw, BoundaryCancellationStopsAfterTheSameTile) {
    for (const TSetup& s : {TSetup{fkMandelbrot, 2, 257, 141, 300}, TSetup{fkMandelbrot, 2, 257, 141, 300, 2, 0, {-0.1, 0}, 0.5}}) {
        const TTrace want = ScalarTrace(s, dmBoundary);
        for (int32_t cancelAt : {1, 5, 14, 33}) {
            for (int32_t threads : {1, 2, 3}) {
                TMandel m;
                Configure(m, s, dmBoundary);
                m.SetThreadCount(threads);
                int32_t tiles = 0;
                TScopedMessagePump pump([&] {
                    if (++tiles == cancelAt) m.SetBusy(false);
                });
                EXPECT_THROW(m.Draw(), EAbort);
                const std::string what = Describe(s, dmBoundary) + " cancelled at " + std::to_string(cancelAt);
                EXPECT_EQ(tiles, cancelAt) << what;
                EXPECT_FALSE(m.GetBusy());
                const auto at = static_cast<std::size_t>(cancelAt - 1);
                EXPECT_TRUE(Pixels(m.GetBitmap()) == want.AtYield[at]) << what;
                EXPECT_EQ(std::pair(m.Stats.KernelCalls, m.Stats.Iterations), want.StatsAtYield[at]) << what;
            }
        }
    }
}

// Colour steps that make CountToColor fail at the first count of at least
// 2 |step| in the walk's order: the failure comes at the same pixel, on a
// tile edge or on a split line, with the same pixels set and the same points
// counted before it. On the default view the counts grow towards the set, so
// the first failure lies on an edge. In the small views the set lies inside
// the first tile, whose border passes through counts 1 and 2 (pixel spacing
// 0.2): it fails on the vertical split line (10, 6), the horizontal one
// (13, 10), the second level's (7, 5) and the fourth's (16, 9).
TEST_P(BatchDrawAtLevel, BoundaryColourFailuresOnEdgesAndSplitLines) {
    const TSetup wide{fkMandelbrot, 2, 257, 141, 200};
    auto small = [](double re, double im) { return TSetup{fkMandelbrot, 2, 41, 41, 200, 2, 0, {re, im}, 8.2}; };
    const std::pair<TSetup, int32_t> cases[] = {{wide, -2},
                                                {wide, -13},
                                                {small(1.35, -2.1), -2},
                                                {small(1.95, -2.5), -8},
                                                {small(1.95, -2.9), -8},
                                                {small(0.75, -1.3), -5}};
    bool onEdge = false, onSplit = false;
    for (const auto& [s, step] : cases) {
        TMandel ref;
        Configure(ref, s, dmBoundary);
        ref.SetColorStep(step);
        // The scalar kernel, recording the pixel of the last point.
        const TComplexPoint P = ref.GetPointP(), Q = ref.GetPointQ();
        const double dx = (Q.Re - P.Re) / s.Width, dy = (Q.Im - P.Im) / s.Height;
        const TEngineKernel engine{&ref};
        int32_t lastX = -1, lastY = -1;
        auto kernel = [&](const TComplexPoint& p) {
            lastX = static_cast<int32_t>(std::lround((p.Re - P.Re) / dx));
            lastY = static_cast<int32_t>(std::lround((p.Im - P.Im) / dy));
            return engine(p);
        };
        const std::string wantError = ErrorOf([&] { ref.DrawBoundary(kernel); });
        const std::string where = Describe(s, dmBoundary) + " step " + std::to_string(step);
        ASSERT_FALSE(wantError.empty()) << where;
        const bool edge = lastX % 20 == 0 || lastY % 20 == 0 || lastX == s.Width - 1 || lastY == s.Height - 1;
        (edge ? onEdge : onSplit) = true;
        ExpectSameFailure(ref, wantError, s, dmBoundary, step, {1, 2, 3}, where);
    }
    EXPECT_TRUE(onEdge);
    EXPECT_TRUE(onSplit);
}

// Rows of more work than may be made between two yields yield within
// themselves: the picture, the statistics, the cache and any failure are
// those of the point-by-point draw, the yields are the same at every level
// and thread count, and no more than the budget is made between two of them.
// With a budget of 2^15 power-2 steps (the engine's own is 2^23) small
// pictures go the ways of large ones: rounds of resumed points where one
// point alone may pass the budget (a limit of 3000 in the seahorse valley; a
// limit of 600 of power 5, 11 power-2 steps a step, on the cusp of its set,
// where the points outside escape late; the Julia set of the rabbit, whose
// inside stays and whose outside escapes late near it), and pieces of
// points made in one go where a point (or a pixel's four samples) fits the
// budget many times (a limit of 16 on 2500 points a row mostly inside the
// set).
TEST_P(BatchDrawAtLevel, RowsBeyondTheBudgetYieldWithinThemAndGiveThePointByPointPicture) {
    constexpr uint64_t kBudget = 1 << 15;
    const TSetup setups[] = {{fkMandelbrot, 2, 96, 3, 3000, 2, 0, {-0.745, 0.1}, 0.01 * 3 / 96},
                             {fkMandelbrot, 5, 96, 3, 600, 2, 0, {0.534994744, 0}, 1e-5 * 3 / 96},
                             {fkJulia, 2, 128, 2, 1000, 2, 0, {0, 0.1}, 2.0 * 2 / 128, {-0.123, 0.745}},
                             {fkMandelbrot, 2, 2500, 2, 16, 2, 0, {-0.1, 0}, 0.5 * 2 / 2500}};
    for (const TSetup& s : setups) {
        for (uint8_t mode : kAllModes) {
            const TTrace want = ScalarTrace(s, mode);
            // The yields of the scalar level on the calling thread alone.
            const std::size_t yields = BatchTrace(s, mode, TSimdLevel::Scalar, 1, kBudget).AtYield.size();
            for (int32_t threads : {1, 2, 3}) {
                const TTrace got = BatchTrace(s, mode, Level(), threads, kBudget);
                const std::string what =
                    Describe(s, mode) + " " + SimdLevelName(Level()) + " threads " + std::to_string(threads);
                EXPECT_TRUE(got.Final == want.Final) << what;
                EXPECT_EQ(got.Stats.KernelCalls, want.Stats.KernelCalls) << what;
                EXPECT_EQ(got.Stats.Iterations, want.Stats.Iterations) << what;
                EXPECT_TRUE(got.Cache == want.Cache) << what;
                EXPECT_EQ(got.Error, want.Error) << what;
                if (mode != dmEmerge) {  // its half rows may fit
                    EXPECT_GT(got.AtYield.size(), want.AtYield.size()) << what << ": no yield within a row";
                }
                EXPECT_EQ(got.AtYield.size(), yields) << what;
                EXPECT_LE(got.Stats.MostWorkBetweenYields, kBudget) << what;
                EXPECT_GT(got.Stats.MostWorkBetweenYields, kBudget / 2) << what;
            }
        }
    }
}

TEST(BatchDraw, TheEngineKernelCalledDirectlyIsTheScalarKernel) {
    TMandel m;
    m.SetPower(3);
    const TEngineKernel k{&m};
    EXPECT_EQ(k({1, 0}), m.IterateMandelN({1, 0}));
    EXPECT_EQ(m.Stats.KernelCalls, 1u);
    EXPECT_EQ(m.Stats.Iterations, 2u);
    EXPECT_EQ(k({0, 0}), 0);
    EXPECT_EQ(m.Stats.Iterations, 2u + 256u);
}

TEST(BatchDraw, ThreadCountDefaultsAndOverrides) {
    const char* saved = std::getenv("NIMBREL_THREADS");
    const std::string keep = saved ? saved : "";
    TMandel m;
    SetEnv("NIMBREL_THREADS", "1");  // the switch that turns the pool off
    EXPECT_EQ(m.GetThreadCount(), 1);
    SetEnv("NIMBREL_THREADS", "5");
    EXPECT_EQ(m.GetThreadCount(), 5);
    const auto hardware = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    for (const char* bad : {"0", "-2", "65", "two", ""}) {
        SetEnv("NIMBREL_THREADS", bad);
        EXPECT_EQ(m.GetThreadCount(), std::min(hardware, 64)) << bad;
    }
    SetEnv("NIMBREL_THREADS", saved ? keep.c_str() : nullptr);
    EXPECT_GE(m.GetThreadCount(), 1);
    m.SetThreadCount(3);
    EXPECT_EQ(m.GetThreadCount(), 3);
    m.SetThreadCount(0);
    EXPECT_GE(m.GetThreadCount(), 1);
    EXPECT_LE(m.GetSimdLevel(), SupportedSimdLevel());
}

}  // namespace
}  // namespace nimbrel
