// The potentials and brightness transfers of the shaded draw modes, as pure
// functions of a grid point's last z and escape count. The engine binds one
// potential, one shading function (UPotentialBrightMethod.h) and one
// transfer per draw; a pixel's brightness comes from the potentials of its
// own grid point and of the points to its right and below it.
#pragma once

#include <cmath>
#include <cstdint>

#include "values/fractal_types.h"

namespace nimbrel::potential {

// Scale * log2|z| / 2^Count. The division by 2^Count is a change of exponent,
// exact also where 2^Count itself would overflow a double.
inline double Green(const TComplexPoint& Z, int32_t Count, double Scale) {
    const double q = Z.Re * Z.Re + Z.Im * Z.Im;
    if (!(q > 0)) return 0;
    const int exponent = Count < -100000 ? 100000 : -Count;  // far beyond any double either way
    return std::ldexp(std::log2(q) * (Scale * 0.5), exponent);
}

// The smooth iteration count, Count - log2 ln|z|, divided by the scale. The
// divisor stays ln 2 whatever the power.
inline double Smooth(const TComplexPoint& Z, int32_t Count, double Scale, double Ln2) {
    const double r = std::sqrt(Z.Re * Z.Re + Z.Im * Z.Im);
    if (!(r > 0)) return 0;
    const double l = std::log(r);
    if (!(l > 0)) return 0;
    return (Count - std::log(l) / Ln2) / Scale;
}

// The cosine of |z|^2 (radians) divided by the scale; arguments of 2^63 or
// more, whose cosine the processor cannot take, count as cosine 0.
inline double Cosine(const TComplexPoint& Z, double Scale) {
    const double a = Z.Re * Z.Re + Z.Im * Z.Im;
    const double c = std::fabs(a) >= 0x1p63 ? 0.0 : std::cos(a);
    return c / Scale;
}

// The brightness transfers from a shading value to 0..1, and the inversion
// that may follow them.
inline double Invert(double V, bool Inverted) { return Inverted ? 1 - V : V; }
inline double Folded(double S, bool Inverted) { return Invert(std::fabs(S), Inverted); }
inline double Shifted(double S, bool Inverted) { return Invert((S + 1) / 2, Inverted); }

}  // namespace nimbrel::potential
