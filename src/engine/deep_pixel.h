// The pixels of a deep view: each iterated as a small difference dz from the
// reference orbit Z (engine/deep_reference.h), z_n = Z_m + dz_n, with
//   dz' = (Z_m + dz)^Power - Z_m^Power + dc     (the Mandelbrot set; a Julia
//                                                 set has no dc),
// m advancing with n. dc is the pixel's offset from the centre, dz of a
// Julia pixel starts as that offset.
//
// Rebasing: when |z| < |dz| (measured as |re| + |im|), or when the orbit
// ends, the pixel goes on from the start of the critical orbit (Z_0 = 0) with
// dz := z, m := 0, so that dz never grows beyond z and no pixel needs a
// reference of its own.
//
// Extended range: while |dz| is below about 2^-960 (where its square and
// soon the value itself leave the doubles' range) dz is kept as a pair of
// doubles with a binary exponent of its own (x * 2^Exp); terms that fall
// below the doubles' range then vanish as they would in exact arithmetic.
// Above it, plain doubles; power 2 has a loop of its own for them.
//
// The count convention is the double kernels': the iteration after which
// |z|^2 >= Bailout first held, 0 for a pixel that stays for MaxIter
// iterations; Z is z after the last iteration made.
//
// A pixel is iterated in slices of steps (AdvanceDeepPixel), its state kept
// between them, so that the engine can yield within a long one. No
// allocation, virtual or system call in here.
//
// The bilinear approximation plugs in at the skip of the power-2 loops
// (engine/deep_bla_skip.h): given the orbit, m and |dz|, Skip may answer a
// step of L iterations with dz := A dz + B dc, in plain doubles as the
// coefficients, in the extended range as the new x 2^Exp (it must keep the
// escape and rebasing tests inside the L iterations from holding, and L
// within the orbit and the room it is given).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "engine/kernels.h"

namespace nimbrel {

// An orbit of the reference as the pixels read it: Z_0 .. Z_Last.
struct TDeepOrbit {
    const double* Re = nullptr;
    const double* Im = nullptr;
    int32_t Last = 0;
};

struct TDeepPixelParams {
    TDeepOrbit Start;
    // Z_0 = 0; the same as Start for the Mandelbrot set.
    TDeepOrbit Critical;
    bool Julia = false;
    int32_t Power = 2;
    int32_t MaxIter = 0;
    double Bailout = 4;
    // C(Power, k) for k = 0 .. Power (powers beyond 3).
    const double* Binomial = nullptr;
};

// x * 2^Exp, x a complex of doubles.
struct TScaledComplex {
    double Re = 0;
    double Im = 0;
    int64_t Exp = 0;
};

// A skip of the bilinear approximation.
struct TDeepSkip {
    int32_t L = 0;
    double Ar = 1, Ai = 0, Br = 0, Bi = 0;
};
// No table: every iteration computed.
struct TNoDeepSkip {
    bool operator()(bool /*OnCritical*/, int32_t /*M*/, double /*DzNorm1*/, int32_t /*MaxSteps*/,
                    TDeepSkip& /*Out*/) const {
        return false;
    }
    bool ScaledStep(bool /*OnCritical*/, int32_t /*M*/, double& /*Xr*/, double& /*Xi*/, int64_t& /*E*/,
                    const TScaledComplex& /*Dc*/, int32_t /*MaxSteps*/, int32_t& /*L*/) const {
        return false;
    }
};

// Where a pixel is: its difference (x * 2^Exp, Exp = 0 in plain doubles),
// its place on the orbit, the iterations made; and once done, its count and
// last z.
struct TDeepPixelState {
    double Xr = 0, Xi = 0;
    int64_t Exp = 0;
    int32_t M = 0;
    int32_t N = 0;
    bool OnCritical = false;
    bool Scaled = false;
    bool Done = false;
    int32_t Count = 0;
    double Zr = 0, Zi = 0;
    // Iterations the skip answered.
    uint64_t Skipped = 0;
};

namespace deep {

// Below 2^kScaledBelow (in |re| + |im|) dz goes to the extended range, above
// 2^kPlainAbove back to plain doubles.
inline constexpr int kScaledBelow = -960;
inline constexpr int kPlainAbove = -900;

inline double Norm1(double a, double b) { return std::fabs(a) + std::fabs(b); }

// Ends the pixel at iteration N when z (|z|^2 = Norm) has escaped or the
// limit is reached: its count (0 for a point that stayed) and last z.
inline bool EndsHere(const TDeepPixelParams& P, TDeepPixelState& S, double Zr, double Zi, double Norm, int32_t N) {
    if (!(Norm >= P.Bailout || N >= P.MaxIter)) return false;
    S.Done = true;
    S.Count = Norm >= P.Bailout ? N : 0;
    S.Zr = Zr;
    S.Zi = Zi;
    S.N = N;
    return true;
}

// 2^e as a double, 0 below the subnormals, and no more than 2^1023.
inline double Pow2(int64_t e) {
    if (e < -1074) return 0;
    if (e > 1023) e = 1023;
    return std::ldexp(1.0, static_cast<int>(e));
}
inline double Scale(double x, int64_t e) {
    if (x == 0) return 0;
    if (e < -2200) return x * 0.0;
    if (e > 2200) e = 2200;
    return std::ldexp(x, static_cast<int>(e));
}

}  // namespace deep

// The state of a pixel before its first iteration: the Mandelbrot set starts
// at z = 0 (dz = 0 on Z_0 = 0), a Julia set at its offset from the centre.
inline TDeepPixelState StartDeepPixel(const TDeepPixelParams& P, const TScaledComplex& Offset) {
    TDeepPixelState s;
    if (P.MaxIter <= 0) {
        s.Done = true;
        if (P.Julia) {
            s.Zr = P.Start.Re[0] + deep::Scale(Offset.Re, Offset.Exp);
            s.Zi = P.Start.Im[0] + deep::Scale(Offset.Im, Offset.Exp);
        }
        return s;
    }
    s.OnCritical = !P.Julia;
    if (P.Julia) {
        s.Xr = Offset.Re;
        s.Xi = Offset.Im;
        s.Exp = Offset.Exp;
    } else {
        s.Exp = Offset.Exp;  // dz = 0 in the units of dc
    }
    const double mag = deep::Norm1(Offset.Re, Offset.Im);
    if (mag != 0 && std::ilogb(mag) + Offset.Exp < deep::kScaledBelow) {
        s.Scaled = true;
    } else {
        s.Xr = deep::Scale(s.Xr, s.Exp);
        s.Xi = deep::Scale(s.Xi, s.Exp);
        s.Exp = 0;
    }
    return s;
}

namespace deep {

// The perturbation step in units of 2^e: returns x' with
// dz' = x' 2^e = (Z + x 2^e)^p - Z^p (without dc), u = x * s, s = 2^e.
inline void PerturbStep(const TDeepPixelParams& P, double Zr, double Zi, double xr, double xi, double s, double& outR,
                        double& outI) {
    const double ur = xr * s, ui = xi * s;
    if (P.Power == 2) {
        // (2Z + u) x
        const double tr = 2 * Zr + ur, ti = 2 * Zi + ui;
        outR = tr * xr - ti * xi;
        outI = tr * xi + ti * xr;
        return;
    }
    double hr, hi;
    if (P.Power == 3) {
        // (3Z^2 + u (3Z + u)) x
        const double ar = 3 * Zr + ur, ai = 3 * Zi + ui;
        const double z2r = Zr * Zr - Zi * Zi, z2i = 2 * Zr * Zi;
        hr = 3 * z2r + (ar * ur - ai * ui);
        hi = 3 * z2i + (ar * ui + ai * ur);
    } else {
        // Horner over C(p, k) Z^(p-k) u^(k-1), k = p .. 1, the powers of Z
        // built up from the top: h = sum_k C(p,k) Z^(p-k) u^(k-1).
        // Evaluated as h = (...((C(p,p)) u + C(p,p-1) Z) u + C(p,p-2) Z^2 ...),
        // keeping Z^j as j grows.
        const int32_t p = P.Power;
        hr = P.Binomial[p];
        hi = 0;
        double wr = 1, wi = 0;  // Z^(p-k)
        for (int32_t k = p - 1; k >= 1; --k) {
            const double nwr = wr * Zr - wi * Zi, nwi = wr * Zi + wi * Zr;
            wr = nwr;
            wi = nwi;
            const double c = P.Binomial[k];
            const double nhr = hr * ur - hi * ui + c * wr;
            const double nhi = hr * ui + hi * ur + c * wi;
            hr = nhr;
            hi = nhi;
        }
    }
    outR = hr * xr - hi * xi;
    outI = hr * xi + hi * xr;
}

}  // namespace deep

// Advances a pixel by at most Steps iterations; true once it is done.
template <class Skip>
inline bool AdvanceDeepPixel(const TDeepPixelParams& P, const TScaledComplex& Dc, TDeepPixelState& S, int64_t Steps,
                             Skip& skip) {
    using namespace deep;
    if (S.Done) return true;
    const double dcFactorMandel = P.Julia ? 0.0 : 1.0;
    int64_t left = Steps;
    while (left > 0) {
        const TDeepOrbit& orbit = S.OnCritical ? P.Critical : P.Start;
        if (!S.Scaled) {
            // Plain doubles.
            const double dcr = dcFactorMandel * Scale(Dc.Re, Dc.Exp), dci = dcFactorMandel * Scale(Dc.Im, Dc.Exp);
            double xr = S.Xr, xi = S.Xi;
            int32_t m = S.M, n = S.N;
            const double* const R = orbit.Re;
            const double* const I = orbit.Im;
            const int32_t last = orbit.Last;
            bool leave = false;
            while (left > 0) {
                bool skipped = false;
                if constexpr (!std::is_same_v<Skip, TNoDeepSkip>) {
                    if (P.Power == 2) {
                        TDeepSkip k;
                        const int32_t room = static_cast<int32_t>(
                            std::min<int64_t>({left, static_cast<int64_t>(P.MaxIter - n), last - m}));
                        if (room > 1 && skip(S.OnCritical, m, Norm1(xr, xi), room, k) && k.L > 0 && k.L <= room) {
                            const double nr = k.Ar * xr - k.Ai * xi + k.Br * dcr - k.Bi * dci;
                            const double ni = k.Ar * xi + k.Ai * xr + k.Br * dci + k.Bi * dcr;
                            xr = nr;
                            xi = ni;
                            m += k.L;
                            n += k.L;
                            left -= k.L;
                            S.Skipped += static_cast<uint64_t>(k.L);
                            skipped = true;
                        }
                    }
                }
                if (!skipped) {
                    double nr, ni;
                    if (P.Power == 2) {
                        const double tr = 2 * R[m] + xr, ti = 2 * I[m] + xi;
                        nr = tr * xr - ti * xi;
                        ni = tr * xi + ti * xr;
                    } else {
                        PerturbStep(P, R[m], I[m], xr, xi, 1.0, nr, ni);
                    }
                    xr = nr + dcr;
                    xi = ni + dci;
                    ++m;
                    ++n;
                    --left;
                }
            {
                const double zr = R[m] + xr, zi = I[m] + xi;
                const double norm = zr * zr + zi * zi;
                if (deep::EndsHere(P, S, zr, zi, norm, n)) return true;
                const double dzMag = Norm1(xr, xi);
                const double zMag = Norm1(zr, zi);
                if (zMag < dzMag || m >= last) {
                    xr = zr;
                    xi = zi;
                    m = 0;
                    if (!S.OnCritical) {
                        S.OnCritical = true;
                        leave = true;  // the orbit changes
                    }
                    if (zMag != 0 && zMag < std::ldexp(1.0, kScaledBelow)) leave = true;
                } else if (dzMag != 0 && dzMag < std::ldexp(1.0, kScaledBelow)) {
                    leave = true;
                }
            }
                if (leave) break;
            }
            S.Xr = xr;
            S.Xi = xi;
            S.M = m;
            S.N = n;
            if (leave) {
                const double mag = Norm1(xr, xi);
                if (mag != 0 && mag < std::ldexp(1.0, kScaledBelow)) {
                    // To the extended range: x in [1, 2) or so.
                    const int k = std::ilogb(mag);
                    S.Xr = std::ldexp(xr, -k);
                    S.Xi = std::ldexp(xi, -k);
                    S.Exp = k;
                    S.Scaled = true;
                }
            }
            continue;
        }
        // The extended range.
        double xr = S.Xr, xi = S.Xi;
        int64_t e = S.Exp;
        int32_t m = S.M, n = S.N;
        double s = Pow2(e);
        double f = dcFactorMandel * Pow2(Dc.Exp - e);
        const double* R = orbit.Re;
        const double* I = orbit.Im;
        int32_t last = orbit.Last;
        bool toPlain = false;
        while (left > 0) {
            bool skipped = false;
            if constexpr (!std::is_same_v<Skip, TNoDeepSkip>) {
                // The skip answers x 2^e afresh; the checks below follow.
                const int32_t room =
                    static_cast<int32_t>(std::min<int64_t>({left, static_cast<int64_t>(P.MaxIter - n), last - m}));
                int32_t length = 0;
                if (P.Power == 2 && room > 1 &&
                    skip.ScaledStep(S.OnCritical, m, xr, xi, e, P.Julia ? TScaledComplex{} : Dc, room, length) &&
                    length > 0 && length <= room) {
                    m += length;
                    n += length;
                    left -= length;
                    S.Skipped += static_cast<uint64_t>(length);
                    s = Pow2(e);
                    f = dcFactorMandel * Pow2(Dc.Exp - e);
                    skipped = true;
                }
            }
            if (!skipped) {
                double nr, ni;
                PerturbStep(P, R[m], I[m], xr, xi, s, nr, ni);
                xr = nr + Dc.Re * f;
                xi = ni + Dc.Im * f;
                ++m;
                ++n;
                --left;
            }
            const double zr = R[m] + xr * s, zi = I[m] + xi * s;
            const double norm = zr * zr + zi * zi;
            if (deep::EndsHere(P, S, zr, zi, norm, n)) return true;
            const double zMag = Norm1(R[m], I[m]);
            bool rebase = m >= last;
            if (!rebase && zMag < std::ldexp(1.0, kPlainAbove + 64)) {
                // Only a reference this small can be smaller than z - Z.
                const double zr2 = Scale(R[m], -e) + xr, zi2 = Scale(I[m], -e) + xi;
                if (Norm1(zr2, zi2) < Norm1(xr, xi)) {
                    xr = zr2;
                    xi = zi2;
                    m = 0;
                    rebase = false;
                    if (!S.OnCritical) {
                        S.OnCritical = true;
                        R = P.Critical.Re;
                        I = P.Critical.Im;
                        last = P.Critical.Last;
                    }
                }
            }
            if (rebase) {
                xr = Scale(R[m], -e) + xr;
                xi = Scale(I[m], -e) + xi;
                m = 0;
                if (!S.OnCritical) {
                    S.OnCritical = true;
                    R = P.Critical.Re;
                    I = P.Critical.Im;
                    last = P.Critical.Last;
                }
            }
            // Keep x near 1.
            const double mag = Norm1(xr, xi);
            if (mag == 0) continue;
            if (mag > 0x1p40 || mag < 0x1p-40 || e > kPlainAbove) {
                const int k = std::ilogb(mag);
                xr = std::ldexp(xr, -k);
                xi = std::ldexp(xi, -k);
                e += k;
                s = Pow2(e);
                f = dcFactorMandel * Pow2(Dc.Exp - e);
                if (e > kPlainAbove) {
                    toPlain = true;
                    break;
                }
            }
        }
        S.M = m;
        S.N = n;
        if (toPlain) {
            S.Xr = Scale(xr, e);
            S.Xi = Scale(xi, e);
            S.Exp = 0;
            S.Scaled = false;
        } else {
            S.Xr = xr;
            S.Xi = xi;
            S.Exp = e;
        }
    }
    return S.Done;
}

}  // namespace nimbrel
