// The integer draw methods of TMandel (modes 0..4), kept in a header so that
// each draw loop is compiled with its kernel inlined. Included by the engine
// and by the tests that hand the draw methods kernels of their own.
#pragma once

#include <type_traits>

#include "engine/draw_potential.h"
#include "engine/mandel_batch.h"
#include "engine/mandel_class.h"

namespace nimbrel {

// The engine's own kernel for its current kind and power, as Draw hands it
// to the draw methods. Called like any kernel it is the scalar kernel and
// counts the statistics; the draw methods recognise it and compute whole rows
// with the batch kernels, on every participant of the worker pool.
struct TEngineKernel {
    TMandel* Engine;
    int32_t operator()(const TComplexPoint& P) const {
        const TMandel& m = *Engine;
        const int32_t count = m.view_.Kind == fkMandelbrot
                                  ? (m.view_.Power == 2 ? m.IterateMandel2(P) : m.IterateMandelN(P))
                                  : (m.view_.Power == 2 ? m.IterateJulia2(P) : m.IterateJuliaN(P));
        Engine->Tally(count);
        return count;
    }
};

// The kernels of the deep path (engine/deep_pixel.h): the point is the
// pixel's position in a frame of pixels, the engine measures it from the
// centre in units of the pixel step; yields within a long pixel.
struct TDeepKernel {
    TMandel* Engine;
    int32_t operator()(const TComplexPoint& Pixel) const { return Engine->DeepCount(Pixel); }
};
struct TDeepCacheKernel {
    TMandel* Engine;
    void operator()(const TComplexPoint& Pixel, int32_t X, int32_t Y) const { Engine->DeepToCache(Pixel, X, Y); }
};

namespace detail {
// The draw methods compute rows with the batch kernels for the engine's own
// kernel, and call any other kernel point by point.
template <class Kernel>
inline constexpr bool kIsEngineKernel = std::is_same_v<std::remove_cvref_t<Kernel>, TEngineKernel>;
// And the deep kernel's rows on the worker pool.
template <class Kernel>
inline constexpr bool kIsDeepKernel = std::is_same_v<std::remove_cvref_t<Kernel>, TDeepKernel>;

// Mode 1's passes of blocks, for a row filler Fill(y, First, Stride, Size):
// blocks of 16 on every 16th row, then each halving down to 2, a row of a
// halving taking only the points that no pass before computed.
template <class Fill> void SearchBlockPasses(int32_t LastY, Fill&& fill) {
    for (int32_t y = 0; y <= LastY; y += 16) fill(y, 0, 16, 16);
    for (int32_t d = 16; d > 2; d /= 2) {
        const int32_t e = d / 2;
        for (int32_t y = 0; y <= LastY; y += e) {
            if (y % d == 0) fill(y, e, d, e);
            else fill(y, 0, e, e);
        }
    }
}
}  // namespace detail

template <class Kernel> void TMandel::DrawNormal(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
    if constexpr (detail::kIsEngineKernel<Kernel>) {
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        for (int32_t y = 0; y <= f.LastY; ++y) {
            batch.PaintRow(f, y, 0, 1);
            YieldRow();
        }
        return;
    }
    if constexpr (detail::kIsDeepKernel<Kernel>) {
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        deepCounts_.resize(static_cast<std::size_t>(width_));
        for (int32_t y = 0; y <= f.LastY; ++y) {
            DeepRow(y, 0, 1, width_, deepCounts_.data());
            uint32_t* row = bitmap_.Scanline(y);
            for (int32_t x = 0; x <= f.LastX; ++x) row[x] = TBitmap::ToPixel(batch.Color(deepCounts_[x]));
            YieldRow();
        }
        return;
    }
    for (int32_t y = 0; y <= f.LastY; ++y) {
        uint32_t* row = bitmap_.Scanline(y);
        const double im = y * f.dy + f.P.Im;
        for (int32_t x = 0; x <= f.LastX; ++x)
            row[x] = TBitmap::ToPixel(CountToColor(kernel(TComplexPoint{x * f.dx + f.P.Re, im})));
        YieldRow();
    }
}

template <class Kernel> void TMandel::DrawSearch(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
    if constexpr (detail::kIsEngineKernel<Kernel>) {
        // The same passes, each row's points computed together: the points of
        // a refinement row are every E-th column, or only the odd multiples of
        // E on a row whose points of even multiples were computed before.
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        int32_t n = 0;
        auto fillRow = [&](int32_t y, int32_t first, int32_t stride, int32_t size) {
            const int32_t* counts = batch.ComputeRow(f, y, first, stride, n);
            for (int32_t k = 0; k < n; ++k) {
                const int32_t x = first + k * stride;
                bitmap_.FillRect(TRect{x, y, x + size, y + size}, batch.CountedColor(counts[k]));
            }
            YieldRow();
        };
        detail::SearchBlockPasses(f.LastY, fillRow);
        for (int32_t y = 0; y <= f.LastY; ++y) {
            if (y % 2 == 1) batch.PaintRow(f, y, 0, 1);
            else batch.PaintRow(f, y, 1, 2);
            YieldRow();
        }
        return;
    }
    if constexpr (detail::kIsDeepKernel<Kernel>) {
        // The same passes with each row's points shared among the pool.
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        deepCounts_.resize(static_cast<std::size_t>(width_));
        auto fillRow = [&](int32_t y, int32_t first, int32_t stride, int32_t size) {
            const int32_t n = first <= f.LastX ? (f.LastX - first) / stride + 1 : 0;
            DeepRow(y, first, stride, n, deepCounts_.data());
            for (int32_t k = 0; k < n; ++k) {
                const int32_t x = first + k * stride;
                bitmap_.FillRect(TRect{x, y, x + size, y + size}, batch.Color(deepCounts_[k]));
            }
            YieldRow();
        };
        detail::SearchBlockPasses(f.LastY, fillRow);
        for (int32_t y = 0; y <= f.LastY; ++y) {
            if (y % 2 == 1) fillRow(y, 0, 1, 1);
            else fillRow(y, 1, 2, 1);
        }
        return;
    }
    // Coarse blocks of 16 pixels.
    for (int32_t y = 0; y <= f.LastY; y += 16) {
        for (int32_t x = 0; x <= f.LastX; x += 16)
            bitmap_.FillRect(TRect{x, y, x + 16, y + 16}, CountToColor(kernel(f.Point(x, y))));
        YieldRow();
    }
    // Refinement by halving, to blocks of 8, 4 and 2; each point once.
    int32_t d = 16;
    int32_t e;
    do {
        e = d / 2;
        for (int32_t y = 0; y <= f.LastY; y += e) {
            for (int32_t x = 0; x <= f.LastX; x += e) {
                if (x % d == 0 && y % d == 0) continue;
                bitmap_.FillRect(TRect{x, y, x + e, y + e}, CountToColor(kernel(f.Point(x, y))));
            }
            YieldRow();
        }
        d = e;
    } while (e > 2);
    // Single pixels: every point with an odd coordinate.
    for (int32_t y = 0; y <= f.LastY; ++y) {
        uint32_t* row = bitmap_.Scanline(y);
        const int32_t first = (y % 2 == 1) ? 0 : 1;
        const int32_t stride = (y % 2 == 1) ? 1 : 2;
        for (int32_t x = first; x <= f.LastX; x += stride)
            row[x] = TBitmap::ToPixel(CountToColor(kernel(f.Point(x, y))));
        YieldRow();
    }
}

template <class Kernel> void TMandel::DrawEmerge(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
    // Four interlaced passes: (even row, even column), (odd, odd), (odd, even),
    // (even, odd); rows top to bottom, each left to right.
    static constexpr int32_t kPasses[4][2] = {{0, 0}, {1, 1}, {1, 0}, {0, 1}};
    if constexpr (detail::kIsEngineKernel<Kernel>) {
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        for (const auto& pass : kPasses) {
            for (int32_t y = pass[0]; y <= f.LastY; y += 2) {
                batch.PaintRow(f, y, pass[1], 2);
                YieldRow();
            }
        }
        return;
    }
    if constexpr (detail::kIsDeepKernel<Kernel>) {
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        deepCounts_.resize(static_cast<std::size_t>(width_));
        for (const auto& pass : kPasses) {
            for (int32_t y = pass[0]; y <= f.LastY; y += 2) {
                const int32_t n = pass[1] <= f.LastX ? (f.LastX - pass[1]) / 2 + 1 : 0;
                DeepRow(y, pass[1], 2, n, deepCounts_.data());
                uint32_t* row = bitmap_.Scanline(y);
                for (int32_t k = 0; k < n; ++k) row[pass[1] + 2 * k] = TBitmap::ToPixel(batch.Color(deepCounts_[k]));
                YieldRow();
            }
        }
        return;
    }
    for (const auto& pass : kPasses) {
        for (int32_t y = pass[0]; y <= f.LastY; y += 2) {
            uint32_t* row = bitmap_.Scanline(y);
            for (int32_t x = pass[1]; x <= f.LastX; x += 2)
                row[x] = TBitmap::ToPixel(CountToColor(kernel(f.Point(x, y))));
            YieldRow();
        }
    }
}

template <class Kernel, class CacheKernel> void TMandel::DrawWith(Kernel&& kernel, CacheKernel&& cacheKernel) {
    Stats = TDrawStats{};
    work_.Reset();
    // The work after the last yield counts too, however the draw ends.
    struct TLastWork {
        TMandel& m;
        ~TLastWork() { m.Stats.MostWorkBetweenYields = m.work_.Most(); }
    } lastWork{*this};
    if (IsIntegerDrawMode(DrawMode)) {
        ClearResultCache();
        switch (DrawMode) {
            case dmNormal: DrawNormal(kernel); break;
            case dmSearch: DrawSearch(kernel); break;
            case dmBoundary: DrawBoundary(kernel); break;
            case dmEmerge: DrawEmerge(kernel); break;
            default: DrawAntialias(kernel); break;
        }
        return;
    }
    // Modes 5..8 keep the result cache; a bad shading function stops here,
    // before any pixel or the cache changes.
    BindPotentialProcs();
    if (DrawMode == dmPotentialCache)
        DrawPotentialCache(cacheKernel);
    else if (PotentialVariant == 1)
        DrawPotentialTint(cacheKernel);
    else
        DrawPotentialPalette(cacheKernel);
}

}  // namespace nimbrel

#include "engine/draw_antialias.h"
#include "engine/draw_boundary.h"
