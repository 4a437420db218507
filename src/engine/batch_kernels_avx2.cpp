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
    IterateBatchWith<TAvx2, 5>(Params, Points, Results);
}

}  // namespace nimbrel

#else

namespace nimbrel {
void IterateBatchAVX2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    IterateBatchScalar(Params, Points, Results);
}
}  // namespace nimbrel

#endif
