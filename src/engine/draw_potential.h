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

#include <cmath>
#include <cstdint>
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
        if (m.kind_ == fkMandelbrot)
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
    const TResultCell& own = Cell(x, y);
    const TResultCell& right = Cell(x + 1, y);
    const TResultCell& below = Cell(x, y + 1);
    const double A = pot(*this, own.Z, own.Count) / dy;
    const double B = pot(*this, right.Z, right.Count) / dy;
    const double C = pot(*this, below.Z, below.Count) / dy;
    return transfer(*this, shade(A, B, C));
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

template <class Kernel> void TMandel::DrawPotentialCache(Kernel&& kernel) {
    const int32_t w = width_, h = height_;
    if (CacheMatchesView()) {
        SetBusy(true);
        TBusyGuard busy(*this);
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
    WithBoundProcs([&](auto pot, auto shade, auto transfer) {
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
        // column is the plane's left edge itself, computed point by point.
        TBusyGuard busy(*this);
        TMandelBatch& batch = Batch();
        batch.BeginCache();
        TRgb rgb;
        WithBoundProcs([&](auto pot, auto shade, auto transfer) {
            const TMandelBatch::TCacheRow top = batch.ComputeCacheRow(f, f.P.Im, 0, w + 1);
            for (int32_t X = 0; X <= w; ++X) batch.StoreCell(top, X, X, 0);
            for (int32_t Y = 1; Y <= h; ++Y) {
                const double im = f.P.Im + Y * f.dy;
                kernel(TComplexPoint{f.P.Re, im}, 0, Y);
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
