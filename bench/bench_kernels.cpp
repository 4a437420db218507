// The kernels at work in draw modes 0 to 8 at 1920x1080, on the default
// view (Mandelbrot, centre (-0.8, 0), width 3, MaxIter 256) and on a view
// mostly inside the set (centre (-0.1, 0), width 0.5, MaxIter 2000): the
// scalar kernel point by point, each instruction set on one thread, and the
// best one on both cores. Then the 16000x16000 picture (MaxIter 50, centre
// (-0.5, 0), width 2, mode 0; a bitmap of 1 GiB) on one thread and on both.
// And the budget of work between two yields, in ms, at each instruction set
// and power.
//
//   build/release/bench_kernels                      everything
//   build/release/bench_kernels --benchmark_filter=Inside
//   build/release/bench_kernels --benchmark_filter=YieldBudget
//
// Counters: iter/s (kernel iterations per second of wall time, all threads
// together), iter/cycle/core (iterations per core clock cycle spent: the
// process's CPU time, all threads, times the core clock), s/picture (wall
// time), x scalar (iter/s against the scalar kernel's on the same view and
// mode), tsc/s (the time-stamp counter's rate, for reference). The core clock
// is measured at the start with a chain of dependent integer multiplications,
// three cycles each on every x86-64 core of the last decade (a chain of
// additions of a constant is no measure: newer Intel cores fold some of them
// away at renaming); there are no cycle counters in this virtual machine
// (perf stat says "not supported"). CPU time keeps iter/cycle/core honest on a busy machine;
// wall-time figures need a quiet one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <ctime>
#include <tuple>
#include <vector>

#include "engine/mandel_class.h"
#include "engine/mandel_draw.h"
#include "engine/draw_potential.h"
#include "engine/yield_budget.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <x86intrin.h>
#endif

namespace {

using nimbrel::TMandel;
using nimbrel::TSimdLevel;

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

uint64_t Tsc() {
#if defined(__x86_64__) || defined(_M_X64)
    return __rdtsc();
#else
    return 0;
#endif
}

// Core clock cycles per second of CPU time, measured: 2^28 dependent 64-bit
// multiplications take 3 * 2^28 cycles; the best of five runs.
double CoreHz() {
    static const double hz = [] {
        double best = 0;
        for (int run = 0; run < 5; ++run) {
            uint64_t x = 3;
            const double t0 = CpuSeconds();
            for (int i = 0; i < (1 << 25); ++i) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
                asm volatile("imul %0, %0\n\timul %0, %0\n\timul %0, %0\n\timul %0, %0\n\t"
                             "imul %0, %0\n\timul %0, %0\n\timul %0, %0\n\timul %0, %0"
                             : "+r"(x));
#else
                benchmark::DoNotOptimize(x *= x * x * x * x * x * x * x * x);
#endif
            }
            const double s = CpuSeconds() - t0;
            if (s > 0) best = std::max(best, 3.0 * 8.0 * (1 << 25) / s);
        }
        std::fprintf(stderr, "core clock: %.3f GHz (dependent multiplications)\n", best / 1e9);
        return best;
    }();
    return hz;
}

enum TConfig { kScalar = 0, kSSE2 = 1, kAVX2 = 2, kAVX512 = 3, kBothCores = 4 };

const char* ConfigName(int config) {
    switch (config) {
        case kScalar: return "scalar kernel, 1 thread";
        case kSSE2: return "sse2, 1 thread";
        case kAVX2: return "avx2, 1 thread";
        case kAVX512: return "avx512, 1 thread";
        default: return "best level, both cores";
    }
}

// Iterations per second of the scalar kernel, by view and mode, for the ratio.
std::map<std::pair<int, int>, double>& ScalarRates() {
    static std::map<std::pair<int, int>, double> rates;
    return rates;
}

void SetView(TMandel& m, int view, int32_t width, int32_t height) {
    m.SetWidth(width);
    m.SetHeight(height);
    if (view == 1) {
        m.SetCenter({-0.1, 0});
        m.SetViewWidth(0.5);
        m.SetMaxIter(2000);
    } else if (view == 2) {
        m.SetCenter({-0.5, 0});
        m.SetViewWidth(2);
        m.SetMaxIter(50);
    }
    m.GetBitmap().SetSize(width, height);
    m.GetBitmap().FillRect(nimbrel::TRect{0, 0, width, height}, 0);  // every page touched before timing
}

void DrawOnce(TMandel& m, int config) {
    // Modes 5..8 compute the result cache afresh every time.
    m.CacheKey.Complete = false;
    if (config != kScalar) return m.Draw();
    // The scalar kernels point by point, as before the batch kernels, with
    // the procedures Draw binds by default.
    const nimbrel::TEngineKernel engine{&m};
    auto kernel = [engine](const nimbrel::TComplexPoint& p) { return engine(p); };
    const nimbrel::TEngineCacheKernel cacheEngine{&m};
    auto cache = [cacheEngine](const nimbrel::TComplexPoint& c, int32_t X, int32_t Y) { cacheEngine(c, X, Y); };
    m.Stats = {};
    switch (m.DrawMode) {
        case nimbrel::dmSearch: m.DrawSearch(kernel); return;
        case nimbrel::dmBoundary: m.DrawBoundary(kernel); return;
        case nimbrel::dmEmerge: m.DrawEmerge(kernel); return;
        case nimbrel::dmAntialias: m.DrawAntialias(kernel); return;
        case nimbrel::dmPotentialCache: m.DrawPotentialCache(cache); return;
        case nimbrel::dmPotentialGreen: m.PotentialProc = &TMandel::PotentialGreen; break;
        case nimbrel::dmPotentialSmooth: m.PotentialProc = &TMandel::PotentialSmooth; break;
        case nimbrel::dmPotentialCosine: m.PotentialProc = &TMandel::PotentialCosine; break;
        default: m.DrawNormal(kernel); return;
    }
    m.ShadeProc = nimbrel::ShadeFunctionFor(m.ShadingFunction);
    m.TransferProc = m.BrightnessFold == 1 ? &TMandel::BrightnessAbs : &TMandel::BrightnessShift;
    m.DrawPotentialPalette(cache);
}

void Run(benchmark::State& state, int view, int32_t width, int32_t height) {
    const int mode = static_cast<int>(state.range(0));
    const int config = static_cast<int>(state.range(1));
    TMandel m;
    SetView(m, view, width, height);
    m.DrawMode = static_cast<uint8_t>(mode);
    int32_t threads = 1;
    if (config == kBothCores) {
        m.SetSimdLevel(nimbrel::SupportedSimdLevel());
        threads = 2;
    } else if (config != kScalar) {
        if (config > static_cast<int>(nimbrel::SupportedSimdLevel())) {
            state.SkipWithError("not supported by this processor");
            return;
        }
        m.SetSimdLevel(static_cast<TSimdLevel>(config));
    }
    m.SetThreadCount(threads);
    const double coreHz = CoreHz();
    uint64_t iterations = 0, tsc = 0;
    double seconds = 0, cpu = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const uint64_t c0 = Tsc();
        DrawOnce(m, config);
        tsc += Tsc() - c0;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += CpuSeconds() - cpu0;
        iterations += m.Stats.Iterations;
        benchmark::DoNotOptimize(m.GetBitmap().Scanline(0));
    }
    const double n = static_cast<double>(state.iterations());
    const double rate = static_cast<double>(iterations) / seconds;
    state.counters["iter/s"] = rate;
    state.counters["iter/cycle/core"] = static_cast<double>(iterations) / (cpu * coreHz);
    state.counters["s/picture"] = seconds / n;
    state.counters["tsc/s"] = static_cast<double>(tsc) / seconds;
    auto& scalar = ScalarRates();
    if (config == kScalar) scalar[{view, mode}] = rate;
    if (scalar.count({view, mode}) != 0) state.counters["x scalar"] = rate / scalar[{view, mode}];
    state.SetLabel(ConfigName(config));
}

void DefaultView(benchmark::State& state) { Run(state, 0, 1920, 1080); }
void Inside(benchmark::State& state) { Run(state, 1, 1920, 1080); }
void PeerTask(benchmark::State& state) { Run(state, 2, 16000, 16000); }

void Configs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "config"});
    for (int mode : {0, 1, 2, 3, 4, 5, 6, 7, 8})
        for (int config : {kScalar, kSSE2, kAVX2, kAVX512, kBothCores}) b->Args({mode, config});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

// The budget of work between two yields (engine/yield_budget.h) at each
// instruction set and power: one batch of 240 points inside the set, each
// making kYieldBudget / (240 * StepCost(power)) steps, on one core. The CPU
// time of one batch is the time the program may take to answer a key.
void YieldBudget(benchmark::State& state) {
    const auto level = static_cast<TSimdLevel>(state.range(0));
    const auto power = static_cast<int32_t>(state.range(1));
    if (level > nimbrel::SupportedSimdLevel()) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    constexpr int32_t kPoints = 240;
    std::vector<double> re(kPoints), im(kPoints, 0.0);
    std::vector<int32_t> counts(kPoints);
    for (int32_t k = 0; k < kPoints; ++k) re[static_cast<std::size_t>(k)] = -0.1 + k * 1e-5;
    nimbrel::TBatchParams params;
    params.Power = power;
    params.MaxIter = static_cast<int32_t>(nimbrel::kYieldBudget / (kPoints * nimbrel::StepCost(power)));
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        nimbrel::IterateBatch(level, params, {re.data(), im.data(), false, re.size()}, {counts.data(), nullptr, nullptr});
        cpu += CpuSeconds() - cpu0;
        benchmark::DoNotOptimize(counts.data());
    }
    state.counters["ms/budget"] = cpu * 1000 / static_cast<double>(state.iterations());
    state.counters["steps"] = params.MaxIter;
    state.SetLabel(nimbrel::SimdLevelName(level));
}

}  // namespace

BENCHMARK(YieldBudget)
    ->ArgNames({"level", "power"})
    ->ArgsProduct({{0, 1, 2, 3}, {2, 3, 5, 1000, 2147483647}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK(DefaultView)->Apply(Configs)->MinTime(1.0);
BENCHMARK(Inside)->Apply(Configs)->Iterations(1);
BENCHMARK(PeerTask)
    ->ArgNames({"mode", "config"})
    ->Args({0, kAVX512})
    ->Args({0, kBothCores})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
