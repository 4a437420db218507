// The kernels and the draw methods of TMandel, kept in a header so that each
// draw loop is compiled with its kernel inlined. Included by mandel_class.h.
#pragma once

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

template <class Kernel> auto TMandel::Counted(Kernel kernel) {
    return [this, kernel](const TComplexPoint& p) {
        const int32_t count = kernel(p);
        Tally(count);
        return count;
    };
}

template <class Kernel> void TMandel::DrawNormal(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
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
