// Draws the default view (Mandelbrot, centre (-0.8, 0), width 3, MaxIter 256)
// at 1920x1080 in every draw mode and reports iterations per second and
// nanoseconds per pixel. Modes 5..8 compute the result cache afresh in every
// run (default shading options); RedrawFromCache shades from a valid cache.
// BoundaryPoints counts the points mode 2 computes against the pixels.
//   build/release/bench_draw --benchmark_min_time=2s
#include <benchmark/benchmark.h>

#include "engine/mandel_class.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

void Report(benchmark::State& state, uint64_t iterations) {
    const double pixels = double{kWidth} * kHeight * static_cast<double>(state.iterations());
    state.counters["iter/s"] = benchmark::Counter(static_cast<double>(iterations), benchmark::Counter::kIsRate);
    state.counters["ns/pixel"] =
        benchmark::Counter(pixels / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void DrawDefaultView(benchmark::State& state) {
    nimbrel::TMandel m;
    m.SetWidth(kWidth);
    m.SetHeight(kHeight);
    m.DrawMode = static_cast<uint8_t>(state.range(0));
    uint64_t iterations = 0;
    for (auto _ : state) {
        // What an interrupted computation leaves: the array stays, the view
        // no longer matches, so the potential modes compute again.
        m.CacheKey.Complete = false;
        m.Draw();
        iterations += m.Stats.Iterations;
        benchmark::DoNotOptimize(m.GetBitmap().Scanline(0));
    }
    Report(state, iterations);
}

void RedrawFromCache(benchmark::State& state) {
    nimbrel::TMandel m;
    m.SetWidth(kWidth);
    m.SetHeight(kHeight);
    m.DrawMode = static_cast<uint8_t>(state.range(0));
    m.PotentialVariant = static_cast<uint8_t>(state.range(1));
    m.Draw();
    for (auto _ : state) {
        m.Draw();
        if (m.Stats.KernelCalls != 0) state.SkipWithError("the cache did not match");
        benchmark::DoNotOptimize(m.GetBitmap().Scanline(0));
    }
    Report(state, 0);
}

// Arg 0: the default view; arg 1: a view mostly inside the set.
void BoundaryPoints(benchmark::State& state) {
    nimbrel::TMandel m;
    m.SetWidth(kWidth);
    m.SetHeight(kHeight);
    if (state.range(0) == 1) {
        m.SetCenter({-0.1, 0});
        m.SetViewWidth(0.5);
    }
    m.DrawMode = nimbrel::dmBoundary;
    uint64_t iterations = 0;
    for (auto _ : state) {
        m.Draw();
        iterations += m.Stats.Iterations;
    }
    Report(state, iterations);
    const double pixels = double{kWidth} * kHeight;
    state.counters["points"] = static_cast<double>(m.Stats.KernelCalls);
    state.counters["pixels"] = pixels;
    state.counters["points/pixel"] = static_cast<double>(m.Stats.KernelCalls) / pixels;
}

}  // namespace

BENCHMARK(DrawDefaultView)->ArgName("mode")->DenseRange(0, 8)->Unit(benchmark::kMillisecond);
BENCHMARK(RedrawFromCache)
    ->ArgNames({"mode", "tint"})
    ->ArgsProduct({{6, 7, 8}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BoundaryPoints)->ArgName("inside")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
