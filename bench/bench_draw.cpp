// Draws the default view (Mandelbrot, centre (-0.8, 0), width 3, MaxIter 256)
// at 1920x1080 and reports iterations per second and nanoseconds per pixel.
//   build/release/bench_draw --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include "engine/mandel_class.h"

namespace {

void DrawDefaultView(benchmark::State& state) {
    nimbrel::TMandel m;
    m.SetWidth(1920);
    m.SetHeight(1080);
    m.DrawMode = static_cast<uint8_t>(state.range(0));
    uint64_t iterations = 0;
    for (auto _ : state) {
        m.Draw();
        iterations += m.Stats.Iterations;
        benchmark::DoNotOptimize(m.GetBitmap().Scanline(0));
    }
    const double pixels = 1920.0 * 1080.0 * static_cast<double>(state.iterations());
    state.counters["iter/s"] = benchmark::Counter(static_cast<double>(iterations), benchmark::Counter::kIsRate);
    state.counters["ns/pixel"] =
        benchmark::Counter(pixels / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(DrawDefaultView)->ArgName("mode")->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
