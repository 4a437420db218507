// The shading functions of the potential-brightness modes. Each turns the
// potentials of a pixel's own cell (A), of the cell to its right (B) and of
// the cell below it (C), already divided by the vertical pixel step, into a
// signed brightness. All four start from d = B + C - 2A, the sum of the
// horizontal and the vertical difference: read as a relief over square
// pixels, |d| / sqrt 2 is the steepness along the diagonal towards the lower
// right.
//
// They are defined here so that the renderers, which pick one of them once
// per draw, compile the chosen one into their pixel loop.
#pragma once

#include <cmath>
#include <cstdint>

namespace nimbrel {

// sqrt 2 rounded to a double.
inline constexpr double Sqrt2 = 1.4142135623730951;

// The cosine of the slope angle, negative where the relief falls (d > 0):
// -1..1, 1 on flat ground.
inline double ShadeSignedCosine(double A, double B, double C) {
    const double d = B + C - 2 * A;
    const double e = Sqrt2 / std::sqrt(d * d + 2);
    return d > 0 ? -e : e;
}

// (d + 1) / (sqrt(d^2 + 2) + sqrt 2), within -1..1 exclusive.
inline double ShadeOffsetRatio(double A, double B, double C) {
    const double d = B + C - 2 * A;
    return (d + 1) / (std::sqrt(d * d + 2) + Sqrt2);
}

// 1 / (sqrt(d^2 + 2) + 1): above 0, at most 1 / (sqrt 2 + 1) on flat ground.
inline double ShadeReciprocal(double A, double B, double C) {
    const double d = B + C - 2 * A;
    return 1 / (std::sqrt(d * d + 2) + 1);
}

// The signed sine of the slope angle, d / sqrt(d^2 + 2), taken through the
// angle itself.
inline double ShadeSine(double A, double B, double C) {
    const double d = B + C - 2 * A;
    return std::sin(std::atan2(d, Sqrt2));
}

using TShadeFunc = double (*)(double, double, double);

// The shading function of the setting ShadingFunction 0..3; any other value
// raises ERangeError "PotentialBright Error".
TShadeFunc ShadeFunctionFor(uint8_t ShadingFunction);

// Raises ERangeError "PotentialBright Error": the potential procedures are
// not bound as a drawing needs them.
[[noreturn]] void RaisePotentialBrightError();

}  // namespace nimbrel
