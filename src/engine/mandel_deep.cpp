// The deep path of TMandel: the reference orbit with its yields, and the
// kernels that iterate each pixel as a difference from it.
#include <atomic>
#include <chrono>
#include <limits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/deep_reference.h"
#include "engine/batch_rows.h"
#include "engine/deep_run.h"
#include "engine/mandel_batch.h"
#include "engine/mandel_class.h"
#include "engine/mandel_draw.h"
#include "platform/exceptions.h"

namespace nimbrel {

namespace {

double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

}  // namespace

int32_t TMandel::DeepBits() const {
    // The centre exact to far below the pixel step: the step's binary
    // exponent, the size of the largest coordinate, and 64 bits to spare
    // for what the orbit's rounding grows to.
    const TDeepView exact = ExactParts(view_);
    const int64_t stepExp = exact.Width.IsZero() ? 0 : exact.Width.Exp - static_cast<int64_t>(std::ilogb(height_));
    int64_t top = 1;
    for (const TBigReal* v : {&exact.CenterRe, &exact.CenterIm, &exact.JuliaRe, &exact.JuliaIm})
        if (!v->IsZero()) top = std::max<int64_t>(top, v->Exponent() + 1);
    const int64_t bits = top - std::min<int64_t>(stepExp, 0) + 64;
    const int64_t rounded = (bits + 63) / 64 * 64;
    return static_cast<int32_t>(std::clamp<int64_t>(rounded, TBigReal::kMinBits, int64_t{1} << 30));
}

void TMandel::PrepareDeepReference(double Bailout) {
    TDeepReferenceKey key;
    key.Kind = view_.Kind;
    key.Power = view_.Power;
    key.MaxIter = maxIter_;
    key.Bailout = Bailout;
    const TDeepView exact = ExactParts(view_);
    key.CenterRe = exact.CenterRe;
    key.CenterIm = exact.CenterIm;
    if (view_.Kind == fkJulia) {
        key.JuliaRe = exact.JuliaRe;
        key.JuliaIm = exact.JuliaIm;
    }
    key.Bits = DeepBits();
    if (key.Power < 2) throw ERangeError();
    const std::string refusal = TDeepReference::Check(key);
    if (!refusal.empty()) throw Exception(refusal);
    if (!deepRef_) deepRef_ = std::make_unique<TDeepReference>();
    Stats.DeepBits = key.Bits;
    if (deepRef_->Serves(key)) return;
    const auto start = std::chrono::steady_clock::now();
    // A cancelled or failed orbit is no orbit: nothing of it is kept.
    struct TDiscard {
        TDeepReference& Ref;
        ~TDiscard() {
            if (!Ref.Complete()) Ref.Clear();
        }
    } discard{*deepRef_};
    deepRef_->Start(key);
    const uint64_t cost = TDeepReference::StepCost(key.Bits, key.Power);
    while (!deepRef_->Complete()) {
        uint64_t steps = work_.Room() / cost;
        if (steps == 0) {
            YieldRow();
            steps = std::max<uint64_t>(1, work_.Room() / cost);
        }
        const int64_t before = deepRef_->Iterations();
        deepRef_->Advance(static_cast<int64_t>(steps));
        work_.Add(static_cast<uint64_t>(deepRef_->Iterations() - before) * cost);
    }
    Stats.ReferenceIterations = static_cast<uint64_t>(deepRef_->Iterations());
    Stats.ReferenceSeconds = SecondsSince(start);
}

void TMandel::PrepareDeepBla(double Bailout) {
    TDeepRun& run = *deepRun_;
    run.Skip = TBlaSkip{};
    // NIMBREL_BLA=off draws without the approximation, for comparisons.
    const char* env = std::getenv("NIMBREL_BLA");
    if (view_.Power != 2 || (env != nullptr && std::strcmp(env, "off") == 0)) return;
    const TDeepReference& ref = *deepRef_;
    if (run.BlaGeneration != ref.Generation()) {
        run.BlaStart.Clear();
        run.BlaCritical.Clear();
        run.BlaStartExp.Clear();
        run.BlaCriticalExp.Clear();
        run.BlaGeneration = ref.Generation();
    }
    const bool julia = view_.Kind == fkJulia;
    const TDeepView exact = ExactParts(view_);
    // The largest |dc|: the picture's half diagonal and a pixel to spare.
    const TFloatExp dcMax =
        julia ? TFloatExp()
              : TFloatExp(exact.Width.Mantissa / height_ * std::hypot(width_ / 2.0 + 1, height_ / 2.0 + 1),
                          exact.Width.Exp);
    const bool scaled = exact.Width.Exp < -900;
    const uint64_t size = ref.StartRe().size();
    const uint64_t bytes = (julia ? 2 : 1) * (TBlaTable<double>::BytesFor(size) +
                                              (scaled ? TBlaTable<TFloatExp>::BytesFor(size) : 0));
    if (bytes > kMaxBlaBytes) return;  // drawn without: slower, never wrong
    const TBlaParams params{julia, Bailout, kBlaEpsilon};
    const auto start = std::chrono::steady_clock::now();
    auto build = [&](auto& table, const std::vector<double>& re, const std::vector<double>& im, const auto& dc) {
        if (table.Fits(params, dc)) return;
        table.Start(re.data(), im.data(), re.size(), params, dc);
        while (!table.Build(work_)) YieldRow();
    };
    build(run.BlaStart, ref.StartRe(), ref.StartIm(), dcMax.ToDouble());
    if (julia) build(run.BlaCritical, ref.CriticalRe(), ref.CriticalIm(), 0.0);
    if (scaled) {
        build(run.BlaStartExp, ref.StartRe(), ref.StartIm(), dcMax);
        if (julia) build(run.BlaCriticalExp, ref.CriticalRe(), ref.CriticalIm(), TFloatExp());
    }
    run.Skip.Plain[0] = &run.BlaStart;
    run.Skip.Plain[1] = julia ? &run.BlaCritical : &run.BlaStart;
    if (scaled) {
        run.Skip.Scaled[0] = &run.BlaStartExp;
        run.Skip.Scaled[1] = julia ? &run.BlaCriticalExp : &run.BlaStartExp;
    }
    Stats.TableSeconds = SecondsSince(start);
}

void TMandel::DrawDeep() {
    const double bailout = IsIntegerDrawMode(DrawMode) ? kIntegerBailout : escapeRadiusSqr_;
    // The reference first, with Busy set so that a handler can cancel it.
    TDrawStats deepStats;
    {
        Stats = TDrawStats{};
        work_.Reset();
        SetBusy(true);
        TBusyGuard busy(*this);
        PrepareDeepReference(bailout);
        if (!deepRun_) deepRun_ = std::make_unique<TDeepRun>();
        PrepareDeepBla(bailout);
        deepStats = Stats;
    }
    const TDeepReference& ref = *deepRef_;
    TDeepRun& run = *deepRun_;
    TDeepPixelParams& p = run.Params;
    p.Julia = view_.Kind == fkJulia;
    p.Power = view_.Power;
    p.MaxIter = maxIter_;
    p.Bailout = bailout;
    p.Start = {ref.StartRe().data(), ref.StartIm().data(), static_cast<int32_t>(ref.StartRe().size()) - 1,
               ref.StartTiny().data(), static_cast<int32_t>(ref.StartTiny().size())};
    p.Critical = {ref.CriticalRe().data(), ref.CriticalIm().data(), static_cast<int32_t>(ref.CriticalRe().size()) - 1,
                  ref.CriticalTiny().data(), static_cast<int32_t>(ref.CriticalTiny().size())};
    run.Binomial.assign(static_cast<size_t>(p.Power) + 1, 1.0);
    for (int32_t k = 1; k < p.Power; ++k)
        run.Binomial[static_cast<size_t>(k)] = run.Binomial[static_cast<size_t>(k - 1)] * (p.Power - k + 1) / k;
    p.Binomial = run.Binomial.data();
    const TDeepView exact = ExactParts(view_);
    run.StepMantissa = exact.Width.Mantissa / height_;
    run.StepExp = exact.Width.Exp;
    deepStep_ = TFloatExp(run.StepMantissa, run.StepExp);
    // A plain step costs about as much as a double kernel's; the extended
    // range and the higher powers more.
    run.StepCost = p.Power == 2 ? 2 : 3 * ::nimbrel::StepCost(p.Power);

    const auto start = std::chrono::steady_clock::now();
    deepActive_ = true;
    struct TInactive {
        bool& Active;
        ~TInactive() { Active = false; }
    } inactive{deepActive_};
    DrawWith(TDeepKernel{this}, TDeepCacheKernel{this});
    const uint64_t skipped = Stats.SkippedIterations;
    deepStats.MostWorkBetweenYields = std::max(deepStats.MostWorkBetweenYields, Stats.MostWorkBetweenYields);
    deepStats.KernelCalls = Stats.KernelCalls;
    deepStats.Iterations = Stats.Iterations;
    Stats = deepStats;
    Stats.Deep = true;
    Stats.SkippedIterations = skipped;
    Stats.PixelSeconds = SecondsSince(start);
}

namespace {

// Iterates one pixel to its end, yielding whenever the budget is spent.
template <class Yield>
TDeepPixelState IterateDeep(const TMandel::TDeepRun& Run, const TScaledComplex& Offset, TWorkMeter& Work,
                            Yield&& yield, const TBlaSkip& Skip) {
    const TDeepPixelParams& p = Run.Params;
    TDeepPixelState s = StartDeepPixel(p, Offset);
    const TScaledComplex dc = p.Julia ? TScaledComplex{} : Offset;
    while (!s.Done) {
        uint64_t steps = Work.Room() / Run.StepCost;
        if (steps == 0) {
            yield();
            steps = std::max<uint64_t>(1, Work.Room() / Run.StepCost);
        }
        const int32_t before = s.N;
        AdvanceDeepPixel(p, dc, s, static_cast<int64_t>(steps), Skip);
        Work.Add(static_cast<uint64_t>(s.N - before) * Run.StepCost);
    }
    return s;
}

}  // namespace

int32_t TMandel::DeepCount(const TComplexPoint& Pixel) {
    TDeepRun& run = *deepRun_;
    const TDeepPixelState s = IterateDeep(run, run.Offset(Pixel, width_, height_), work_, [this] { YieldRow(); },
                                          run.Skip);
    Tally(s.Count);
    Stats.SkippedIterations += s.Skipped;
    return s.Count;
}

void TMandel::DeepToCache(const TComplexPoint& Pixel, int32_t X, int32_t Y) {
    TDeepRun& run = *deepRun_;
    TResultCell& cell = Cell(X, Y);
    const TDeepPixelState s = IterateDeep(run, run.Offset(Pixel, width_, height_), work_, [this] { YieldRow(); },
                                          run.Skip);
    cell.Count = s.Count;
    cell.Z = TComplexPoint{s.Zr, s.Zi};
    Tally(s.Count);
    Stats.SkippedIterations += s.Skipped;
}

void TMandel::DeepRow(int32_t y, int32_t First, int32_t Stride, int32_t N, int32_t* Counts) {
    TDeepRun& run = *deepRun_;
    TBatchRows& rows = Batch().Rows();
    const uint64_t worst = static_cast<uint64_t>(std::max(maxIter_, 1)) * run.StepCost;
    const TScaledComplex dc = run.Params.Julia ? TScaledComplex{} : TScaledComplex{};
    for (int32_t from = 0; from < N;) {
        uint64_t fit = work_.Room() / worst;
        if (fit == 0) {
            YieldRow();
            fit = work_.Room() / worst;
        }
        if (fit == 0) {
            // Its worst case alone passes the budget: on this thread, in slices.
            Counts[from] = DeepCount(TComplexPoint{static_cast<double>(First + from * Stride), static_cast<double>(y)});
            ++from;
            continue;
        }
        const int32_t piece = static_cast<int32_t>(std::min<uint64_t>(fit, static_cast<uint64_t>(N - from)));
        std::atomic<uint64_t> made{0}, skipped{0};
        rows.Share(
            piece,
            [&](int32_t a, int32_t b, int32_t) {
                const TBlaSkip skip = run.Skip;
                uint64_t it = 0, sk = 0;
                for (int32_t k = a; k < b; ++k) {
                    const TComplexPoint px{static_cast<double>(First + (from + k) * Stride), static_cast<double>(y)};
                    const TScaledComplex offset = run.Offset(px, width_, height_);
                    TDeepPixelState s = StartDeepPixel(run.Params, offset);
                    AdvanceDeepPixel(run.Params, run.Params.Julia ? dc : offset, s,
                                     std::numeric_limits<int64_t>::max(), skip);
                    Counts[from + k] = s.Count;
                    it += static_cast<uint64_t>(s.N);
                    sk += s.Skipped;
                }
                made += it;
                skipped += sk;
            },
            240);
        work_.Add(made.load() * run.StepCost);
        Stats.SkippedIterations += skipped.load();
        for (int32_t k = from; k < from + piece; ++k) Tally(Counts[k]);
        from += piece;
    }
}

}  // namespace nimbrel
