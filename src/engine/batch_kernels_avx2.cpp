// The batch kernels with AVX2, four points per vector. Compiled with -mavx2
// (and never with -mfma): it may only run once the processor check has
// answered that AVX2 is there.
#include "engine/batch_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

#include "engine/batch_kernels_impl.h"

namespace nimbrel {
namespace {

struct TAvx2 {
    static constexpr int L = 4;
    using D = __m256d;
    using M = __m256d;  // all ones in a lane of the set

    static D Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, D v) { _mm256_storeu_pd(p, v); }
    static D Set1(double v) { return _mm256_set1_pd(v); }
    static D Zero() { return _mm256_setzero_pd(); }
    static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static M Eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static M Ge(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static M NotLess(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NLT_UQ); }
    static M NotLe(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NLE_UQ); }
    static D Opaque(D v) {
#if defined(__GNUC__)
        asm("" : "+x"(v));
#endif
        return v;
    }
    static D Select(M m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
    static M And(M a, M b) { return _mm256_and_pd(a, b); }
    static M AndNot(M a, M b) { return _mm256_andnot_pd(a, b); }
    static M Or(M a, M b) { return _mm256_or_pd(a, b); }
    static unsigned Bits(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
    static bool Any(M m) { return _mm256_testz_pd(m, m) == 0; }
    static bool All(M m) { return Bits(m) == 15; }
    static void StoreInt32(int32_t* out, D v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvtpd_epi32(v)); }
    static M DoneFrom(int first) {
        return _mm256_castsi256_pd(_mm256_set_epi64x(first <= 3 ? -1 : 0, first <= 2 ? -1 : 0,
                                                     first <= 1 ? -1 : 0, first <= 0 ? -1 : 0));
    }
};

}  // namespace

void IterateBatchAVX2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    // Seven slots in long blocks (16 registers: the slots' z and a few
    // temporaries), five in short ones.
    IterateBatchWith<TAvx2, 7, 7, 5>(Params, Points, Results);
}

int32_t RowPlanePointsAVX2(double* Re, int32_t A, int32_t B, int32_t First, int32_t Stride, double Dx, double Origin) {
    const __m256d dx = _mm256_set1_pd(Dx), origin = _mm256_set1_pd(Origin);
    const __m128i step = _mm_set1_epi32(4 * Stride);
    __m128i x = _mm_add_epi32(_mm_set1_epi32(First + A * Stride),
                              _mm_mullo_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(Stride)));
    int32_t k = A;
    for (; B - k >= 4; k += 4, x = _mm_add_epi32(x, step))
        _mm256_storeu_pd(Re + k, _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(x), dx), origin));
    return k;
}

int32_t RowIterationsAVX2(const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter, uint64_t& Sum) {
    const __m128i limit = _mm_set1_epi32(MaxIter), zero = _mm_setzero_si128();
    __m256i sum = _mm256_setzero_si256();
    int32_t k = A;
    for (; B - k >= 4; k += 4) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Counts + k));
        const __m128i n = _mm_blendv_epi8(c, limit, _mm_cmpeq_epi32(c, zero));
        sum = _mm256_add_epi64(sum, _mm256_cvtepu32_epi64(n));
    }
    alignas(32) uint64_t part[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(part), sum);
    Sum += part[0] + part[1] + part[2] + part[3];
    return k;
}

int32_t RowPaintAVX2(const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter, const uint32_t* Pixels,
                     uint32_t* Row, uint64_t& Sum) {
    const int* const table = reinterpret_cast<const int*>(Pixels);
    const __m256i limit = _mm256_set1_epi32(MaxIter), zero = _mm256_setzero_si256();
    __m256i sum = _mm256_setzero_si256();
    int32_t k = A;
    for (; B - k >= 8; k += 8) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Counts + k));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Row + k), _mm256_i32gather_epi32(table, c, 4));
        const __m256i n = _mm256_blendv_epi8(c, limit, _mm256_cmpeq_epi32(c, zero));
        sum = _mm256_add_epi64(sum, _mm256_cvtepu32_epi64(_mm256_castsi256_si128(n)));
        sum = _mm256_add_epi64(sum, _mm256_cvtepu32_epi64(_mm256_extracti128_si256(n, 1)));
    }
    alignas(32) uint64_t part[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(part), sum);
    Sum += part[0] + part[1] + part[2] + part[3];
    return k;
}

}  // namespace nimbrel

#else

namespace nimbrel {
void IterateBatchAVX2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    IterateBatchScalar(Params, Points, Results);
}
int32_t RowPlanePointsAVX2(double*, int32_t A, int32_t, int32_t, int32_t, double, double) { return A; }
int32_t RowIterationsAVX2(const int32_t*, int32_t A, int32_t, int32_t, uint64_t&) { return A; }
int32_t RowPaintAVX2(const int32_t*, int32_t A, int32_t, int32_t, const uint32_t*, uint32_t*, uint64_t&) { return A; }
}  // namespace nimbrel

#endif
