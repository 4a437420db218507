#include "engine/boundary_plan.h"

#include <algorithm>
#include <utility>

#include "engine/batch_rows.h"
#include "platform/exceptions.h"

namespace nimbrel {

void TBoundaryPlan::Begin(const TBatchParams& Params, double Dx, double Dy, double ReOrigin, double ImOrigin,
                          int32_t Width) {
    params_ = Params;
    dx_ = Dx;
    dy_ = Dy;
    re0_ = ReOrigin;
    im0_ = ImOrigin;
    width_ = std::max(Width, 1);
    top_ = 0;
    bottom_ = -1;
    counts_.resize(static_cast<std::size_t>(kTile + 1) * static_cast<std::size_t>(width_));
}

void TBoundaryPlan::ComputeRow(TBatchRows& Rows, int32_t y) {
    // The plane point as the walk computes it for pixel (x, y).
    Rows.Compute(dx_, re0_, y * dy_ + im0_, 0, 1, width_, nullptr);
    std::copy(Rows.Counts(), Rows.Counts() + width_, &At(0, y));
}

bool TBoundaryPlan::BorderIsUniform(const TRectangle& r) {
    const int32_t ref = At(r.X1, r.Y1);
    for (int32_t x = r.X1; x <= r.X2; ++x)
        if (At(x, r.Y1) != ref || At(x, r.Y2) != ref) return false;
    for (int32_t y = r.Y1 + 1; y <= r.Y2 - 1; ++y)
        if (At(r.X1, y) != ref || At(r.X2, y) != ref) return false;
    return true;
}

void TBoundaryPlan::ComputeAdded(TBatchRows& Rows) {
    const std::size_t n = xs_.size();
    if (n == 0) return;
    re_.resize(n);
    im_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        re_[k] = xs_[k] * dx_ + re0_;
        im_[k] = ys_[k] * dy_ + im0_;
    }
    Rows.ComputeEach(params_, re_.data(), im_.data(), static_cast<int32_t>(n));
    const int32_t* const out = Rows.Counts();
    for (std::size_t k = 0; k < n; ++k) At(xs_[k], ys_[k]) = out[k];
    xs_.clear();
    ys_.clear();
}

const int32_t* TBoundaryPlan::Strip(TBatchRows& Rows, int32_t Top, int32_t H) {
    if (H < 0 || H > kTile) throw ERangeError();
    const int32_t lastX = width_ - 1;
    const std::size_t width = static_cast<std::size_t>(width_);
    // The strip's top row: the first row of the picture, or the bottom row
    // of the strip before.
    top_ = Top;
    if (bottom_ < 0) ComputeRow(Rows, Top);
    else if (bottom_ > 0) std::copy_n(counts_.begin() + static_cast<std::ptrdiff_t>(bottom_ * width), width, counts_.begin());
    bottom_ = H;
    if (H <= 0) return counts_.data();

    // The edges: the bottom row, then the inner points of the tile columns
    // (every tile's right edge, the left border column and the last
    // column).
    ComputeRow(Rows, Top + H);
    for (int32_t y = Top + 1; y <= Top + H - 1; ++y) {
        for (int32_t x = 0; x < lastX; x += kTile) Add(x, y);
        Add(lastX, y);
    }
    ComputeAdded(Rows);

    // The split lines, level by level: each rectangle whose border is not
    // uniform gets the points of its two split lines and four quarters.
    rects_.clear();
    int32_t tx = 0;
    for (; tx + kTile <= lastX; tx += kTile) rects_.push_back({tx, Top, tx + kTile, Top + H});
    if (lastX - tx >= 1) rects_.push_back({tx, Top, lastX, Top + H});
    while (!rects_.empty()) {
        nextRects_.clear();
        for (const TRectangle& r : rects_) {
            if (r.X2 - r.X1 <= 1 || r.Y2 - r.Y1 <= 1 || BorderIsUniform(r)) continue;
            const int32_t hw = (r.X2 - r.X1) / 2;
            const int32_t xm = r.X1 + hw;
            const int32_t ym = r.Y1 + (r.Y2 - r.Y1) / 2;
            for (int32_t y = r.Y1 + 1; y <= r.Y2 - 1; ++y) Add(xm, y);
            for (int32_t x = r.X1 + 1; x <= r.X2 - 1; ++x)
                if (x != xm) Add(x, ym);
            nextRects_.push_back({r.X1, r.Y1, xm, ym});
            nextRects_.push_back({xm, r.Y1, r.X2, ym});
            nextRects_.push_back({r.X1, ym, xm, r.Y2});
            nextRects_.push_back({xm, ym, r.X2, r.Y2});
        }
        ComputeAdded(Rows);
        std::swap(rects_, nextRects_);
    }
    return counts_.data();
}

}  // namespace nimbrel
