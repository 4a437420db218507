// The result cache and the binding of the potential-brightness modes.
#include "engine/mandel_class.h"

namespace nimbrel {

bool TMandel::CacheMatchesView() const {
    const TResultCacheKey& k = CacheKey;
    if (k.Kind != Kind_) return false;
    if (k.Center.Re != Center_.Re || k.Center.Im != Center_.Im) return false;
    if (k.ViewWidth != ViewWidth_) return false;
    if (k.Power != Power_) return false;
    if (k.Width != Width_ || k.Height != Height_) return false;
    if (k.MaxIter != MaxIter_) return false;
    if (k.EscapeRadius != EscapeRadius_) return false;
    if (k.Kind == fkMandelbrot) return true;
    if (k.Kind == fkJulia)
        return k.JuliaConstant.Re == JuliaConstant_.Re && k.JuliaConstant.Im == JuliaConstant_.Im;
    return false;
}

void TMandel::StoreCacheKey() {
    CacheKey.Kind = Kind_;
    CacheKey.Center = Center_;
    CacheKey.ViewWidth = ViewWidth_;
    CacheKey.Power = Power_;
    CacheKey.Width = Width_;
    CacheKey.Height = Height_;
    CacheKey.JuliaConstant = JuliaConstant_;
    CacheKey.MaxIter = MaxIter_;
    CacheKey.EscapeRadius = EscapeRadius_;
}

void TMandel::BindPotentialProcs() {
    switch (DrawMode) {
        case dmPotentialGreen: PotentialProc = &TMandel::PotentialGreen; break;
        case dmPotentialSmooth: PotentialProc = &TMandel::PotentialSmooth; break;
        case dmPotentialCosine: PotentialProc = &TMandel::PotentialCosine; break;
        default: break;  // mode 5 colours by count and keeps what was bound
    }
    ShadeProc = ShadeFunctionFor(ShadingFunction);
    TransferProc = BrightnessFold == 1 ? &TMandel::BrightnessAbs : &TMandel::BrightnessShift;
}

TMandel::TFrame TMandel::BeginCacheComputation() {
    if (Width_ != CacheKey.Width || Height_ != CacheKey.Height) {
        // The bitmap's limit, checked before the old cache is given up.
        if (int64_t{Width_} * Height_ > TBitmap::kMaxPixels) throw EOutOfResources();
        // Released first: a failed allocation leaves an empty key that
        // matches no view.
        ClearResultCache();
        ResultCache.assign(static_cast<std::size_t>(Width_) + 1,
                           std::vector<TResultCell>(static_cast<std::size_t>(Height_) + 1));
        CacheKey.Width = Width_;
        CacheKey.Height = Height_;
    }
    // Until the computation is complete the cache matches no view.
    CacheKey.ViewWidth = 0;
    return BeginFrame();
}

}  // namespace nimbrel
