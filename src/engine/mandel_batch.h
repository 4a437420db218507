// TMandelBatch: the engine's own kernel a row at a time. The draw methods of
// TMandel hand whole rows (or rows of blocks, or the points of mode 2's
// strips, or the grid rows of the shaded modes) to the batch kernels, shared
// among the participants of the worker pool, and then set, count and colour
// the points in the order of their point-by-point loops, so that pixels,
// statistics, failures and yields come exactly as they do with the scalar
// kernel. Used by the engine's draw methods only, from the GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/batch_rows.h"
#include "engine/boundary_plan.h"
#include "engine/mandel_class.h"

namespace nimbrel {

class TMandelBatch : private TYieldHook {
public:
    explicit TMandelBatch(TMandel& Engine) : m_(Engine) { rows_.Attach(&m_.work_, this); }

    // ---- The integer modes -------------------------------------------------
    // Per draw, after BeginFrame: the batch parameters, and the colour of
    // every count when all of them can be looked up without fault; rows of
    // up to PointsPerRow points.
    void Begin(int32_t PointsPerRow);
    // Computes the pixels x = First, First + Stride, ... <= LastX of row y
    // and sets them.
    void PaintRow(const TMandel::TFrame& f, int32_t y, int32_t First, int32_t Stride);
    // Computes the points x = First, First + Stride, ... <= LastX of row y;
    // answers their counts (valid until the next row) and their number. The
    // points are counted in Stats here when no colour can fail; otherwise
    // CountedColor counts each one as it is coloured.
    const int32_t* ComputeRow(const TMandel::TFrame& f, int32_t y, int32_t First, int32_t Stride, int32_t& N);
    // CountToColor, through the lookup of Begin where it holds.
    TColor Color(int32_t Count) const {
        if (Count >= 0 && static_cast<std::size_t>(Count) < pixelCount_)
            return TBitmap::FromPixel(pixels_[static_cast<std::size_t>(Count)]);
        return m_.CountToColor(Count);
    }
    TColor CountedColor(int32_t Count) {
        if (!colorsKnown_) m_.Tally(Count);
        return Color(Count);
    }
    // Mode 2, after Begin: the plan for the frame, then the counts of each
    // strip the walk asks for (TBoundaryPlan), Width per row, row Top first.
    // Nothing is counted in Stats here.
    void BeginBoundaryPlan(const TMandel::TFrame& f);
    const int32_t* PlanBoundaryStrip(int32_t Top, int32_t H);
    // Mode 4's sample columns of a row and the counts of its upper samples.
    std::vector<double> SampleRe;
    std::vector<int32_t> UpperCounts;
    // Mode 4's samples of a chunk of a row, per participant: the four
    // samples of each pixel and their counts, and the chunk's iterations.
    struct TSampleChunk {
        std::vector<double> Re, Im;
        std::vector<int32_t> Counts;
        alignas(64) uint64_t Iterations = 0;
    };
    std::vector<TSampleChunk> SampleChunks;

    // ---- The shaded modes --------------------------------------------------
    // After BeginCacheComputation: the batch parameters with the escape
    // radius. Then the counts and last z of the grid points X = First ..
    // First + N - 1 at Im, valid until the next row; StoreCell puts point k
    // into cell (X, Y) and counts it, as the cache kernel would have done.
    struct TCacheRow {
        const int32_t* Counts;
        const double* ZRe;
        const double* ZIm;
    };
    // BeginCache also finds the colour of every count 0..MaxIter when all of
    // them can be looked up without fault (ColorsKnown, PixelOf).
    void BeginCache();
    TCacheRow ComputeCacheRow(const TMandel::TFrame& f, double Im, int32_t First, int32_t N);
    // The same for the N points (Re[k], Im).
    TCacheRow ComputeCachePoints(const double* Re, double Im, int32_t N) {
        rows_.ComputePoints(Re, Im, N);
        return TCacheRow{rows_.Counts(), rows_.ZRe(), rows_.ZIm()};
    }
    void StoreCell(const TCacheRow& Row, int32_t k, int32_t X, int32_t Y) {
        TResultCell& cell = m_.Cell(X, Y);
        cell.Count = Row.Counts[k];
        cell.Z = TComplexPoint{Row.ZRe[k], Row.ZIm[k]};
        m_.Tally(cell.Count);
    }

    // The lookup of Begin or BeginCache: whether every count 0..MaxIter has
    // its pixel, and the pixel of one of them.
    bool ColorsKnown() const { return colorsKnown_; }
    uint32_t PixelOf(int32_t Count) const { return pixels_[static_cast<std::size_t>(Count)]; }
    // The rows themselves, for draw methods that do more per chunk of a row
    // than compute and paint it (the shaded modes).
    TBatchRows& Rows() { return rows_; }
    // Buffers of the shaded modes, kept from draw to draw: the potentials
    // and counts of two grid rows, a row of pixels, the cells a row replaced.
    std::vector<double> Potentials[2];
    std::vector<int32_t> RowCounts[2];
    std::vector<uint32_t> PixelRow;
    std::vector<TResultCell> SavedCells;

private:
    // The rows yield within a long row as the draw methods do after a row.
    void OnYield() override { m_.YieldRow(); }
    // Fills the lookup of every count's pixel when no colour can fail.
    void FindColors();
    // The batch kernels' parameters for the engine's kind, power and limit.
    TBatchParams Params(double Bailout) const;

    TMandel& m_;
    TBatchRows rows_;
    std::unique_ptr<TBoundaryPlan> boundaryPlan_;
    // Begin found the colour of every count 0..MaxIter: the pixels of its
    // lookup (kept by rows_), or none.
    bool colorsKnown_ = false;
    const uint32_t* pixels_ = nullptr;
    std::size_t pixelCount_ = 0;
};

}  // namespace nimbrel
