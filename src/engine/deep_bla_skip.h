// The bilinear approximation in the deep pixel loop (engine/deep_pixel.h):
// the skip AdvanceDeepPixel asks at each iteration of power 2, answered from
// the tables of the reference's orbits (engine/deep_bla.h). The pixel loop
// makes its escape and rebasing tests after a skip as after any step; the
// tables make sure that the tests inside a skip could not have held.
//
// Two tables per orbit: doubles for differences in plain doubles, TFloatExp
// for those in the extended range (x 2^Exp). A Julia set has two orbits (the
// one the pixels start on and the critical one they rebase onto), the
// Mandelbrot set one. A null table answers no skip. The tables belong to the
// engine (TMandel::TDeepRun) and stay alive and unchanged while a draw runs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/deep_bla.h"
#include "engine/deep_pixel.h"
#include "values/float_exp.h"

namespace nimbrel {

struct TBlaSkip {
    // [0]: the orbit the pixels start on, [1]: the critical orbit.
    const TBlaTable<double>* Plain[2] = {nullptr, nullptr};
    const TBlaTable<TFloatExp>* Scaled[2] = {nullptr, nullptr};

    // Plain doubles: the coefficients of the longest valid step.
    bool operator()(bool OnCritical, int32_t M, double DzNorm1, int32_t MaxSteps, TDeepSkip& Out) const {
        const TBlaTable<double>* table = Plain[OnCritical ? 1 : 0];
        if (table == nullptr) return false;
        uint64_t length = 0;
        const TBlaStep<double>* step =
            table->Find(static_cast<uint64_t>(M), DzNorm1, static_cast<uint64_t>(MaxSteps), length);
        if (step == nullptr) return false;
        Out = {static_cast<int32_t>(length), step->A.Re, step->A.Im, step->B.Re, step->B.Im};
        return true;
    }

    // The extended range: dz = X 2^E and dc = Dc are replaced by the step's
    // result, again as X 2^E with |X| about 1; L is the step's length.
    bool ScaledStep(bool OnCritical, int32_t M, double& Xr, double& Xi, int64_t& E, const TScaledComplex& Dc,
                    int32_t MaxSteps, int32_t& L) const {
        const TBlaTable<TFloatExp>* table = Scaled[OnCritical ? 1 : 0];
        if (table == nullptr) return false;
        uint64_t length = 0;
        const TBlaStep<TFloatExp>* step = table->Find(static_cast<uint64_t>(M), TFloatExp(std::fabs(Xr) + std::fabs(Xi), E),
                                                      static_cast<uint64_t>(MaxSteps), length);
        if (step == nullptr) return false;
        const TBlaComplex<TFloatExp> dz{TFloatExp(Xr, E), TFloatExp(Xi, E)};
        const TBlaComplex<TFloatExp> dc{TFloatExp(Dc.Re, Dc.Exp), TFloatExp(Dc.Im, Dc.Exp)};
        const TBlaComplex<TFloatExp> r = ApplyBla(*step, dz, dc);
        if (r.Re.IsZero() && r.Im.IsZero()) {
            Xr = Xi = 0;
        } else {
            const int64_t e = r.Re.IsZero() ? r.Im.Exp : (r.Im.IsZero() ? r.Re.Exp : std::max(r.Re.Exp, r.Im.Exp));
            const auto down = [e](const TFloatExp& x) {
                return x.IsZero() || x.Exp - e < -1000 ? 0.0 : std::ldexp(x.Mantissa, static_cast<int>(x.Exp - e));
            };
            Xr = down(r.Re);
            Xi = down(r.Im);
            E = e;
        }
        L = static_cast<int32_t>(length);
        return true;
    }
};

}  // namespace nimbrel
