// The result cache of the shaded draw modes: the escape count and the last z
// of every grid point, and the view they were computed for.
#pragma once

#include <cstdint>
#include <vector>

#include "values/fractal_types.h"

namespace nimbrel {

// One grid point of the potential modes: the escape count and the last z.
struct TResultCell {
    int32_t Count = 0;
    TComplexPoint Z;
};
// Indexed [X][Y], the column first.
using TResultCache = std::vector<std::vector<TResultCell>>;

// The view the result cache was computed for.
struct TResultCacheKey {
    TComplexPoint Center;
    double ViewWidth = 0;
    int32_t Power = 0;
    uint8_t Kind = fkMandelbrot;
    int32_t Width = 0;
    int32_t Height = 0;
    TComplexPoint JuliaConstant;
    int32_t MaxIter = 0;
    double EscapeRadius = 0;
};

}  // namespace nimbrel
