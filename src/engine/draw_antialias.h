// Draw mode 4, the simple anti-aliasing: every pixel is the average colour of
// four samples on a 2 x 2 grid inside it, the pixel's own corner point and the
// points half a step to the right, below, and both. Included by mandel_draw.h.
#pragma once

#include <algorithm>

#include "platform/sysutils.h"
#include "values/Rgblib.h"

namespace nimbrel {

namespace detail {
// The average colour of four samples, channel by channel: the four integer
// channels are added, divided by 4, and rounded with halves to the even
// neighbour (a sum of 2 gives 0, 10 gives 2).
// Sum / 4 rounded with halves to the even neighbour, as Round(Sum / 4.0)
// rounds it, in integers: the quotient, plus one when the remainder is 3, or
// 2 with an odd quotient.
constexpr int32_t QuarterRounded(int32_t Sum) {
    const int32_t q = Sum >> 2, r = Sum & 3;
    return q + (r == 3 || (r == 2 && (q & 1) != 0) ? 1 : 0);
}
inline uint32_t AveragePixel(const TRgb& s1, const TRgb& s2, const TRgb& s3, const TRgb& s4) {
    TRgb acc;
    acc.SetR(QuarterRounded(s1.R() + s2.R() + s3.R() + s4.R()));
    acc.SetG(QuarterRounded(s1.G() + s2.G() + s3.G() + s4.G()));
    acc.SetB(QuarterRounded(s1.B() + s2.B() + s3.B() + s4.B()));
    return TBitmap::ToPixel(acc.GetColor());
}
}  // namespace detail

template <class Kernel> void TMandel::DrawAntialias(Kernel&& kernel) {
    const TFrame f = BeginFrame();
    TBusyGuard busy(*this);
    // dy is negative, so a positive row offset moves down the picture.
    const double hx = f.dx / 2;
    const double hy = f.dy / 2;
    // The colours are averaged, not the counts; the same four triples serve
    // every pixel.
    TRgb s1, s2, s3, s4;
    auto average = [&](uint32_t& pixel) { pixel = detail::AveragePixel(s1, s2, s3, s4); };
    if constexpr (detail::kIsEngineKernel<Kernel>) {
        // The row's samples computed at once: its columns px and px + hx,
        // first at py, then at py + hy. The samples are then counted and
        // coloured pixel by pixel in the order of the loop below, so that a
        // failing colour stops at the same sample.
        const int32_t w = f.LastX + 1;
        TMandelBatch& batch = Batch();
        batch.Begin(2 * w);
        batch.SampleRe.resize(2 * static_cast<std::size_t>(w));
        batch.UpperCounts.resize(2 * static_cast<std::size_t>(w));
        double* const re = batch.SampleRe.data();
        int32_t* const upper = batch.UpperCounts.data();
        for (int32_t x = 0; x < w; ++x) {
            const double px = x * f.dx + f.P.Re;
            re[x] = px;
            re[w + x] = px + hx;
        }
        TBatchRows& rows = batch.Rows();
        const bool known = batch.ColorsKnown();
        if (known) {
            batch.SampleChunks.resize(static_cast<std::size_t>(rows.Participants()));
            for (auto& c : batch.SampleChunks) {
                c.Re.resize(4 * static_cast<std::size_t>(w));
                c.Im.resize(4 * static_cast<std::size_t>(w));
                c.Counts.resize(4 * static_cast<std::size_t>(w));
            }
        }
        // The pixels Out[0..N) from the counts of their four samples, when
        // no colour can fail (on any participant).
        const auto averageCounts = [&batch](uint32_t* Out, int32_t N, const int32_t* C1, const int32_t* C2,
                                            const int32_t* C3, const int32_t* C4) {
            TRgb t1, t2, t3, t4;
            for (int32_t k = 0; k < N; ++k) {
                t1.SetColor(batch.Color(C1[k]));
                t2.SetColor(batch.Color(C2[k]));
                t3.SetColor(batch.Color(C3[k]));
                t4.SetColor(batch.Color(C4[k]));
                Out[k] = detail::AveragePixel(t1, t2, t3, t4);
            }
        };
        // When no colour can fail, each participant computes the four
        // samples of the pixels of its part of the row in one batch and
        // averages them into the bitmap; a row of more work than a yield
        // allows goes in pieces of pixels (NextPiece), and answers false
        // when even a few chunks of pixels would pass the budget.
        auto sharedRow = [&](int32_t y) {
            int32_t piece = rows.NextPiece(w, 4);
            if (piece == 0) return false;
            uint32_t* const row = bitmap_.Scanline(y);
            const double py = y * f.dy + f.P.Im;
            const double pyh = py + hy;
            uint64_t iterations = 0;
            for (int32_t from = 0;;) {
                for (auto& c : batch.SampleChunks) c.Iterations = 0;
                const auto work = [&](int32_t a, int32_t b, int32_t p) {
                    TMandelBatch::TSampleChunk& c = batch.SampleChunks[static_cast<std::size_t>(p)];
                    const int32_t n = b - a;
                    a += from;
                    double* const cre = c.Re.data();
                    double* const cim = c.Im.data();
                    for (int32_t k = 0; k < n; ++k) {
                        cre[k] = cre[2 * n + k] = re[a + k];
                        cre[n + k] = cre[3 * n + k] = re[w + a + k];
                        cim[k] = cim[n + k] = py;
                        cim[2 * n + k] = cim[3 * n + k] = pyh;
                    }
                    const int32_t* const counts = c.Counts.data();
                    c.Iterations += rows.IteratePoints(cre, cim, 4 * n, c.Counts.data());
                    averageCounts(row + a, n, counts, counts + n, counts + 2 * n, counts + 3 * n);
                };
                rows.Share(piece, work, 4);
                uint64_t made = 0;
                for (const auto& c : batch.SampleChunks) made += c.Iterations;
                rows.AddWork(made);
                iterations += made;
                from += piece;
                if (from >= w) break;
                piece = rows.NextPiece(w - from, 4);
            }
            rows.NoteIterations(iterations, 4 * int64_t{w});
            Stats.KernelCalls += 4 * static_cast<uint64_t>(w);
            Stats.Iterations += iterations;
            return true;
        };
        for (int32_t y = 0; y <= f.LastY; ++y) {
            if (known && sharedRow(y)) {
                YieldRow();
                continue;
            }
            // Otherwise the row's upper and lower samples are computed apart
            // (each in pieces or rounds when it is more work than a yield
            // allows).
            uint32_t* row = bitmap_.Scanline(y);
            const double py = y * f.dy + f.P.Im;
            const TBatchRows::TResult above = rows.ComputePoints(re, py, 2 * w);
            std::copy(rows.Counts(), rows.Counts() + 2 * w, upper);
            const TBatchRows::TResult below = rows.ComputePoints(re, py + hy, 2 * w);
            const int32_t* lower = rows.Counts();
            if (known) {
                rows.Share(w, [&](int32_t a, int32_t b, int32_t) {
                    averageCounts(row + a, b - a, upper + a, upper + w + a, lower + a, lower + w + a);
                });
                Stats.KernelCalls += 4 * static_cast<uint64_t>(w);
                Stats.Iterations += above.Iterations + below.Iterations;
                YieldRow();
                continue;
            }
            auto sample = [this, &batch](TRgb& s, int32_t count) {
                Tally(count);
                s.SetColor(batch.Color(count));
            };
            for (int32_t x = 0; x < w; ++x) {
                sample(s1, upper[x]);
                sample(s2, upper[w + x]);
                sample(s3, lower[x]);
                sample(s4, lower[w + x]);
                average(row[x]);
            }
            YieldRow();
        }
        return;
    }
    for (int32_t y = 0; y <= f.LastY; ++y) {
        uint32_t* row = bitmap_.Scanline(y);
        const double py = y * f.dy + f.P.Im;
        for (int32_t x = 0; x <= f.LastX; ++x) {
            const double px = x * f.dx + f.P.Re;
            s1.SetColor(CountToColor(kernel(TComplexPoint{px, py})));
            s2.SetColor(CountToColor(kernel(TComplexPoint{px + hx, py})));
            s3.SetColor(CountToColor(kernel(TComplexPoint{px, py + hy})));
            s4.SetColor(CountToColor(kernel(TComplexPoint{px + hx, py + hy})));
            average(row[x]);
        }
        YieldRow();
    }
}

}  // namespace nimbrel
