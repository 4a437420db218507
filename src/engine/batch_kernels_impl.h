// The vector loop behind the batch kernels, written once for any vector type.
// Included only by batch_kernels_sse2.cpp, _avx2.cpp and _avx512.cpp, each of
// which supplies a traits type V and is compiled for its own instruction set.
// Everything here has internal linkage, so no function compiled for one
// instruction set can be picked by the linker for another.
//
// How it works: NV vector slots are in flight at once, each holding a group of
// V::L consecutive points. One step advances every slot. A lane that has
// escaped goes on stepping (towards infinity or NaN, harmlessly) but counts
// as done: it counts the steps it makes while done, so that its escape step
// is the group's step count minus that, and when z is wanted its value at the
// escape step is captured. Nothing of the escape test feeds back into z, so
// the chain of dependent operations per step is as short as in the scalar
// loop and the slots hide each other's latency. A slot whose lanes are all
// done, or that has made MaxIter steps, writes its results and takes the next
// group of points. Lanes beyond the last point start out done and are never
// written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/batch_kernels.h"

#if defined(__GNUC__)
#define NIMBREL_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define NIMBREL_ALWAYS_INLINE inline
#endif

// The traits type V supplies: D (a vector of doubles), M (which lanes are
// done), I (a vector of 64-bit counters); L lanes; Load, Store, Set1, Zero,
// Add, Sub, Mul; Select(m, a, b) (a in the lanes of m, b in the others); Ge
// (false for NaN), Or, AndNot(a, b) (b and not a), Bits, All, DoneFrom(k)
// (lanes k.. set); CountZero, CountLanes (+1 in the lanes of m), StoreCount;
// Opaque (the value, unknown to the optimiser).

namespace nimbrel {
namespace {

// z' = z^2 + c, in the order of IterateMandel2: x' = (xx - yy) + c.Re,
// y' = (2 x) y + c.Im; then the squares of the new z.
// 2 x is computed as a multiplication, which gives the same value as x + x
// but balances the step between the adding and the multiplying units; the
// constant is hidden from the compiler so that it keeps the multiplication.
template <class V> struct TStepPower2 {
    using D = typename V::D;
    using M = typename V::M;
    D two = V::Opaque(V::Set1(2.0));
    NIMBREL_ALWAYS_INLINE void operator()(D& x, D& y, D& xx, D& yy, D cr, D ci) const {
        const D t = V::Sub(xx, yy);
        y = V::Add(V::Mul(V::Mul(two, x), y), ci);
        x = V::Add(t, cr);
        xx = V::Mul(x, x);
        yy = V::Mul(y, y);
    }
};

// z' = z^3 + c as the power-3 loop computes it: x' = (xx - 3 yy) x + c.Re,
// y' = (3 xx - yy) y + c.Im.
template <class V> struct TStepPower3 {
    using D = typename V::D;
    using M = typename V::M;
    NIMBREL_ALWAYS_INLINE void operator()(D& x, D& y, D& xx, D& yy, D cr, D ci) const {
        const D three = V::Set1(3.0);
        const D px = V::Mul(V::Sub(xx, V::Mul(three, yy)), x);
        y = V::Add(V::Mul(V::Sub(V::Mul(three, xx), yy), y), ci);
        x = V::Add(px, cr);
        xx = V::Mul(x, x);
        yy = V::Mul(y, y);
    }
};

// z' = ComplexPower(z, N) + c. The recursion of ComplexPower unrolled: square
// `levels` times, then multiply back, from the innermost level out, by the z
// of every level whose exponent was odd.
template <class V> struct TStepPowerN {
    using D = typename V::D;
    using M = typename V::M;
    int32_t levels = 0;
    uint32_t oddLevels = 0;

    explicit TStepPowerN(int32_t power) {
        for (int32_t n = power; n > 1; n /= 2, ++levels)
            if (n % 2 != 0) oddLevels |= uint32_t{1} << levels;
    }

    NIMBREL_ALWAYS_INLINE void operator()(D& x, D& y, D& xx, D& yy, D cr, D ci) const {
        D keptRe[32];
        D keptIm[32];
        D a = x, b = y;
        for (int32_t k = 0; k < levels; ++k) {
            keptRe[k] = a;
            keptIm[k] = b;
            const D sa = V::Sub(V::Mul(a, a), V::Mul(b, b));
            const D sb = V::Mul(V::Mul(V::Set1(2.0), a), b);
            a = sa;
            b = sb;
        }
        for (int32_t k = levels - 1; k >= 0; --k) {
            if ((oddLevels >> k & 1) == 0) continue;
            const D ta = V::Sub(V::Mul(a, keptRe[k]), V::Mul(b, keptIm[k]));
            const D tb = V::Add(V::Mul(a, keptIm[k]), V::Mul(b, keptRe[k]));
            a = ta;
            b = tb;
        }
        x = V::Add(a, cr);
        y = V::Add(b, ci);
        xx = V::Mul(x, x);
        yy = V::Mul(y, y);
    }
};

template <class V, int NV, class Step, bool KeepZ> class TBatchRun {
    using D = typename V::D;
    using M = typename V::M;
    using I = typename V::I;
    static constexpr int L = V::L;

public:
    TBatchRun(const TBatchParams& params, const TBatchPoints& points, const TBatchResults& results,
              const Step& step)
        : p_(params), pts_(points), out_(results), step_(step) {}

    void Run() {
        const D bailout = V::Set1(p_.Bailout);
        const int64_t maxIter = p_.MaxIter;
        for (int v = 0; v < NV; ++v) Load(v);
        while (live_ > 0) {
            // The steps run on locals, which stay in registers; the members
            // are touched only when a slot has to write its results.
            D x[NV], y[NV], xx[NV], yy[NV], cr[NV], ci[NV], zx[NV], zy[NV];
            M done[NV];
            I stepsDone[NV];
            bool watched[NV];
            int64_t limit = maxIter;
            for (int v = 0; v < NV; ++v) {
                x[v] = x_[v];
                y[v] = y_[v];
                xx[v] = xx_[v];
                yy[v] = yy_[v];
                cr[v] = cr_[v];
                ci[v] = ci_[v];
                zx[v] = zx_[v];
                zy[v] = zy_[v];
                done[v] = done_[v];
                stepsDone[v] = stepsDone_[v];
                watched[v] = valid_[v] != 0;
                if (watched[v] && maxIter - steps_[v] < limit) limit = maxIter - steps_[v];
            }
            int64_t steps = 0;
            for (;;) {
                for (int v = 0; v < NV; ++v) {
                    step_(x[v], y[v], xx[v], yy[v], cr[v], ci[v]);
                    const M escaped = V::Ge(V::Add(xx[v], yy[v]), bailout);
                    if constexpr (KeepZ) {
                        const M now = V::AndNot(done[v], escaped);
                        zx[v] = V::Select(now, x[v], zx[v]);
                        zy[v] = V::Select(now, y[v], zy[v]);
                    }
                    stepsDone[v] = V::CountLanes(stepsDone[v], done[v]);
                    done[v] = V::Or(done[v], escaped);
                }
                ++steps;
                bool finished = false;
                for (int v = 0; v < NV; ++v) finished |= watched[v] & V::All(done[v]);
                if (finished || steps == limit) break;
            }
            for (int v = 0; v < NV; ++v) {
                x_[v] = x[v];
                y_[v] = y[v];
                xx_[v] = xx[v];
                yy_[v] = yy[v];
                zx_[v] = zx[v];
                zy_[v] = zy[v];
                done_[v] = done[v];
                stepsDone_[v] = stepsDone[v];
                steps_[v] += steps;
            }
            for (int v = 0; v < NV; ++v) {
                if (valid_[v] != 0 && (V::All(done_[v]) || steps_[v] == maxIter)) {
                    Finish(v);
                    Load(v);
                }
            }
        }
    }

private:
    // Takes the next group of points into slot v, or leaves it idle.
    void Load(int v) {
        const std::size_t left = pts_.N - next_;
        if (left == 0) {
            if (valid_[v] != 0) --live_;
            valid_[v] = 0;
            x_[v] = y_[v] = xx_[v] = yy_[v] = cr_[v] = ci_[v] = zx_[v] = zy_[v] = V::Zero();
            done_[v] = V::DoneFrom(0);
            stepsDone_[v] = V::CountZero();
            return;
        }
        if (valid_[v] == 0) ++live_;
        const int m = left < static_cast<std::size_t>(L) ? static_cast<int>(left) : L;
        base_[v] = next_;
        next_ += static_cast<std::size_t>(m);
        valid_[v] = m;
        D re, im;
        if (m == L) {
            re = V::Load(pts_.Re + base_[v]);
            im = pts_.ImShared ? V::Set1(pts_.Im[0]) : V::Load(pts_.Im + base_[v]);
        } else {
            alignas(64) double r[L] = {};
            alignas(64) double i[L] = {};
            for (int k = 0; k < m; ++k) {
                r[k] = pts_.Re[base_[v] + static_cast<std::size_t>(k)];
                i[k] = pts_.ImShared ? pts_.Im[0] : pts_.Im[base_[v] + static_cast<std::size_t>(k)];
            }
            re = V::Load(r);
            im = V::Load(i);
        }
        if (p_.Julia) {
            x_[v] = re;
            y_[v] = im;
            xx_[v] = V::Mul(re, re);
            yy_[v] = V::Mul(im, im);
            cr_[v] = V::Set1(p_.JuliaRe);
            ci_[v] = V::Set1(p_.JuliaIm);
        } else {
            x_[v] = y_[v] = xx_[v] = yy_[v] = V::Zero();
            cr_[v] = re;
            ci_[v] = im;
        }
        zx_[v] = zy_[v] = V::Zero();
        done_[v] = V::DoneFrom(m);
        stepsDone_[v] = V::CountZero();
        steps_[v] = 0;
    }

    // Writes the results of slot v's group.
    void Finish(int v) {
        alignas(64) int64_t stepsDone[L];
        V::StoreCount(stepsDone, stepsDone_[v]);
        const unsigned escaped = V::Bits(done_[v]);
        const std::size_t b = base_[v];
        for (int k = 0; k < valid_[v]; ++k)
            out_.Counts[b + static_cast<std::size_t>(k)] =
                (escaped >> k & 1) != 0 ? static_cast<int32_t>(steps_[v] - stepsDone[k]) : 0;
        if constexpr (!KeepZ) return;
        // An escaped lane's z is the captured one, any other's the current.
        alignas(64) double zr[L];
        alignas(64) double zi[L];
        V::Store(zr, V::Select(done_[v], zx_[v], x_[v]));
        V::Store(zi, V::Select(done_[v], zy_[v], y_[v]));
        for (int k = 0; k < valid_[v]; ++k) {
            out_.ZRe[b + static_cast<std::size_t>(k)] = zr[k];
            out_.ZIm[b + static_cast<std::size_t>(k)] = zi[k];
        }
    }

    const TBatchParams& p_;
    const TBatchPoints& pts_;
    const TBatchResults& out_;
    const Step step_;
    D x_[NV], y_[NV], xx_[NV], yy_[NV], cr_[NV], ci_[NV], zx_[NV], zy_[NV];
    M done_[NV];
    I stepsDone_[NV];
    int64_t steps_[NV] = {};
    std::size_t base_[NV] = {};
    int valid_[NV] = {};
    std::size_t next_ = 0;
    int live_ = 0;
};

// MaxIter <= 0: no step at all; z stays where it starts.
inline void NoSteps(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    for (std::size_t k = 0; k < pts.N; ++k) {
        out.Counts[k] = 0;
        if (out.ZRe == nullptr) continue;
        out.ZRe[k] = p.Julia ? pts.Re[k] : 0.0;
        out.ZIm[k] = p.Julia ? (pts.ImShared ? pts.Im[0] : pts.Im[k]) : 0.0;
    }
}

template <class V, int NV, bool KeepZ>
void IterateBatchKeeping(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    if (p.Power == 2) {
        TBatchRun<V, NV, TStepPower2<V>, KeepZ>(p, pts, out, TStepPower2<V>{}).Run();
    } else if (p.Power == 3) {
        TBatchRun<V, NV, TStepPower3<V>, KeepZ>(p, pts, out, TStepPower3<V>{}).Run();
    } else {
        // The general power is long per step; two slots hide its latency.
        TBatchRun<V, 2, TStepPowerN<V>, KeepZ>(p, pts, out, TStepPowerN<V>(p.Power)).Run();
    }
}

template <class V, int NV>
void IterateBatchWith(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    if (p.MaxIter <= 0) return NoSteps(p, pts, out);
    if (out.ZRe != nullptr) IterateBatchKeeping<V, NV, true>(p, pts, out);
    else IterateBatchKeeping<V, NV, false>(p, pts, out);
}

}  // namespace
}  // namespace nimbrel
