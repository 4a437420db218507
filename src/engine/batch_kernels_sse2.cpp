// The batch kernels with SSE2, two points per vector: the baseline that every
// x86-64 processor runs; in the browser, the same with WebAssembly's SIMD.
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

#elif defined(__wasm_simd128__)

// In the browser the same level is WebAssembly's 128-bit vectors: two
// doubles a vector, IEEE operations without fusing, as with SSE2.
#include <wasm_simd128.h>

#include "engine/batch_kernels_impl.h"

namespace nimbrel {
namespace {

struct TSimd128 {
    static constexpr int L = 2;
    using D = v128_t;
    using M = v128_t;  // all ones in a lane of the set

    static D Load(const double* p) { return wasm_v128_load(p); }
    static void Store(double* p, D v) { wasm_v128_store(p, v); }
    static D Set1(double v) { return wasm_f64x2_splat(v); }
    static D Zero() { return wasm_f64x2_const(0.0, 0.0); }
    static D Add(D a, D b) { return wasm_f64x2_add(a, b); }
    static D Sub(D a, D b) { return wasm_f64x2_sub(a, b); }
    static D Mul(D a, D b) { return wasm_f64x2_mul(a, b); }
    static M Eq(D a, D b) { return wasm_f64x2_eq(a, b); }
    static M Ge(D a, D b) { return wasm_f64x2_ge(a, b); }
    static M NotLess(D a, D b) { return wasm_v128_not(wasm_f64x2_lt(a, b)); }
    static M NotLe(D a, D b) { return wasm_v128_not(wasm_f64x2_le(a, b)); }
    // WebAssembly has no inline assembly to hide a value from the optimiser;
    // a volatile read does it once per batch.
    static D Opaque(D v) {
        volatile double low = wasm_f64x2_extract_lane(v, 0), high = wasm_f64x2_extract_lane(v, 1);
        return wasm_f64x2_make(low, high);
    }
    static D Select(M m, D a, D b) { return wasm_v128_bitselect(a, b, m); }
    static M And(M a, M b) { return wasm_v128_and(a, b); }
    static M AndNot(M a, M b) { return wasm_v128_andnot(b, a); }
    static M Or(M a, M b) { return wasm_v128_or(a, b); }
    static unsigned Bits(M m) { return static_cast<unsigned>(wasm_i64x2_bitmask(m)); }
    static bool Any(M m) { return wasm_v128_any_true(m); }
    static bool All(M m) { return wasm_i64x2_all_true(m); }
    static void StoreInt32(int32_t* out, D v) {
        const v128_t whole = wasm_i32x4_trunc_sat_f64x2_zero(v);
        out[0] = wasm_i32x4_extract_lane(whole, 0);
        out[1] = wasm_i32x4_extract_lane(whole, 1);
    }
    static M DoneFrom(int first) { return wasm_i64x2_make(first <= 0 ? -1 : 0, first <= 1 ? -1 : 0); }
};

}  // namespace

void IterateBatchSSE2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results) {
    IterateBatchWith<TSimd128, 6, 6, 6>(Params, Points, Results);
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
