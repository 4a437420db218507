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
// lanes that show an escape are searched for their first one, in the z kept
// after each step of the block or in the steps made again from its start. A
// slot whose lanes are all done, or that has made MaxIter steps, writes its
// results and takes the next group of points.
#pragma once

#include <cfloat>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <limits>
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
// L lanes; Load, Store, Set1, Zero, Add, Sub, Mul; Eq (a == b, false for
// NaN); Ge (a >= b, false for NaN), NotLess (not a < b: true for NaN), NotLe (not a <= b: true for NaN);
// Select(m, a, b) (a in the lanes of m, b in the others); And, Or, AndNot(a,
// b) (b and not a), Any, All, DoneFrom(k) (lanes k.. set); StoreInt32 (the L
// lanes, whole numbers, as 32-bit integers); Opaque (the value, unknown to
// the optimiser).

namespace nimbrel {
namespace {

// The steps below take z = (x, y) and c and leave z' = z^N + c in x and y,
// each operation as the reference iteration (engine/kernels.h) makes it;
// the squares for the escape test are taken apart (TBatchRun::Out), as the
// reference takes them after each step. Slot is the vector slot making the
// step, for the steps that share their work between the adding and the
// multiplying units.

// z' = z^2 + c in the order of the reference: x' = (xx - yy) + c.Re,
// y' = (2 x) y + c.Im. Doubling is exact, so x + x and 2 * x are the same
// number for every x, infinities, NaN and subnormals included (both are the
// exact 2x rounded once, and 2x needs no rounding below overflow); a step is
// then three multiplications, three additions and the doubling, which the
// even slots give to the adders and the odd slots to the multipliers, so
// that both kinds of unit carry three and a half operations per step. The
// constant 2 is hidden from the compiler, which would otherwise turn the
// multiplication back into an addition.
template <class V> struct TStepPower2 {
    using D = typename V::D;
    using M = typename V::M;
    D two = V::Opaque(V::Set1(2.0));
    template <int Slot>
    NIMBREL_ALWAYS_INLINE void operator()(std::integral_constant<int, Slot>, D& x, D& y, D cr, D ci) const {
        const D xx = V::Mul(x, x);
        const D yy = V::Mul(y, y);
        const D twoX = Slot % 2 == 0 ? V::Add(x, x) : V::Mul(two, x);
        y = V::Add(V::Mul(twoX, y), ci);
        x = V::Add(V::Sub(xx, yy), cr);
    }
};

// z' = z^3 + c as the power-3 loop computes it: x' = (xx - 3 yy) x + c.Re,
// y' = (3 xx - yy) y + c.Im.
template <class V> struct TStepPower3 {
    using D = typename V::D;
    using M = typename V::M;
    template <int Slot>
    NIMBREL_ALWAYS_INLINE void operator()(std::integral_constant<int, Slot>, D& x, D& y, D cr, D ci) const {
        const D three = V::Set1(3.0);
        const D xx = V::Mul(x, x);
        const D yy = V::Mul(y, y);
        const D px = V::Mul(V::Sub(xx, V::Mul(three, yy)), x);
        y = V::Add(V::Mul(V::Sub(V::Mul(three, xx), yy), y), ci);
        x = V::Add(px, cr);
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

    template <int Slot>
    NIMBREL_ALWAYS_INLINE void operator()(std::integral_constant<int, Slot>, D& x, D& y, D cr, D ci) const {
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
// without looking at the escape condition; nothing of the test stands
// between one step and the next, so the slots hide each other's latency and
// a step costs only its own operations. After the K steps, a lane whose
// escape lasts (see TEscapeLimit) and that has not escaped shows x*x + y*y <
// bailout, unless it escaped within the block; the lanes that show
// otherwise, and those whose escape need not last, are searched for their
// first escape within the block, computed exactly as the scalar loop
// computes it. Either each step's z is kept (Replay false), or only the z at
// the start of the block, from which the search makes the block's steps
// again (Replay true): the same operations on the same values give the same
// z. A lane that has escaped goes on stepping, harmlessly, but no longer
// counts. A lane whose z turned NaN without escaping (from a NaN or infinite
// start) can never escape: it is searched once and then left alone. The
// group's last block may go beyond MaxIter: only its first steps are
// searched, and the z of a lane that did not escape is the one at step
// MaxIter. When all lanes have escaped or MaxIter is reached, the slot
// writes the group's results and takes the next group. Lanes beyond the
// last point start out escaped and are never written.
//
// A slot also looks for orbits that have come back to an earlier value: z
// after a block equal, as a double, to z after an earlier block means the
// P steps between repeat forever, and none of them escaped, so the lane
// never escapes and its count is 0 at once. The earlier z is the one after
// block 1, 2, 4, 8, ... of the group (Brent's method: any cycle is met once
// the blocks since the last saving outnumber its length and the blocks
// before it). Equal as doubles allows +0 against -0, which give the same
// squares, so the same escape test, forever. With KeepZ (a z with no zero
// part, for the signs of zeros to stay the same) the z of step
// MaxIter is the z of step MaxIter - jP, which the slot reaches with the
// few steps left over a whole number of cycles; where those would be more
// than the slot's steps left over its lanes, the lane simply goes on, so
// that a slot never makes more steps than it would without the search.
template <class V, int NV, int K, class Step, bool KeepZ, bool Replay, bool Resume> class TBatchRun {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int L = V::L;

    struct TSlot {
        D x, y;
        M done;            // escaped, or no point in the lane
        M watch;           // an escape that may not last: search every block
        M stuck;           // NaN without an escape: never escapes
        int64_t steps;     // steps made by the group
        int64_t blocks;    // blocks made by the group
        int64_t saveAt;    // the block after which the z to meet again is saved
        int64_t saved;     // the block after which it was saved
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
        const Step step = step_;
        TSlot s[NV];
        Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
            TSlot& t = s[decltype(v)::value];
            t.valid = 0;
            Load(t, decltype(v)::value);
        });
        while (live_ > 0) {
            if constexpr (Replay) {
                Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                    constexpr int i = decltype(v)::value;
                    V::Store(startX_[i], s[i].x);
                    V::Store(startY_[i], s[i].y);
                });
            }
            Unroll<K>([&](auto k) NIMBREL_LAMBDA_INLINE {
                Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                    constexpr int i = decltype(v)::value;
                    TSlot& t = s[i];
                    step(v, t.x, t.y, V::Load(cRe_[i]), V::Load(cIm_[i]));
                    if constexpr (!Replay) {
                        V::Store(keptX_[i][decltype(k)::value], t.x);
                        V::Store(keptY_[i][decltype(k)::value], t.y);
                    }
                });
            });
            Unroll<NV>([&](auto v) NIMBREL_LAMBDA_INLINE {
                constexpr int i = decltype(v)::value;
                TSlot& t = s[i];
                const int64_t left = p_.MaxIter - t.steps;
                t.steps += K;
                const M flagged = V::AndNot(V::Or(t.done, t.stuck), V::Or(Out(t.x, t.y), t.watch));
                D endX = t.x, endY = t.y;
                if (left > K) [[likely]] {
                    if (V::Any(flagged)) [[unlikely]] {
                        const M pending =
                            Search(v, flagged, !V::Any(V::And(flagged, t.watch)), K, t.steps - K, endX, endY);
                        t.done = V::Or(t.done, V::AndNot(pending, flagged));
                        // A lane whose escape would have lasted, flagged
                        // without escaping, is NaN.
                        t.stuck = V::Or(t.stuck, V::AndNot(t.watch, pending));
                    }
                    // Every lane not done has not escaped up to here.
                    ++t.blocks;
                    const M back = V::AndNot(
                        t.done, V::And(V::Eq(t.x, V::Load(savedX_[i])), V::Eq(t.y, V::Load(savedY_[i]))));
                    if (V::Any(back)) [[unlikely]] CameBack(v, t, back, left - K);
                    if (t.blocks == t.saveAt) [[unlikely]] {
                        V::Store(savedX_[i], t.x);
                        V::Store(savedY_[i], t.y);
                        t.saved = t.blocks;
                        t.saveAt *= 2;
                    }
                    if (!V::All(t.done)) return;
                } else {
                    // The group's last block: the steps up to MaxIter count,
                    // and a lane that did not escape ends with the z of step
                    // MaxIter.
                    if (t.valid == 0) return;
                    const int r = static_cast<int>(left);
                    if (Replay || V::Any(flagged)) {
                        const M pending = Search(v, flagged, false, r, t.steps - K, endX, endY);
                        t.done = V::Or(t.done, V::AndNot(pending, flagged));
                    }
                    if constexpr (!Replay) {
                        endX = V::Load(keptX_[i][r - 1]);
                        endY = V::Load(keptY_[i][r - 1]);
                    }
                }
                Finish(i, t.base, t.valid, t.done, endX, endY);
                Load(t, i);
            });
        }
    }

private:
    // The escape test of the reference iteration: x*x + y*y >= bailout, or
    // NaN (for the lanes whose escape lasts, NaN means it has escaped or
    // never will; the search tells which).
    NIMBREL_ALWAYS_INLINE M Out(D x, D y) const {
        return V::NotLess(V::Add(V::Mul(x, x), V::Mul(y, y)), V::Set1(p_.Bailout));
    }

    // Finds the first escape, within the first r steps of the block, of the
    // flagged lanes (the group had made `before` steps before the block);
    // answers those that did not escape. Lasting: the escapes of all flagged
    // lanes last. With Replay, EndX and EndY receive the z after step r.
    template <int I>
    NIMBREL_ALWAYS_INLINE M Search(std::integral_constant<int, I> v, M flagged, bool lasting, int r, int64_t before,
                                   D& EndX, D& EndY) {
        const D bailout = V::Set1(p_.Bailout);
        TFound& f = found_[I];
        D count = V::Load(f.Count);
        D zr = V::Load(f.ZRe);
        D zi = V::Load(f.ZIm);
        const D one = V::Set1(1.0);
        M pending = flagged;
        D x, y, cr, ci;
        if constexpr (Replay) {
            x = V::Load(startX_[I]);
            y = V::Load(startY_[I]);
            cr = V::Load(cRe_[I]);
            ci = V::Load(cIm_[I]);
        }
        // Steps from .. to - 1, each tested as the scalar loop tests it.
        auto scan = [&](int from, int to) NIMBREL_LAMBDA_INLINE {
            D stepNo = V::Set1(static_cast<double>(before + from));
            for (int k = from; k < to; ++k) {
                if constexpr (Replay) {
                    step_(v, x, y, cr, ci);
                } else {
                    x = V::Load(keptX_[I][k]);
                    y = V::Load(keptY_[I][k]);
                }
                stepNo = V::Add(stepNo, one);
                const M escaped = V::And(V::Ge(V::Add(V::Mul(x, x), V::Mul(y, y)), bailout), pending);
                count = V::Select(escaped, stepNo, count);
                if constexpr (KeepZ) {
                    zr = V::Select(escaped, x, zr);
                    zi = V::Select(escaped, y, zi);
                }
                pending = V::AndNot(escaped, pending);
            }
        };
        bool scanned = false;
        if constexpr (!Replay && K > 5 && K % 5 == 0) {
            if (lasting && r == K) {
                // From its escape on a lasting lane shows x*x + y*y >= bailout
                // or NaN, and never before it (z is finite until it has
                // escaped): every fifth step tells in which five steps each
                // escape lies, and only those steps are searched.
                M located = V::DoneFrom(L);
                for (int k = 4; k < K; k += 5) {
                    const D px = V::Load(keptX_[I][k]);
                    const D py = V::Load(keptY_[I][k]);
                    const M shown = V::And(V::NotLess(V::Add(V::Mul(px, px), V::Mul(py, py)), bailout), flagged);
                    const M reached = V::AndNot(located, shown);
                    if (!V::Any(reached)) continue;
                    located = V::Or(located, reached);
                    scan(k - 4, k + 1);
                }
                scanned = true;
            }
        }
        if (!scanned) scan(0, r);
        if constexpr (Replay) {
            EndX = x;
            EndY = y;
        }
        V::Store(f.Count, count);
        if constexpr (KeepZ) {
            V::Store(f.ZRe, zr);
            V::Store(f.ZIm, zi);
        }
        return pending;
    }

    // The lanes Back of slot I, not done, are where they were after block
    // t.saved, Left steps before MaxIter: they never escape. With KeepZ their
    // z of step MaxIter is found, when that takes few enough steps.
    template <int I>
    NIMBREL_ALWAYS_INLINE void CameBack(std::integral_constant<int, I> v, TSlot& t, M Back, int64_t Left) {
        if constexpr (KeepZ) {
            // +0 and -0 are equal but not the same bits: the later z may then
            // differ in the sign of a zero. Only a z of nonzero parts, equal,
            // is the same z.
            const D zero = V::Zero();
            Back = V::AndNot(V::Or(V::Eq(t.x, zero), V::Eq(t.y, zero)), Back);
            if (!V::Any(Back)) return;
            const int64_t period = (t.blocks - t.saved) * K;
            const int64_t rest = Left % period;
            if (rest * L > Left) return;
            TFound& f = found_[I];
            D x = t.x, y = t.y;
            const D cr = V::Load(cRe_[I]), ci = V::Load(cIm_[I]);
            for (int64_t k = 0; k < rest; ++k) step_(v, x, y, cr, ci);
            V::Store(f.ZRe, V::Select(Back, x, V::Load(f.ZRe)));
            V::Store(f.ZIm, V::Select(Back, y, V::Load(f.ZIm)));
        } else {
            static_cast<void>(v);
            static_cast<void>(Left);
        }
        t.done = V::Or(t.done, Back);
    }

    // Takes the next group of points into the slot, or leaves it idle.
    NIMBREL_ALWAYS_INLINE void Load(TSlot& t, int i) {
        TFound& f = found_[i];
        const std::size_t left = pts_.N - next_;
        t.steps = 0;
        t.blocks = 0;
        t.saveAt = 1;
        t.saved = 0;
        t.stuck = V::DoneFrom(L);
        // Nothing equals NaN: no lane meets a z before one is saved.
        V::Store(savedX_[i], V::Set1(std::numeric_limits<double>::quiet_NaN()));
        V::Store(savedY_[i], V::Zero());
        V::Store(f.Count, V::Zero());
        if (left == 0) {
            if (t.valid != 0) --live_;
            t.valid = 0;
            t.base = next_;
            t.x = t.y = V::Zero();
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
            V::Store(cRe_[i], V::Set1(p_.JuliaRe));
            V::Store(cIm_[i], V::Set1(p_.JuliaIm));
            t.watch = limit_.Lasting ? V::DoneFrom(L) : V::DoneFrom(0);
        } else {
            if constexpr (Resume) {
                StartZ(t, m);
            } else {
                t.x = t.y = V::Zero();
            }
            V::Store(cRe_[i], re);
            V::Store(cIm_[i], im);
            t.watch = limit_.Lasting
                          ? V::NotLe(V::Add(V::Mul(re, re), V::Mul(im, im)), V::Set1(limit_.MaxCSqr))
                          : V::DoneFrom(0);
        }
    }

    // A resumed Mandelbrot group's z at its start: where earlier steps left
    // its m points.
    NIMBREL_ALWAYS_INLINE void StartZ(TSlot& t, int m) const {
        if (m == L) {
            t.x = V::Load(pts_.StartRe + t.base);
            t.y = V::Load(pts_.StartIm + t.base);
        } else {
            alignas(64) double partRe[L] = {};
            alignas(64) double partIm[L] = {};
            for (int k = 0; k < m; ++k) {
                partRe[k] = pts_.StartRe[t.base + static_cast<std::size_t>(k)];
                partIm[k] = pts_.StartIm[t.base + static_cast<std::size_t>(k)];
            }
            t.x = V::Load(partRe);
            t.y = V::Load(partIm);
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
    // Per slot, the z after each step of the current block (Replay false) or
    // at its start (Replay true).
    static constexpr int kKept = Replay ? 1 : NV;
    alignas(64) double keptX_[kKept][K][L];
    alignas(64) double keptY_[kKept][K][L];
    alignas(64) double startX_[NV][L];
    alignas(64) double startY_[NV][L];
    // Per slot, the z after the group's last block of a power of two.
    alignas(64) double savedX_[NV][L];
    alignas(64) double savedY_[NV][L];
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
        const bool resumed = !p.Julia && pts.StartRe != nullptr;
        out.ZRe[k] = p.Julia ? pts.Re[k] : (resumed ? pts.StartRe[k] : 0.0);
        out.ZIm[k] = p.Julia ? (pts.ImShared ? pts.Im[0] : pts.Im[k]) : (resumed ? pts.StartIm[k] : 0.0);
    }
}

template <class V, int NV, int K, bool KeepZ, bool Replay, bool Resume>
void IterateBatchKeeping(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    if (p.Power == 2) {
        TBatchRun<V, NV, K, TStepPower2<V>, KeepZ, Replay, Resume>(p, pts, out, TStepPower2<V>{}).Run();
    } else if (p.Power == 3) {
        TBatchRun<V, NV, K, TStepPower3<V>, KeepZ, Replay, Resume>(p, pts, out, TStepPower3<V>{}).Run();
    } else {
        // The general power is long per step; two slots hide its latency.
        TBatchRun<V, 2, K, TStepPowerN<V>, KeepZ, false, Resume>(p, pts, out, TStepPowerN<V>(p.Power)).Run();
    }
}

template <class V, int NV, int K, bool Replay>
void IterateBatchBlocks(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    // Resumed Mandelbrot points, which keep their z for the next slice, have
    // a loop of their own, so that the loop of fresh points stays as it is;
    // the few that would not keep it go point by point.
    if (!p.Julia && pts.StartRe != nullptr) {
        if (out.ZRe != nullptr) IterateBatchKeeping<V, NV, K, true, Replay, true>(p, pts, out);
        else IterateBatchScalar(p, pts, out);
        return;
    }
    if (out.ZRe != nullptr) IterateBatchKeeping<V, NV, K, true, Replay, false>(p, pts, out);
    else IterateBatchKeeping<V, NV, K, false, Replay, false>(p, pts, out);
}

// Blocks of 25 steps cost least where the points stay long, blocks of 5
// where they escape early: a group ends at the block in which its last lane
// escaped, and each block ends in a test. Where nearly every point stays to
// the limit (inside the set) a search is rare, and the steps go fastest
// without keeping their z (Replay); where points escape all along, the kept z
// make each search short. The points' typical count decides, as a recent row
// of the picture saw it, or else the iteration limit. Each way has its own
// number of slots.
constexpr int32_t kLongBlocksFrom = 100;

template <class V, int NVInside, int NVLong, int NVShort>
void IterateBatchWith(const TBatchParams& p, const TBatchPoints& pts, const TBatchResults& out) {
    if (p.MaxIter <= 0) return NoSteps(p, pts, out);
    const int32_t typical = p.TypicalSteps > 0 ? p.TypicalSteps : p.MaxIter;
    if (typical < kLongBlocksFrom)
        IterateBatchBlocks<V, NVShort, 5, false>(p, pts, out);
    else if (typical >= p.MaxIter - p.MaxIter / 8)
        IterateBatchBlocks<V, NVInside, 25, true>(p, pts, out);
    else
        IterateBatchBlocks<V, NVLong, 25, false>(p, pts, out);
}

}  // namespace
}  // namespace nimbrel
