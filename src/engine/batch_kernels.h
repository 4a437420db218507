// Batch kernels: the escape-time iteration of many points at once, with the
// vector instructions the processor has. Every count and every final z is
// bit-identical to the engine's scalar kernels (IterateMandel2 and friends):
// the same operations in the same order, no fused multiply-add, and the z of
// a point is its value after the step at which it escaped.
//
// The instruction set is chosen at run time: SSE2 on every x86-64 machine,
// AVX2 and AVX-512 (F and DQ) where the processor and the system support them.
// A WebAssembly module built with SIMD has the two-lane level, "simd128".
// The environment variable NIMBREL_SIMD (scalar, sse2, avx2, avx512) lowers
// the choice, for tests and benchmarks; it never raises it.
//
// This header is plain on purpose: the files compiled for AVX2 and AVX-512
// include it, and nothing they include may hold an inline function that the
// rest of the program could end up calling on a processor without them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbrel {

enum class TSimdLevel : uint8_t { Scalar = 0, SSE2 = 1, AVX2 = 2, AVX512 = 3 };

// What the points of one batch share.
struct TBatchParams {
    // false: z starts at 0 and c is the point (Mandelbrot); true: z starts at
    // the point and c is JuliaRe + i JuliaIm.
    bool Julia = false;
    double JuliaRe = 0;
    double JuliaIm = 0;
    // 2 and 3 have their own loops; any other value uses repeated squaring
    // (a value <= 1 leaves z as it is before c is added).
    int32_t Power = 2;
    // <= 0: no step is made, every count is 0 and z is the starting value.
    int32_t MaxIter = 0;
    // A point escapes at the first step after which x*x + y*y >= Bailout:
    // 4 for the integer kernels, EscapeRadius squared for the cache kernels.
    double Bailout = 4;
    // The mean count (MaxIter for a point that stays) of the points of a
    // recent row of the same picture, or 0 when none is known. Only a hint
    // for the length of the vector kernels' blocks of steps: the results are
    // the same whatever it is.
    int32_t TypicalSteps = 0;
};

// The points of a batch: N points (Re[k], Im[k]), or with ImShared the row of
// points (Re[k], Im[0]).
//
// A batch may resume points that have made steps before: for the Mandelbrot
// kind z starts at (StartRe[k], StartIm[k]) instead of 0 when they are given;
// a Julia point is resumed by passing its z as the point. With MaxIter the
// steps still to make (or fewer), the counts and z are those of the points
// iterated in one go, less the steps made before: the same operations on the
// same values.
struct TBatchPoints {
    const double* Re = nullptr;
    const double* Im = nullptr;
    bool ImShared = false;
    std::size_t N = 0;
    const double* StartRe = nullptr;
    const double* StartIm = nullptr;
};

// Where the results go: Counts[k] is the escape step of point k (0 when it
// did not escape within MaxIter steps). ZRe and ZIm, when given, receive the
// value of z after the last step made (the starting value when MaxIter <= 0).
struct TBatchResults {
    int32_t* Counts = nullptr;
    double* ZRe = nullptr;
    double* ZIm = nullptr;
};

// The best level this processor and system support.
TSimdLevel SupportedSimdLevel();
// The supported level, lowered by NIMBREL_SIMD when it names a lower one.
TSimdLevel DefaultSimdLevel();
// "scalar", "sse2" ("simd128" in WebAssembly), "avx2", "avx512".
const char* SimdLevelName(TSimdLevel Level);
// Parses one of the names above; answers false for anything else.
bool ParseSimdLevel(const char* Text, TSimdLevel& Level);

// Iterates a batch with the given level, lowered to what is supported.
void IterateBatch(TSimdLevel Level, const TBatchParams& Params, const TBatchPoints& Points,
                  const TBatchResults& Results);

// The work around a batch on a row of pixels, with the same instruction
// sets. RowPlanePoints: Re[k] = (First + k * Stride) * Dx + Origin, the plane
// point of pixel First + k * Stride as the draw methods compute it, for A <= k
// < B. RowIterations: the iterations of Counts[A..B), MaxIter for a count 0.
// RowPaint: Row[First + k * Stride] = Pixels[Counts[k]] for A <= k < B (every
// count must index Pixels), and the iterations of those counts.
void RowPlanePoints(TSimdLevel Level, double* Re, int32_t A, int32_t B, int32_t First, int32_t Stride, double Dx,
                    double Origin);
uint64_t RowIterations(TSimdLevel Level, const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter);
uint64_t RowPaint(TSimdLevel Level, const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter,
                  const uint32_t* Pixels, uint32_t* Row, int32_t First, int32_t Stride);

// The per-level entry points behind IterateBatch; each is compiled for its
// own instruction set and may only run where that set is supported.
void IterateBatchScalar(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results);
void IterateBatchSSE2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results);
void IterateBatchAVX2(const TBatchParams& Params, const TBatchPoints& Points,
                      const TBatchResults& Results);
void IterateBatchAVX512(const TBatchParams& Params, const TBatchPoints& Points,
                        const TBatchResults& Results);
// The row work of AVX2 and AVX-512 (the others use plain loops); each does
// the whole vectors of [A, B) and answers where it stopped.
int32_t RowPlanePointsAVX2(double* Re, int32_t A, int32_t B, int32_t First, int32_t Stride, double Dx, double Origin);
int32_t RowPlanePointsAVX512(double* Re, int32_t A, int32_t B, int32_t First, int32_t Stride, double Dx,
                             double Origin);
int32_t RowIterationsAVX2(const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter, uint64_t& Sum);
int32_t RowPaintAVX2(const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter, const uint32_t* Pixels,
                     uint32_t* Row, uint64_t& Sum);
int32_t RowPaintAVX512(const int32_t* Counts, int32_t A, int32_t B, int32_t MaxIter, const uint32_t* Pixels,
                       uint32_t* Row, uint64_t& Sum);

}  // namespace nimbrel
