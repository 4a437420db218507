// The bilinear approximation table: its build over reference orbits of 10^4
// to 10^6 iterations, and its lookup.
//
//   build/release/bench_deep_bla
//   build/release/bench_deep_bla --benchmark_filter=Build
//
// The orbit is the double orbit of a point inside the set in seahorse valley
// (it never escapes, as a deep view's reference inside a minibrot does not);
// the table is built for a picture 1e-100 wide (largest |dc| 7e-101).
// Counters: ns/entry (build), entries, bytes/iter (the table's memory per
// reference iteration), steps/entry (the cost in power-2 steps of the yield
// budget that the build charges per entry, TBlaTable::kEntryCost, against
// the 3.2 ns a step costs in bench/README.md), ns/find.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/deep_bla.h"

namespace nimbrel {
namespace {

struct TOrbit {
    std::vector<double> Re, Im;
    size_t size() const { return Re.size(); }
};

TOrbit InsideOrbit(size_t size) {
    TOrbit z{std::vector<double>(size), std::vector<double>(size)};
    const double cr = -0.7436438870371587, ci = 0.1318259042053119 - 0.0000005;
    for (size_t i = 1; i < size; ++i) {
        const double x = z.Re[i - 1], y = z.Im[i - 1];
        z.Re[i] = (x * x - y * y) + cr;
        z.Im[i] = (2 * x) * y + ci;
    }
    return z;
}

template <class T>
void BM_BlaBuild(benchmark::State& state) {
    const TOrbit orbit = InsideOrbit(static_cast<size_t>(state.range(0)) + 1);
    TBlaTable<T> table;
    for (auto _ : state) {
        table.BuildAll(orbit.Re.data(), orbit.Im.data(), orbit.size(), {}, TBlaScalar<T>::FromDouble(7e-101));
        benchmark::DoNotOptimize(table.Entries());
    }
    const double entries = static_cast<double>(table.Entries());
    state.counters["entries"] = entries;
    state.counters["ns/entry"] = benchmark::Counter(entries * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                                         benchmark::Counter::kInvert);
    state.counters["bytes/iter"] = static_cast<double>(TBlaTable<T>::BytesFor(orbit.size())) / state.range(0);
    state.counters["steps/entry"] = static_cast<double>(TBlaTable<T>::kEntryCost);
}
BENCHMARK_TEMPLATE(BM_BlaBuild, double)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_BlaBuild, TFloatExp)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Lookups at random iterations with differences spread over the radii of the
// table: about half find a merged step.
template <class T>
void BM_BlaFind(benchmark::State& state) {
    const TOrbit orbit = InsideOrbit(1000001);
    TBlaTable<T> table;
    table.BuildAll(orbit.Re.data(), orbit.Im.data(), orbit.size(), {}, TBlaScalar<T>::FromDouble(7e-101));
    std::mt19937_64 random(1);
    std::vector<std::pair<uint64_t, T>> queries(4096);
    for (auto& q : queries) {
        const uint64_t m = random() % (orbit.size() - 1);
        q = {m, TBlaScalar<T>::FromDouble(std::ldexp(1.0, -100 - static_cast<int>(random() % 300)))};
    }
    uint64_t found = 0, skipped = 0;
    for (auto _ : state)
        for (const auto& q : queries) {
            uint64_t length = 0;
            if (table.Find(q.first, q.second, UINT64_MAX, length) != nullptr) {
                ++found;
                skipped += length;
            }
        }
    const double finds = static_cast<double>(state.iterations()) * queries.size();
    state.counters["ns/find"] = benchmark::Counter(finds * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["found"] = found / finds;
    state.counters["mean length"] = found ? static_cast<double>(skipped) / found : 0;
}
BENCHMARK_TEMPLATE(BM_BlaFind, double);
BENCHMARK_TEMPLATE(BM_BlaFind, TFloatExp);

}  // namespace
}  // namespace nimbrel

BENCHMARK_MAIN();
