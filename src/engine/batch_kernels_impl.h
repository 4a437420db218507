// The vector loop behind the batch kernels, written once for any vector type.
// Included only by batch_kernels_sse2.cpp, _avx2.cpp and _avx512.cpp, each of
// which supplies a traits type V and is compiled for its own instruction set.
// Everything here has internal linkage, so no function compiled for one
// instruction set can be picked by the linker for another.
//
// How it works (TBatchRun below): NV vector slots are in flight at once, each
// holding a group of V::L consecutive points, and make blocks of K steps
// without looking at the escape condition; nothing of the test feeds back
// into z, so the chain of dependent operations per step is as short as in the
// scalar loop and the slots hide each other's latency. After a block, the
// lanes that show an escape are searched in the block's kept z for their
// first one. A slot whose lanes are all done, or that has made MaxIter steps,
// writes its results and takes the next group of points.
#pragma once

#include <cfloat>
#include <cstddef>
#include <cmath>
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

// The traits type V supplies: D (a vector of doubles), M (a set of lanes);
// L lanes; Load, Store, Set1, Zero, Add, Sub, Mul; Ge (a >= b, false for
// NaN), NotLess (not a < b: true for NaN), NotLe (not a <= b: true for NaN);
// Select(m, a, b) (a in the lanes of m, b in the others); And, Or, AndNot(a,
// b) (b and not a), Any, All, DoneFrom(k) (lanes k.. set); StoreInt32 (the L
// lanes, whole numbers, as 32-bit integers); Opaque (the value, unknown to
// the optimiser).

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

// Whether an escape can be trusted to last. Once |z| >= R (R^2 the bailout)
// with R >= sqrt(2), a power of at least 2 and |c| <= 0.99 (R^2 - R), every
// later step has |z'| >= |z|^2 - |c| > |z| by a margin far beyond rounding,
// or z is no longer finite and stays so (infinity and NaN never turn finite
// again in these steps). Such a lane therefore shows at the end of a block
// of steps that it has escaped somewhere in it: x*x + y*y >= R^2 or NaN.
// For any other c (or bailout, or power) an escape may be followed by a
// return inside the circle (Julia c = -3 from z = 1: -2, 1, -2, ...), and
// every step of every block must be looked at.
struct TEscapeLimit {
    bool Lasting = false;     // the bailout and power allow lasting escapes
    double MaxCSqr = 0;       // the largest |c|^2 for which they last

    explicit TEscapeLimit(const TBatchParams& p) {
        const double b = p.Bailout;
        if (!(b >= 2 && b <= DBL_MAX) || p.Power < 2) return;
        const double limit = 0.99 * (b - std::sqrt(b));
        const double sqr = limit * limit;
        MaxCSqr = sqr <= DBL_MAX ? sqr : DBL_MAX;
        Lasting = !p.Julia || p.JuliaRe * p.JuliaRe + p.JuliaIm * p.JuliaIm <= MaxCSqr;
    }
};

// The iteration of a batch of points, NV vector slots in flight, K steps at a
// time.
//
// A slot holds a group of V::L consecutive points. Every slot makes K steps
// without looking at the escape condition, keeping each step's z; nothing of
// the test stands between one step and the next, so the slots hide each
// other's latency and a step costs only its own operations. After the K
// steps, a lane whose escape lasts (see TEscapeLimit) and that has not
// escaped shows x*x + y*y < bailout, unless it escaped within the block; the
// lanes that show otherwise, and those whose escape need not last, are
// searched in the kept z of the block for their first escape, computed from
// them exactly as the scalar loop computes it. A lane that has escaped goes
// on stepping, harmlessly, but no longer counts. A lane whose z turned NaN
// without escaping (from a NaN or infinite start) can never escape: it is
// searched once and then left alone. The group's last block may go beyond
// MaxIter: only its first steps are searched, and the z of a lane that did
// not escape is the one kept at step MaxIter. When all lanes have escaped or
// MaxIter is reached, the slot writes the group's results and takes the next
// group. Lanes beyond the last point start out escaped and are never written.
template <class V, int NV, int K, class Step, bool KeepZ> class TBatchRun {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int L = V::L;

    struct TSlot {
        D x, y, xx, yy;
        M done;            // escaped, or no point in the lane
        M watch;           // an escape that may not last: search every block
        M stuck;           // NaN without an escape: never escapes
        int64_t steps;     // steps made by the group
        std::size_t base;  // index of the group's first point
        int valid;         // points in the group; 0: the slot is idle
    };

    // What a slot has found so far, kept out of the registers of the steps.
    struct TFound {
        alignas(64) double Count[L];  // escape step, 0 while none
        alignas(64) double ZRe[L];    // z at the escape step
        alignas(64) double ZIm[L];
    };

public:
    TBatchRun(const TBatchParams& params, const TBatchPoints& points, const TBatchResults& results,
              const Step& step)
        : p_(params), pts_(points), out_(results), step_(step), limit_(params) {}

    void Run() {
        const D bailout = V::Set1(p_.Bailout);
        const Step step = step_;
        TSlot s[NV];
        Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
            TSlot& t = s[decltype(v)::value];
            t.valid = 0;
            Load(t, decltype(v)::value);
        });
        while (live_ > 0) {
            Unroll<K>([&](auto k) NIMBREL_LAMBDA_INLINE {
                Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                    TSlot& t = s[decltype(v)::value];
                    constexpr int i = decltype(v)::value;
                    step(t.x, t.y, t.xx, t.yy, V::Load(cRe_[i]), V::Load(cIm_[i]));
                    V::Store(keptX_[decltype(v)::value][decltype(k)::value], t.x);
                    V::Store(keptY_[decltype(v)::value][decltype(k)::value], t.y);
                });
            });
            Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                constexpr int i = decltype(v)::value;
                TSlot& t = s[i];
                const int64_t left = p_.MaxIter - t.steps;
                t.steps += K;
                const M out = V::NotLess(V::Add(t.xx, t.yy), bailout);
                const M flagged = V::AndNot(V::Or(t.done, t.stuck), V::Or(out, t.watch));
                if (left > K) [[likely]] {
                    if (!V::Any(flagged)) [[likely]] return;
                    const M pending = Search(i, flagged, K, t.steps - K);
                    t.done = V::Or(t.done, V::AndNot(pending, flagged));
                    // A lane whose escape would have lasted, flagged without
                    // escaping, is NaN.
                    t.stuck = V::Or(t.stuck, V::AndNot(t.watch, pending));
                    if (!V::All(t.done)) return;
                    Finish(i, t.base, t.valid, t.done, t.x, t.y);
                } else {
                    // The group's last block: the steps up to MaxIter count,
                    // and a lane that did not escape ends with the z kept at
                    // MaxIter.
                    if (t.valid == 0) return;
                    const int r = static_cast<int>(left);
                    if (V::Any(flagged)) {
                        const M pending = Search(i, flagged, r, t.steps - K);
                        t.done = V::Or(t.done, V::AndNot(pending, flagged));
                    }
                    Finish(i, t.base, t.valid, t.done, V::Load(keptX_[i][r - 1]), V::Load(keptY_[i][r - 1]));
                }
                Load(t, i);
            });
        }
    }

private:
    // Finds the first escape, within the first r steps of the block, of the
    // flagged lanes (the group had made `before` steps before the block);
    // answers those that did not escape.
    NIMBREL_ALWAYS_INLINE M Search(int i, M flagged, int r, int64_t before) {
        const D bailout = V::Set1(p_.Bailout);
        TFound& f = found_[i];
        D count = V::Load(f.Count);
        D zr = V::Load(f.ZRe);
        D zi = V::Load(f.ZIm);
        D stepNo = V::Set1(static_cast<double>(before));
        const D one = V::Set1(1.0);
        M pending = flagged;
        for (int k = 0; k < r; ++k) {
            const D x = V::Load(keptX_[i][k]);
            const D y = V::Load(keptY_[i][k]);
            stepNo = V::Add(stepNo, one);
            const M escaped = V::And(V::Ge(V::Add(V::Mul(x, x), V::Mul(y, y)), bailout), pending);
            count = V::Select(escaped, stepNo, count);
            if constexpr (KeepZ) {
                zr = V::Select(escaped, x, zr);
                zi = V::Select(escaped, y, zi);
            }
            pending = V::AndNot(escaped, pending);
        }
        V::Store(f.Count, count);
        if constexpr (KeepZ) {
            V::Store(f.ZRe, zr);
            V::Store(f.ZIm, zi);
        }
        return pending;
    }

    // Takes the next group of points into the slot, or leaves it idle.
    NIMBREL_ALWAYS_INLINE void Load(TSlot& t, int i) {
        TFound& f = found_[i];
        const std::size_t left = pts_.N - next_;
        t.steps = 0;
        t.stuck = V::DoneFrom(L);
        V::Store(f.Count, V::Zero());
        if (left == 0) {
            if (t.valid != 0) --live_;
            t.valid = 0;
            t.base = next_;
            t.x = t.y = t.xx = t.yy = V::Zero();
            V::Store(cRe_[i], V::Zero());
            V::Store(cIm_[i], V::Zero());
            t.done = V::DoneFrom(0);
            t.watch = V::DoneFrom(L);
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
            alignas(64) double partRe[L] = {};
            alignas(64) double partIm[L] = {};
            for (int k = 0; k < m; ++k) {
                partRe[k] = pts_.Re[t.base + static_cast<std::size_t>(k)];
                partIm[k] = pts_.ImShared ? pts_.Im[0] : pts_.Im[t.base + static_cast<std::size_t>(k)];
            }
            re = V::Load(partRe);
            im = V::Load(partIm);
        }
        t.done = V::DoneFrom(m);
        if (p_.Julia) {
            t.x = re;
            t.y = im;
            t.xx = V::Mul(re, re);
            t.yy = V::Mul(im, im);
            V::Store(cRe_[i], V::Set1(p_.JuliaRe));
            V::Store(cIm_[i], V::Set1(p_.JuliaIm));
            t.watch = limit_.Lasting ? V::DoneFrom(L) : V::DoneFrom(0);
        } else {
            t.x = t.y = t.xx = t.yy = V::Zero();
            V::Store(cRe_[i], re);
            V::Store(cIm_[i], im);
            t.watch = limit_.Lasting
                          ? V::NotLe(V::Add(V::Mul(re, re), V::Mul(im, im)), V::Set1(limit_.MaxCSqr))
                          : V::DoneFrom(0);
        }
    }

    // Writes the results of slot i's group: the escape step and z there, or
    // 0 and the z after the last step (x, y) for a lane that did not escape.
    NIMBREL_ALWAYS_INLINE void Finish(int i, std::size_t base, int valid, M done, D x, D y) {
        const TFound& f = found_[i];
        int32_t* const counts = out_.Counts + base;
        if (valid == L) {
            V::StoreInt32(counts, V::Load(f.Count));
        } else {
            int32_t c[L];
            V::StoreInt32(c, V::Load(f.Count));
            for (int k = 0; k < valid; ++k) counts[k] = c[k];
        }
        if constexpr (KeepZ) {
            const D zr = V::Select(done, V::Load(f.ZRe), x);
            const D zi = V::Select(done, V::Load(f.ZIm), y);
            if (valid == L) {
                V::Store(out_.ZRe + base, zr);
                V::Store(out_.ZIm + base, zi);
            } else {
                alignas(64) double r[L];
                alignas(64) double im[L];
                V::Store(r, zr);
                V::Store(im, zi);
                for (int k = 0; k < valid; ++k) {
                    out_.ZRe[base + static_cast<std::size_t>(k)] = r[k];
                    out_.ZIm[base + static_cast<std::size_t>(k)] = im[k];
                }
            }
        } else {
            static_cast<void>(done);
            static_cast<void>(x);
            static_cast<void>(y);
        }
    }

    const TBatchParams& p_;
    const TBatchPoints& pts_;
    const TBatchResults& out_;
    const Step step_;
    const TEscapeLimit limit_;
    std::size_t next_ = 0;
    int live_ = 0;
    // The z after each step of the current block, per slot.
    alignas(64) double keptX_[NV][K][L];
    alignas(64) double keptY_[NV][K][L];
    TFound found_[NV];
    // Each slot's c, read from memory by the steps, which leaves the vector
    // registers to the slots' z.
    alignas(64) double cRe_[NV][L];
    alignas(64) double cIm_[NV][L];
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

template <class V, int NV, int K, bool KeepZ>
void IterateBatchKeeping(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    if (p.Power == 2) {
        TBatchRun<V, NV, K, TStepPower2<V>, KeepZ>(p, pts, out, TStepPower2<V>{}).Run();
    } else if (p.Power == 3) {
        TBatchRun<V, NV, K, TStepPower3<V>, KeepZ>(p, pts, out, TStepPower3<V>{}).Run();
    } else {
        // The general power is long per step; two slots hide its latency.
        TBatchRun<V, 2, K, TStepPowerN<V>, KeepZ>(p, pts, out, TStepPowerN<V>(p.Power)).Run();
    }
}

// NV slots in flight. Blocks of 25 steps cost least where most points stay
// long (inside the set: 2.0 iterations per cycle against 1.8 with 5 steps,
// AVX-512); blocks of 5 where most escape early (a group ends at the block
// in which its last lane escaped).
template <class V, int NV>
void IterateBatchWith(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    if (p.MaxIter <= 0) return NoSteps(p, pts, out);
    const bool keepZ = out.ZRe != nullptr;
    if (p.MaxIter >= 500) {
        if (keepZ) IterateBatchKeeping<V, NV, 25, true>(p, pts, out);
        else IterateBatchKeeping<V, NV, 25, false>(p, pts, out);
    } else {
        if (keepZ) IterateBatchKeeping<V, NV, 5, true>(p, pts, out);
        else IterateBatchKeeping<V, NV, 5, false>(p, pts, out);
    }
}

}  // namespace
}  // namespace nimbrel
