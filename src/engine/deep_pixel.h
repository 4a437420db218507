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
// What a plain step cannot hold: dc below the doubles' normal range (views
// below about 1e-308), the square of a small dz, a reference value near 0
// (an orbit passing a nucleus). Such terms only matter where the step's
// result is small, so a plain step whose result falls below 2^-960 is undone
// and made again in the extended range. There, a reference value below 2^-960 is
// taken exactly from the orbit's list and the step is computed in TFloatExp
// (dc and the square of dz kept: a Julia pixel rebased within 2^-1074 of 0
// goes on by its square alone).
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
#include "values/float_exp.h"

namespace nimbrel {

// x * 2^Exp, x a complex of doubles.
struct TScaledComplex {
    double Re = 0;
    double Im = 0;
    int64_t Exp = 0;
};

// The exact value of a reference iteration M whose |Z| is so small that its
// doubles (subnormal or 0) have lost digits: Z = (Re + i Im) 2^Exp.
struct TDeepTinyZ {
    int32_t M = 0;
    TScaledComplex Z;
};

// An orbit of the reference as the pixels read it: Z_0 .. Z_Last, and the
// exact values of its iterations near 0 (ascending M).
struct TDeepOrbit {
    const double* Re = nullptr;
    const double* Im = nullptr;
    int32_t Last = 0;
    const TDeepTinyZ* Tiny = nullptr;
    int32_t TinyCount = 0;
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
// A reference value whose |re| + |im| is below 2^kTinyBelow is kept exactly
// beside its doubles (engine/deep_reference.h) and stepped from exactly.
inline constexpr int kTinyBelow = -960;

inline double Norm1(double a, double b) { return std::fabs(a) + std::fabs(b); }

inline bool Tiny(double Re, double Im) { return Norm1(Re, Im) < 0x1p-960; }

// The orbit's exact entry of iteration M, nullptr when it has none (its
// doubles are then exact).
inline const TDeepTinyZ* FindTiny(const TDeepOrbit& O, int32_t M) {
    if (O.TinyCount <= 0) return nullptr;
    const TDeepTinyZ* end = O.Tiny + O.TinyCount;
    const TDeepTinyZ* it =
        std::lower_bound(O.Tiny, end, M, [](const TDeepTinyZ& t, int32_t v) { return t.M < v; });
    return it != end && it->M == M ? it : nullptr;
}

// Z_M exactly.
inline TComplexFloatExp ExactZ(const TDeepOrbit& O, int32_t M) {
    if (const TDeepTinyZ* t = FindTiny(O, M)) return {TFloatExp(t->Z.Re, t->Z.Exp), TFloatExp(t->Z.Im, t->Z.Exp)};
    return {TFloatExp(O.Re[M]), TFloatExp(O.Im[M])};
}

// Z_M in units of 2^E, as doubles (0 far below, the largest double far
// above).
inline void ZInUnits(const TDeepOrbit& O, int32_t M, int64_t E, double& Re, double& Im);

// V as x 2^E with |x| in [1, 2) for the larger part; E unchanged for 0.
inline void ToScaled(const TComplexFloatExp& V, double& Xr, double& Xi, int64_t& E) {
    if (V.Re.IsZero() && V.Im.IsZero()) {
        Xr = Xi = 0;
        return;
    }
    const int64_t e = V.Re.IsZero() ? V.Im.Exp : (V.Im.IsZero() ? V.Re.Exp : std::max(V.Re.Exp, V.Im.Exp));
    const auto down = [e](const TFloatExp& x) {
        return x.IsZero() || x.Exp - e < -1100 ? 0.0 : std::ldexp(x.Mantissa, static_cast<int>(x.Exp - e));
    };
    Xr = down(V.Re);
    Xi = down(V.Im);
    E = e;
}

// (Z + D)^Power - Z^Power in TFloatExp, without cancellation:
// D * sum_{k=1..p} C(p, k) Z^(p-k) D^(k-1), by Horner in D.
inline TComplexFloatExp ExactPerturb(int32_t Power, const TComplexFloatExp& Z, const TComplexFloatExp& D) {
    const auto times = [](const TComplexFloatExp& a, double c) { return TComplexFloatExp{a.Re * c, a.Im * c}; };
    if (Power == 2) return (times(Z, 2) + D) * D;
    TComplexFloatExp h{TFloatExp(1.0), TFloatExp()};
    TComplexFloatExp w{TFloatExp(1.0), TFloatExp()};  // Z^(p-k)
    double c = 1;                                      // C(p, k)
    for (int32_t k = Power - 1; k >= 1; --k) {
        c = c * (k + 1) / (Power - k);
        w = w * Z;
        h = h * D + times(w, c);
    }
    return h * D;
}

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

inline void ZInUnits(const TDeepOrbit& O, int32_t M, int64_t E, double& Re, double& Im) {
    if (Tiny(O.Re[M], O.Im[M])) {
        if (const TDeepTinyZ* t = FindTiny(O, M)) {
            Re = Scale(t->Z.Re, t->Z.Exp - E);
            Im = Scale(t->Z.Im, t->Z.Exp - E);
            return;
        }
    }
    Re = Scale(O.Re[M], -E);
    Im = Scale(O.Im[M], -E);
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
    // dc below the normal doubles: a skip's B dc is scaled on its own.
    const double dcMag1 = Norm1(Dc.Re, Dc.Im);
    const bool dcTiny = !P.Julia && dcMag1 != 0 && std::ilogb(dcMag1) + Dc.Exp < -1000;
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
            bool leave = false, redo = false;
            while (left > 0) {
                // Where the step starts: a step that cannot be trusted in
                // plain doubles is made again from here in the extended range.
                const double px = xr, py = xi;
                const int32_t pm = m, pn = n;
                const int64_t pleft = left;
                const uint64_t pskipped = S.Skipped;
                bool skipped = false;
                if constexpr (!std::is_same_v<Skip, TNoDeepSkip>) {
                    if (P.Power == 2) {
                        TDeepSkip k;
                        const int32_t room = static_cast<int32_t>(
                            std::min<int64_t>({left, static_cast<int64_t>(P.MaxIter - n), last - m}));
                        if (room > 1 && skip(S.OnCritical, m, Norm1(xr, xi), room, k) && k.L > 0 && k.L <= room) {
                            double nr, ni;
                            if (dcTiny) {
                                nr = k.Ar * xr - k.Ai * xi + Scale(k.Br * Dc.Re - k.Bi * Dc.Im, Dc.Exp);
                                ni = k.Ar * xi + k.Ai * xr + Scale(k.Br * Dc.Im + k.Bi * Dc.Re, Dc.Exp);
                            } else {
                                nr = k.Ar * xr - k.Ai * xi + k.Br * dcr - k.Bi * dci;
                                ni = k.Ar * xi + k.Ai * xr + k.Br * dci + k.Bi * dcr;
                            }
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
                const double dzMag = Norm1(xr, xi);
                if (dzMag < 0x1p-960) {
                    // Too small for plain doubles: again in the extended
                    // range. (A reference value near 0 needs no care here:
                    // its double is within 2^-1075 of it, nothing next to
                    // a dz above 2^-960.)
                    xr = px;
                    xi = py;
                    m = pm;
                    n = pn;
                    left = pleft;
                    S.Skipped = pskipped;
                    redo = leave = true;
                    break;
                }
                const double zr = R[m] + xr, zi = I[m] + xi;
                const double norm = zr * zr + zi * zi;
                if (deep::EndsHere(P, S, zr, zi, norm, n)) return true;
                const double zMag = Norm1(zr, zi);
                if (zMag < dzMag || m >= last) {
                    xr = zr;
                    xi = zi;
                    m = 0;
                    if (!S.OnCritical) {
                        S.OnCritical = true;
                        leave = true;  // the orbit changes
                    }
                    if (zMag < 0x1p-960) leave = true;
                    if (leave) break;
                }
            }
            S.Xr = xr;
            S.Xi = xi;
            S.M = m;
            S.N = n;
            if (leave) {
                const double mag = Norm1(xr, xi);
                if (mag < 0x1p-960 || redo) {
                    // To the extended range: x in [1, 2) or so.
                    if (mag == 0) {
                        S.Xr = S.Xi = 0;
                        S.Exp = P.Julia ? 0 : Dc.Exp;
                    } else {
                        const int k = std::ilogb(mag);
                        S.Xr = std::ldexp(xr, -k);
                        S.Xi = std::ldexp(xi, -k);
                        S.Exp = k;
                    }
                    S.Scaled = true;
                }
            }
            continue;
        }
        // The extended range.
        double xr = S.Xr, xi = S.Xi;
        int64_t e = S.Exp;
        int32_t m = S.M, n = S.N;
        double s = 0, f = 0;
        // s = 2^e, f = 2^(dc's exponent - e); a dz negligible next to dc is
        // measured in units near dc's, so that f stays a double.
        const auto units = [&] {
            if (!P.Julia && Dc.Exp - e > 1000) {
                const int64_t to = Dc.Exp - 1000;
                xr = Scale(xr, e - to);
                xi = Scale(xi, e - to);
                e = to;
            }
            s = Pow2(e);
            f = dcFactorMandel * Pow2(Dc.Exp - e);
        };
        units();
        const TDeepOrbit* O = &orbit;
        const double* R = O->Re;
        const double* I = O->Im;
        int32_t last = O->Last;
        const auto toCritical = [&] {
            if (!S.OnCritical) {
                S.OnCritical = true;
                O = &P.Critical;
                R = O->Re;
                I = O->Im;
                last = O->Last;
            }
        };
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
                    units();
                    skipped = true;
                }
            }
            if (!skipped) {
                if (Tiny(R[m], I[m])) {
                    // A reference value near 0: the step exactly, dc and the
                    // square of dz kept whatever their sizes.
                    TComplexFloatExp d =
                        ExactPerturb(P.Power, ExactZ(*O, m), {TFloatExp(xr, e), TFloatExp(xi, e)});
                    if (!P.Julia) d = d + TComplexFloatExp{TFloatExp(Dc.Re, Dc.Exp), TFloatExp(Dc.Im, Dc.Exp)};
                    ToScaled(d, xr, xi, e);
                    units();
                } else {
                    double nr, ni;
                    PerturbStep(P, R[m], I[m], xr, xi, s, nr, ni);
                    xr = nr + Dc.Re * f;
                    xi = ni + Dc.Im * f;
                }
                ++m;
                ++n;
                --left;
            }
            const double zr = R[m] + xr * s, zi = I[m] + xi * s;
            const double norm = zr * zr + zi * zi;
            if (deep::EndsHere(P, S, zr, zi, norm, n)) return true;
            const double zMag = Norm1(R[m], I[m]);
            if (m >= last || zMag < std::ldexp(1.0, kPlainAbove + 64)) {
                // Only a reference this small can be smaller than z - Z (or
                // the orbit ends): z in units of 2^e, the reference exact.
                double ur, ui;
                ZInUnits(*O, m, e, ur, ui);
                const double zr2 = ur + xr, zi2 = ui + xi;
                if (m >= last || Norm1(zr2, zi2) < Norm1(xr, xi)) {
                    xr = zr2;
                    xi = zi2;
                    m = 0;
                    toCritical();
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
                units();
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
