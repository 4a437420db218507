// The result cache and the binding of the potential-brightness modes.
#include "engine/mandel_class.h"

#include "platform/exceptions.h"

namespace nimbrel {

bool TMandel::CacheMatchesView() const {
    const TResultCacheKey& k = CacheKey;
    if (k.Kind != kind_) return false;
    if (k.Center.Re != center_.Re || k.Center.Im != center_.Im) return false;
    if (k.ViewWidth != viewWidth_) return false;
    if (k.Power != power_) return false;
    if (k.Width != width_ || k.Height != height_) return false;
    if (k.MaxIter != maxIter_) return false;
    if (k.EscapeRadius != escapeRadius_) return false;
    if (k.Kind == fkMandelbrot) return true;
    if (k.Kind == fkJulia)
        return k.JuliaConstant.Re == juliaConstant_.Re && k.JuliaConstant.Im == juliaConstant_.Im;
    return false;
}

void TMandel::StoreCacheKey() {
    CacheKey.Kind = kind_;
    CacheKey.Center = center_;
    CacheKey.ViewWidth = viewWidth_;
    CacheKey.Power = power_;
    CacheKey.Width = width_;
    CacheKey.Height = height_;
    CacheKey.JuliaConstant = juliaConstant_;
    CacheKey.MaxIter = maxIter_;
    CacheKey.EscapeRadius = escapeRadius_;
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
    if (width_ != CacheKey.Width || height_ != CacheKey.Height) {
        // The bitmap's limit, checked before the old cache is given up.
        if (int64_t{width_} * height_ > TBitmap::kMaxPixels) throw EOutOfResources();
        // Released first: a failed allocation leaves an empty key that
        // matches no view.
        ClearResultCache();
        ResultCache.assign(static_cast<std::size_t>(width_) + 1,
                           std::vector<TResultCell>(static_cast<std::size_t>(height_) + 1));
        CacheKey.Width = width_;
        CacheKey.Height = height_;
    }
    // Until the computation is complete the cache matches no view.
    CacheKey.ViewWidth = 0;
    return BeginFrame();
}

}  // namespace nimbrel
