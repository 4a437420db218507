// TBoundaryPlan: the counts that draw mode 2's walk of one strip will ask
// for, computed ahead with the batch kernels.
//
// The walk visits a strip's points one at a time, tile by tile, and yields
// after each tile; which points it visits inside a tile depends on the counts
// it finds. But the tile edges are fixed, and the split lines of a rectangle
// depend only on the counts of its border, which lie on the tile edges or on
// the split lines of the rectangle around it; and the split points of a
// rectangle lie inside it, so its neighbours' splits never change its border.
// Every point of a strip is therefore known once the edges and then each
// level of split lines are computed: the plan computes the strip's bottom row
// (shared with the worker pool), the inner points of its tile columns, then
// the split lines of all its tiles, one batch per level.
//
// The plan neither draws nor counts anything: the walk takes the counts from
// it in its own order, and sets, counts and yields exactly as it does with a
// kernel called point by point. A batch that would pass the budget of work
// between two yields runs in rounds and yields (TBatchRows), before the walk
// of its strip has set a pixel. Used from the GUI thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/batch_kernels.h"

namespace nimbrel {

class TBatchRows;

class TBoundaryPlan {
public:
    // The tiles of the walk span kTile + 1 pixels and share their edges.
    static constexpr int32_t kTile = 20;

    // At the start of a draw: pixel (x, y) stands for the plane point
    // (x * Dx + ReOrigin, y * Dy + ImOrigin), x = 0 .. Width - 1.
    void Begin(const TBatchParams& Params, double Dx, double Dy, double ReOrigin, double ImOrigin, int32_t Width);

    // The counts of every point the walk of the strip of rows Top .. Top + H
    // visits: Width counts per row, row Top first, valid until the next call.
    // The first call of a draw is for the first row (Top 0, H 0); each later
    // strip starts at the bottom row of the one before, whose counts are
    // kept. Rows computes every batch, with its instruction set; it must
    // have been begun with the same parameters and room for Width points.
    const int32_t* Strip(TBatchRows& Rows, int32_t Top, int32_t H);

private:
    struct TRectangle {
        int32_t X1, Y1, X2, Y2;
    };
    int32_t& At(int32_t x, int32_t y) {
        return counts_[static_cast<std::size_t>(y - top_) * static_cast<std::size_t>(width_) +
                       static_cast<std::size_t>(x)];
    }
    void ComputeRow(TBatchRows& Rows, int32_t y);
    bool BorderIsUniform(const TRectangle& r);
    void Add(int32_t x, int32_t y) {
        xs_.push_back(x);
        ys_.push_back(y);
    }
    // Computes the points added since the last batch, as one batch (in
    // rounds, with yields, when it would pass the budget).
    void ComputeAdded(TBatchRows& Rows);

    TBatchParams params_;
    double dx_ = 0, dy_ = 0, re0_ = 0, im0_ = 0;
    int32_t width_ = 0;
    int32_t top_ = 0;
    // Offset of the last strip's bottom row, -1 before the first row.
    int32_t bottom_ = -1;
    // kTile + 1 rows of Width counts.
    std::vector<int32_t> counts_;
    // A batch: the pixels and their plane points.
    std::vector<int32_t> xs_, ys_;
    std::vector<double> re_, im_;
    // The rectangles of one level of the split, and of the next.
    std::vector<TRectangle> rects_, nextRects_;
};

}  // namespace nimbrel
