// The escape-time iteration z -> z^N + c, point by point: the reference of
// every count and every last z the program computes. The engine's integer
// kernels (escape radius 2) and cache kernels (any escape radius) are these
// functions; the batch kernels compute many points at once with vector
// instructions and must give the same counts and the same last z bit for bit
// (tests/engine/batch_kernels_test.cpp holds them to it, and
// docs/algorithms.md explains why they can).
//
// Each step is computed in one fixed order, without fused multiply-add (the
// build forbids contraction), so that the result does not depend on the
// compiler: power 2 as x' = (x^2 - y^2) + cr, y' = (2x)y + ci; power 3 as
// x' = (x^2 - 3y^2)x + cr, y' = (3x^2 - y^2)y + ci; any other power by
// repeated squaring (ComplexPower).
#pragma once

#include <cstdint>
#include <limits>

#include "values/fractal_types.h"

namespace nimbrel {

// Z^N by repeated squaring; N <= 1 gives Z unchanged.
TComplexPoint ComplexPower(const TComplexPoint& Z, int32_t N);

// Where an orbit ended: Count is the step after which |z|^2 >= the bailout
// first held (0 when it never did within MaxIter steps), Z the value after
// the last step made (the start itself when MaxIter <= 0).
struct TOrbitEnd {
    int32_t Count = 0;
    TComplexPoint Z;
};

namespace detail {

// Brent's search for an orbit that comes back: z after step i is compared
// with z after the last step numbered a power of two. Equal as doubles (+0
// and -0 included, which give the same squares) means the steps between
// repeat forever without an escape.
struct TCycleWatch {
    double Re = std::numeric_limits<double>::quiet_NaN(), Im = 0;
    int64_t SaveAt = 1;
    bool Back(int32_t i, double x, double y) {
        if (x == Re && y == Im) return true;
        if (i == SaveAt) {
            Re = x;
            Im = y;
            SaveAt *= 2;
        }
        return false;
    }
};

// Powers 2 and 3 keep the squares of the escape test for the next step.
// With Cycles, an orbit that comes back ends at once with count 0 (and the z
// where it came back, not the z of step maxIter).
template <int Power, bool Cycles = false>
inline TOrbitEnd IterateWithSquares(double x, double y, double cr, double ci, int32_t maxIter, double bailout) {
    double xx = x * x, yy = y * y;
    [[maybe_unused]] TCycleWatch watch;
    for (int32_t i = 1;; ++i) {
        double nx;
        if constexpr (Power == 2) {
            nx = (xx - yy) + cr;
            y = (2 * x) * y + ci;
        } else {
            nx = (xx - 3 * yy) * x + cr;
            y = (3 * xx - yy) * y + ci;
        }
        x = nx;
        xx = x * x;
        yy = y * y;
        if (xx + yy >= bailout) return {i, {x, y}};
        if (i == maxIter) return {0, {x, y}};
        if constexpr (Cycles) {
            if (watch.Back(i, x, y)) return {0, {x, y}};
        }
    }
}

}  // namespace detail

// The orbit of z -> z^Power + C from Start. The start itself is never tested,
// and the loop never computes MaxIter + 1, so that MaxIter = INT32_MAX is
// safe.
inline TOrbitEnd IterateOrbit(const TComplexPoint& Start, const TComplexPoint& C, int32_t Power, int32_t MaxIter,
                              double Bailout) {
    if (MaxIter <= 0) return {0, Start};
    if (Power == 2) return detail::IterateWithSquares<2>(Start.Re, Start.Im, C.Re, C.Im, MaxIter, Bailout);
    if (Power == 3) return detail::IterateWithSquares<3>(Start.Re, Start.Im, C.Re, C.Im, MaxIter, Bailout);
    TComplexPoint z = Start;
    for (int32_t i = 1;; ++i) {
        z = ComplexPower(z, Power);
        z.Re = z.Re + C.Re;
        z.Im = z.Im + C.Im;
        if (z.Re * z.Re + z.Im * z.Im >= Bailout) return {i, z};
        if (i == MaxIter) return {0, z};
    }
}

// The count of IterateOrbit, sooner where an orbit comes back to an earlier
// value exactly: such an orbit never escapes. Z is not the last z then.
inline int32_t CountOrbit(const TComplexPoint& Start, const TComplexPoint& C, int32_t Power, int32_t MaxIter,
                          double Bailout) {
    if (MaxIter <= 0) return 0;
    if (Power == 2) return detail::IterateWithSquares<2, true>(Start.Re, Start.Im, C.Re, C.Im, MaxIter, Bailout).Count;
    if (Power == 3) return detail::IterateWithSquares<3, true>(Start.Re, Start.Im, C.Re, C.Im, MaxIter, Bailout).Count;
    TComplexPoint z = Start;
    detail::TCycleWatch watch;
    for (int32_t i = 1;; ++i) {
        z = ComplexPower(z, Power);
        z.Re = z.Re + C.Re;
        z.Im = z.Im + C.Im;
        if (z.Re * z.Re + z.Im * z.Im >= Bailout) return i;
        if (i == MaxIter || watch.Back(i, z.Re, z.Im)) return 0;
    }
}

// The escape radius of the integer draw modes is 2.
inline constexpr double kIntegerBailout = 4;

}  // namespace nimbrel
