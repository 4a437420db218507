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
    using M = __m128d;  // all ones in a lane that is done
    using I = __m128i;

    static D Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, D v) { _mm_storeu_pd(p, v); }
    static D Set1(double v) { return _mm_set1_pd(v); }
    static D Zero() { return _mm_setzero_pd(); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    // m ? a : b, lane by lane.
    static D Select(M m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    // a >= b; false when either is NaN.
    static M Ge(D a, D b) { return _mm_cmpge_pd(a, b); }
    static D Opaque(D v) {
#if defined(__GNUC__)
        asm("" : "+x"(v));
#endif
        return v;
    }
    static M AndNot(M a, M b) { return _mm_andnot_pd(a, b); }
    static M Or(M a, M b) { return _mm_or_pd(a, b); }
    static unsigned Bits(M m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
    static bool All(M m) { return Bits(m) == 3; }
    // Lanes first..L-1 set.
    static M DoneFrom(int first) {
        return _mm_castsi128_pd(_mm_set_epi64x(first <= 1 ? -1 : 0, first <= 0 ? -1 : 0));
    }
    static I CountZero() { return _mm_setzero_si128(); }
    // Adds 1 in every lane of m (all ones is -1).
    static I CountLanes(I c, M m) { return _mm_sub_epi64(c, _mm_castpd_si128(m)); }
    static void StoreCounts(int32_t* out, int n, int64_t steps, I stepsDone, M done) {
        alignas(32) int64_t d[L];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), stepsDone);
        const unsigned bits = Bits(done);
        for (int k = 0; k < n; ++k) out[k] = (bits >> k & 1) != 0 ? static_cast<int32_t>(steps - d[k]) : 0;
    }
};

}  // namespace

void IterateBatchSSE2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    IterateBatchWith<TSse2, 4>(Params, Points, Results);
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
