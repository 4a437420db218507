// TBatchRows: computes the points of one row of a picture (or of a row of
// blocks) with the batch kernels, shared among the participants of a worker
// pool, and paints them straight into the bitmap row when the colour of every
// possible count is known beforehand.
//
// Used by the draw methods of TMandel from the GUI thread. Compute returns
// only when every point of the row is done; the workers touch only the
// points (counts, plane coordinates, pixels) of the chunks they took.
//
// The work between two yields is bounded (engine/yield_budget.h). A
// computation whose worst case (its points times the iteration limit,
// weighted by the step's cost) fits the room the meter leaves runs in one
// go; one that fits the whole budget runs in one go after a yield. Any other
// goes in pieces of points when a point's worst case fits the budget many
// times over (each piece in one go, as a row, with a yield before a piece
// that would not fit), and in rounds otherwise: every point not yet escaped
// makes at most a slice of steps per round, starting where the last round
// left its z. The rows yield only while every participant is idle. The
// counts and z are those of one go; a computation in rounds writes the
// bitmap and calls Then only after its last round.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/batch_kernels.h"
#include "engine/yield_budget.h"

namespace nimbrel {

class TWorkerPool;
class TYieldHook;

class TBatchRows {
public:
    TBatchRows();
    ~TBatchRows();
    TBatchRows(const TBatchRows&) = delete;
    TBatchRows& operator=(const TBatchRows&) = delete;

    // The meter of the work since the last yield, and the yield (which
    // clears the meter, and may raise the silent abort) that the rows call
    // before a computation that would pass the budget; both outlive the
    // rows. Without them nothing is bounded.
    void Attach(TWorkMeter* Meter, TYieldHook* Yield) {
        meter_ = Meter;
        yield_ = Yield;
    }

    // At the start of a draw. The participants beyond the caller come from
    // the process's worker pool, as many as it can give; the buffers grow
    // to MaxPoints and are kept. With KeepZ every Compute also stores the
    // last z of each point (ZRe(), ZIm()).
    void Begin(const TBatchParams& Params, TSimdLevel Level, int32_t Participants, int32_t MaxPoints,
               bool KeepZ = false);

    // Before a computation of Items items of PointsPerItem points each that
    // the caller shares itself (Compute and the others do this by
    // themselves): how many items the next piece takes. All of them when
    // their worst case fits the room the meter leaves, or fits the budget
    // after a yield; otherwise as many whole chunks as fit (after a yield
    // when too few do); 0 when even a piece of a few chunks would pass the
    // budget, and the points must go in rounds.
    int32_t NextPiece(int32_t Items, int64_t PointsPerItem);
    // Counts the iterations of such a piece on the meter.
    void AddWork(uint64_t Iterations);

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
    // Computes the N points (Re[k], Im[k]) with Params (of the same kind
    // and power as Begin's), on the calling thread alone when they fit the
    // budget; the kernels' hint for the rows is left as it is.
    TResult ComputeEach(const TBatchParams& Params, const double* Re, const double* Im, int32_t N);

    // The work of one participant on the points [A, B) of a shared row:
    // Participant is 0 on the calling thread and below Participants() on the
    // others; no two calls of one row overlap in [A, B).
    using TChunkWork = void (*)(void* Context, int32_t A, int32_t B, int32_t Participant);
    // Computes the N points x = 0 .. N - 1 with plane point (x * Dx +
    // ReOrigin, Im), or LeftRe itself for x = 0 when given (the left edge of
    // the plane as the point-by-point loops take it), then calls Then on the
    // points each participant computed, on that participant, while the
    // counts (and z) of those points are fresh. An exception that leaves Then
    // is raised again here once every participant has finished.
    TResult ComputeThen(double Dx, double ReOrigin, double Im, int32_t N, const double* LeftRe, TChunkWork Then,
                        void* Context);
    // Shares [0, N) among the participants in the same chunks, without
    // computing anything: Work does it all.
    // Items of PointsPerItem points each go in chunks of as many points as
    // items of one point would.
    void Share(int32_t N, TChunkWork Work, void* Context, int32_t PointsPerItem = 1);
    template <class F> void Share(int32_t N, const F& Work, int32_t PointsPerItem = 1) {
        Share(N, &CallWork<F>, Context(Work), PointsPerItem);
    }
    template <class F>
    TResult ComputeThen(double Dx, double ReOrigin, double Im, int32_t N, const double* LeftRe, const F& Then) {
        return ComputeThen(Dx, ReOrigin, Im, N, LeftRe, &CallWork<F>, Context(Then));
    }
    // The participants of the rows since the last Begin (1 without a pool).
    int32_t Participants() const { return participants_; }
    // Computes the N points (Re[k], Im[k]) into Counts on the calling
    // participant (inside a chunk's work); answers their iterations.
    uint64_t IteratePoints(const double* Re, const double* Im, int32_t N, int32_t* Counts) const;
    // The iterations of a row of Points points just computed: the kernels
    // take the typical count as a hint for the rows that follow.
    void NoteIterations(uint64_t Iterations, int64_t Points);
    const int32_t* Counts() const { return counts_.data(); }
    const double* ZRe() const { return zre_.data(); }
    const double* ZIm() const { return zim_.data(); }

private:
    template <class F> static void CallWork(void* Work, int32_t A, int32_t B, int32_t Participant) {
        (*static_cast<const F*>(Work))(A, B, Participant);
    }
    template <class F> static void* Context(const F& Work) { return const_cast<F*>(&Work); }
    struct TRowJob;
    static void RunJob(void* Job, int32_t Participant);
    TResult Run(TRowJob& Job);
    // The computation in rounds, and its pieces: the steps of the next
    // round for Active points with Left steps to go (yielding first when
    // the meter leaves too little room), and one round.
    int32_t PieceFor(int32_t Items, int64_t PointsPerItem, const TBatchParams& Params);
    // The points [From, To) of a job, shared or on the calling thread;
    // answers their iterations.
    uint64_t RunShared(TRowJob& Job, int32_t From, int32_t To);
    TResult RunSliced(TRowJob& Job);
    int32_t SliceSteps(int64_t Active, int32_t Left, uint64_t Cost);
    void YieldNow();
    struct TRound;
    uint64_t RunRound(TRound& Round);
    void Grow(int32_t N);

    TBatchParams params_;
    TSimdLevel level_ = TSimdLevel::Scalar;
    TWorkerPool* pool_ = nullptr;
    int32_t participants_ = 1;
    TWorkMeter* meter_ = nullptr;
    TYieldHook* yield_ = nullptr;
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
    // Each participant's own points and counts for the rows it paints,
    // which nobody reads afterwards: they stay in that participant's cache
    // from one row to the next, whichever parts of the rows it takes.
    // A round of a computation in rounds gathers the points of its chunk
    // here too (Im, the z they start from, the z they end with).
    struct TScratch {
        std::vector<double> Re;
        std::vector<int32_t> Counts;
        std::vector<double> Im, StartRe, StartIm, EndRe, EndIm;
        alignas(64) uint64_t Work = 0;  // iterations of the round
    };
    std::vector<TScratch> scratch_;
    // The points of a computation in rounds that have not escaped yet, and
    // the share of its steps that the first round of the last such
    // computation made (the kernels' hint).
    std::vector<int32_t> active_;
    double firstShare_ = 0.5;
};

}  // namespace nimbrel
