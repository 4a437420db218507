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
#include <type_traits>
#include <utility>

#include "engine/batch_kernels.h"

#if defined(__GNUC__)
#define NIMBREL_ALWAYS_INLINE inline __attribute__((always_inline))
#define NIMBREL_LAMBDA_INLINE __attribute__((always_inline))
#else
#define NIMBREL_ALWAYS_INLINE inline
#define NIMBREL_LAMBDA_INLINE
#endif

// The traits type V supplies: D (a vector of doubles), M (which lanes are
// done), I (a vector of 64-bit counters); L lanes; Load, Store, Set1, Zero,
// Add, Sub, Mul; Select(m, a, b) (a in the lanes of m, b in the others); Ge
// (false for NaN), Or, AndNot(a, b) (b and not a), Bits, All, DoneFrom(k)
// (lanes k.. set); CountZero, CountLanes (+1 in the lanes of m),
// StoreCounts(out, n, steps, stepsDone, done) (out[k] = steps - stepsDone[k]
// in the lanes done, else 0, for k < n); Opaque (the value, unknown to the
// optimiser).

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

// Calls f(std::integral_constant<int, i>) for i = 0..N-1, unrolled, so that
// slot arrays indexed by i stay in registers.
template <class F, int... I> NIMBREL_ALWAYS_INLINE void UnrollEach(F& f, std::integer_sequence<int, I...>) {
    (f(std::integral_constant<int, I>{}), ...);
}
template <int N, class F> NIMBREL_ALWAYS_INLINE void Unroll(F&& f) {
    UnrollEach(f, std::make_integer_sequence<int, N>{});
}

template <class V, int NV, class Step, bool KeepZ> class TBatchRun {
    using D = typename V::D;
    using M = typename V::M;
    using I = typename V::I;
    static constexpr int L = V::L;

    // One vector slot: a group of up to L points and its state.
    struct TSlot {
        D x, y, xx, yy, cr, ci;
        D zx, zy;            // z at the escape step (KeepZ)
        M done;              // escaped, or beyond the last point
        I stepsDone;         // steps made while done
        int64_t steps;       // steps made by the group
        std::size_t base;    // index of the group's first point
        int valid;           // points in the group; 0: the slot is idle
    };

public:
    TBatchRun(const TBatchParams& params, const TBatchPoints& points, const TBatchResults& results,
              const Step& step)
        : p_(params), pts_(points), out_(results), step_(step) {}

    void Run() {
        const D bailout = V::Set1(p_.Bailout);
        const int64_t maxIter = p_.MaxIter;
        const Step step = step_;
        TSlot s[NV];
        Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
            s[decltype(v)::value].valid = 0;
            Load(s[decltype(v)::value]);
        });
        while (live_ > 0) {
            Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                TSlot& t = s[decltype(v)::value];
                step(t.x, t.y, t.xx, t.yy, t.cr, t.ci);
                const M escaped = V::Ge(V::Add(t.xx, t.yy), bailout);
                if constexpr (KeepZ) {
                    const M now = V::AndNot(t.done, escaped);
                    t.zx = V::Select(now, t.x, t.zx);
                    t.zy = V::Select(now, t.y, t.zy);
                }
                t.stepsDone = V::CountLanes(t.stepsDone, t.done);
                t.done = V::Or(t.done, escaped);
            });
            Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                TSlot& t = s[decltype(v)::value];
                ++t.steps;
                if (t.valid != 0 && (V::All(t.done) || t.steps == maxIter)) [[unlikely]] {
                    Finish(t);
                    Load(t);
                }
            });
        }
    }

private:
    // Takes the next group of points into the slot, or leaves it idle.
    NIMBREL_ALWAYS_INLINE void Load(TSlot& t) {
        const std::size_t left = pts_.N - next_;
        t.steps = 0;
        t.stepsDone = V::CountZero();
        t.zx = t.zy = V::Zero();
        if (left == 0) {
            if (t.valid != 0) --live_;
            t.valid = 0;
            t.x = t.y = t.xx = t.yy = t.cr = t.ci = V::Zero();
            t.done = V::DoneFrom(0);
            return;
        }
        if (t.valid == 0) ++live_;
        const int m = left < static_cast<std::size_t>(L) ? static_cast<int>(left) : L;
        t.base = next_;
        next_ += static_cast<std::size_t>(m);
        t.valid = m;
        D re, im;
        if (m == L) {
            re = V::Load(pts_.Re + t.base);
            im = pts_.ImShared ? V::Set1(pts_.Im[0]) : V::Load(pts_.Im + t.base);
        } else {
            alignas(64) double r[L] = {};
            alignas(64) double i[L] = {};
            for (int k = 0; k < m; ++k) {
                r[k] = pts_.Re[t.base + static_cast<std::size_t>(k)];
                i[k] = pts_.ImShared ? pts_.Im[0] : pts_.Im[t.base + static_cast<std::size_t>(k)];
            }
            re = V::Load(r);
            im = V::Load(i);
        }
        if (p_.Julia) {
            t.x = re;
            t.y = im;
            t.xx = V::Mul(re, re);
            t.yy = V::Mul(im, im);
            t.cr = V::Set1(p_.JuliaRe);
            t.ci = V::Set1(p_.JuliaIm);
        } else {
            t.x = t.y = t.xx = t.yy = V::Zero();
            t.cr = re;
            t.ci = im;
        }
        t.done = V::DoneFrom(m);
    }

    // Writes the results of the slot's group.
    NIMBREL_ALWAYS_INLINE void Finish(const TSlot& t) {
        V::StoreCounts(out_.Counts + t.base, t.valid, t.steps, t.stepsDone, t.done);
        if constexpr (KeepZ) {
            // An escaped lane's z is the captured one, any other's the current.
            alignas(64) double zr[L];
            alignas(64) double zi[L];
            V::Store(zr, V::Select(t.done, t.zx, t.x));
            V::Store(zi, V::Select(t.done, t.zy, t.y));
            for (int k = 0; k < t.valid; ++k) {
                out_.ZRe[t.base + static_cast<std::size_t>(k)] = zr[k];
                out_.ZIm[t.base + static_cast<std::size_t>(k)] = zi[k];
            }
        }
    }

    const TBatchParams& p_;
    const TBatchPoints& pts_;
    const TBatchResults& out_;
    const Step step_;
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
    // Keeping z costs two more registers per slot; one slot fewer keeps them
    // out of the stack (AVX-512 inside the set: 3.3 G/s against 2.4 with six).
    if (out.ZRe != nullptr) IterateBatchKeeping<V, (NV > 1 ? NV - 1 : 1), true>(p, pts, out);
    else IterateBatchKeeping<V, NV, false>(p, pts, out);
}

}  // namespace
}  // namespace nimbrel
