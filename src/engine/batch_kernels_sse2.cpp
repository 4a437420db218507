// The batch kernels with SSE2, two points per vector: the baseline that every
// x86-64 processor runs.
#include "engine/batch_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <emmintrin.h>

#include "engine/batch_kernels_impl.h"

namespace nimbrel {
namespace {

struct TSse2 {
    static constexpr int L = 2;
    using D = __m128d;
    using M = __m128d;  // all ones in a lane of the set

    static D Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, D v) { _mm_storeu_pd(p, v); }
    static D Set1(double v) { return _mm_set1_pd(v); }
    static D Zero() { return _mm_setzero_pd(); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static M Eq(D a, D b) { return _mm_cmpeq_pd(a, b); }
    static M Ge(D a, D b) { return _mm_cmpge_pd(a, b); }
    static M NotLess(D a, D b) { return _mm_cmpnlt_pd(a, b); }
    static M NotLe(D a, D b) { return _mm_cmpnle_pd(a, b); }
    static D Opaque(D v) {
#if defined(__GNUC__)
        asm("" : "+x"(v));
#endif
        return v;
    }
    static D Select(M m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    static M And(M a, M b) { return _mm_and_pd(a, b); }
    static M AndNot(M a, M b) { return _mm_andnot_pd(a, b); }
    static M Or(M a, M b) { return _mm_or_pd(a, b); }
    static unsigned Bits(M m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
    static bool Any(M m) { return Bits(m) != 0; }
    static bool All(M m) { return Bits(m) == 3; }
    // Lanes first..L-1 set.
    static void StoreInt32(int32_t* out, D v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_cvtpd_epi32(v)); }
    static M DoneFrom(int first) {
        return _mm_castsi128_pd(_mm_set_epi64x(first <= 1 ? -1 : 0, first <= 0 ? -1 : 0));
    }
};

}  // namespace

void IterateBatchSSE2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    // Six slots whatever the blocks.
    IterateBatchWith<TSse2, 6, 6, 6>(Params, Points, Results);
}

}  // namespace nimbrel

#else

namespace nimbrel {
void IterateBatchSSE2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    IterateBatchScalar(Params, Points, Results);
}
}  // namespace nimbrel

#endif
