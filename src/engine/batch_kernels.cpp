// The scalar batch kernel, the processor check and the dispatch. Compiled for
// the baseline instruction set: it runs before anyone knows what the
// processor has.
#include "engine/batch_kernels.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "engine/kernels.h"

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <immintrin.h>
#include <intrin.h>
#endif

namespace nimbrel {

namespace {

TSimdLevel DetectSimdLevel() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    // libgcc's check also asks the system (XGETBV) whether it saves the wide
    // registers, not only the processor whether it has them.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) return TSimdLevel::AVX512;
    if (__builtin_cpu_supports("avx2")) return TSimdLevel::AVX2;
#if defined(__x86_64__)
    return TSimdLevel::SSE2;
#else
    return __builtin_cpu_supports("sse2") ? TSimdLevel::SSE2 : TSimdLevel::Scalar;
#endif
#elif defined(_MSC_VER) && defined(_M_X64)
    int r[4];
    __cpuid(r, 0);
    const int maxLeaf = r[0];
    __cpuid(r, 1);
    const bool osxsave = (r[2] & (1 << 27)) != 0;
    const bool avx = (r[2] & (1 << 28)) != 0;
    if (!osxsave || !avx || maxLeaf < 7) return TSimdLevel::SSE2;
    const unsigned long long xcr0 = _xgetbv(0);
    if ((xcr0 & 0x6) != 0x6) return TSimdLevel::SSE2;  // XMM and YMM state
    __cpuidex(r, 7, 0);
    const bool avx2 = (r[1] & (1 << 5)) != 0;
    const bool avx512 = (r[1] & (1 << 16)) != 0 && (r[1] & (1 << 17)) != 0;
    if (avx512 && (xcr0 & 0xE6) == 0xE6) return TSimdLevel::AVX512;  // opmask and ZMM state
    return avx2 ? TSimdLevel::AVX2 : TSimdLevel::SSE2;
#elif defined(__wasm_simd128__)
    return TSimdLevel::SSE2;  // WebAssembly's 128-bit vectors
#else
    return TSimdLevel::Scalar;
#endif
}

#if defined(__wasm_simd128__)
const char* const kLevelNames[] = {"scalar", "simd128", "avx2", "avx512"};
#else
const char* const kLevelNames[] = {"scalar", "sse2", "avx2", "avx512"};
#endif

// The reference kernel point by point.
void IteratePoints(const TBatchParams& Params, const TBatchPoints& Points, const TBatchResults& Results) {
    const TComplexPoint julia{Params.JuliaRe, Params.JuliaIm};
    for (std::size_t k = 0; k < Points.N; ++k) {
        const TComplexPoint point{Points.Re[k], Points.ImShared ? Points.Im[0] : Points.Im[k]};
        const TComplexPoint start =
            Points.StartRe != nullptr ? TComplexPoint{Points.StartRe[k], Points.StartIm[k]} : TComplexPoint{0, 0};
        if (Results.ZRe == nullptr) {
            // Only the count: an orbit that comes back ends there.
            Results.Counts[k] = Params.Julia
                                    ? CountOrbit(point, julia, Params.Power, Params.MaxIter, Params.Bailout)
                                    : CountOrbit(start, point, Params.Power, Params.MaxIter, Params.Bailout);
            continue;
        }
        const TOrbitEnd end = Params.Julia
                                  ? IterateOrbit(point, julia, Params.Power, Params.MaxIter, Params.Bailout)
                                  : IterateOrbit(start, point, Params.Power, Params.MaxIter, Params.Bailout);
        Results.Counts[k] = end.Count;
        Results.ZRe[k] = end.Z.Re;
        Results.ZIm[k] = end.Z.Im;
    }
}

}  // namespace

void IterateBatchScalar(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results) {
    IteratePoints(Params, Points, Results);
}

TSimdLevel SupportedSimdLevel() {
    static const TSimdLevel level = DetectSimdLevel();
    return level;
}

TSimdLevel DefaultSimdLevel() {
    TSimdLevel level = SupportedSimdLevel();
    TSimdLevel wanted;
    if (ParseSimdLevel(std::getenv("NIMBREL_SIMD"), wanted) && wanted < level) level = wanted;
    return level;
}

const char* SimdLevelName(TSimdLevel Level) {
    const auto i = static_cast<std::size_t>(Level);
    return i < std::size(kLevelNames) ? kLevelNames[i] : "scalar";
}

bool ParseSimdLevel(const char* Text, TSimdLevel& Level) {
    if (Text == nullptr) return false;
    for (std::size_t i = 0; i < std::size(kLevelNames); ++i) {
        if (std::strcmp(Text, kLevelNames[i]) == 0) {
            Level = static_cast<TSimdLevel>(i);
            return true;
        }
    }
    return false;
}

void IterateBatch(TSimdLevel Level, const TBatchParams& Params, const TBatchPoints& Points,
                  const TBatchResults& Results) {
    const TSimdLevel supported = SupportedSimdLevel();
    switch (Level < supported ? Level : supported) {
        case TSimdLevel::AVX512: return IterateBatchAVX512(Params, Points, Results);
        case TSimdLevel::AVX2: return IterateBatchAVX2(Params, Points, Results);
        case TSimdLevel::SSE2: return IterateBatchSSE2(Params, Points, Results);
        case TSimdLevel::Scalar: break;
    }
    IterateBatchScalar(Params, Points, Results);
}

namespace {
TSimdLevel Usable(TSimdLevel Level) {
    const TSimdLevel supported = SupportedSimdLevel();
    return Level < supported ? Level : supported;
}
}  // namespace

void RowPlanePoints(TSimdLevel Level, double* Re, int32_t A, int32_t B, int32_t First, int32_t Stride, double Dx,
                    double Origin) {
    int32_t k = A;
    switch (Usable(Level)) {
        case TSimdLevel::AVX512: k = RowPlanePointsAVX512(Re, A, B, First, Stride, Dx, Origin); break;
        case TSimdLevel::AVX2: k = RowPlanePointsAVX2(Re, A, B, First, Stride, Dx, Origin); break;
        default: break;
    }
    for (; k < B; ++k) Re[k] = static_cast<double>(First + k * Stride) * Dx + Origin;
}

uint64_t RowIterations(TSimdLevel Level, const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter) {
    const int32_t maxIter = MaxIter > 0 ? MaxIter : 0;
    uint64_t sum = 0;
    int32_t k = A;
    if (Usable(Level) >= TSimdLevel::AVX2) k = RowIterationsAVX2(Counts, A, B, maxIter, sum);
    const auto limit = static_cast<uint64_t>(maxIter);
    for (; k < B; ++k) sum += Counts[k] != 0 ? static_cast<uint64_t>(Counts[k]) : limit;
    return sum;
}

uint64_t RowPaint(TSimdLevel Level, const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter,
                  const uint32_t* Pixels, uint32_t* Row, int32_t First, int32_t Stride) {
    const int32_t maxIter = MaxIter > 0 ? MaxIter : 0;
    const auto limit = static_cast<uint64_t>(maxIter);
    uint64_t sum = 0;
    if (Stride != 1) {
        for (int32_t k = A; k < B; ++k) {
            Row[First + k * Stride] = Pixels[Counts[k]];
            sum += Counts[k] != 0 ? static_cast<uint64_t>(Counts[k]) : limit;
        }
        return sum;
    }
    uint32_t* const out = Row + First;
    int32_t k = A;
    switch (Usable(Level)) {
        case TSimdLevel::AVX512: k = RowPaintAVX512(Counts, A, B, maxIter, Pixels, out, sum); break;
        case TSimdLevel::AVX2: k = RowPaintAVX2(Counts, A, B, maxIter, Pixels, out, sum); break;
        default: break;
    }
    for (; k < B; ++k) {
        out[k] = Pixels[Counts[k]];
        sum += Counts[k] != 0 ? static_cast<uint64_t>(Counts[k]) : limit;
    }
    return sum;
}

}  // namespace nimbrel
