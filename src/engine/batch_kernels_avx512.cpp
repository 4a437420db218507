// The batch kernels with AVX-512 (F and DQ), eight points per vector, the
// lanes that are done kept in a mask register. Compiled with -mavx512f -mavx512dq (and never with -mfma): it may only run
// once the processor check has answered that AVX-512 is there.
#include "engine/batch_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

#include "engine/batch_kernels_impl.h"

namespace nimbrel {
namespace {

struct TAvx512 {
    static constexpr int L = 8;
    using D = __m512d;
    using M = __mmask8;  // bit set: the lane is done
    using I = __m512i;

    static D Load(const double* p) { return _mm512_loadu_pd(p); }
    static void Store(double* p, D v) { _mm512_storeu_pd(p, v); }
    static D Set1(double v) { return _mm512_set1_pd(v); }
    static D Zero() { return _mm512_setzero_pd(); }
    static D Add(D a, D b) { return _mm512_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D Select(M m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
    static M Ge(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static D Opaque(D v) {
#if defined(__GNUC__)
        asm("" : "+v"(v));
#endif
        return v;
    }
    static M AndNot(M a, M b) { return static_cast<M>(b & ~a); }
    static M Or(M a, M b) { return static_cast<M>(a | b); }
    static unsigned Bits(M m) { return m; }
    static bool All(M m) { return m == 0xFF; }
    static M DoneFrom(int first) { return static_cast<M>(0xFF << first); }
    static I CountZero() { return _mm512_setzero_si512(); }
    static I CountLanes(I c, M m) { return _mm512_mask_add_epi64(c, m, c, _mm512_set1_epi64(1)); }
    // steps - stepsDone in the lanes done, 0 in the others, narrowed to 32
    // bits (a count never exceeds MaxIter) and stored in the first n lanes.
    static void StoreCounts(int32_t* out, int n, int64_t steps, I stepsDone, M done) {
        const __m512i counts = _mm512_maskz_sub_epi64(done, _mm512_set1_epi64(steps), stepsDone);
        _mm512_mask_cvtepi64_storeu_epi32(out, static_cast<M>((1u << n) - 1), counts);
    }
};

}  // namespace

void IterateBatchAVX512(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results) {
    IterateBatchWith<TAvx512, 6>(Params, Points, Results);
}

}  // namespace nimbrel

#else

namespace nimbrel {
void IterateBatchAVX512(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results) {
    IterateBatchScalar(Params, Points, Results);
}
}  // namespace nimbrel

#endif
