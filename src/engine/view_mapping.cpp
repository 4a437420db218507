#include "engine/view_mapping.h"

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

}  // namespace nimbrel
