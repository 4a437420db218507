#include "engine/batch_rows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/application.h"
#include "platform/worker_pool.h"
#include "platform/yield_hook.h"

namespace nimbrel {

namespace {

// Participants take chunks of a row one after another, so that a part of the
// row that iterates long does not hold up the others; a chunk is still long
// enough for the vector slots of a batch kernel to stay full. Chunks are
// whole multiples of kChunkQuantum points, which the kernels' waves of
// groups divide (ten or six slots of eight lanes, five of four, ...): a
// chunk whose points all stay to the limit then ends with every slot full.
constexpr int32_t kChunkQuantum = 240;
// Below this many points the row is computed on the calling thread alone.
constexpr int32_t kMinPointsForPool = 256;
// A wait for the workers beyond twice the caller's own time counts as
// stalled; once stalled waits exceed a quarter of the shared rows' time (and
// a few milliseconds, so that one hiccup of the system does not count) the
// draw goes on without the pool.
constexpr int64_t kMinStalledNs = 2'000'000;
// A computation in rounds goes in parts of so many points that a round of
// the whole budget makes at least this many steps: few steps per round would
// cost more in the gathering of the points than in their iteration.
constexpr int32_t kMinSlice = 16;
// A computation whose points each fit this many times into the budget goes
// in pieces, each point in one go (no round, no z to keep): a piece of at
// least two chunks, shared like a row.
constexpr int32_t kMinPiece = 2 * kChunkQuantum;

using TClock = std::chrono::steady_clock;

}  // namespace

struct TBatchRows::TRowJob {
    TBatchRows* Rows = nullptr;
    const TBatchParams* Params = nullptr;  // the rows' own unless given
    double Dx = 0, ReOrigin = 0, Im = 0;
    int32_t First = 0, Stride = 1, N = 0;
    int32_t Parts = 1;  // participants sharing the row
    uint32_t* Row = nullptr;       // nullptr: counts only
    const double* Re = nullptr;    // the points' real parts, or nullptr: First + k * Stride
    const double* ImEach = nullptr;  // the points' imaginary parts, or nullptr: all Im
    const double* LeftRe = nullptr;  // the real part of point 0, when given
    bool Compute = true;            // false: Then does all the work
    bool Alone = false;             // in one go on the calling thread
    bool Note = true;               // the iterations become the kernels' hint
    int32_t Quantum = kChunkQuantum;  // chunks are multiples of so many points
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
    const TBatchParams& params = *job.Params;
    const int32_t maxIter = params.MaxIter;
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
        // at least a quantum), so that the participants finish close together.
        int32_t a = job.Next.load(std::memory_order_relaxed);
        int32_t b = 0;
        do {
            if (a >= n) break;
            const int32_t share = (n - a) / (2 * parts);
            const int32_t quantum = job.Quantum;
            const int32_t size = std::max(quantum, share - share % quantum) + (a == 0 ? lead : 0);
            b = parts == 1 ? n : std::min(n, a + size);
        } while (!job.Next.compare_exchange_weak(a, b, std::memory_order_relaxed));
        if (a >= n) break;
        if (job.Compute && painting) {
            // Point k of the chunk is point a + k of the row: the same plane
            // point, the same pixel.
            TScratch& own = rows.scratch_[static_cast<std::size_t>(Participant)];
            const int32_t m = b - a, from = first + a * stride;
            RowPlanePoints(level, own.Re.data(), 0, m, from, stride, job.Dx, job.ReOrigin);
            IterateBatch(level, params, TBatchPoints{own.Re.data(), &job.Im, true, static_cast<std::size_t>(m)},
                         TBatchResults{own.Counts.data(), nullptr, nullptr});
            iterations += RowPaint(level, own.Counts.data(), 0, m, maxIter, pixels, job.Row, from, stride);
        } else if (job.Compute) {
            if (given == nullptr) {
                RowPlanePoints(level, re, a, b, first, stride, job.Dx, job.ReOrigin);
                if (a == 0 && job.LeftRe != nullptr) re[0] = *job.LeftRe;
            }
            const double* const points = given != nullptr ? given : re;
            const double* const im = job.ImEach != nullptr ? job.ImEach + a : &job.Im;
            IterateBatch(level, params,
                         TBatchPoints{points + a, im, job.ImEach == nullptr, static_cast<std::size_t>(b - a)},
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

TBatchRows::TResult TBatchRows::ComputeEach(const TBatchParams& Params, const double* Re, const double* Im,
                                            int32_t N) {
    if (N <= 0) return {};
    Grow(N);
    TRowJob job;
    job.Params = &Params;
    job.Re = Re;
    job.ImEach = Im;
    job.N = N;
    job.Alone = true;
    job.Note = false;
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

void TBatchRows::Share(int32_t N, TChunkWork Work, void* Context, int32_t PointsPerItem) {
    if (N <= 0) return;
    TRowJob job;
    job.N = N;
    job.Quantum = std::max(1, kChunkQuantum / std::max(1, PointsPerItem));
    job.Compute = false;
    job.Then = Work;
    job.Context = Context;
    Run(job);
}

TBatchRows::TResult TBatchRows::Run(TRowJob& job) {
    if (job.Params == nullptr) job.Params = &params_;
    TResult result;
    if (!job.Compute) {
        result.Iterations = RunShared(job, 0, job.N);
        return result;
    }
    const int32_t n = job.N;
    int32_t piece = PieceFor(n, 1, *job.Params);
    if (piece == 0) return RunSliced(job);
    for (int32_t from = 0;;) {
        const uint64_t made = RunShared(job, from, from + piece);
        AddWork(made);
        result.Iterations += made;
        from += piece;
        if (from >= n) break;
        piece = PieceFor(n - from, 1, *job.Params);
    }
    job.N = n;
    if (job.Note) NoteIterations(result.Iterations, n);
    result.Painted = job.Row != nullptr;
    return result;
}

uint64_t TBatchRows::RunShared(TRowJob& job, int32_t From, int32_t To) {
    const int32_t n = To - From;
    const bool stalling = stalledNs_ > kMinStalledNs && stalledNs_ * 4 > sharedNs_;
    const bool shared = pool_ && participants_ > 1 && n >= kMinPointsForPool && !stalling && !job.Alone;
    const int32_t parts = shared ? participants_ : 1;
    job.Rows = this;
    job.Parts = parts;
    job.N = To;
    job.Next.store(From, std::memory_order_relaxed);
    for (int32_t i = 0; i < parts; ++i) job.Sums[i].Iterations = 0;
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
    uint64_t iterations = 0;
    for (int32_t i = 0; i < parts; ++i) iterations += job.Sums[i].Iterations;
    return iterations;
}

namespace {

// Whether Points points of Steps steps at Cost each make at most Room.
bool WithinWork(int64_t Points, int32_t Steps, uint64_t Cost, uint64_t Room) {
    if (Points <= 0 || Steps <= 0) return true;
    const uint64_t perPoint = static_cast<uint64_t>(Steps) * Cost;
    return static_cast<uint64_t>(Points) <= Room / perPoint;
}

}  // namespace

int32_t TBatchRows::NextPiece(int32_t Items, int64_t PointsPerItem) { return PieceFor(Items, PointsPerItem, params_); }

int32_t TBatchRows::PieceFor(int32_t Items, int64_t PointsPerItem, const TBatchParams& Params) {
    if (meter_ == nullptr || Items <= 0) return Items;
    const uint64_t cost = StepCost(Params.Power);
    const uint64_t budget = meter_->Budget();
    const int64_t points = Items * PointsPerItem;
    if (WithinWork(points, Params.MaxIter, cost, meter_->Room())) return Items;
    if (WithinWork(points, Params.MaxIter, cost, budget)) {
        YieldNow();
        return Items;
    }
    if (!WithinWork(kMinPiece * PointsPerItem, Params.MaxIter, cost, budget)) return 0;
    const uint64_t perItem = static_cast<uint64_t>(PointsPerItem) * static_cast<uint64_t>(Params.MaxIter) * cost;
    uint64_t fit = meter_->Room() / perItem;
    if (fit < kMinPiece) {
        YieldNow();
        fit = budget / perItem;
    }
    // Whole waves of the kernels' slots, as the chunks of a row.
    return static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(Items), fit - fit % kChunkQuantum));
}

void TBatchRows::AddWork(uint64_t Iterations) {
    if (meter_ != nullptr) meter_->Add(Iterations * StepCost(params_.Power));
}

void TBatchRows::YieldNow() {
    if (yield_ != nullptr) yield_->OnYield();
    else if (meter_ != nullptr) meter_->Yielded();
}

void TBatchRows::Grow(int32_t N) {
    const auto size = static_cast<std::size_t>(std::max(N, 1));
    if (counts_.size() < size) {
        re_.resize(size);
        counts_.resize(size);
    }
    if (keepZ_ && zre_.size() < size) {
        zre_.resize(size);
        zim_.resize(size);
    }
}

int32_t TBatchRows::SliceSteps(int64_t Active, int32_t Left, uint64_t Cost) {
    const uint64_t perStep = static_cast<uint64_t>(Active) * Cost;
    uint64_t steps = meter_->Room() / perStep;
    if (steps < static_cast<uint64_t>(std::min(kMinSlice, Left))) {
        YieldNow();
        steps = meter_->Budget() / perStep;
    }
    return static_cast<int32_t>(std::min<uint64_t>(std::max<uint64_t>(steps, 1), static_cast<uint64_t>(Left)));
}

// One round: the points [First, First + N) themselves when no step was made
// yet (In place), otherwise the N points Active[0..N); each makes at most
// Steps more steps after the Done ones.
struct TBatchRows::TRound {
    TBatchParams Params;  // MaxIter: the steps of this round
    const double* Re;
    const double* Im;  // per point, or the shared one
    bool ImShared;
    bool InPlace;
    int32_t First, N, Done;
};

uint64_t TBatchRows::RunRound(TRound& r) {
    for (TScratch& s : scratch_) s.Work = 0;
    Share(r.N, [this, &r](int32_t a, int32_t b, int32_t participant) {
        TScratch& own = scratch_[static_cast<std::size_t>(participant)];
        const int32_t steps = r.Params.MaxIter;
        if (r.InPlace) {
            const int32_t from = r.First + a, to = r.First + b;
            IterateBatch(level_, r.Params,
                         TBatchPoints{r.Re + from, r.ImShared ? r.Im : r.Im + from, r.ImShared,
                                      static_cast<std::size_t>(to - from)},
                         TBatchResults{counts_.data() + from, zre_.data() + from, zim_.data() + from});
            own.Work += RowIterations(level_, counts_.data(), from, to, steps);
            return;
        }
        // The points that have not escaped, gathered with the z they reached:
        // a Mandelbrot point resumes from its z, a Julia point is its z.
        const int32_t m = b - a;
        const int32_t* const index = active_.data() + a;
        for (int32_t k = 0; k < m; ++k) {
            const auto i = static_cast<std::size_t>(index[k]);
            if (r.Params.Julia) {
                own.Re[k] = zre_[i];
                own.Im[k] = zim_[i];
            } else {
                own.Re[k] = r.Re[i];
                own.Im[k] = r.ImShared ? r.Im[0] : r.Im[i];
                own.StartRe[k] = zre_[i];
                own.StartIm[k] = zim_[i];
            }
        }
        const bool julia = r.Params.Julia;
        IterateBatch(level_, r.Params,
                     TBatchPoints{own.Re.data(), own.Im.data(), false, static_cast<std::size_t>(m),
                                  julia ? nullptr : own.StartRe.data(), julia ? nullptr : own.StartIm.data()},
                     TBatchResults{own.Counts.data(), own.EndRe.data(), own.EndIm.data()});
        for (int32_t k = 0; k < m; ++k) {
            const auto i = static_cast<std::size_t>(index[k]);
            const int32_t c = own.Counts[k];
            counts_[i] = c != 0 ? r.Done + c : 0;
            zre_[i] = own.EndRe[k];
            zim_[i] = own.EndIm[k];
            own.Work += static_cast<uint64_t>(c != 0 ? c : steps);
        }
    });
    uint64_t work = 0;
    for (const TScratch& s : scratch_) work += s.Work;
    return work;
}

TBatchRows::TResult TBatchRows::RunSliced(TRowJob& job) {
    const TBatchParams& params = *job.Params;
    const int32_t n = job.N;
    const int32_t maxIter = params.MaxIter;  // > 0, or the points would fit
    const uint64_t cost = StepCost(params.Power);
    const auto size = static_cast<std::size_t>(n);
    if (zre_.size() < size) {
        zre_.resize(size);
        zim_.resize(size);
    }
    if (active_.size() < size) active_.resize(size);
    // Every point's plane point at once: the later rounds take them again.
    const double* re = job.Re;
    if (re == nullptr) {
        RowPlanePoints(level_, re_.data(), 0, n, job.First, job.Stride, job.Dx, job.ReOrigin);
        if (job.LeftRe != nullptr) re_[0] = *job.LeftRe;
        re = re_.data();
    }
    const int32_t part = static_cast<int32_t>(
        std::clamp<uint64_t>(meter_->Budget() / (cost * kMinSlice), 1, static_cast<uint64_t>(n)));
    for (TScratch& s : scratch_) {
        const auto room = static_cast<std::size_t>(part);
        if (s.Im.size() >= room && s.Re.size() >= room) continue;
        for (auto* v : {&s.Re, &s.Im, &s.StartRe, &s.StartIm, &s.EndRe, &s.EndIm}) v->resize(std::max(v->size(), room));
        s.Counts.resize(std::max(s.Counts.size(), room));
    }
    TRound round;
    round.Params = params;
    round.Re = re;
    round.Im = job.ImEach != nullptr ? job.ImEach : &job.Im;
    round.ImShared = job.ImEach == nullptr;
    for (int32_t first = 0; first < n; first += part) {
        const int32_t last = std::min(n, first + part);
        round.First = first;
        round.InPlace = true;
        round.N = last - first;
        round.Done = 0;
        // The share of its steps that a round's points make before they
        // escape is the kernels' hint for the next round (only the speed
        // depends on it); the first round takes it from the first round of
        // the computation before.
        double share = firstShare_;
        while (round.N > 0) {
            const int32_t steps = SliceSteps(round.N, maxIter - round.Done, cost);
            round.Params.MaxIter = steps;
            round.Params.TypicalSteps = std::max(1, static_cast<int32_t>(share * steps));
            const uint64_t work = RunRound(round);
            meter_->Add(work * cost);
            share = static_cast<double>(work) / (static_cast<double>(round.N) * steps);
            if (round.InPlace) firstShare_ = share;
            round.Done += steps;
            if (round.Done == maxIter) break;
            // Those that have not escaped go on.
            int32_t going = 0;
            if (round.InPlace) {
                for (int32_t i = first; i < last; ++i)
                    if (counts_[static_cast<std::size_t>(i)] == 0) active_[static_cast<std::size_t>(going++)] = i;
            } else {
                for (int32_t k = 0; k < round.N; ++k) {
                    const int32_t i = active_[static_cast<std::size_t>(k)];
                    if (counts_[static_cast<std::size_t>(i)] == 0) active_[static_cast<std::size_t>(going++)] = i;
                }
            }
            round.InPlace = false;
            round.N = going;
        }
    }
    TResult result;
    result.Iterations = job.Row != nullptr ? RowPaint(level_, counts_.data(), 0, n, maxIter, pixelOfCount_.data(),
                                                      job.Row, job.First, job.Stride)
                                           : RowIterations(level_, counts_.data(), 0, n, maxIter);
    if (job.Note) NoteIterations(result.Iterations, n);
    if (job.Then != nullptr) Share(n, job.Then, job.Context);
    result.Painted = job.Row != nullptr;
    return result;
}

}  // namespace nimbrel
