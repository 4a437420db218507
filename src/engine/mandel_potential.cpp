// The result cache and the binding of the potential-brightness modes.
#include "engine/mandel_class.h"

#include <algorithm>

#include "engine/draw_potential.h"
#include "engine/mandel_batch.h"
#include "engine/picture_budget.h"
#include "platform/exceptions.h"

namespace nimbrel {

bool TMandel::CacheMatchesView() const {
    const TResultCacheKey& k = CacheKey;
    return k.Complete && k.View == view_ && k.Width == width_ && k.Height == height_ && k.MaxIter == maxIter_ &&
           k.EscapeRadius == escapeRadius_;
}

void TMandel::StoreCacheKey() {
    CacheKey.View = view_;
    CacheKey.Width = width_;
    CacheKey.Height = height_;
    CacheKey.MaxIter = maxIter_;
    CacheKey.EscapeRadius = escapeRadius_;
    CacheKey.Complete = true;
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
        // The machine's picture budget, checked before the old cache is
        // given up: the system hands the cache's pages out as they are
        // written, so a cache too large would be found only by the system's
        // out-of-memory killer.
        if (!TPictureBudget::OfMachine().Fits(width_, height_, true)) throw EOutOfResources();
        // Released first: a failed allocation leaves an empty key that
        // matches no view.
        ClearResultCache();
        ResultCache.Allocate(static_cast<std::size_t>(width_) + 1, static_cast<std::size_t>(height_) + 1);
        CacheKey.Width = width_;
        CacheKey.Height = height_;
    }
    // Until the computation is complete the cache matches no view, not even
    // one of width 0.
    CacheKey.Complete = false;
    return BeginFrame();
}

bool TMandel::ShapedForRows() const {
    if (bitmap_.Width() != width_ || bitmap_.Height() != height_) return false;
    return ResultCache.size() == static_cast<std::size_t>(width_) + 1 &&
           ResultCache.Rows() == static_cast<std::size_t>(height_) + 1;
}

// Mode 5 with every count's colour known: the workers store the cells of
// their part of each grid row and paint its pixels, so that nothing can fail.
void TMandel::ComputeCountRows(const TFrame& f) {
    const int32_t w = width_, h = height_;
    TMandelBatch& batch = Batch();
    TBatchRows& rows = batch.Rows();
    for (int32_t Y = 0; Y <= h; ++Y) {
        uint32_t* const line = Y < h ? bitmap_.Scanline(Y) : nullptr;
        const auto work = [&](int32_t a, int32_t b, int32_t) {
            const int32_t* const counts = rows.Counts();
            const double* const zre = rows.ZRe();
            const double* const zim = rows.ZIm();
            for (int32_t X = a; X < b; ++X) {
                const auto x = static_cast<std::size_t>(X);
                TResultCell& cell = ResultCache[x][static_cast<std::size_t>(Y)];
                cell.Count = counts[x];
                cell.Z = TComplexPoint{zre[x], zim[x]};
                if (line != nullptr && X < w) line[x] = batch.PixelOf(counts[x]);
            }
        };
        const TBatchRows::TResult r = rows.ComputeThen(f.dx, f.P.Re, f.P.Im + Y * f.dy, w + 1, nullptr, work);
        Stats.KernelCalls += static_cast<uint64_t>(w) + 1;
        Stats.Iterations += r.Iterations;
        if (Y < h) YieldRow();
    }
}

// Mode 5 from the cache: the workers colour their part of each row into a
// row buffer; a colour that fails on any of them fails again on the calling
// thread, after the pixels before it.
void TMandel::RedrawCountRows() {
    const int32_t w = width_, h = height_;
    TMandelBatch& batch = Batch();
    batch.BeginCache();
    TBatchRows& rows = batch.Rows();
    batch.PixelRow.resize(static_cast<std::size_t>(w));
    uint32_t* const pixels = batch.PixelRow.data();
    for (int32_t Y = 0; Y < h; ++Y) {
        detail::TFirstFailure failure(w);
        const auto work = [&](int32_t a, int32_t b, int32_t) {
            for (int32_t X = a; X < b; ++X) {
                const auto x = static_cast<std::size_t>(X);
                try {
                    pixels[x] = TBitmap::ToPixel(batch.Color(ResultCache[x][static_cast<std::size_t>(Y)].Count));
                } catch (const Exception&) {
                    failure.Failed(X);
                    return;
                }
            }
        };
        rows.Share(w, work);
        const int32_t first = failure.First();
        std::copy(pixels, pixels + first, bitmap_.Scanline(Y));
        for (int32_t X = first; X < w; ++X) bitmap_.SetPixel(X, Y, CountToColor(Cell(X, Y).Count));
        YieldRow();
    }
}

}  // namespace nimbrel
