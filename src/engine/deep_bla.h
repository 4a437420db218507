// Bilinear approximation of a reference orbit: merged steps that let a pixel
// of a deep view skip the iterations it can skip.
//
// A deep pixel is iterated as a small difference dz from a reference orbit
// Z_0 .. Z_M (power 2):
//   dz_{m+1} = 2 Z_m dz_m + dz_m^2 + dc     (Julia: no dc)
// While |dz_m| is small against |Z_m| the square is below the rounding of the
// rest, and the step is the linear map dz -> A dz + B dc with A = 2 Z_m,
// B = 1 (Julia 0). Two such maps in a row are one: first x, then y gives
// A = A_y A_x and B = A_y B_x + B_y. The table holds the single steps and
// a binary tree of merged ones: level j holds the steps of 2^j iterations
// that start at First + i 2^j, each with a radius R: the merged map is used
// only when |Re dz| + |Im dz| < R (a bound of |dz| that needs no square, so
// that nothing underflows at any depth).
//
// Radii. A single step is kept linear while |dz| < Eps |Z_m|: then
// |dz^2| < (Eps / 2) |2 Z_m dz|, the neglected square is below a relative
// Eps / 2 of the kept term. Merging x then y keeps x's radius and makes sure
// that the difference x leaves is inside y's:
//   R = min(R_x, max(0, (R_y - |B_x| dcMax) / |A_x|)).
//
// Why the counts are those of the plain perturbation loop. The loop makes
// its escape test (|Z_m + dz|^2 >= Bailout) and its rebasing test
// (|Z_m + dz| < |dz|) after every step, exact or merged; a merged step skips
// the tests at the iterations inside it. Inside a step every difference is
// below the radius of the single step that starts there, Eps |Z_k| (the
// merged radius is never larger than the radius of its parts, and the map of
// the first part carries dz inside the second's radius), so:
//   - rebasing (onto an orbit through 0) never holds inside:
//     |Z_k + dz| >= (1 - Eps) |Z_k| > |dz|, in |.| and in |re| + |im|;
//   - escape cannot happen inside: an iteration k with |Z_k|^2 within a
//     relative 2^-30 of the bailout is a barrier that no merged step
//     crosses, and elsewhere |Z_k + dz|^2 differs from |Z_k|^2 by a relative
//     3 Eps at most;
//   - a step never ends past Z_M, and never past the pixel's limit (the
//     caller gives the room left).
// What remains is the neglected square itself, a relative Eps / 2 of a
// step's result, the size of the rounding the plain loop makes anyway; a
// count can differ where the plain loop's own rounding would change it
// (tests/engine/deep_bla_test.cpp measures the share).
//
// Scalars. TBlaTable<double> serves views whose differences are doubles
// (widths above about 1e-290); TBlaTable<TFloatExp> keeps A, B and R in the
// extended range, for deeper views, where the A of a long step overflows a
// double and dz is far below its smallest normal number. A double table
// marks any step whose A or B is not finite as never valid.
//
// Memory: every iteration of the reference has one single step and, over
// the levels, about one merged step more: 2 entries of sizeof(TBlaStep<T>)
// per reference iteration (80 bytes with doubles), BytesFor says exactly.
//
// Building is resumable: Start sets the table up, each Build call does at
// most the work its meter has room for and says whether the table is
// complete; a caller yields between calls and drops the table (Clear) to
// cancel. Lookups are allowed only on a complete table. The table keeps no
// pointer to the orbit after Build is done; during the build the orbit
// must stay alive and unchanged.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/yield_budget.h"
#include "values/float_exp.h"
#include "values/fractal_types.h"

namespace nimbrel {

template <class T>
struct TBlaComplex {
    T Re{};
    T Im{};
};

template <class T>
inline TBlaComplex<T> operator*(const TBlaComplex<T>& a, const TBlaComplex<T>& b) {
    return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}
template <class T>
inline TBlaComplex<T> operator+(const TBlaComplex<T>& a, const TBlaComplex<T>& b) {
    return {a.Re + b.Re, a.Im + b.Im};
}

// What the table needs of its scalar beyond + - * and <: made from and
// turned into a double, a magnitude, an absolute value, a quotient and
// finiteness. Specialised for
// every scalar the table is built with.
template <class T>
struct TBlaScalar;

template <>
struct TBlaScalar<double> {
    static double FromDouble(double x) { return x; }
    static double ToDouble(double x) { return x; }
    static double Magnitude(const TBlaComplex<double>& z) { return std::hypot(z.Re, z.Im); }
    static double Abs(double x) { return std::fabs(x); }
    static double Divide(double a, double b) { return a / b; }
    static bool Finite(double x) { return std::isfinite(x); }
};

template <>
struct TBlaScalar<TFloatExp> {
    static TFloatExp FromDouble(double x) { return TFloatExp(x); }
    static double ToDouble(const TFloatExp& x) { return x.ToDouble(); }
    static TFloatExp Abs(const TFloatExp& x) {
        TFloatExp r = x;
        r.Mantissa = std::fabs(r.Mantissa);
        return r;
    }
    // The larger part's exponent taken out, so that the hypotenuse of the
    // mantissas neither overflows nor underflows.
    static TFloatExp Magnitude(const TBlaComplex<TFloatExp>& z) {
        if (z.Re.IsZero()) return Abs(z.Im);
        if (z.Im.IsZero()) return Abs(z.Re);
        const int64_t e = z.Re.Exp > z.Im.Exp ? z.Re.Exp : z.Im.Exp;
        const auto down = [e](const TFloatExp& x) {
            return x.Exp - e < -1100 ? 0.0 : std::ldexp(x.Mantissa, static_cast<int>(x.Exp - e));
        };
        return TFloatExp(std::hypot(down(z.Re), down(z.Im)), e);
    }
    static TFloatExp Divide(const TFloatExp& a, const TFloatExp& b) {
        return TFloatExp(a.Mantissa / b.Mantissa, a.Exp - b.Exp);
    }
    static bool Finite(const TFloatExp& x) { return std::isfinite(x.Mantissa); }
};

// One step of the table: dz -> A dz + B dc, valid while |Re dz| + |Im dz| < Radius.
template <class T>
struct TBlaStep {
    TBlaComplex<T> A;
    TBlaComplex<T> B;
    T Radius{};
};

// The neglected square against the kept term: the rounding of a double.
inline constexpr double kBlaEpsilon = 0x1p-53;

// What a table is built for.
struct TBlaParams {
    // false: the Mandelbrot set, B = 1; true: a Julia set, B = 0. The tree
    // starts at iteration 1 on an orbit with Z_0 = 0 (the step from 0 is
    // never linear), else at 0.
    bool Julia = false;
    // The pixel loop's escape test: |Z + dz|^2 >= Bailout.
    double Bailout = 4;
    double Epsilon = kBlaEpsilon;
};

template <class T>
class TBlaTable {
public:
    using TStep = TBlaStep<T>;
    using TScalar = TBlaScalar<T>;

    // The work of one entry, in power-2 steps of the yield budget (measured
    // by bench_deep_bla: an entry costs about as many nanoseconds as this
    // many scalar iterations).
    static constexpr uint64_t kEntryCost = sizeof(T) > sizeof(double) ? 32 : 8;

    // The bytes of a complete table over an orbit of OrbitSize values
    // (Z_0 .. Z_M, OrbitSize = M + 1).
    static uint64_t BytesFor(uint64_t OrbitSize) { return EntriesFor(OrbitSize, 0) * sizeof(TStep); }

    // Sets the table up for the orbit Z_m = Re[m] + i Im[m], m = 0 ..
    // OrbitSize - 1, and the largest |dc| of the picture (0 for a Julia
    // set); nothing is computed yet. The table's memory is allocated here
    // (BytesFor).
    void Start(const double* Re, const double* Im, size_t OrbitSize, const TBlaParams& Params, const T& DcMax);
    // Builds until the meter has no room or the table is complete; true when
    // it is complete.
    bool Build(TWorkMeter& Meter);
    // Builds in one go (tests, benchmarks).
    void BuildAll(const double* Re, const double* Im, size_t OrbitSize, const TBlaParams& Params, const T& DcMax);
    // Drops the table and its memory.
    void Clear();

    bool Complete() const { return complete_; }
    // A complete table stays valid for a picture whose largest |dc| is not
    // larger than the one it was built for; it is worth keeping while it is
    // within a factor of 4 of it (beyond that the radii shrink and skip less).
    bool Fits(const TBlaParams& Params, const T& DcMax) const {
        return complete_ && Params.Julia == params_.Julia && Params.Bailout == params_.Bailout &&
               Params.Epsilon == params_.Epsilon && !(dcMax_ < DcMax) &&
               !(DcMax * TScalar::FromDouble(4) < dcMax_);
    }
    size_t Levels() const { return levelStart_.size(); }
    size_t Entries() const { return entries_.size(); }
    // The entry of level Level starting at iteration First() + Index 2^Level.
    const TStep& Entry(size_t Level, size_t Index) const { return entries_[levelStart_[Level] + Index]; }
    size_t LevelCount(size_t Level) const { return levelCount_[Level]; }
    uint32_t First() const { return first_; }

    // The longest merged step (2 iterations or more) that starts at
    // reference iteration M, is valid for a difference with
    // |Re dz| + |Im dz| = DzL1 and makes at most MaxLength iterations;
    // nullptr when there is none. Length is its number of iterations.
    const TStep* Find(uint64_t M, const T& DzL1, uint64_t MaxLength, uint64_t& Length) const {
        if (M < first_ || MaxLength < 2) return nullptr;
        const uint64_t i = M - first_;
        const TStep* best = nullptr;
        // A merged step's radius is never larger than the one of its first
        // half, which starts at the same iteration: the first level whose
        // step does not fit ends the search.
        for (size_t j = 1; j < levelStart_.size(); ++j) {
            const uint64_t length = uint64_t{1} << j;
            if ((i & (length - 1)) != 0 || length > MaxLength) break;
            const uint64_t k = i >> j;
            if (k >= levelCount_[j]) break;
            const TStep& e = entries_[levelStart_[j] + k];
            if (!(DzL1 < e.Radius)) break;
            best = &e;
            Length = length;
        }
        return best;
    }

private:
    static uint64_t EntriesFor(uint64_t OrbitSize, uint32_t First);
    void BuildSingle(size_t k);
    void BuildMerged(size_t level, size_t i);
    bool Barrier(size_t k) const;

    TBlaParams params_;
    T dcMax_{};
    uint32_t first_ = 1;
    std::vector<TStep> entries_;
    std::vector<size_t> levelStart_;
    std::vector<size_t> levelCount_;
    // During the build: the orbit and where the build stands.
    const double* re_ = nullptr;
    const double* im_ = nullptr;
    size_t orbitSize_ = 0;
    size_t buildLevel_ = 0;
    size_t buildIndex_ = 0;
    bool complete_ = false;
};

// One merged step applied: A dz + B dc.
template <class T>
inline TBlaComplex<T> ApplyBla(const TBlaStep<T>& Step, const TBlaComplex<T>& Dz, const TBlaComplex<T>& Dc) {
    return Step.A * Dz + Step.B * Dc;
}

extern template class TBlaTable<double>;
extern template class TBlaTable<TFloatExp>;

}  // namespace nimbrel
