#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "engine/mandel_class.h"
#include "engine/draw_potential.h"
#include "../support/bitmap_pixels.h"
#include "platform/application.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

using testing::Pixels;

constexpr int32_t kSentinel = 0x0BADBAD;

void Size(TMandel& m, int32_t w, int32_t h) {
    m.SetWidth(w);
    m.SetHeight(h);
}

void Sentinel(TMandel& m) {
    m.GetBitmap().SetSize(m.GetWidth(), m.GetHeight());
    m.GetBitmap().FillRect(TRect{0, 0, m.GetWidth(), m.GetHeight()}, kSentinel);
}

uint64_t FullGrid(const TMandel& m) {
    return static_cast<uint64_t>(m.GetWidth() + 1) * static_cast<uint64_t>(m.GetHeight() + 1);
}

// Computes the cache for the current view from cells chosen by the test, so
// that the following draws shade exactly those cells.
void FillCache(TMandel& m, const std::function<TResultCell(int32_t, int32_t)>& cell) {
    m.ClearResultCache();
    m.DrawPotentialCache([&](const TComplexPoint&, int32_t X, int32_t Y) { m.ResultCache[X][Y] = cell(X, Y); });
    ASSERT_TRUE(m.CacheMatchesView());
}

TResultCell Escaped(double re, int32_t count = 1) { return TResultCell{count, {re, 0}}; }

struct BindCase {
    uint8_t mode, shading, fold;
    TPotentialFunc potential;
    TShadeFunc shade;
    TTransferFunc transfer;
};

TEST(PotentialDraw, DrawBindsTheProceduresOfTheSettings) {
    const BindCase cases[] = {
        {dmPotentialGreen, 0, 0, &TMandel::PotentialGreen, &ShadeSignedCosine, &TMandel::BrightnessShift},
        {dmPotentialSmooth, 1, 1, &TMandel::PotentialSmooth, &ShadeOffsetRatio, &TMandel::BrightnessAbs},
        {dmPotentialCosine, 2, 2, &TMandel::PotentialCosine, &ShadeReciprocal, &TMandel::BrightnessShift},
        // Mode 5 leaves the potential as it was.
        {dmPotentialCache, 3, 1, &TMandel::PotentialSmooth, &ShadeSine, &TMandel::BrightnessAbs},
    };
    for (const BindCase& c : cases) {
        TMandel m;
        Size(m, 4, 3);
        m.PotentialProc = &TMandel::PotentialSmooth;
        m.DrawMode = c.mode;
        m.ShadingFunction = c.shading;
        m.BrightnessFold = c.fold;
        m.Draw();
        EXPECT_TRUE(m.PotentialProc == c.potential) << int(c.mode);
        EXPECT_EQ(m.ShadeProc, c.shade) << int(c.mode);
        EXPECT_TRUE(m.TransferProc == c.transfer) << int(c.mode);
    }
}

TEST(PotentialDraw, AnUnknownShadingFunctionStopsBeforeAnyPixelOrTheCacheChanges) {
    for (const uint8_t mode : {5, 6, 7, 8}) {
        TMandel m;
        Size(m, 6, 5);
        m.DrawMode = dmPotentialGreen;
        m.Draw();
        Sentinel(m);
        m.DrawMode = mode;
        m.ShadingFunction = 4;
        try {
            m.Draw();
            ADD_FAILURE() << int(mode);
        } catch (const ERangeError& e) {
            EXPECT_EQ(e.Message(), "PotentialBright Error");
        }
        EXPECT_FALSE(m.GetBusy());
        EXPECT_EQ(Pixels(m.GetBitmap()), std::vector<int32_t>(30, kSentinel));
        m.ShadingFunction = 0;
        m.Draw();
        EXPECT_EQ(m.Stats.KernelCalls, 0u) << "the cache stays valid";
    }
}

TEST(PotentialDraw, AModeBeyondEightWithNothingBoundRaisesInsteadOfCallingNothing) {
    TMandel m;
    Size(m, 4, 4);
    Sentinel(m);
    m.DrawMode = 9;
    EXPECT_THROW(m.Draw(), ERangeError);
    EXPECT_FALSE(m.GetBusy());
    EXPECT_EQ(Pixels(m.GetBitmap()), std::vector<int32_t>(16, kSentinel));
}

TEST(PotentialDraw, ModeFiveDrawsThePlainPictureAndFillsTheWholeGrid) {
    for (const uint8_t kind : {fkMandelbrot, fkJulia}) {
        for (const int32_t power : {2, 3}) {
            TMandel m;
            Size(m, 23, 17);
            m.SetMaxIter(80);
            if (kind == fkJulia) {
                m.SwitchKind();
                m.SetJuliaConstant({-0.4, 0.6});
            }
            m.SetPower(power);
            m.ResetView();
            m.Draw();
            const auto plain = Pixels(m.GetBitmap());
            m.DrawMode = dmPotentialCache;
            m.Draw();
            EXPECT_EQ(Pixels(m.GetBitmap()), plain) << int(kind) << " " << power;
            EXPECT_EQ(m.Stats.KernelCalls, FullGrid(m));
            ASSERT_EQ(m.ResultCache.size(), 24u);
            for (const auto& column : m.ResultCache) ASSERT_EQ(column.size(), 18u);
        }
    }
}

TEST(PotentialDraw, ACacheFromModeFiveShadesExactlyAsAFreshComputation) {
    TMandel m;
    Size(m, 19, 13);
    m.DrawMode = dmPotentialCache;
    m.Draw();
    const TResultCache fromModeFive = m.ResultCache;
    for (const uint8_t variant : {0, 1}) {
        m.PotentialVariant = variant;
        m.DrawMode = dmPotentialSmooth;
        m.Draw();
        ASSERT_EQ(m.Stats.KernelCalls, 0u);
        const auto redrawn = Pixels(m.GetBitmap());
        m.ClearResultCache();
        m.Draw();
        ASSERT_EQ(m.Stats.KernelCalls, FullGrid(m));
        EXPECT_EQ(Pixels(m.GetBitmap()), redrawn);
        for (std::size_t x = 0; x < m.ResultCache.size(); ++x)
            for (std::size_t y = 0; y < m.ResultCache[x].size(); ++y) {
                ASSERT_EQ(m.ResultCache[x][y].Count, fromModeFive[x][y].Count) << x << "," << y;
                ASSERT_EQ(m.ResultCache[x][y].Z.Re, fromModeFive[x][y].Z.Re) << x << "," << y;
            }
    }
}

struct BrightnessCase {
    uint8_t shading, fold, invert;
    int32_t entry;  // of the default colour table, or the grey channel for the tint
};

TEST(PotentialDraw, PaletteIndexOfTheBrightnessOnFlatGround) {
    // Equal cells give d = 0: the signed cosine 1, the sine 0, the offset
    // ratio 1 / (2 sqrt 2), the reciprocal 1 / (sqrt 2 + 1).
    const BrightnessCase cases[] = {
        {0, 1, 0, 1},   // v = 1: index 127, entry 1
        {3, 1, 0, 2},   // v = 0: index 1, entry 2
        {3, 0, 0, 65},  // v = 0.5: index 64, entry 65
        {0, 1, 1, 2},   // inverted 1 is 0
        {2, 1, 0, 54},  // v = 0.41421: index 53
        {1, 1, 0, 46},  // v = 0.35355: 45.55 truncated to index 45
    };
    for (const BrightnessCase& c : cases) {
        TMandel m;
        Size(m, 3, 2);
        FillCache(m, [](int32_t, int32_t) { return Escaped(3); });
        m.DrawMode = dmPotentialGreen;
        m.ShadingFunction = c.shading;
        m.BrightnessFold = c.fold;
        m.InvertBrightness = c.invert;
        m.Draw();
        ASSERT_EQ(m.Stats.KernelCalls, 0u);
        EXPECT_EQ(Pixels(m.GetBitmap()), std::vector<int32_t>(6, m.GetColorTable()[c.entry]))
            << int(c.shading) << " " << int(c.fold) << " " << int(c.invert);
    }
}

TEST(PotentialDraw, TintGivesAGreyCountColourTheBrightnessAsItsLevel) {
    const BrightnessCase cases[] = {{0, 1, 0, 255}, {3, 1, 0, 0}, {3, 0, 0, 128}};  // v = 1, 0, 0.5
    for (const BrightnessCase& c : cases) {
        TMandel m;
        Size(m, 3, 2);
        m.SetColorTable({0, 0x0000FF, 0x808080});  // count 1 takes the grey entry 2
        FillCache(m, [](int32_t, int32_t) { return Escaped(3); });
        m.DrawMode = dmPotentialCosine;
        m.PotentialVariant = 1;
        m.ShadingFunction = c.shading;
        m.BrightnessFold = c.fold;
        m.Draw();
        EXPECT_EQ(Pixels(m.GetBitmap()), std::vector<int32_t>(6, c.entry * 0x010101)) << c.entry;
    }
}

TEST(PotentialDraw, InsideCellsKeepEntryZeroButServeAsNeighbours) {
    TMandel m;
    Size(m, 1, 1);
    m.DrawMode = dmPotentialCosine;
    m.ShadingFunction = 3;
    // The right neighbour is inside the set; its last z still counts.
    FillCache(m, [](int32_t X, int32_t Y) { return X == 1 && Y == 0 ? TResultCell{0, {0.5, 0}} : Escaped(3); });
    m.Draw();
    const double dy = m.GetPointQ().Im - m.GetPointP().Im;
    const double d = (std::cos(0.25) / dy + std::cos(9.0) / dy) - 2 * (std::cos(9.0) / dy);
    const double v = (std::sin(std::atan2(d, std::sqrt(2.0))) + 1) / 2;
    EXPECT_EQ(m.GetBitmap().GetPixel(0, 0), m.CountToColor(static_cast<int32_t>(126 * v + 1)));
    EXPECT_NE(m.GetBitmap().GetPixel(0, 0), m.GetColorTable()[65]);  // not flat

    FillCache(m, [](int32_t X, int32_t Y) { return X == 0 && Y == 0 ? TResultCell{0, {0.5, 0}} : Escaped(3); });
    for (const uint8_t variant : {0, 1}) {
        m.PotentialVariant = variant;
        m.Draw();
        EXPECT_EQ(m.GetBitmap().GetPixel(0, 0), m.GetColorTable()[0]);
    }
}

TEST(PotentialDraw, OnePixelUsesATwoByTwoGridInRowOrder) {
    for (const uint8_t mode : {5, 6}) {
        for (const uint8_t variant : {0, 1}) {
            TMandel m;
            Size(m, 1, 1);
            m.DrawMode = mode;
            m.PotentialVariant = variant;
            m.Draw();  // binds the procedures
            m.ClearResultCache();
            std::vector<std::pair<int32_t, int32_t>> cells;
            std::vector<TComplexPoint> points;
            auto kernel = [&](const TComplexPoint& c, int32_t X, int32_t Y) {
                cells.emplace_back(X, Y);
                points.push_back(c);
                m.IterateMandelToCache(c, X, Y);
            };
            if (mode == dmPotentialCache)
                m.DrawPotentialCache(kernel);
            else if (variant == 1)
                m.DrawPotentialTint(kernel);
            else
                m.DrawPotentialPalette(kernel);
            const std::vector<std::pair<int32_t, int32_t>> order{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
            ASSERT_EQ(cells, order);
            const TComplexPoint P = m.GetPointP(), Q = m.GetPointQ();
            for (std::size_t i = 0; i < 4; ++i) {
                EXPECT_EQ(points[i].Re, cells[i].first ? P.Re + (Q.Re - P.Re) : P.Re);
                EXPECT_EQ(points[i].Im, cells[i].second ? P.Im + (Q.Im - P.Im) : P.Im);
            }
        }
    }
}

// Not a procedure Draw binds, so that the renderers take it point by point on
// the calling thread: the oracle of the rows shared among the workers.
double ShadeReciprocalAlone(double A, double B, double C) { return ShadeReciprocal(A, B, C); }

std::vector<uint64_t> CacheBits(const TMandel& m) {
    std::vector<uint64_t> out;
    for (const auto column : m.ResultCache)
        for (const TResultCell& c : column) {
            out.push_back(static_cast<uint32_t>(c.Count));
            out.push_back(std::bit_cast<uint64_t>(c.Z.Re));
            out.push_back(std::bit_cast<uint64_t>(c.Z.Im));
        }
    return out;
}

// A redraw from the cache shares each row among the participants. A pixel
// that fails on any of them, while another may have shaded pixels after it,
// fails on the calling thread where the point-by-point loop fails: the same
// message, the pixels before it set and none after it, the cache untouched
// and still valid. Rows of 1201 cells, whose last z is NaN (a NaN cosine
// potential) at chosen places, or whose count has no colour (mode 5).
TEST(PotentialDraw, ARedrawSharedAmongThreadsFailsWhereTheLoopFails) {
    struct Case {
        const char* what;
        uint8_t mode, variant;
        std::vector<std::pair<int32_t, int32_t>> bad;
    };
    const Case cases[] = {
        {"no failure", dmPotentialCosine, 0, {}},
        {"in the middle of a row and later in it", dmPotentialCosine, 0, {{700, 2}, {1000, 2}}},
        {"at the first pixel", dmPotentialCosine, 1, {{0, 0}}},
        {"at the last cell of a row, a right neighbour", dmPotentialCosine, 1, {{1200, 3}}},
        {"mode 5, a count without a colour", dmPotentialCache, 0, {{640, 1}, {900, 1}}},
    };
    for (const Case& c : cases) {
        const TResultCell badCell = c.mode == dmPotentialCache
                                        ? TResultCell{-5, {3, 0}}
                                        : TResultCell{1, {std::numeric_limits<double>::quiet_NaN(), 0}};
        auto cell = [](int32_t X, int32_t Y) { return Escaped(1 + ((X * 7 + Y * 3) % 5) * 0.25, 1 + (X + Y) % 4); };
        std::string wantError;
        std::vector<int32_t> want;
        for (const int32_t threads : {0, 1, 2, 3}) {  // 0: the oracle
            TMandel m;
            Size(m, 1200, 5);
            m.DrawMode = c.mode;
            m.PotentialVariant = c.variant;
            m.ShadingFunction = 2;
            FillCache(m, cell);
            for (const auto& [X, Y] : c.bad) m.ResultCache[X][Y] = badCell;
            const std::vector<uint64_t> cells = CacheBits(m);
            Sentinel(m);
            m.SetThreadCount(threads == 0 ? 1 : threads);
            const std::string what = std::string(c.what) + ", threads " + std::to_string(threads);
            std::string error;
            if (threads == 0 && c.mode == dmPotentialCache) {
                // Every pixel's colour in row order, up to the first that fails.
                try {
                    for (int32_t Y = 0; Y < 5; ++Y)
                        for (int32_t X = 0; X < 1200; ++X)
                            m.GetBitmap().SetPixel(X, Y, m.CountToColor(m.ResultCache[X][Y].Count));
                } catch (const Exception& e) {
                    error = e.what();
                }
            } else if (threads == 0) {
                m.PotentialProc = &TMandel::PotentialCosine;
                m.ShadeProc = &ShadeReciprocalAlone;
                m.TransferProc = &TMandel::BrightnessShift;
                auto none = [](const TComplexPoint&, int32_t, int32_t) { ADD_FAILURE() << "recomputed"; };
                try {
                    if (c.variant == 1)
                        m.DrawPotentialTint(none);
                    else
                        m.DrawPotentialPalette(none);
                } catch (const Exception& e) {
                    error = e.what();
                }
            } else {
                try {
                    m.Draw();
                } catch (const Exception& e) {
                    error = e.what();
                }
                EXPECT_EQ(m.Stats.KernelCalls, 0u) << what;
            }
            EXPECT_FALSE(m.GetBusy()) << what;
            EXPECT_TRUE(m.CacheMatchesView()) << what;
            EXPECT_TRUE(CacheBits(m) == cells) << what;
            if (threads == 0) {
                wantError = error;
                want = Pixels(m.GetBitmap());
                EXPECT_EQ(wantError.empty(), c.bad.empty()) << what;
                continue;
            }
            EXPECT_EQ(error, wantError) << what;
            EXPECT_TRUE(Pixels(m.GetBitmap()) == want) << what;
        }
    }
}

struct CacheRule {
    const char* change;
    bool julia;
    std::function<void(TMandel&)> apply;
    bool recomputes;
};

TEST(ResultCache, WhatRedrawsAndWhatRecomputes) {
    const CacheRule rules[] = {
        {"nothing", false, [](TMandel&) {}, false},
        {"shading function", false, [](TMandel& m) { m.ShadingFunction = 2; }, false},
        {"fold", false, [](TMandel& m) { m.BrightnessFold = 1; }, false},
        {"inversion", false, [](TMandel& m) { m.InvertBrightness = 1; }, false},
        {"scale exponent", false, [](TMandel& m) { m.SetScaleExponent(1.5); }, false},
        {"variant", false, [](TMandel& m) { m.PotentialVariant = 1; }, false},
        {"colour step", false, [](TMandel& m) { m.SetColorStep(3); }, false},
        {"palette", false, [](TMandel& m) { m.SetColorTable({0, 1, 2, 3}); }, false},
        {"mode 5", false, [](TMandel& m) { m.DrawMode = dmPotentialCache; }, false},
        {"mode 8", false, [](TMandel& m) { m.DrawMode = dmPotentialCosine; }, false},
        {"escape radius", false, [](TMandel& m) { m.SetEscapeRadius(3); }, true},
        {"iteration limit", false, [](TMandel& m) { m.SetMaxIter(100); }, true},
        {"power", false, [](TMandel& m) { m.SetPower(3); }, true},
        {"centre", false, [](TMandel& m) { m.SetCenter({-0.7, 0.1}); }, true},
        {"view width", false, [](TMandel& m) { m.SetViewWidth(2.5); }, true},
        {"width", false, [](TMandel& m) { m.SetWidth(13); }, true},
        {"height", false, [](TMandel& m) { m.SetHeight(10); }, true},
        {"kind", false, [](TMandel& m) { m.SwitchKind(); }, true},
        {"integer draw between",
         false,
         [](TMandel& m) {
             const uint8_t mode = m.DrawMode;
             m.DrawMode = dmSearch;
             m.Draw();
             m.DrawMode = mode;
         },
         true},
        {"Julia constant", true, [](TMandel& m) { m.SetJuliaConstant({0.3, 0.1}); }, true},
        {"Julia, same constant", true, [](TMandel& m) { m.SetJuliaConstant(m.GetJuliaConstant()); }, false},
    };
    for (const CacheRule& rule : rules) {
        TMandel m;
        Size(m, 12, 9);
        if (rule.julia) {
            m.SwitchKind();
            m.SetJuliaConstant({-0.4, 0.6});
        }
        m.DrawMode = dmPotentialGreen;
        m.Draw();
        ASSERT_EQ(m.Stats.KernelCalls, FullGrid(m));
        rule.apply(m);
        m.Draw();
        EXPECT_EQ(m.Stats.KernelCalls, rule.recomputes ? FullGrid(m) : 0u) << rule.change;
    }
}

TEST(ResultCache, ACancelledComputationRecomputesACancelledRedrawStaysValid) {
    for (const uint8_t mode : {5, 6, 7, 8}) {
        TMandel m;
        Size(m, 10, 8);
        m.DrawMode = mode;
        Sentinel(m);
        bool cancel = true;
        TScopedMessagePump pump([&] {
            if (cancel) m.SetBusy(false);
        });
        EXPECT_THROW(m.Draw(), EAbort);
        EXPECT_FALSE(m.GetBusy());
        EXPECT_FALSE(m.CacheKey.Complete);
        EXPECT_FALSE(m.CacheMatchesView());
        // Mode 5 draws pixel row 0 with grid row 0; the shaded modes need
        // grid row 1 first, so both have drawn exactly the top row.
        EXPECT_NE(m.GetBitmap().GetPixel(9, 0), kSentinel);
        EXPECT_EQ(m.GetBitmap().GetPixel(0, 1), kSentinel);

        cancel = false;
        m.Draw();
        EXPECT_EQ(m.Stats.KernelCalls, FullGrid(m)) << int(mode);

        cancel = true;
        EXPECT_THROW(m.Draw(), EAbort);  // a redraw from the cache
        EXPECT_TRUE(m.CacheMatchesView());
        cancel = false;
        m.Draw();
        EXPECT_EQ(m.Stats.KernelCalls, 0u) << int(mode);
    }
}

TEST(ResultCache, ACancelledComputationOfAViewOfWidthZeroIsNoCacheOfIt) {
    // The cells of the previous view must not pass for those of a view of
    // width 0, whose computation stopped after its first rows.
    TMandel m;
    Size(m, 10, 8);
    m.DrawMode = dmPotentialGreen;
    m.Draw();
    m.SetViewWidth(0);
    {
        TScopedMessagePump pump([&] { m.SetBusy(false); });
        EXPECT_THROW(m.Draw(), EAbort);
    }
    EXPECT_FALSE(m.CacheMatchesView());
    m.Draw();
    EXPECT_EQ(m.Stats.KernelCalls, FullGrid(m));
}

TEST(ResultCache, TheArrayIsReallocatedOnlyWhenTheSizeChanges) {
    TMandel m;
    Size(m, 12, 9);
    m.DrawMode = dmPotentialSmooth;
    m.Draw();
    const TResultCell* first = m.ResultCache[0].data();
    m.SetCenter({-0.5, 0.2});
    m.Draw();
    EXPECT_EQ(m.Stats.KernelCalls, FullGrid(m));
    EXPECT_EQ(m.ResultCache[0].data(), first);
    Size(m, 5, 30);
    m.Draw();
    ASSERT_EQ(m.ResultCache.size(), 6u);
    EXPECT_EQ(m.ResultCache[5].size(), 31u);
    EXPECT_EQ(m.CacheKey.Width, 5);
    EXPECT_EQ(m.CacheKey.Height, 30);
}

// Beyond what a bitmap may hold, or beyond the budget of a machine of 128
// MiB (pictures of 64 MiB): the draw fails before it allocates, in the
// shaded and the plain modes alike.
TEST(ResultCache, ARefusedSizeLeavesTheCacheAsItWas) {
    const TScopedPhysicalMemory memory(128 << 20);
    for (const auto& [w, h] : {std::pair{1 << 20, 2048}, std::pair{3000, 3000}}) {
        TMandel m;
        Size(m, 12, 9);
        m.DrawMode = dmPotentialCosine;
        m.Draw();
        Size(m, w, h);
        EXPECT_THROW(m.Draw(), EOutOfResources) << w;
        EXPECT_FALSE(m.GetBusy());
        EXPECT_EQ(m.ResultCache.size(), 13u);
        Size(m, 12, 9);
        m.Draw();
        EXPECT_EQ(m.Stats.KernelCalls, 0u);
        Size(m, w, h);
        m.DrawMode = dmNormal;
        EXPECT_THROW(m.Draw(), EOutOfResources) << w;
        EXPECT_EQ(m.GetBitmap().Width(), 12);
    }
}

TEST(ResultCache, ANonFiniteBrightnessRaisesTheRangeErrorAndLeavesNoValidCache) {
    for (const uint8_t variant : {0, 1}) {
        TMandel m;
        Size(m, 8, 6);
        m.DrawMode = dmPotentialGreen;
        m.PotentialVariant = variant;
        m.SetScaleExponent(400);  // the scale overflows
        EXPECT_THROW(m.Draw(), ERangeError) << int(variant);
        EXPECT_FALSE(m.GetBusy());
        EXPECT_FALSE(m.CacheMatchesView());
    }
}

}  // namespace
}  // namespace nimbrel
