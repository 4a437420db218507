#include "engine/batch_rows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/application.h"
#include "platform/worker_pool.h"

namespace nimbrel {

namespace {

// Participants take chunks of a row one after another, so that a part of the
// row that iterates long does not hold up the others; a chunk is still long
// enough for the vector slots of a batch kernel to stay full. Chunks are
// whole multiples of kChunkQuantum points, which the kernels' waves of
// groups divide (ten or six slots of eight lanes, five of four, ...): a
// chunk whose points all stay to the limit then ends with every slot full.
constexpr int32_t kChunkQuantum = 240;
constexpr int32_t kMinChunk = kChunkQuantum;
// Below this many points the row is computed on the calling thread alone.
constexpr int32_t kMinPointsForPool = 256;
// A wait for the workers beyond twice the caller's own time counts as
// stalled; once stalled waits exceed a quarter of the shared rows' time (and
// a few milliseconds, so that one hiccup of the system does not count) the
// draw goes on without the pool.
constexpr int64_t kMinStalledNs = 2'000'000;

using TClock = std::chrono::steady_clock;

}  // namespace

struct TBatchRows::TRowJob {
    TBatchRows* Rows = nullptr;
    double Dx = 0, ReOrigin = 0, Im = 0;
    int32_t First = 0, Stride = 1, N = 0;
    int32_t Parts = 1;  // participants sharing the row
    uint32_t* Row = nullptr;       // nullptr: counts only
    const double* Re = nullptr;    // the points' real parts, or nullptr: First + k * Stride
    const double* LeftRe = nullptr;  // the real part of point 0, when given
    bool Compute = true;            // false: Then does all the work
    TChunkWork Then = nullptr;      // called after each chunk, when given
    void* Context = nullptr;
    std::atomic<int32_t> Next{0};
    TClock::time_point CallerDone;  // when the caller had finished its share
    struct alignas(64) TSum {
        uint64_t Iterations = 0;
    };
    TSum Sums[64];
};

TBatchRows::TBatchRows() = default;
TBatchRows::~TBatchRows() = default;

void TBatchRows::Begin(const TBatchParams& Params, TSimdLevel Level, int32_t Participants, int32_t MaxPoints,
                       bool KeepZ) {
    params_ = Params;
    level_ = Level;
    participants_ = std::clamp(Participants, 1, TWorkerPool::kMaxParticipants);
    if (participants_ > 1) {
        pool_ = &Application().Workers();
        participants_ = std::min(participants_, pool_->Reserve(participants_));
    }
    const auto size = static_cast<std::size_t>(std::max(MaxPoints, 1));
    if (re_.size() < size) {
        re_.resize(size);
        counts_.resize(size);
    }
    if (scratch_.size() < static_cast<std::size_t>(participants_)) scratch_.resize(static_cast<std::size_t>(participants_));
    for (TScratch& s : scratch_) {
        if (s.Re.size() >= size) continue;
        s.Re.resize(size);
        s.Counts.resize(size);
    }
    keepZ_ = KeepZ;
    if (KeepZ && zre_.size() < size) {
        zre_.resize(size);
        zim_.resize(size);
    }
    pixelOfCount_.clear();
    // Stalls are forgotten slowly: under lasting load the next draw turns the
    // pool off sooner, on a quiet machine it soon has it for good again.
    stalledNs_ /= 2;
    sharedNs_ /= 2;
}

void TBatchRows::RunJob(void* Job, int32_t Participant) {
    TRowJob& job = *static_cast<TRowJob*>(Job);
    TBatchRows& rows = *job.Rows;
    const TSimdLevel level = rows.level_;
    const int32_t maxIter = rows.params_.MaxIter;
    const uint32_t* const pixels = job.Row != nullptr ? rows.pixelOfCount_.data() : nullptr;
    const int32_t first = job.First, stride = job.Stride, n = job.N, parts = job.Parts;
    double* const re = rows.re_.data();
    const double* const given = job.Re;
    int32_t* const counts = rows.counts_.data();
    double* const zre = rows.keepZ_ ? rows.zre_.data() : nullptr;
    double* const zim = rows.keepZ_ ? rows.zim_.data() : nullptr;
    // The pixels of a painted row before its first 64-byte boundary: the
    // first chunk takes them too, so that every later chunk starts on a
    // boundary and no two participants write into one line of the bitmap
    // (which the painting streams to memory past the cache).
    const int32_t lead = job.Row != nullptr && stride == 1
                             ? static_cast<int32_t>((64 - reinterpret_cast<std::uintptr_t>(job.Row + first) % 64) % 64 /
                                                    sizeof(uint32_t))
                             : 0;
    // A painted row of plane points whose counts nobody reads afterwards.
    const bool painting = pixels != nullptr && given == nullptr && job.Then == nullptr;
    uint64_t iterations = 0;
    for (;;) {
        // Chunks shrink as the row runs out (half the rest per participant,
        // at least kMinChunk), so that the participants finish close together.
        int32_t a = job.Next.load(std::memory_order_relaxed);
        int32_t b = 0;
        do {
            if (a >= n) break;
            const int32_t share = (n - a) / (2 * parts);
            const int32_t size = std::max(kMinChunk, share - share % kChunkQuantum) + (a == 0 ? lead : 0);
            b = parts == 1 ? n : std::min(n, a + size);
        } while (!job.Next.compare_exchange_weak(a, b, std::memory_order_relaxed));
        if (a >= n) break;
        if (job.Compute && painting) {
            // Point k of the chunk is point a + k of the row: the same plane
            // point, the same pixel.
            TScratch& own = rows.scratch_[static_cast<std::size_t>(Participant)];
            const int32_t m = b - a, from = first + a * stride;
            RowPlanePoints(level, own.Re.data(), 0, m, from, stride, job.Dx, job.ReOrigin);
            IterateBatch(level, rows.params_, TBatchPoints{own.Re.data(), &job.Im, true, static_cast<std::size_t>(m)},
                         TBatchResults{own.Counts.data(), nullptr, nullptr});
            iterations += RowPaint(level, own.Counts.data(), 0, m, maxIter, pixels, job.Row, from, stride);
        } else if (job.Compute) {
            if (given == nullptr) {
                RowPlanePoints(level, re, a, b, first, stride, job.Dx, job.ReOrigin);
                if (a == 0 && job.LeftRe != nullptr) re[0] = *job.LeftRe;
            }
            const double* const points = given != nullptr ? given : re;
            IterateBatch(level, rows.params_,
                         TBatchPoints{points + a, &job.Im, true, static_cast<std::size_t>(b - a)},
                         TBatchResults{counts + a, zre != nullptr ? zre + a : nullptr,
                                       zim != nullptr ? zim + a : nullptr});
            iterations += pixels != nullptr ? RowPaint(level, counts, a, b, maxIter, pixels, job.Row, first, stride)
                                            : RowIterations(level, counts, a, b, maxIter);
        }
        if (job.Then != nullptr) job.Then(job.Context, a, b, Participant);
    }
    job.Sums[Participant].Iterations = iterations;
    if (Participant == 0) job.CallerDone = TClock::now();
}

TBatchRows::TResult TBatchRows::Compute(double Dx, double ReOrigin, double Im, int32_t First, int32_t Stride,
                                        int32_t N, uint32_t* Row) {
    if (N <= 0) return {};
    const auto maxIter = static_cast<std::size_t>(params_.MaxIter > 0 ? params_.MaxIter : 0);
    const bool paint = Row != nullptr && pixelOfCount_.size() > maxIter;
    TRowJob job;
    job.Dx = Dx;
    job.ReOrigin = ReOrigin;
    job.Im = Im;
    job.First = First;
    job.Stride = Stride;
    job.N = N;
    job.Row = paint ? Row : nullptr;
    return Run(job);
}

TBatchRows::TResult TBatchRows::ComputePoints(const double* Re, double Im, int32_t N) {
    if (N <= 0) return {};
    TRowJob job;
    job.Re = Re;
    job.Im = Im;
    job.N = N;
    return Run(job);
}

TBatchRows::TResult TBatchRows::ComputeThen(double Dx, double ReOrigin, double Im, int32_t N, const double* LeftRe,
                                            TChunkWork Then, void* Context) {
    if (N <= 0) return {};
    TRowJob job;
    job.Dx = Dx;
    job.ReOrigin = ReOrigin;
    job.Im = Im;
    job.N = N;
    job.LeftRe = LeftRe;
    job.Then = Then;
    job.Context = Context;
    return Run(job);
}

void TBatchRows::NoteIterations(uint64_t Iterations, int64_t Points) {
    if (Points > 0) params_.TypicalSteps = static_cast<int32_t>(Iterations / static_cast<uint64_t>(Points));
}

uint64_t TBatchRows::IteratePoints(const double* Re, const double* Im, int32_t N, int32_t* Counts) const {
    if (N <= 0) return 0;
    IterateBatch(level_, params_, TBatchPoints{Re, Im, false, static_cast<std::size_t>(N)},
                 TBatchResults{Counts, nullptr, nullptr});
    return RowIterations(level_, Counts, 0, N, params_.MaxIter);
}

void TBatchRows::Share(int32_t N, TChunkWork Work, void* Context) {
    if (N <= 0) return;
    TRowJob job;
    job.N = N;
    job.Compute = false;
    job.Then = Work;
    job.Context = Context;
    Run(job);
}

TBatchRows::TResult TBatchRows::Run(TRowJob& job) {
    TResult result;
    const int32_t N = job.N;
    const bool stalling = stalledNs_ > kMinStalledNs && stalledNs_ * 4 > sharedNs_;
    const bool shared = pool_ && participants_ > 1 && N >= kMinPointsForPool && !stalling;
    const int32_t parts = shared ? participants_ : 1;
    job.Rows = this;
    job.Parts = parts;
    if (shared) {
        const TClock::time_point start = TClock::now();
        pool_->Run(&RunJob, &job, parts);
        const TClock::time_point end = TClock::now();
        const auto own = job.CallerDone - start;
        const auto excess = (end - job.CallerDone) - 2 * own;
        if (excess.count() > 0) stalledNs_ += std::chrono::duration_cast<std::chrono::nanoseconds>(excess).count();
        sharedNs_ += std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
    } else {
        RunJob(&job, 0);
    }
    for (int32_t i = 0; i < parts; ++i) result.Iterations += job.Sums[i].Iterations;
    if (job.Compute) NoteIterations(result.Iterations, N);
    result.Painted = job.Row != nullptr;
    return result;
}

}  // namespace nimbrel
