#include "engine/view_mapping.h"

#include <algorithm>
#include <cmath>

namespace nimbrel {

TViewMapping TViewMapping::Of(const TView& View, int32_t Width, int32_t Height) {
    TViewMapping m;
    const TComplexPoint& C = View.Center;
    const double V = View.ViewWidth;
    // The multiplication first, then the division.
    const double X = (Width * V) / Height;
    m.P = {C.Re - X / 2, C.Im + V / 2};
    m.Q = {C.Re + X / 2, C.Im - V / 2};
    m.dx = (m.Q.Re - m.P.Re) / Width;
    m.dy = (m.Q.Im - m.P.Im) / Height;
    m.Width = Width;
    m.Height = Height;
    return m;
}

bool NeedsDeepPath(const TView& View, int32_t Width, int32_t Height) {
    if (Width < 1 || Height < 1) return false;
    if (View.Deep && View.Deep->Width.Mantissa > 0 && View.Deep->Width.Exp < kDeepWidthLog2) return true;
    if (!(View.ViewWidth > 0)) return false;
    const TViewMapping m = TViewMapping::Of(View, Width, Height);
    const double largest = std::max({std::fabs(m.P.Re), std::fabs(m.P.Im), std::fabs(m.Q.Re), std::fabs(m.Q.Im)});
    const double step = std::min(std::fabs(m.dx), std::fabs(m.dy));
    if (!std::isfinite(largest) || !std::isfinite(step)) return false;
    return step < std::ldexp(largest, -kDeepStepBits);
}

}  // namespace nimbrel
