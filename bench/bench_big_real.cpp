// TBigReal, the number type of deep views' reference orbits: one addition,
// multiplication and squaring at the precisions of views from 1e-20 to
// beyond 1e-1000, in place as the reference orbit calls them.
//
//   build/release/bench_big_real
#include <benchmark/benchmark.h>

#include "values/big_real.h"

namespace {

using nimbrel::TBigReal;

TBigReal Operand(int32_t Bits, const char* Text) {
    TBigReal x;
    TBigReal::Parse(Text, Bits, x);
    return x;
}

const char* const kA = "-0.7436438870371587047521915061147741234567890123456789012345678901234567890123456789";
const char* const kB = "0.1318259042053119704931320563851391234567890123456789012345678901234567890123456789";

void BM_Mul(benchmark::State& state) {
    const auto bits = static_cast<int32_t>(state.range(0));
    const TBigReal a = Operand(bits, kA), b = Operand(bits, kB);
    TBigReal out(0, bits);
    for (auto _ : state) {
        TBigReal::Mul(a, b, out);
        benchmark::DoNotOptimize(out);
    }
}
void BM_Square(benchmark::State& state) {
    const auto bits = static_cast<int32_t>(state.range(0));
    const TBigReal a = Operand(bits, kA);
    TBigReal out(0, bits);
    for (auto _ : state) {
        TBigReal::Square(a, out);
        benchmark::DoNotOptimize(out);
    }
}
void BM_Add(benchmark::State& state) {
    const auto bits = static_cast<int32_t>(state.range(0));
    const TBigReal a = Operand(bits, kA), b = Operand(bits, kB);
    TBigReal out(0, bits);
    for (auto _ : state) {
        TBigReal::Add(a, b, out);
        benchmark::DoNotOptimize(out);
    }
}

BENCHMARK(BM_Mul)->Arg(128)->Arg(256)->Arg(1088)->Arg(3456)->Arg(6784);
BENCHMARK(BM_Square)->Arg(128)->Arg(256)->Arg(1088)->Arg(3456)->Arg(6784);
BENCHMARK(BM_Add)->Arg(128)->Arg(256)->Arg(1088)->Arg(3456)->Arg(6784);

}  // namespace

BENCHMARK_MAIN();
