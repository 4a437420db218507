#include "engine/mandel_batch.h"

#include <algorithm>

#include "platform/exceptions.h"

namespace nimbrel {

namespace {

// Pictures with a larger iteration limit look their colours up one by one.
constexpr int32_t kMaxLookup = 1 << 16;

}  // namespace

TBatchParams TMandelBatch::Params(double Bailout) const {
    TBatchParams p;
    p.Julia = m_.view_.Kind != fkMandelbrot;
    p.JuliaRe = m_.view_.JuliaConstant.Re;
    p.JuliaIm = m_.view_.JuliaConstant.Im;
    p.Power = m_.view_.Power;
    p.MaxIter = m_.maxIter_;
    p.Bailout = Bailout;
    return p;
}

void TMandelBatch::Begin(int32_t PointsPerRow) {
    rows_.Begin(Params(kIntegerBailout), m_.simdLevel_, m_.GetThreadCount(), PointsPerRow);
    FindColors();
}

void TMandelBatch::FindColors() {
    // The workers paint only when no count can make CountToColor fail;
    // otherwise the calling thread converts every count itself, so that the
    // failure comes at the same pixel as ever.
    colorsKnown_ = false;
    pixels_ = nullptr;
    pixelCount_ = 0;
    if (m_.maxIter_ > kMaxLookup) return;
    std::vector<uint32_t>& pixels = rows_.PixelOfCount();
    pixels.resize(static_cast<std::size_t>(std::max(m_.maxIter_, 0)) + 1);
    try {
        for (std::size_t c = 0; c < pixels.size(); ++c)
            pixels[c] = TBitmap::ToPixel(m_.CountToColor(static_cast<int32_t>(c)));
    } catch (const Exception&) {
        pixels.clear();
        return;
    }
    colorsKnown_ = true;
    pixels_ = pixels.data();
    pixelCount_ = pixels.size();
}

const int32_t* TMandelBatch::ComputeRow(const TMandel::TFrame& f, int32_t y, int32_t First, int32_t Stride,
                                        int32_t& N) {
    N = First > f.LastX ? 0 : (f.LastX - First) / Stride + 1;
    const TBatchRows::TResult r = rows_.Compute(f.dx, f.P.Re, y * f.dy + f.P.Im, First, Stride, N, nullptr);
    if (colorsKnown_) {
        m_.Stats.KernelCalls += static_cast<uint64_t>(N);
        m_.Stats.Iterations += r.Iterations;
    }
    return rows_.Counts();
}

void TMandelBatch::PaintRow(const TMandel::TFrame& f, int32_t y, int32_t First, int32_t Stride) {
    const int32_t n = First > f.LastX ? 0 : (f.LastX - First) / Stride + 1;
    uint32_t* row = m_.bitmap_.Scanline(y);
    const TBatchRows::TResult r = rows_.Compute(f.dx, f.P.Re, y * f.dy + f.P.Im, First, Stride, n, row);
    if (r.Painted) {
        m_.Stats.KernelCalls += static_cast<uint64_t>(n);
        m_.Stats.Iterations += r.Iterations;
        return;
    }
    // Some colour may fail: each point is counted and coloured in turn, so
    // that the statistics stop at the failing pixel as the scalar kernel's do.
    const int32_t* counts = rows_.Counts();
    for (int32_t k = 0; k < n; ++k) {
        m_.Tally(counts[k]);
        row[First + k * Stride] = TBitmap::ToPixel(m_.CountToColor(counts[k]));
    }
}

void TMandelBatch::BeginBoundaryPlan(const TMandel::TFrame& f) {
    if (!boundaryPlan_) boundaryPlan_ = std::make_unique<TBoundaryPlan>();
    boundaryPlan_->Begin(Params(kIntegerBailout), f.dx, f.dy, f.P.Re, f.P.Im, m_.width_);
}

const int32_t* TMandelBatch::PlanBoundaryStrip(int32_t Top, int32_t H) { return boundaryPlan_->Strip(rows_, Top, H); }

void TMandelBatch::BeginCache() {
    rows_.Begin(Params(m_.escapeRadiusSqr_), m_.simdLevel_, m_.GetThreadCount(), m_.width_ + 1, true);
    FindColors();
}

TMandelBatch::TCacheRow TMandelBatch::ComputeCacheRow(const TMandel::TFrame& f, double Im, int32_t First,
                                                      int32_t N) {
    rows_.Compute(f.dx, f.P.Re, Im, First, 1, N, nullptr);
    return TCacheRow{rows_.Counts(), rows_.ZRe(), rows_.ZIm()};
}

}  // namespace nimbrel
