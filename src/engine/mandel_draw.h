// The kernels and the draw methods of TMandel, kept in a header so that each
// draw loop is compiled with its kernel inlined. Included by mandel_class.h.
#pragma once

#include <type_traits>

#include "platform/application.h"

namespace nimbrel {

// The kernels' loops count i from 1 while i <= MaxIter without ever computing
// MaxIter + 1, so that MaxIter = INT32_MAX is safe.

inline int32_t TMandel::IterateMandel2(const TComplexPoint& P) const {
    double x = 0, y = 0, xx = 0, yy = 0;
    const int32_t maxIter = MaxIter_;
    if (maxIter <= 0) return 0;
    for (int32_t i = 1;; ++i) {
        const double nx = (xx - yy) + P.Re;
        y = (2 * x) * y + P.Im;
        x = nx;
        xx = x * x;
        yy = y * y;
        if (xx + yy >= 4) return i;
        if (i == maxIter) return 0;
    }
}

inline int32_t TMandel::IterateJulia2(const TComplexPoint& P) const {
    double x = P.Re, y = P.Im;
    double xx = x * x, yy = y * y;
    const TComplexPoint c = JuliaConstant_;
    const int32_t maxIter = MaxIter_;
    if (maxIter <= 0) return 0;
    for (int32_t i = 1;; ++i) {
        const double nx = (xx - yy) + c.Re;
        y = (2 * x) * y + c.Im;
        x = nx;
        xx = x * x;
        yy = y * y;
        if (xx + yy >= 4) return i;
        if (i == maxIter) return 0;
    }
}

namespace detail {

// The loop shared by IterateMandelN and IterateJuliaN: z starts at `z`, c is
// the constant.
inline int32_t IterateN(TComplexPoint z, const TComplexPoint& c, int32_t power, int32_t maxIter) {
    if (maxIter <= 0) return 0;
    if (power == 3) {
        double x = z.Re, y = z.Im;
        double xx = x * x, yy = y * y;
        for (int32_t i = 1;; ++i) {
            const double nx = (xx - 3 * yy) * x + c.Re;
            y = (3 * xx - yy) * y + c.Im;
            x = nx;
            xx = x * x;
            yy = y * y;
            if (xx + yy >= 4) return i;
            if (i == maxIter) return 0;
        }
    }
    for (int32_t i = 1;; ++i) {
        z = ComplexPower(z, power);
        z.Re = z.Re + c.Re;
        z.Im = z.Im + c.Im;
        if (z.Re * z.Re + z.Im * z.Im >= 4) return i;
        if (i == maxIter) return 0;
    }
}

}  // namespace detail

inline int32_t TMandel::IterateMandelN(const TComplexPoint& P) const {
    return detail::IterateN(TComplexPoint{0, 0}, P, Power_, MaxIter_);
}

inline int32_t TMandel::IterateJuliaN(const TComplexPoint& P) const {
    return detail::IterateN(P, JuliaConstant_, Power_, MaxIter_);
}

inline int32_t TEngineKernel::operator()(const TComplexPoint& P) const {
    const TMandel& m = *Engine;
    const int32_t count = m.Kind_ == fkMandelbrot ? (m.Power_ == 2 ? m.IterateMandel2(P) : m.IterateMandelN(P))
                                                  : (m.Power_ == 2 ? m.IterateJulia2(P) : m.IterateJuliaN(P));
    Engine->Tally(count);
    return count;
}

namespace detail {
// The draw methods compute rows with the batch kernels for the engine's own
// kernel, and call any other kernel point by point.
template <class Kernel>
inline constexpr bool kIsEngineKernel = std::is_same_v<std::remove_cvref_t<Kernel>, TEngineKernel>;
}  // namespace detail

template <class Kernel> void TMandel::DrawNormal(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
    if constexpr (detail::kIsEngineKernel<Kernel>) {
        BeginBatch(Width_);
        for (int32_t y = 0; y <= f.LastY; ++y) {
            PaintBatchRow(f, y, 0, 1);
            YieldRow();
        }
        return;
    }
    for (int32_t y = 0; y <= f.LastY; ++y) {
        uint32_t* row = Bitmap_.Scanline(y);
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
        BeginBatch(Width_);
        int32_t n = 0;
        auto fillRow = [&](int32_t y, int32_t first, int32_t stride, int32_t size) {
            const int32_t* counts = ComputeBatchRow(f, y, first, stride, n);
            for (int32_t k = 0; k < n; ++k) {
                const int32_t x = first + k * stride;
                Bitmap_.FillRect(TRect{x, y, x + size, y + size}, CountedBatchColor(counts[k]));
            }
            YieldRow();
        };
        for (int32_t y = 0; y <= f.LastY; y += 16) fillRow(y, 0, 16, 16);
        for (int32_t d = 16; d > 2; d /= 2) {
            const int32_t e = d / 2;
            for (int32_t y = 0; y <= f.LastY; y += e) {
                if (y % d == 0) fillRow(y, e, d, e);
                else fillRow(y, 0, e, e);
            }
        }
        for (int32_t y = 0; y <= f.LastY; ++y) {
            if (y % 2 == 1) PaintBatchRow(f, y, 0, 1);
            else PaintBatchRow(f, y, 1, 2);
            YieldRow();
        }
        return;
    }
    // Coarse blocks of 16 pixels.
    for (int32_t y = 0; y <= f.LastY; y += 16) {
        for (int32_t x = 0; x <= f.LastX; x += 16)
            Bitmap_.FillRect(TRect{x, y, x + 16, y + 16}, CountToColor(kernel(f.Point(x, y))));
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
                Bitmap_.FillRect(TRect{x, y, x + e, y + e}, CountToColor(kernel(f.Point(x, y))));
            }
            YieldRow();
        }
        d = e;
    } while (e > 2);
    // Single pixels: every point with an odd coordinate.
    for (int32_t y = 0; y <= f.LastY; ++y) {
        uint32_t* row = Bitmap_.Scanline(y);
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
        BeginBatch(Width_);
        for (const auto& pass : kPasses) {
            for (int32_t y = pass[0]; y <= f.LastY; y += 2) {
                PaintBatchRow(f, y, pass[1], 2);
                YieldRow();
            }
        }
        return;
    }
    for (const auto& pass : kPasses) {
        for (int32_t y = pass[0]; y <= f.LastY; y += 2) {
            uint32_t* row = Bitmap_.Scanline(y);
            for (int32_t x = pass[1]; x <= f.LastX; x += 2)
                row[x] = TBitmap::ToPixel(CountToColor(kernel(f.Point(x, y))));
            YieldRow();
        }
    }
}

}  // namespace nimbrel

#include "engine/draw_antialias.h"
#include "engine/draw_boundary.h"
