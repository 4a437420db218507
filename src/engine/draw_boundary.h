// Draw mode 2, the boundary trace. Regions of equal escape count are
// connected, so a rectangle whose whole border has one count is filled with
// that count's colour without computing its inside. The picture is walked in
// tiles of 20 pixels, strip by strip from the top; a tile whose border is not
// uniform is split into quarters until its pieces are uniform or have no
// inside left. With the engine's own kernel the points of each strip are
// computed ahead in batches (TBoundaryPlan) and the same walk takes their
// counts from there. Included by mandel_draw.h.
#pragma once

#include <array>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "engine/boundary_plan.h"
#include "platform/exceptions.h"

namespace nimbrel {

namespace detail {

// Escape counts of the tile in progress, [column][row] relative to the
// tile's origin. A tile of 20 uses offsets 0..20 only; anything outside
// 0..40 is a fault of the walk and raises ERangeError.
class TBoundaryGrid {
public:
    static constexpr int32_t kSize = 41;

    int32_t& operator()(int32_t column, int32_t row) {
        if (column < 0 || column >= kSize || row < 0 || row >= kSize) throw ERangeError();
        return cells_[static_cast<std::size_t>(column * kSize + row)];
    }

private:
    std::array<int32_t, kSize * kSize> cells_{};
};

}  // namespace detail

template <class Kernel> void TMandel::DrawBoundary(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
    if constexpr (detail::kIsEngineKernel<Kernel>) {
        // Before the walk of each strip (and of the first row) the plan
        // computes every point the walk will ask for, in batches; the walk
        // then takes the counts from it and counts each point in Stats as it
        // is set, so that pixels, statistics, failures and yields come as
        // they do point by point.
        TMandelBatch& batch = Batch();
        batch.Begin(width_);
        batch.BeginBoundaryPlan(f);
        const int32_t* plane = nullptr;
        int32_t top = 0;
        const std::size_t width = static_cast<std::size_t>(width_);
        WalkBoundary(
            f,
            [&](int32_t x, int32_t y) {
                const int32_t count = plane[static_cast<std::size_t>(y - top) * width + static_cast<std::size_t>(x)];
                Tally(count);
                return count;
            },
            [&batch](int32_t count) { return batch.Color(count); },
            [&](int32_t ty, int32_t h) {
                plane = batch.PlanBoundaryStrip(ty, h);
                top = ty;
            });
        return;
    }
    WalkBoundary(
        f, [&](int32_t x, int32_t y) { return kernel(f.Point(x, y)); },
        [this](int32_t count) { return CountToColor(count); }, [](int32_t, int32_t) {});
}

template <class Count, class Colour, class Plan>
void TMandel::WalkBoundary(const TFrame& f, Count&& count, Colour&& colour, Plan&& plan) {
    constexpr int32_t S = TBoundaryPlan::kTile;  // a full tile spans S + 1 pixels
    // Counts of the top row of the next strip, one per column, handed down
    // from the strip above.
    std::vector<int32_t> buffer(static_cast<std::size_t>(width_));

    // The walk inside one tile. The grid holds counts, not colours: two counts
    // that share a colour still make a border non-uniform.
    struct TTracer {
        TMandel& m;
        std::remove_reference_t<Count>& count;
        std::remove_reference_t<Colour>& colour;
        detail::TBoundaryGrid G;
        int32_t x0 = 0;  // origin of the grid
        int32_t y0 = 0;

        // Computes the count of (x, y) and sets the pixel at once.
        int32_t Compute(int32_t x, int32_t y) {
            const int32_t c = count(x, y);
            m.bitmap_.SetPixel(x, y, colour(c));
            return c;
        }

        bool BorderIsUniform(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
            const int32_t ref = G(x1 - x0, y1 - y0);
            for (int32_t x = x1; x <= x2; ++x)
                if (G(x - x0, y1 - y0) != ref) return false;
            for (int32_t x = x1; x <= x2; ++x)
                if (G(x - x0, y2 - y0) != ref) return false;
            for (int32_t y = y1 + 1; y <= y2 - 1; ++y)
                if (G(x1 - x0, y - y0) != ref) return false;
            for (int32_t y = y1 + 1; y <= y2 - 1; ++y)
                if (G(x2 - x0, y - y0) != ref) return false;
            return true;
        }

        // Completes the rectangle (x1, y1)..(x2, y2), whose border is computed,
        // drawn and in the grid.
        void TraceRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
            if (std::abs(x2 - x1) <= 1 || std::abs(y2 - y1) <= 1) return;
            if (BorderIsUniform(x1, y1, x2, y2)) {
                // Repaints the top and left edges in their own colour; the
                // right and bottom edges already have it.
                m.bitmap_.FillRect(TRect{x1, y1, x2, y2}, colour(G(x1 - x0, y1 - y0)));
                return;
            }
            const int32_t hw = (x2 - x1) / 2;
            const int32_t hh = (y2 - y1) / 2;
            const int32_t xm = x1 + hw;
            const int32_t ym = y1 + hh;
            for (int32_t k = 1; k <= y2 - y1 - 1; ++k) G(xm - x0, y1 - y0 + k) = Compute(xm, y1 + k);
            // The crossing (xm, ym) belongs to the vertical line.
            for (int32_t k = 1; k <= hw - 1; ++k) G(x1 - x0 + k, ym - y0) = Compute(x1 + k, ym);
            for (int32_t k = hw + 1; k <= x2 - x1 - 1; ++k) G(x1 - x0 + k, ym - y0) = Compute(x1 + k, ym);
            TraceRect(x1, y1, xm, ym);
            TraceRect(xm, y1, x2, ym);
            TraceRect(x1, ym, xm, y2);
            TraceRect(xm, ym, x2, y2);
        }
    };
    TTracer t{*this, count, colour, {}, 0, 0};
    auto& G = t.G;

    plan(0, 0);
    for (int32_t x = 0; x <= f.LastX; ++x) buffer[static_cast<std::size_t>(x)] = t.Compute(x, 0);

    // One strip of rows ty..ty + h: full tiles, then the narrower last tile.
    // The last strip of the picture does not yield after its last tile.
    auto strip = [&](int32_t ty, int32_t h, bool yieldAfterLastTile) {
        plan(ty, h);
        t.x0 = 0;
        t.y0 = ty;
        for (int32_t k = 0; k <= h; ++k) G(0, k) = t.Compute(0, ty + k);
        // The left edge of every later tile is the right edge of the one before.
        auto shiftLeftEdge = [&] {
            for (int32_t k = 0; k <= h; ++k) G(0, k) = G(S, k);
        };
        int32_t tx = 0;
        for (; tx + S <= f.LastX; tx += S) {
            t.x0 = tx;
            if (tx > 0) shiftLeftEdge();
            for (int32_t k = 0; k <= h; ++k) G(S, k) = t.Compute(tx + S, ty + k);
            for (int32_t k = 1; k <= S; ++k) G(k, 0) = buffer[static_cast<std::size_t>(tx + k)];
            for (int32_t k = 1; k <= S - 1; ++k) {
                const int32_t c = t.Compute(tx + k, ty + h);
                G(k, h) = c;
                buffer[static_cast<std::size_t>(tx + k)] = c;
            }
            buffer[static_cast<std::size_t>(tx + S)] = G(S, h);
            t.TraceRect(tx, ty, tx + S, ty + h);
            YieldRow();
        }
        const int32_t r = f.LastX - tx;
        t.x0 = tx;
        if (tx > 0) shiftLeftEdge();
        for (int32_t k = 0; k <= h; ++k) G(r, k) = t.Compute(f.LastX, ty + k);
        for (int32_t k = 1; k <= r; ++k) G(k, 0) = buffer[static_cast<std::size_t>(tx + k)];
        for (int32_t k = 1; k <= r - 1; ++k) {
            const int32_t c = t.Compute(tx + k, ty + h);
            G(k, h) = c;
            buffer[static_cast<std::size_t>(tx + k)] = c;
        }
        if (r >= 1) {
            buffer[static_cast<std::size_t>(f.LastX)] = G(r, h);
            t.TraceRect(tx, ty, f.LastX, ty + h);
        }
        if (yieldAfterLastTile) YieldRow();
    };

    int32_t ty = 0;
    for (; ty + S <= f.LastY; ty += S) strip(ty, S, true);
    // When the last strip has height 0 its bottom edge is the top row itself.
    strip(ty, f.LastY - ty, false);
}

}  // namespace nimbrel
