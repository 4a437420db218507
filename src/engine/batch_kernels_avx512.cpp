// The batch kernels with AVX-512 (F and DQ), eight points per vector, the
// lanes that are done kept in a mask register. Compiled with -mavx512f -mavx512dq (and never with -mfma): it may only run
// once the processor check has answered that AVX-512 is there.
#include "engine/batch_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

#include <cstdint>

#include "engine/batch_kernels_impl.h"

namespace nimbrel {
namespace {

struct TAvx512 {
    static constexpr int L = 8;
    using D = __m512d;
    using M = __mmask8;  // bit set: the lane is in the set

    static D Load(const double* p) { return _mm512_loadu_pd(p); }
    static void Store(double* p, D v) { _mm512_storeu_pd(p, v); }
    static D Set1(double v) { return _mm512_set1_pd(v); }
    static D Zero() { return _mm512_setzero_pd(); }
    static D Add(D a, D b) { return _mm512_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static M Eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static M Ge(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static M NotLess(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLT_UQ); }
    static M NotLe(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLE_UQ); }
    static D Opaque(D v) {
#if defined(__GNUC__)
        asm("" : "+v"(v));
#endif
        return v;
    }
    static D Select(M m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
    static M And(M a, M b) { return static_cast<M>(a & b); }
    static M AndNot(M a, M b) { return static_cast<M>(b & ~a); }
    static M Or(M a, M b) { return static_cast<M>(a | b); }
    static bool Any(M m) { return m != 0; }
    static bool All(M m) { return m == 0xFF; }
    static void StoreInt32(int32_t* out, D v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_maskz_cvtpd_epi32(0xFF, v)); }
    static M DoneFrom(int first) { return static_cast<M>(first >= 8 ? 0 : 0xFF << first); }
};

}  // namespace

void IterateBatchAVX512(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results) {
    // Inside the set ten slots without stores (a step is seven arithmetic
    // operations and two loads; 32 registers hold the slots' z and the
    // steps' temporaries); elsewhere six slots keeping each step's z.
    IterateBatchWith<TAvx512, 10, 6, 6>(Params, Points, Results);
}

int32_t RowPlanePointsAVX512(double* Re, int32_t A, int32_t B, int32_t First, int32_t Stride, double Dx,
                             double Origin) {
    const __m512d dx = _mm512_set1_pd(Dx), origin = _mm512_set1_pd(Origin);
    const __m256i step = _mm256_set1_epi32(8 * Stride);
    __m256i x = _mm256_add_epi32(_mm256_set1_epi32(First + A * Stride),
                                 _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(Stride)));
    int32_t k = A;
    for (; B - k >= 8; k += 8, x = _mm256_add_epi32(x, step))
        _mm512_storeu_pd(Re + k, _mm512_add_pd(_mm512_mul_pd(_mm512_maskz_cvtepi32_pd(0xFF, x), dx), origin));
    return k;
}

int32_t RowPaintAVX512(const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter, const uint32_t* Pixels,
                       uint32_t* Row, uint64_t& Sum) {
    const __m512i limit = _mm512_set1_epi32(MaxIter), zero = _mm512_setzero_si512();
    __m512i sum = _mm512_setzero_si512();
    int32_t k = A;
    // Up to a 64-byte boundary of the row with plain loops; from there the
    // pixels go to memory without passing through the cache, which saves
    // reading every line of a large bitmap before writing it.
    while (k < B && (reinterpret_cast<std::uintptr_t>(Row + k) & 63) != 0) {
        Row[k] = Pixels[Counts[k]];
        Sum += Counts[k] != 0 ? static_cast<uint64_t>(Counts[k]) : static_cast<uint64_t>(MaxIter);
        ++k;
    }
    const bool streamed = B - k >= 16;
    for (; B - k >= 16; k += 16) {
        const __m512i c = _mm512_loadu_si512(Counts + k);
        _mm512_stream_si512(reinterpret_cast<__m512i*>(Row + k), _mm512_mask_i32gather_epi32(zero, 0xFFFF, c, Pixels, 4));
        const __m512i n = _mm512_mask_mov_epi32(c, _mm512_cmpeq_epi32_mask(c, zero), limit);
        sum = _mm512_add_epi64(sum, _mm512_maskz_cvtepu32_epi64(0xFF, _mm512_maskz_extracti64x4_epi64(0xFF, n, 0)));
        sum = _mm512_add_epi64(sum, _mm512_maskz_cvtepu32_epi64(0xFF, _mm512_maskz_extracti64x4_epi64(0xFF, n, 1)));
    }
    if (streamed) _mm_sfence();
    alignas(64) uint64_t part[8];
    _mm512_store_si512(part, sum);
    for (const uint64_t p : part) Sum += p;
    return k;
}

}  // namespace nimbrel

#else

namespace nimbrel {
void IterateBatchAVX512(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results) {
    IterateBatchScalar(Params, Points, Results);
}
int32_t RowPlanePointsAVX512(double*, int32_t A, int32_t, int32_t, int32_t, double, double) { return A; }
int32_t RowPaintAVX512(const int32_t*, int32_t A, int32_t, int32_t, const uint32_t*, uint32_t*, uint64_t&) {
    return A;
}
}  // namespace nimbrel

#endif
