#include "values/deep_coordinates.h"

#include <algorithm>
#include <cmath>

namespace nimbrel {

namespace {

int64_t MagnitudeOf(const TBigReal& X) { return X.IsZero() ? 0 : std::max<int64_t>(0, X.Exponent() + 1); }

}  // namespace

int32_t CoordinateBits(const TFloatExp& Width, int64_t Magnitude) {
    if (Width.IsZero()) return kMaxCoordinateBits;
    const int64_t bits = std::max<int64_t>(0, Magnitude) - Width.Log2() + 64;
    return static_cast<int32_t>(std::clamp<int64_t>(bits, TBigReal::kMinBits, kMaxCoordinateBits));
}

TFloatExp ExactWidth(const TView& View) { return View.Deep ? View.Deep->Width : TFloatExp(View.ViewWidth); }

int32_t CoordinateBits(const TView& View) { return CoordinateBits(ExactWidth(View), MagnitudeLog2(View)); }

bool WantsDigits(const TFloatExp& Width, int64_t Magnitude) {
    return !Width.IsZero() && Width.Log2() < std::max<int64_t>(0, Magnitude) - 32;
}

int64_t MagnitudeLog2(const TView& View) {
    if (View.Deep) {
        const TDeepView& d = *View.Deep;
        int64_t m = std::max(MagnitudeOf(d.CenterRe), MagnitudeOf(d.CenterIm));
        if (View.Kind == fkJulia) m = std::max({m, MagnitudeOf(d.JuliaRe), MagnitudeOf(d.JuliaIm)});
        return m;
    }
    const auto of = [](double x) {
        int e = 0;
        std::frexp(x, &e);
        return std::max<int64_t>(0, e);
    };
    int64_t m = std::max(of(View.Center.Re), of(View.Center.Im));
    if (View.Kind == fkJulia) m = std::max({m, of(View.JuliaConstant.Re), of(View.JuliaConstant.Im)});
    return m;
}

TView MovedView(const TView& View, const TFloatExp& OffsetRe, const TFloatExp& OffsetIm, const TFloatExp& Width) {
    const TDeepView from = ExactParts(View, TBigReal::kMinBits);
    // The sum at the finer precision of the two heights, then kept at the
    // new view's.
    TView finer = View;
    if (Width < ExactWidth(View)) finer = MakeDeepView(View.Kind, from.CenterRe, from.CenterIm, Width, from.JuliaRe,
                                                     from.JuliaIm, View.Power);
    const int32_t bits = CoordinateBits(finer);
    TBigReal re = from.CenterRe, im = from.CenterIm;
    re.SetPrecision(bits);
    im.SetPrecision(bits);
    TBigReal::Add(re, OffsetRe.ToBig(bits), re);
    TBigReal::Add(im, OffsetIm.ToBig(bits), im);
    TBigReal jr = from.JuliaRe, ji = from.JuliaIm;
    const int32_t keep = CoordinateBits(MakeDeepView(View.Kind, re, im, Width, jr, ji, View.Power));
    re.SetPrecision(keep);
    im.SetPrecision(keep);
    jr.SetPrecision(keep);
    ji.SetPrecision(keep);
    TView result = MakeDeepView(View.Kind, re, im, Width, jr, ji, View.Power);
    // A Mandelbrot view's constant is whatever it was, for J's way back.
    if (View.Kind == fkMandelbrot) result.JuliaConstant = View.JuliaConstant;
    return result;
}

}  // namespace nimbrel
