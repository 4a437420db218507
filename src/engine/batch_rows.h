// TBatchRows: computes the points of one row of a picture (or of a row of
// blocks) with the batch kernels, shared among the participants of a worker
// pool, and paints them straight into the bitmap row when the colour of every
// possible count is known beforehand.
//
// Used by the draw methods of TMandel from the GUI thread. Compute returns
// only when every point of the row is done; the workers touch only the
// points (counts, plane coordinates, pixels) of the chunks they took.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/batch_kernels.h"
#include "engine/worker_pool.h"

namespace nimbrel {

class TBatchRows {
public:
    TBatchRows();
    ~TBatchRows();
    TBatchRows(const TBatchRows&) = delete;
    TBatchRows& operator=(const TBatchRows&) = delete;

    // At the start of a draw. The pool is started on first use and kept;
    // the buffers grow to MaxPoints and are kept. With KeepZ every Compute
    // also stores the last z of each point (ZRe(), ZIm()).
    void Begin(const TBatchParams& Params, TSimdLevel Level, int32_t Participants, int32_t MaxPoints,
               bool KeepZ = false);

    // The pixel for each count 0..MaxIter, filled by the caller after Begin;
    // left empty, Compute never paints.
    std::vector<uint32_t>& PixelOfCount() { return pixelOfCount_; }

    struct TResult {
        uint64_t Iterations = 0;  // steps made, MaxIter for a point that stayed
        bool Painted = false;     // Row[First + k * Stride] holds the pixels
    };
    // Computes the N points x = First + k * Stride (k < N) with plane point
    // (x * Dx + ReOrigin, Im); Counts()[k] receives the count of point k.
    TResult Compute(double Dx, double ReOrigin, double Im, int32_t First, int32_t Stride, int32_t N,
                    uint32_t* Row);
    // Computes the N points (Re[k], Im), for points that are no multiples of
    // a step; never paints.
    TResult ComputePoints(const double* Re, double Im, int32_t N);
    const int32_t* Counts() const { return counts_.data(); }
    const double* ZRe() const { return zre_.data(); }
    const double* ZIm() const { return zim_.data(); }

private:
    struct TRowJob;
    static void RunJob(void* Job, int32_t Participant);
    TResult Run(TRowJob& Job);

    TBatchParams params_;
    TSimdLevel level_ = TSimdLevel::Scalar;
    std::unique_ptr<TWorkerPool> pool_;
    int32_t participants_ = 1;
    // Time the caller spent waiting for a worker far longer than its own
    // share took (the worker was not running: the cores are busy with other
    // work), and the time of the shared rows. When the waiting grows to a
    // good part of the whole, the rest of the draw runs on the caller alone,
    // which is then no slower. Both are halved at the start of every draw.
    int64_t stalledNs_ = 0;
    int64_t sharedNs_ = 0;
    std::vector<double> re_;
    std::vector<int32_t> counts_;
    bool keepZ_ = false;
    std::vector<double> zre_;
    std::vector<double> zim_;
    std::vector<uint32_t> pixelOfCount_;
};

}  // namespace nimbrel
