// The state of one deep draw of TMandel: the pixel loop's parameters over
// the engine's reference orbit, the pixel step and the cost of a step for
// the yield budget. Engine-internal.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/deep_bla.h"
#include "engine/deep_bla_skip.h"
#include "engine/deep_pixel.h"
#include "engine/mandel_class.h"
#include "values/float_exp.h"

namespace nimbrel {

struct TMandel::TDeepRun {
    TDeepPixelParams Params;
    std::vector<double> Binomial;
    // The pixel step (the view's height over the picture's), as a mantissa
    // and an exponent: pixel (X, Y) lies (X - Width/2, Height/2 - Y) steps
    // from the centre.
    double StepMantissa = 0;
    int64_t StepExp = 0;
    // Power-2 steps of the double kernel that one pixel iteration costs,
    // rounded up.
    uint64_t StepCost = 1;
    // The bilinear approximation (power 2): the tables of the reference's
    // orbits, in doubles and, for views below 2^-900, in the extended range;
    // built for the reference of BlaGeneration and kept while they fit the
    // next picture. Skip answers from those in use, none when off.
    TBlaTable<double> BlaStart, BlaCritical;
    TBlaTable<TFloatExp> BlaStartExp, BlaCriticalExp;
    uint64_t BlaGeneration = 0;
    TBlaSkip Skip;

    TScaledComplex Offset(const TComplexPoint& Pixel, int32_t Width, int32_t Height) const {
        return {(Pixel.Re - Width / 2.0) * StepMantissa, (Height / 2.0 - Pixel.Im) * StepMantissa, StepExp};
    }
};

}  // namespace nimbrel
