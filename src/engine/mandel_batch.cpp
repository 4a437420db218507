// TMandel's rows with the batch kernels: the engine's own kernel evaluated a
// row at a time, on every participant of the worker pool.
#include <algorithm>

#include "engine/batch_rows.h"
#include "engine/boundary_plan.h"
#include "engine/mandel_class.h"
#include "engine/worker_pool.h"

namespace nimbrel {

namespace {

// Pictures with a larger iteration limit look their colours up one by one.
constexpr int32_t kMaxLookup = 1 << 16;

}  // namespace

TBatchParams TMandel::BatchParams(double Bailout) const {
    TBatchParams p;
    p.Julia = Kind_ != fkMandelbrot;
    p.JuliaRe = JuliaConstant_.Re;
    p.JuliaIm = JuliaConstant_.Im;
    p.Power = Power_;
    p.MaxIter = MaxIter_;
    p.Bailout = Bailout;
    return p;
}

int32_t TMandel::GetThreadCount() const { return ThreadCount_ >= 1 ? ThreadCount_ : DefaultThreadCount(); }

void TMandel::BeginBatch(int32_t PointsPerRow) {
    if (!Batch_) Batch_ = std::make_unique<TBatchRows>();
    Batch_->Begin(BatchParams(4), SimdLevel_, GetThreadCount(), PointsPerRow);
    // The workers paint only when no count can make CountToColor fail;
    // otherwise the calling thread converts every count itself, so that the
    // failure comes at the same pixel as ever.
    BatchColorsKnown_ = false;
    BatchPixels_ = nullptr;
    BatchPixelCount_ = 0;
    if (MaxIter_ > kMaxLookup) return;
    std::vector<uint32_t>& pixels = Batch_->PixelOfCount();
    pixels.resize(static_cast<std::size_t>(std::max(MaxIter_, 0)) + 1);
    try {
        for (std::size_t c = 0; c < pixels.size(); ++c)
            pixels[c] = TBitmap::ToPixel(CountToColor(static_cast<int32_t>(c)));
    } catch (const Exception&) {
        pixels.clear();
        return;
    }
    BatchColorsKnown_ = true;
    BatchPixels_ = pixels.data();
    BatchPixelCount_ = pixels.size();
}

const int32_t* TMandel::ComputeBatchRow(const TFrame& f, int32_t y, int32_t First, int32_t Stride, int32_t& N) {
    N = First > f.LastX ? 0 : (f.LastX - First) / Stride + 1;
    const TBatchRows::TResult r = Batch_->Compute(f.dx, f.P.Re, y * f.dy + f.P.Im, First, Stride, N, nullptr);
    if (BatchColorsKnown_) {
        Stats.KernelCalls += static_cast<uint64_t>(N);
        Stats.Iterations += r.Iterations;
    }
    return Batch_->Counts();
}

const int32_t* TMandel::ComputeBatchPoints(const double* Re, double Im, int32_t N) {
    Batch_->ComputePoints(Re, Im, N);
    return Batch_->Counts();
}

void TMandel::BeginCacheBatch() {
    if (!Batch_) Batch_ = std::make_unique<TBatchRows>();
    Batch_->Begin(BatchParams(EscapeRadiusSqr_), SimdLevel_, GetThreadCount(), Width_ + 1, true);
    BatchColorsKnown_ = false;
    BatchPixels_ = nullptr;
    BatchPixelCount_ = 0;
}

TMandel::TCacheRow TMandel::ComputeCacheRow(const TFrame& f, double Im, int32_t First, int32_t N) {
    Batch_->Compute(f.dx, f.P.Re, Im, First, 1, N, nullptr);
    return TCacheRow{Batch_->Counts(), Batch_->ZRe(), Batch_->ZIm()};
}

void TMandel::PaintBatchRow(const TFrame& f, int32_t y, int32_t First, int32_t Stride) {
    const int32_t n = First > f.LastX ? 0 : (f.LastX - First) / Stride + 1;
    uint32_t* row = Bitmap_.Scanline(y);
    const TBatchRows::TResult r = Batch_->Compute(f.dx, f.P.Re, y * f.dy + f.P.Im, First, Stride, n, row);
    if (r.Painted) {
        Stats.KernelCalls += static_cast<uint64_t>(n);
        Stats.Iterations += r.Iterations;
        return;
    }
    // Some colour may fail: each point is counted and coloured in turn, so
    // that the statistics stop at the failing pixel as the scalar kernel's do.
    const int32_t* counts = Batch_->Counts();
    for (int32_t k = 0; k < n; ++k) {
        Tally(counts[k]);
        row[First + k * Stride] = TBitmap::ToPixel(CountToColor(counts[k]));
    }
}

void TMandel::BeginBoundaryPlan(const TFrame& f) {
    if (!BoundaryPlan_) BoundaryPlan_ = std::make_unique<TBoundaryPlan>();
    BoundaryPlan_->Begin(BatchParams(4), SimdLevel_, f.dx, f.dy, f.P.Re, f.P.Im, Width_);
}

const int32_t* TMandel::PlanBoundaryStrip(int32_t Top, int32_t H) { return BoundaryPlan_->Strip(*Batch_, Top, H); }

}  // namespace nimbrel
