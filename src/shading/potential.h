// The potential-brightness modes of TMandel (draw modes 5..8): the cache
// kernels, the potentials, the brightness transfers and the three renderers.
// Included by mandel_class.h, so that each renderer's pixel loop is compiled
// with its kernel and its bound procedures inlined.
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

#include "platform/sysutils.h"
#include "scene/Rgblib.h"
#include "shading/UPotentialBrightMethod.h"

namespace nimbrel {

namespace detail {

struct TCacheOrbit {
    int32_t Count;
    double x;
    double y;
};

// One step of z -> z^2 + c or z -> z^3 + c from z = (x, y) and its squares.
template <int Power>
inline void StepWithSquares(double& x, double& y, double xx, double yy, const TComplexPoint& c) {
    if constexpr (Power == 2) {
        const double nx = (xx - yy) + c.Re;
        y = (2 * x) * y + c.Im;
        x = nx;
    } else {
        const double nx = x * (xx - 3 * yy) + c.Re;
        y = y * (3 * xx - yy) + c.Im;
        x = nx;
    }
}

// Powers 2 and 3 keep the squares of the escape test for the next step.
template <int Power>
inline TCacheOrbit IterateWithSquares(double x, double y, const TComplexPoint& c, int32_t maxIter,
                                      double radiusSqr) {
    double xx = x * x, yy = y * y;
    for (int32_t i = 1;; ++i) {
        StepWithSquares<Power>(x, y, xx, yy, c);
        xx = x * x;
        yy = y * y;
        if (xx + yy >= radiusSqr) return {i, x, y};
        if (i == maxIter) return {0, x, y};
    }
}

// The orbit of the cache kernels: z starts at `z`, c is the constant. Count
// is the step after which |z|^2 first reached radiusSqr (0 if it never did in
// maxIter steps), x and y the last z. The start itself is never tested. Like
// the integer kernels, the loop never computes maxIter + 1.
inline TCacheOrbit IterateToCache(const TComplexPoint& z, const TComplexPoint& c, int32_t power,
                                  int32_t maxIter, double radiusSqr) {
    if (maxIter <= 0) return {0, z.Re, z.Im};
    if (power == 2) return IterateWithSquares<2>(z.Re, z.Im, c, maxIter, radiusSqr);
    if (power == 3) return IterateWithSquares<3>(z.Re, z.Im, c, maxIter, radiusSqr);
    TComplexPoint w = z;
    for (int32_t i = 1;; ++i) {
        w = ComplexPower(w, power);
        w.Re = w.Re + c.Re;
        w.Im = w.Im + c.Im;
        const double xx = w.Re * w.Re, yy = w.Im * w.Im;
        if (xx + yy >= radiusSqr) return {i, w.Re, w.Im};
        if (i == maxIter) return {0, w.Re, w.Im};
    }
}

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

}  // namespace detail

inline void TMandel::IterateMandelToCache(const TComplexPoint& C, int32_t X, int32_t Y) {
    TResultCell& cell = Cell(X, Y);
    const detail::TCacheOrbit o =
        detail::IterateToCache(TComplexPoint{0, 0}, C, Power_, MaxIter_, EscapeRadiusSqr_);
    cell.Count = o.Count;
    cell.Z = TComplexPoint{o.x, o.y};
}

inline void TMandel::IterateJuliaToCache(const TComplexPoint& C, int32_t X, int32_t Y) {
    TResultCell& cell = Cell(X, Y);
    const detail::TCacheOrbit o = detail::IterateToCache(C, JuliaConstant_, Power_, MaxIter_, EscapeRadiusSqr_);
    cell.Count = o.Count;
    cell.Z = TComplexPoint{o.x, o.y};
}

// Scale * log2|z| / 2^Count. The division by 2^Count is a change of exponent,
// exact also where 2^Count itself would overflow a double.
inline double TMandel::PotentialGreen(const TComplexPoint& Z, int32_t Count) const {
    const double q = Z.Re * Z.Re + Z.Im * Z.Im;
    if (!(q > 0)) return 0;
    const int exponent = Count < -100000 ? 100000 : -Count;  // far beyond any double either way
    return std::ldexp(std::log2(q) * (Scale_ * 0.5), exponent);
}

// The smooth iteration count, Count - log2 ln|z|, divided by the scale. The
// divisor stays ln 2 whatever the power.
inline double TMandel::PotentialSmooth(const TComplexPoint& Z, int32_t Count) const {
    const double r = std::sqrt(Z.Re * Z.Re + Z.Im * Z.Im);
    if (!(r > 0)) return 0;
    const double l = std::log(r);
    if (!(l > 0)) return 0;
    return (Count - std::log(l) / static_cast<double>(Ln2_)) / Scale_;
}

// The cosine of |z|^2 (radians) divided by the scale; arguments of 2^63 or
// more, whose cosine the processor cannot take, count as cosine 0.
inline double TMandel::PotentialCosine(const TComplexPoint& Z, int32_t /*Count*/) const {
    const double a = Z.Re * Z.Re + Z.Im * Z.Im;
    const double c = std::fabs(a) >= 0x1p63 ? 0.0 : std::cos(a);
    return c / Scale_;
}

inline double TMandel::ApplyInvert(double V) const { return InvertBrightness == 1 ? 1 - V : V; }
inline double TMandel::BrightnessAbs(double S) const { return ApplyInvert(std::fabs(S)); }
inline double TMandel::BrightnessShift(double S) const { return ApplyInvert((S + 1) / 2); }

inline void TEngineCacheKernel::operator()(const TComplexPoint& C, int32_t X, int32_t Y) const {
    TMandel& m = *Engine;
    if (m.Kind_ == fkMandelbrot)
        m.IterateMandelToCache(C, X, Y);
    else
        m.IterateJuliaToCache(C, X, Y);
    m.Tally(m.Cell(X, Y).Count);
}

namespace detail {
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
        Bitmap_.SetPixel(x, y, CountToColor(0));
        return;
    }
    const double v = Brightness(x, y, dy, pot, shade, transfer);
    if constexpr (Tint) {
        // The count's colour keeps its colour differences and takes v as luma.
        rgb.SetColor(CountToColor(count));
        const double cr = rgb.GetCr();
        const double cb = rgb.GetCb();
        rgb.SetYCrCb(v, cr, cb);
        Bitmap_.SetPixel(x, y, rgb.GetColor());
    } else {
        // v = 0 gives index 1, v = 1 gives ColorCount; NaN or a value beyond
        // 32 bits raises ERangeError.
        const int32_t index = CheckedInt32(Trunc64((static_cast<double>(ColorCount_) - 1) * v + 1));
        Bitmap_.SetPixel(x, y, CountToColor(index));
    }
}

template <class Kernel> void TMandel::DrawPotentialCache(Kernel&& kernel) {
    const int32_t w = Width_, h = Height_;
    if (CacheMatchesView()) {
        SetBusy(true);
        TBusyGuard busy(*this);
        for (int32_t Y = 0; Y < h; ++Y) {
            for (int32_t X = 0; X < w; ++X) Bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
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
        BeginCacheBatch();
        for (int32_t Y = 0; Y <= h; ++Y) {
            const TCacheRow row = ComputeCacheRow(f, f.P.Im + Y * f.dy, 0, w + 1);
            if (Y == h) {
                for (int32_t X = 0; X <= w; ++X) StoreCell(row, X, X, h);
                break;
            }
            for (int32_t X = 0; X < w; ++X) {
                StoreCell(row, X, X, Y);
                Bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
            }
            StoreCell(row, w, w, Y);
            YieldRow();
        }
    } else {
        TBusyGuard busy(*this);
        for (int32_t Y = 0; Y < h; ++Y) {
            const double im = f.P.Im + Y * f.dy;
            for (int32_t X = 0; X < w; ++X) {
                kernel(TComplexPoint{f.P.Re + X * f.dx, im}, X, Y);
                Bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
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
    const int32_t w = Width_, h = Height_;
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
    const int32_t w = Width_, h = Height_;
    const TFrame f = BeginCacheComputation();
    if constexpr (detail::kIsEngineCacheKernel<Kernel>) {
        // The same order with the grid rows computed at once. The first
        // column is the plane's left edge itself, computed point by point.
        TBusyGuard busy(*this);
        BeginCacheBatch();
        TRgb rgb;
        WithBoundProcs([&](auto pot, auto shade, auto transfer) {
            const TCacheRow top = ComputeCacheRow(f, f.P.Im, 0, w + 1);
            for (int32_t X = 0; X <= w; ++X) StoreCell(top, X, X, 0);
            for (int32_t Y = 1; Y <= h; ++Y) {
                const double im = f.P.Im + Y * f.dy;
                kernel(TComplexPoint{f.P.Re, im}, 0, Y);
                const TCacheRow row = ComputeCacheRow(f, im, 1, w);
                for (int32_t X = 1; X <= w; ++X) {
                    StoreCell(row, X - 1, X, Y);
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
