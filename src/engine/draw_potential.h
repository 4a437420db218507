// The renderers of the potential-brightness modes of TMandel (draw modes
// 5..8), kept in a header so that each renderer's pixel loop is compiled with
// its kernel and its bound procedures inlined. Included by the engine and by
// the tests that hand the renderers kernels of their own. The potentials and
// shading functions themselves are pure functions of src/shading/.
//
// Every grid point of a (Width + 1) x (Height + 1) grid gets its escape count
// and its last z in the result cache; a pixel's brightness comes from the
// potentials of its own cell and of the cells to its right and below it.
// The cache outlives the draw, so that a change of the shading options only
// redraws from it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "engine/mandel_batch.h"
#include "engine/mandel_class.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "shading/UPotentialBrightMethod.h"
#include "values/Rgblib.h"

namespace nimbrel {

// The engine's own cache kernel, as Draw hands it to the renderers:
// IterateMandelToCache or IterateJuliaToCache, counted in the statistics.
// The renderers recognise it and compute whole grid rows with the batch
// kernels.
struct TEngineCacheKernel {
    TMandel* Engine;
    void operator()(const TComplexPoint& C, int32_t X, int32_t Y) const {
        TMandel& m = *Engine;
        if (m.view_.Kind == fkMandelbrot)
            m.IterateMandelToCache(C, X, Y);
        else
            m.IterateJuliaToCache(C, X, Y);
        m.Tally(m.Cell(X, Y).Count);
    }
};

namespace detail {

// The bound procedures as call objects. The renderers pick the fixed ones
// once per draw, so that the pixel loop calls them directly; the "Via" ones
// call through the fields, for procedures the renderers do not know.
template <TPotentialFunc F> struct TPotentialOf {
    double operator()(const TMandel& m, const TComplexPoint& z, int32_t n) const { return (m.*F)(z, n); }
};
struct TPotentialVia {
    TPotentialFunc F;
    double operator()(const TMandel& m, const TComplexPoint& z, int32_t n) const { return (m.*F)(z, n); }
};
template <TShadeFunc F> struct TShadeOf {
    double operator()(double a, double b, double c) const { return F(a, b, c); }
};
struct TShadeVia {
    TShadeFunc F;
    double operator()(double a, double b, double c) const { return F(a, b, c); }
};
template <TTransferFunc F> struct TTransferOf {
    double operator()(const TMandel& m, double s) const { return (m.*F)(s); }
};
struct TTransferVia {
    TTransferFunc F;
    double operator()(const TMandel& m, double s) const { return (m.*F)(s); }
};

// The renderers compute whole grid rows with the batch kernels for the
// engine's own cache kernel, and call any other kernel point by point.
template <class Kernel>
inline constexpr bool kIsEngineCacheKernel = std::is_same_v<std::remove_cvref_t<Kernel>, TEngineCacheKernel>;
}  // namespace detail

template <class F> void TMandel::WithBoundProcs(F&& f) {
    using detail::TPotentialOf;
    using detail::TShadeOf;
    using detail::TTransferOf;
    const bool knownPotential = PotentialProc == &TMandel::PotentialGreen ||
                                PotentialProc == &TMandel::PotentialSmooth ||
                                PotentialProc == &TMandel::PotentialCosine;
    const bool knownShade = ShadeProc == &ShadeSignedCosine || ShadeProc == &ShadeOffsetRatio ||
                            ShadeProc == &ShadeReciprocal || ShadeProc == &ShadeSine;
    const bool knownTransfer = TransferProc == &TMandel::BrightnessAbs || TransferProc == &TMandel::BrightnessShift;
    if (!(knownPotential && knownShade && knownTransfer)) {
        f(detail::TPotentialVia{PotentialProc}, detail::TShadeVia{ShadeProc}, detail::TTransferVia{TransferProc});
        return;
    }
    auto withTransfer = [&](auto pot, auto shade) {
        if (TransferProc == &TMandel::BrightnessAbs)
            f(pot, shade, TTransferOf<&TMandel::BrightnessAbs>{});
        else
            f(pot, shade, TTransferOf<&TMandel::BrightnessShift>{});
    };
    auto withShade = [&](auto pot) {
        if (ShadeProc == &ShadeSignedCosine)
            withTransfer(pot, TShadeOf<&ShadeSignedCosine>{});
        else if (ShadeProc == &ShadeOffsetRatio)
            withTransfer(pot, TShadeOf<&ShadeOffsetRatio>{});
        else if (ShadeProc == &ShadeReciprocal)
            withTransfer(pot, TShadeOf<&ShadeReciprocal>{});
        else
            withTransfer(pot, TShadeOf<&ShadeSine>{});
    };
    if (PotentialProc == &TMandel::PotentialGreen)
        withShade(TPotentialOf<&TMandel::PotentialGreen>{});
    else if (PotentialProc == &TMandel::PotentialSmooth)
        withShade(TPotentialOf<&TMandel::PotentialSmooth>{});
    else
        withShade(TPotentialOf<&TMandel::PotentialCosine>{});
}

template <class Pot, class Shade, class Transfer>
double TMandel::Brightness(int32_t x, int32_t y, double dy, Pot pot, Shade shade, Transfer transfer) {
    if (deepActive_) return DeepBrightness(x, y, pot, shade, transfer);
    const TResultCell& own = Cell(x, y);
    const TResultCell& right = Cell(x + 1, y);
    const TResultCell& below = Cell(x, y + 1);
    const double A = pot(*this, own.Z, own.Count) / dy;
    const double B = pot(*this, right.Z, right.Count) / dy;
    const double C = pot(*this, below.Z, below.Count) / dy;
    return transfer(*this, shade(A, B, C));
}

template <class Pot, class Shade, class Transfer>
double TMandel::DeepBrightness(int32_t x, int32_t y, Pot pot, Shade shade, Transfer transfer) {
    // A deep view is shaded as the shallow view of the same shape: the
    // slope d = B + C - 2A is taken per pixel, over the pixel step of a view
    // of the kind's default height at this picture size (not over the
    // view's own step, which would make every deep relief a cliff), and
    // Green's potential log2|z| / 2^Count in units of 2^-Count of the
    // pixel's own cell (a copy of a shape deeper in the set has its counts
    // shifted and its potentials scaled by 2^-shift, and looks the same).
    // The shading functions see only d; they get it as B (A = C = 0).
    const TResultCell& own = Cell(x, y);
    const TResultCell& right = Cell(x + 1, y);
    const TResultCell& below = Cell(x, y + 1);
    const bool green = PotentialProc == &TMandel::PotentialGreen;
    auto value = [&](const TResultCell& c) {
        if (green) {
            const double q = c.Z.Re * c.Z.Re + c.Z.Im * c.Z.Im;
            if (!(q > 0)) return TFloatExp();
            return TFloatExp(std::log2(q) * (scale_ * 0.5),
                             static_cast<int64_t>(own.Count) - static_cast<int64_t>(c.Count));
        }
        return TFloatExp(pot(*this, c.Z, c.Count));
    };
    const TFloatExp sum = value(right) + value(below) - value(own).Times2Pow(1);
    const double shallowHeight = view_.Power == 2 && view_.Kind == fkMandelbrot ? 3.0 : 4.0;
    const double dy = -shallowHeight / height_;
    double d = sum.ToDouble() / dy;
    if (std::isinf(d)) d = d > 0 ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
    return transfer(*this, shade(0.0, d, 0.0));
}

template <bool Tint, class Pot, class Shade, class Transfer>
void TMandel::ShadePixel(int32_t x, int32_t y, double dy, Pot pot, Shade shade, Transfer transfer, TRgb& rgb) {
    const int32_t count = Cell(x, y).Count;
    if (count == 0) {  // inside the set, whatever the neighbours
        bitmap_.SetPixel(x, y, CountToColor(0));
        return;
    }
    const double v = Brightness(x, y, dy, pot, shade, transfer);
    if constexpr (Tint) {
        // The count's colour keeps its colour differences and takes v as luma.
        rgb.SetColor(CountToColor(count));
        const double cr = rgb.GetCr();
        const double cb = rgb.GetCb();
        rgb.SetYCrCb(v, cr, cb);
        bitmap_.SetPixel(x, y, rgb.GetColor());
    } else {
        // v = 0 gives index 1, v = 1 gives ColorCount; NaN or a value beyond
        // 32 bits raises ERangeError.
        const int32_t index = CheckedInt32(Trunc64((static_cast<double>(colorCount_) - 1) * v + 1));
        bitmap_.SetPixel(x, y, CountToColor(index));
    }
}

template <bool Tint, class Shade, class Transfer>
uint32_t TMandel::ShadedPixel(int32_t count, double A, double B, double C, Shade shade, Transfer transfer, TRgb& rgb,
                              const TMandelBatch& batch) const {
    // ShadePixel's steps, its potentials computed beforehand (they are pure
    // functions of the cells) and its colours taken from the lookup where
    // it holds.
    if (count == 0) return TBitmap::ToPixel(batch.Color(0));
    const double v = transfer(*this, shade(A, B, C));
    if constexpr (Tint) {
        rgb.SetColor(batch.Color(count));
        const double cr = rgb.GetCr();
        const double cb = rgb.GetCb();
        rgb.SetYCrCb(v, cr, cb);
        return TBitmap::ToPixel(rgb.GetColor());
    } else {
        const int32_t index = CheckedInt32(Trunc64((static_cast<double>(colorCount_) - 1) * v + 1));
        return TBitmap::ToPixel(batch.Color(index));
    }
}

namespace detail {

// The first pixel of a row that failed on any participant, or the row's
// width when none did.
class TFirstFailure {
public:
    explicit TFirstFailure(int32_t Width) : first_(Width) {}
    void Failed(int32_t X) {
        int32_t seen = first_.load(std::memory_order_relaxed);
        while (X < seen && !first_.compare_exchange_weak(seen, X, std::memory_order_relaxed)) {
        }
    }
    int32_t First() const { return first_.load(std::memory_order_relaxed); }

private:
    std::atomic<int32_t> first_;
};

// Pixels [A, B) of a shared row, Pixels[x] = Shade(x); the first pixel
// whose colour fails is noted, and the participant leaves the rest of its
// part to the calling thread.
template <class F> void ShadeChunk(int32_t A, int32_t B, uint32_t* Pixels, TFirstFailure& Failure, F&& Shade) {
    for (int32_t X = A; X < B; ++X) {
        try {
            Pixels[X] = Shade(static_cast<std::size_t>(X));
        } catch (const Exception&) {
            Failure.Failed(X);
            return;
        }
    }
}

// The potential procedures Draw binds are pure functions of a cell, which
// the rows may compute once per cell and on any thread; procedures of
// unknown kind run point by point on the calling thread.
template <class Pot, class Shade, class Transfer>
inline constexpr bool kSharedShading = !std::is_same_v<Pot, TPotentialVia> && !std::is_same_v<Shade, TShadeVia> &&
                                       !std::is_same_v<Transfer, TTransferVia>;

}  // namespace detail

// Each pixel row Y - 1 of the shaded modes comes with grid row Y: a
// participant that computed the grid points [a, b) stores their cells,
// takes their potentials, and shades the pixels [a, b) of the row above
// from those and from the potentials of the grid row before (pixel X needs
// cells X and X + 1 of the row before and cell X of its own row). The
// pixels go to a row buffer, so that a pixel that fails on any participant
// leaves the bitmap as the point-by-point loop leaves it: the calling
// thread copies the pixels before it, puts back the cells the loop would
// not yet have stored, counts those it would have, and shades the failing
// pixel itself, which raises the same exception at the same pixel.
template <bool Tint, class Pot, class Shade, class Transfer>
void TMandel::ComputeShadedRows(const TFrame& f, Pot pot, Shade shade, Transfer transfer) {
    const int32_t w = width_, h = height_;
    const double dy = f.dy;
    TMandelBatch& batch = Batch();
    TBatchRows& rows = batch.Rows();
    const auto n = static_cast<std::size_t>(w) + 1;
    for (auto& p : batch.Potentials) p.resize(n);
    for (auto& c : batch.RowCounts) c.resize(n);
    batch.PixelRow.resize(n);
    batch.SavedCells.resize(n);
    double* above = batch.Potentials[0].data();
    double* below = batch.Potentials[1].data();
    int32_t* aboveCounts = batch.RowCounts[0].data();
    int32_t* belowCounts = batch.RowCounts[1].data();
    uint32_t* const pixels = batch.PixelRow.data();
    TResultCell* const saved = batch.SavedCells.data();
    for (int32_t Y = 0; Y <= h; ++Y) {
        detail::TFirstFailure failure(w);
        const auto work = [&](int32_t a, int32_t b, int32_t) {
            const int32_t* const counts = rows.Counts();
            const double* const zre = rows.ZRe();
            const double* const zim = rows.ZIm();
            for (int32_t X = a; X < b; ++X) {
                const auto x = static_cast<std::size_t>(X);
                TResultCell& cell = ResultCache[x][static_cast<std::size_t>(Y)];
                saved[x] = cell;
                cell.Count = counts[x];
                cell.Z = TComplexPoint{zre[x], zim[x]};
                below[x] = pot(*this, cell.Z, cell.Count) / dy;
                belowCounts[x] = cell.Count;
            }
            if (Y == 0) return;
            TRgb rgb;
            detail::ShadeChunk(a, std::min(b, w), pixels, failure, [&](std::size_t x) {
                return ShadedPixel<Tint>(aboveCounts[x], above[x], above[x + 1], below[x], shade, transfer, rgb, batch);
            });
        };
        // The point-by-point loop takes the left edge of rows 1.. as the
        // plane's edge itself, and that of row 0 as P.Re + 0 * dx.
        const TBatchRows::TResult r =
            rows.ComputeThen(f.dx, f.P.Re, f.P.Im + Y * f.dy, w + 1, Y == 0 ? nullptr : &f.P.Re, work);
        const int32_t first = failure.First();
        if (first < w) {
            // The loop stores and counts cells 0 .. first + 1 of this row
            // before it shades pixel `first`.
            for (int32_t X = first + 2; X <= w; ++X)
                ResultCache[static_cast<std::size_t>(X)][static_cast<std::size_t>(Y)] = saved[X];
            for (int32_t X = 0; X <= first + 1; ++X) Tally(belowCounts[X]);
            std::copy(pixels, pixels + first, bitmap_.Scanline(Y - 1));
            TRgb rgb;
            ShadePixel<Tint>(first, Y - 1, dy, pot, shade, transfer, rgb);
            // Not reached: the same pixel fails again. Should it not, the
            // row goes on point by point.
            for (int32_t X = first + 2; X <= w; ++X) {
                TResultCell& cell = Cell(X, Y);
                cell.Count = belowCounts[X];
                cell.Z = TComplexPoint{rows.ZRe()[X], rows.ZIm()[X]};
                Tally(cell.Count);
                ShadePixel<Tint>(X - 1, Y - 1, dy, pot, shade, transfer, rgb);
            }
        } else {
            Stats.KernelCalls += static_cast<uint64_t>(w) + 1;
            Stats.Iterations += r.Iterations;
            if (Y > 0) std::copy(pixels, pixels + w, bitmap_.Scanline(Y - 1));
        }
        if (Y > 0) YieldRow();
        std::swap(above, below);
        std::swap(aboveCounts, belowCounts);
    }
}

// The redraw from the cache, a row at a time as ComputeShadedRows shades it.
template <bool Tint, class Pot, class Shade, class Transfer>
void TMandel::RedrawShadedRows(double dy, Pot pot, Shade shade, Transfer transfer) {
    const int32_t w = width_, h = height_;
    TMandelBatch& batch = Batch();
    batch.BeginCache();
    TBatchRows& rows = batch.Rows();
    const auto n = static_cast<std::size_t>(w) + 1;
    for (auto& p : batch.Potentials) p.resize(n);
    for (auto& c : batch.RowCounts) c.resize(n);
    batch.PixelRow.resize(n);
    double* above = batch.Potentials[0].data();
    double* below = batch.Potentials[1].data();
    int32_t* aboveCounts = batch.RowCounts[0].data();
    int32_t* belowCounts = batch.RowCounts[1].data();
    uint32_t* const pixels = batch.PixelRow.data();
    for (int32_t Y = 0; Y <= h; ++Y) {
        detail::TFirstFailure failure(w);
        const auto work = [&](int32_t a, int32_t b, int32_t) {
            for (int32_t X = a; X < b; ++X) {
                const auto x = static_cast<std::size_t>(X);
                const TResultCell& cell = ResultCache[x][static_cast<std::size_t>(Y)];
                below[x] = pot(*this, cell.Z, cell.Count) / dy;
                belowCounts[x] = cell.Count;
            }
            if (Y == 0) return;
            TRgb rgb;
            detail::ShadeChunk(a, std::min(b, w), pixels, failure, [&](std::size_t x) {
                return ShadedPixel<Tint>(aboveCounts[x], above[x], above[x + 1], below[x], shade, transfer, rgb, batch);
            });
        };
        rows.Share(w + 1, work);
        if (Y > 0) {
            const int32_t first = failure.First();
            std::copy(pixels, pixels + first, bitmap_.Scanline(Y - 1));
            TRgb rgb;
            // A failing pixel fails again here, on the calling thread.
            for (int32_t X = first; X < w; ++X) ShadePixel<Tint>(X, Y - 1, dy, pot, shade, transfer, rgb);
            YieldRow();
        }
        std::swap(above, below);
        std::swap(aboveCounts, belowCounts);
    }
}

template <class Kernel> void TMandel::DrawPotentialCache(Kernel&& kernel) {
    const int32_t w = width_, h = height_;
    if (CacheMatchesView()) {
        SetBusy(true);
        TBusyGuard busy(*this);
        if (ShapedForRows()) return RedrawCountRows();
        for (int32_t Y = 0; Y < h; ++Y) {
            for (int32_t X = 0; X < w; ++X) bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
            YieldRow();
        }
        return;
    }
    const TFrame f = BeginCacheComputation();
    if constexpr (detail::kIsEngineCacheKernel<Kernel>) {
        // Each grid row computed at once; its cells are then stored, counted
        // and painted in the order of the point-by-point loop below, so that
        // a failing colour stops at the same cell.
        TBusyGuard busy(*this);
        TMandelBatch& batch = Batch();
        batch.BeginCache();
        if (batch.ColorsKnown() && ShapedForRows()) {
            ComputeCountRows(f);
            StoreCacheKey();
            return;
        }
        for (int32_t Y = 0; Y <= h; ++Y) {
            const TMandelBatch::TCacheRow row = batch.ComputeCacheRow(f, f.P.Im + Y * f.dy, 0, w + 1);
            if (Y == h) {
                for (int32_t X = 0; X <= w; ++X) batch.StoreCell(row, X, X, h);
                break;
            }
            for (int32_t X = 0; X < w; ++X) {
                batch.StoreCell(row, X, X, Y);
                bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
            }
            batch.StoreCell(row, w, w, Y);
            YieldRow();
        }
    } else {
        TBusyGuard busy(*this);
        for (int32_t Y = 0; Y < h; ++Y) {
            const double im = f.P.Im + Y * f.dy;
            for (int32_t X = 0; X < w; ++X) {
                kernel(TComplexPoint{f.P.Re + X * f.dx, im}, X, Y);
                bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
            }
            kernel(TComplexPoint{f.P.Re + w * f.dx, im}, w, Y);
            YieldRow();
        }
        // The extra row serves only as the lower neighbours of the last one.
        const double im = f.P.Im + h * f.dy;
        for (int32_t X = 0; X <= w; ++X) kernel(TComplexPoint{f.P.Re + X * f.dx, im}, X, h);
    }
    StoreCacheKey();
}

template <bool Tint> void TMandel::RedrawShaded() {
    const int32_t w = width_, h = height_;
    SetBusy(true);
    TBusyGuard busy(*this);
    TRgb rgb;
    const TComplexPoint Q = GetPointQ();
    const TComplexPoint P = GetPointP();
    const double dy = (Q.Im - P.Im) / h;
    const bool shaped = ShapedForRows();
    WithBoundProcs([&](auto pot, auto shade, auto transfer) {
        if constexpr (detail::kSharedShading<decltype(pot), decltype(shade), decltype(transfer)>) {
            if (shaped && !deepActive_) return RedrawShadedRows<Tint>(dy, pot, shade, transfer);
        }
        for (int32_t Y = 0; Y < h; ++Y) {
            for (int32_t X = 0; X < w; ++X) ShadePixel<Tint>(X, Y, dy, pot, shade, transfer, rgb);
            YieldRow();
        }
    });
}

template <bool Tint, class Kernel> void TMandel::ComputeShaded(Kernel& kernel) {
    const int32_t w = width_, h = height_;
    const TFrame f = BeginCacheComputation();
    if constexpr (detail::kIsEngineCacheKernel<Kernel>) {
        // The same order with the grid rows computed at once. The first
        // column is the plane's left edge itself, computed on its own.
        TBusyGuard busy(*this);
        TMandelBatch& batch = Batch();
        batch.BeginCache();
        TRgb rgb;
        const bool shaped = ShapedForRows();
        WithBoundProcs([&](auto pot, auto shade, auto transfer) {
            if constexpr (detail::kSharedShading<decltype(pot), decltype(shade), decltype(transfer)>) {
                if (shaped) return ComputeShadedRows<Tint>(f, pot, shade, transfer);
            }
            const TMandelBatch::TCacheRow top = batch.ComputeCacheRow(f, f.P.Im, 0, w + 1);
            for (int32_t X = 0; X <= w; ++X) batch.StoreCell(top, X, X, 0);
            for (int32_t Y = 1; Y <= h; ++Y) {
                const double im = f.P.Im + Y * f.dy;
                batch.StoreCell(batch.ComputeCachePoints(&f.P.Re, im, 1), 0, 0, Y);
                const TMandelBatch::TCacheRow row = batch.ComputeCacheRow(f, im, 1, w);
                for (int32_t X = 1; X <= w; ++X) {
                    batch.StoreCell(row, X - 1, X, Y);
                    ShadePixel<Tint>(X - 1, Y - 1, f.dy, pot, shade, transfer, rgb);
                }
                YieldRow();
            }
        });
    } else {
        TBusyGuard busy(*this);
        TRgb rgb;
        WithBoundProcs([&](auto pot, auto shade, auto transfer) {
            // Pixel row Y - 1 needs grid row Y, so the pixels trail the grid
            // by one row; grid row 0 draws nothing.
            for (int32_t X = 0; X <= w; ++X) kernel(TComplexPoint{f.P.Re + X * f.dx, f.P.Im}, X, 0);
            for (int32_t Y = 1; Y <= h; ++Y) {
                const double im = f.P.Im + Y * f.dy;
                kernel(TComplexPoint{f.P.Re, im}, 0, Y);
                for (int32_t X = 1; X <= w; ++X) {
                    kernel(TComplexPoint{f.P.Re + X * f.dx, im}, X, Y);
                    ShadePixel<Tint>(X - 1, Y - 1, f.dy, pot, shade, transfer, rgb);
                }
                YieldRow();
            }
        });
    }
    StoreCacheKey();
}

template <class Kernel> void TMandel::DrawPotentialPalette(Kernel&& kernel) {
    if (!PotentialProc || !ShadeProc || !TransferProc) RaisePotentialBrightError();
    if (CacheMatchesView())
        RedrawShaded<false>();
    else
        ComputeShaded<false>(kernel);
}

template <class Kernel> void TMandel::DrawPotentialTint(Kernel&& kernel) {
    if (!PotentialProc || !ShadeProc || !TransferProc) RaisePotentialBrightError();
    if (CacheMatchesView())
        RedrawShaded<true>();
    else
        ComputeShaded<true>(kernel);
}

}  // namespace nimbrel
