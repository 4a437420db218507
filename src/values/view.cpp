#include "values/view.h"

#include <cmath>

namespace nimbrel {

namespace {

bool Same(const TComplexPoint& a, const TComplexPoint& b) { return a.Re == b.Re && a.Im == b.Im; }

bool Finite(const TView& V) {
    return V.Deep || (std::isfinite(V.Center.Re) && std::isfinite(V.Center.Im) && std::isfinite(V.ViewWidth) &&
                      (V.Kind == fkMandelbrot ||
                       (std::isfinite(V.JuliaConstant.Re) && std::isfinite(V.JuliaConstant.Im))));
}

bool SameExact(const TView& A, const TView& B) {
    // Beyond the doubles' range a view is no view: unequal to every other.
    if (!Finite(A) || !Finite(B)) return false;
    const TDeepView a = ExactParts(A);
    const TDeepView b = ExactParts(B);
    return a.CenterRe == b.CenterRe && a.CenterIm == b.CenterIm && a.Width == b.Width &&
           (A.Kind == fkMandelbrot || (a.JuliaRe == b.JuliaRe && a.JuliaIm == b.JuliaIm));
}

}  // namespace

bool operator==(const TView& A, const TView& B) {
    if (A.Kind != B.Kind || A.Power != B.Power) return false;
    if (A.Deep || B.Deep) {
        return SameExact(A, B);
    }
    return Same(A.Center, B.Center) && A.ViewWidth == B.ViewWidth &&
           (A.Kind == fkMandelbrot || Same(A.JuliaConstant, B.JuliaConstant));
}

TView MakeDeepView(TFractalKind Kind, const TBigReal& CenterRe, const TBigReal& CenterIm, const TFloatExp& Width,
                   const TBigReal& JuliaRe, const TBigReal& JuliaIm, int32_t Power) {
    TView v;
    v.Kind = Kind;
    v.Power = Power;
    v.Center = {CenterRe.ToDouble(), CenterIm.ToDouble()};
    v.JuliaConstant = {JuliaRe.ToDouble(), JuliaIm.ToDouble()};
    double w = Width.ToDouble();
    if (w == 0 && Width.Mantissa > 0) w = std::ldexp(1.0, -1074);
    v.ViewWidth = w;
    auto deep = std::make_shared<TDeepView>();
    deep->CenterRe = CenterRe;
    deep->CenterIm = CenterIm;
    deep->JuliaRe = JuliaRe;
    deep->JuliaIm = JuliaIm;
    deep->Width = Width;
    v.Deep = std::move(deep);
    return v;
}

TDeepView ExactParts(const TView& View, int32_t Bits) {
    // The doubles must be finite (the centre's throw ERangeError otherwise).
    if (View.Deep) return *View.Deep;
    TDeepView d;
    d.CenterRe = TBigReal(View.Center.Re, Bits);
    d.CenterIm = TBigReal(View.Center.Im, Bits);
    // A Mandelbrot view's constant may hold anything.
    if (std::isfinite(View.JuliaConstant.Re) && std::isfinite(View.JuliaConstant.Im)) {
        d.JuliaRe = TBigReal(View.JuliaConstant.Re, Bits);
        d.JuliaIm = TBigReal(View.JuliaConstant.Im, Bits);
    }
    d.Width = TFloatExp(View.ViewWidth);
    return d;
}

}  // namespace nimbrel
