#include "engine/journey_compose.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/exceptions.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define NIMBREL_COMPOSE_AVX2 1
#endif

namespace nimbrel {

namespace {

constexpr int32_t kShift = 6;
constexpr int32_t kOne = 1 << kShift;

inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t f) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * (kOne - f) + cb * f + kOne / 2) >> kShift) << shift;
    }
    return out;
}

// A position in source pixels, as a whole pixel and 64ths.
struct TFixed {
    int32_t Whole;
    uint32_t Fraction;
};
inline TFixed ToFixed(double Position) {
    const auto fixed = static_cast<int64_t>(std::floor(Position * kOne + 0.5));
    return {static_cast<int32_t>(fixed >> kShift), static_cast<uint32_t>(fixed & (kOne - 1))};
}

// Frame pixel x of a picture of Size pixels shows source pixel Middle + (x -
// Middle) * Step: the centre stays where the engine puts it.
inline double SourceOf(int32_t x, int32_t Size, double Step) { return Size / 2.0 + (x - Size / 2.0) * Step; }

// The frame pixels [First, Last) whose source position lies within the
// picture.
void Covered(int32_t Size, double Step, int32_t& First, int32_t& Last) {
    const double middle = Size / 2.0;
    First = std::max(0, static_cast<int32_t>(std::ceil(middle - middle / Step)));
    Last = std::min(Size, static_cast<int32_t>(std::floor(middle + (Size - 1 - middle) / Step)) + 1);
    while (First < Last && ToFixed(SourceOf(First, Size, Step)).Whole < 0) ++First;
    while (Last > First && ToFixed(SourceOf(Last - 1, Size, Step)).Whole > Size - 1) --Last;
}

void BlendRowsScalar(uint32_t* Out, const uint32_t* A, const uint32_t* B, uint32_t f, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) Out[i] = Blend(A[i], B[i], f);
}

void SampleScalar(uint32_t* Out, const uint32_t* Row, const int32_t* Columns, const uint64_t* Weights,
                  int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
        Out[i] = Blend(Row[Columns[i]], Row[Columns[i] + 1], static_cast<uint32_t>(Weights[i] >> 8) & 0xFF);
}

#ifdef NIMBREL_COMPOSE_AVX2
// SSE2, which every x86-64 processor has: the same sums in 16-bit lanes.
// The vector blends fetch ahead the same columns of NextA and NextB, the
// rows the next frame row takes: a row's first use would otherwise wait on
// memory at every page.
void BlendRowsSse2(uint32_t* Out, const uint32_t* A, const uint32_t* B, uint32_t f, int32_t Count,
                   const uint32_t* NextA, const uint32_t* NextB) {
    const __m128i wa = _mm_set1_epi16(static_cast<int16_t>(kOne - f)), wb = _mm_set1_epi16(static_cast<int16_t>(f));
    const __m128i round = _mm_set1_epi16(kOne / 2), zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4) {
        if (i % 16 == 0) {
            _mm_prefetch(reinterpret_cast<const char*>(NextA + i), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(NextB + i), _MM_HINT_T0);
        }
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(B + i));
        const __m128i low = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), wa),
                                          _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wb));
        const __m128i high = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), wa),
                                           _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), wb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i),
                         _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(low, round), kShift),
                                          _mm_srli_epi16(_mm_add_epi16(high, round), kShift)));
    }
    BlendRowsScalar(Out + i, A + i, B + i, f, Count - i);
}

// One pixel and its right neighbour against their weights: the four
// channels' sums in 32-bit lanes.
inline __m128i PairSums(const uint32_t* Row, int32_t Column, uint64_t Weights) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i pair = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Row + Column));
    const __m128i channels = _mm_unpacklo_epi8(_mm_unpacklo_epi8(pair, _mm_srli_si128(pair, 4)), zero);
    const __m128i weights =
        _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(Weights)), zero);
    return _mm_madd_epi16(channels, weights);
}

void SampleSse2(uint32_t* Out, const uint32_t* Row, const int32_t* Columns, const uint64_t* Weights, int32_t Count) {
    const __m128i round = _mm_set1_epi16(kOne / 2);
    int32_t i = 0;
    for (; i + 2 <= Count; i += 2) {
        const __m128i sums = _mm_packs_epi32(PairSums(Row, Columns[i], Weights[i]),
                                             PairSums(Row, Columns[i + 1], Weights[i + 1]));
        const __m128i values = _mm_srli_epi16(_mm_add_epi16(sums, round), kShift);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + i), _mm_packus_epi16(values, values));
    }
    SampleScalar(Out + i, Row, Columns + i, Weights + i, Count - i);
}

__attribute__((target("avx2"))) void BlendRowsAvx2(uint32_t* Out, const uint32_t* A, const uint32_t* B, uint32_t f,
                                                   int32_t Count, const uint32_t* NextA, const uint32_t* NextB) {
    const __m256i weights = _mm256_set1_epi16(static_cast<int16_t>(((f & 0xFF) << 8) | (kOne - f)));
    const __m256i round = _mm256_set1_epi16(kOne / 2);
    int32_t i = 0;
    for (; i + 8 <= Count; i += 8) {
        if (i % 16 == 0) {
            _mm_prefetch(reinterpret_cast<const char*>(NextA + i), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(NextB + i), _MM_HINT_T0);
        }
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + i));
        const __m256i low = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), weights);
        const __m256i high = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), weights);
        const __m256i packed = _mm256_packus_epi16(_mm256_srli_epi16(_mm256_add_epi16(low, round), kShift),
                                                   _mm256_srli_epi16(_mm256_add_epi16(high, round), kShift));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + i), packed);
    }
    BlendRowsScalar(Out + i, A + i, B + i, f, Count - i);
}

inline long long PairAt(const uint32_t* Row, int32_t Column) {
    long long bits;
    std::memcpy(&bits, Row + Column, sizeof bits);
    return bits;
}

// Four pixels with their right neighbours, by plain 64-bit loads: gathers are
// slow on some processors (AMD's) and no faster elsewhere.
__attribute__((target("avx2"))) inline __m256i FourPairs(const uint32_t* Row, const int32_t* c) {
    return _mm256_set_epi64x(PairAt(Row, c[3]), PairAt(Row, c[2]), PairAt(Row, c[1]), PairAt(Row, c[0]));
}

__attribute__((target("avx2"))) void SampleAvx2(uint32_t* Out, const uint32_t* Row, const int32_t* Columns,
                                                const uint64_t* Weights, int32_t Count) {
    // Each gathered 64 bits are a pixel and its right neighbour; the shuffle
    // pairs their bytes channel by channel for the multiply-add.
    const __m256i pairs = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1, 5, 2, 6, 3,
                                           7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i round = _mm256_set1_epi16(kOne / 2);
    int32_t i = 0;
    for (; i + 8 <= Count; i += 8) {
        const __m256i p0 = _mm256_shuffle_epi8(FourPairs(Row, Columns + i), pairs);
        const __m256i p1 = _mm256_shuffle_epi8(FourPairs(Row, Columns + i + 4), pairs);
        const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Weights + i));
        const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Weights + i + 4));
        const __m256i s0 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(p0, w0), round), kShift);
        const __m256i s1 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(p1, w1), round), kShift);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(s0, s1), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + i), packed);
    }
    SampleScalar(Out + i, Row, Columns + i, Weights + i, Count - i);
}

// The frame columns [X0, X1), multiples of 8 apart, from the Picks and Paired
// weights of their eight-column groups (see TColumns): per four columns one
// load of eight source pixels and one permutation give their left pixels and
// right neighbours.
__attribute__((target("avx2"))) void SamplePicked(uint32_t* Out, const uint32_t* Row, const int32_t* Left,
                                                  const uint64_t* Picks, const uint64_t* Paired, int32_t X0,
                                                  int32_t X1) {
    const __m256i round = _mm256_set1_epi16(kOne / 2);
    for (int32_t x = X0; x < X1; x += 8) {
        const int32_t g = x / 8;
        const __m256i i0 = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Picks + 2 * g)));
        const __m256i i1 = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Picks + 2 * g + 1)));
        const __m256i p0 = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Row + Left[x])), i0);
        const __m256i p1 = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Row + Left[x + 4])), i1);
        const __m256i lefts = _mm256_permute2x128_si256(p0, p1, 0x20);
        const __m256i rights = _mm256_permute2x128_si256(p0, p1, 0x31);
        // Pixels 0 1 | 4 5 and 2 3 | 6 7, each channel with its neighbour's.
        const __m256i low = _mm256_unpacklo_epi8(lefts, rights);
        const __m256i high = _mm256_unpackhi_epi8(lefts, rights);
        const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Paired + 8 * g));
        const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Paired + 8 * g + 4));
        const __m256i s0 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(low, w0), round), kShift);
        const __m256i s1 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(high, w1), round), kShift);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + x), _mm256_packus_epi16(s0, s1));
    }
}
#endif

}  // namespace

void TJourneyComposer::Place(TColumns& Columns, int32_t Width, double Step) {
    Columns.Left.resize(static_cast<std::size_t>(Width));
    Columns.Weights.resize(static_cast<std::size_t>(Width));
    for (int32_t i = 0; i < Width; ++i) {
        const TFixed x = ToFixed(SourceOf(i, Width, Step));
        Columns.Left[i] = x.Whole;
        const uint64_t pair = (uint64_t{x.Fraction} << 8) | (kOne - x.Fraction);
        Columns.Weights[i] = pair * 0x0001000100010001ull;
    }
    const int32_t groups = Width / 8;
    Columns.Picks.resize(static_cast<std::size_t>(groups) * 2);
    Columns.Paired.resize(static_cast<std::size_t>(groups) * 8);
    Columns.Pickable = true;
    for (int32_t g = 0; g < groups; ++g) {
        const int32_t* left = Columns.Left.data() + 8 * g;
        for (int32_t half = 0; half < 2; ++half) {
            const int32_t* l = left + 4 * half;
            uint64_t picks = 0;
            for (int32_t k = 0; k < 4; ++k) {
                const int32_t d = l[k] - l[0];
                if (d < 0 || d > 6) Columns.Pickable = false;
                const auto byte = static_cast<uint64_t>(d & 0x3F);
                picks |= byte << (8 * k) | (byte + 1) << (8 * (k + 4));
            }
            Columns.Picks[static_cast<std::size_t>(2 * g + half)] = picks;
        }
        static constexpr int32_t kOrder[8] = {0, 1, 4, 5, 2, 3, 6, 7};
        for (int32_t k = 0; k < 8; ++k)
            Columns.Paired[static_cast<std::size_t>(8 * g + k)] = Columns.Weights[static_cast<std::size_t>(8 * g + kOrder[k])];
    }
}

void TJourneyComposer::SampleRow(uint32_t* Out, const TBitmap& Source, const TColumns& Columns, double Step,
                                 int32_t Y, int32_t X0, int32_t X1) {
    if (X0 >= X1) return;
    const int32_t width = Source.Width(), height = Source.Height();
    const TFixed y = ToFixed(SourceOf(Y, height, Step));
    const int32_t below = std::min(y.Whole + 1, height - 1);
    const int32_t count = X1 - X0;
    const int32_t* columns = Columns.Left.data() + X0;
    const uint64_t* weights = Columns.Weights.data() + X0;
    // The vertical blend of the source columns these frame columns reach and
    // their right neighbours; past the right edge, the edge's own copy.
    const int32_t first = columns[0], last = std::min(columns[count - 1] + 1, width - 1);
    uint32_t* row = row_.data();
    const uint32_t* a = Source.Scanline(y.Whole) + first;
    const uint32_t* b = Source.Scanline(below) + first;
#ifdef NIMBREL_COMPOSE_AVX2
    // The rows the next frame row blends, fetched ahead.
    const int32_t next = std::clamp(ToFixed(SourceOf(Y + 1, height, Step)).Whole, 0, height - 1);
    const uint32_t* nextA = Source.Scanline(std::min(next + 1, height - 1)) + first;
    const uint32_t* nextB = Source.Scanline(next) + first;
    if (level_ >= TSimdLevel::AVX2)
        BlendRowsAvx2(row + first, a, b, y.Fraction, last - first + 1, nextA, nextB);
    else if (level_ >= TSimdLevel::SSE2)
        BlendRowsSse2(row + first, a, b, y.Fraction, last - first + 1, nextA, nextB);
    else
#endif
        BlendRowsScalar(row + first, a, b, y.Fraction, last - first + 1);
    row[width] = row[width - 1];
#ifdef NIMBREL_COMPOSE_AVX2
    if (level_ >= TSimdLevel::AVX2) {
        // Whole groups of eight columns by permutation, the ends pixel by pixel.
        const int32_t from = std::min(X1, (X0 + 7) / 8 * 8), to = std::max(from, X1 / 8 * 8);
        if (!Columns.Pickable || to - from < 8) {
            SampleAvx2(Out + X0, row, columns, weights, count);
            return;
        }
        SampleScalar(Out + X0, row, columns, weights, from - X0);
        SamplePicked(Out, row, Columns.Left.data(), Columns.Picks.data(), Columns.Paired.data(), from, to);
        SampleScalar(Out + to, row, Columns.Left.data() + to, Columns.Weights.data() + to, X1 - to);
        return;
    }
    if (level_ >= TSimdLevel::SSE2) {
        SampleSse2(Out + X0, row, columns, weights, count);
        return;
    }
#endif
    SampleScalar(Out + X0, row, columns, weights, count);
}

void TJourneyComposer::Compose(TBitmap& Frame, const TBitmap& Inner, const TBitmap* Outer, double Ratio) {
    const int32_t width = Inner.Width(), height = Inner.Height();
    if (!(Ratio >= 1.0 && Ratio <= 2.0)) throw ERangeError("Journey frame ratio out of range");
    if (Outer && (Outer->Width() != width || Outer->Height() != height))
        throw ERangeError("Journey pictures of different sizes");
    if (Frame.Width() != width || Frame.Height() != height) Frame.SetSize(width, height);
    if (width == 0 || height == 0) return;
    if (Ratio == 1.0) {
        std::memcpy(Frame.Scanline(0), Inner.Scanline(0), sizeof(uint32_t) * width * static_cast<std::size_t>(height));
        return;
    }
    if (!Outer) throw ERangeError("Journey frame without its outer picture");
    int32_t innerX0 = 0, innerX1 = 0, innerY0 = 0, innerY1 = 0;
    Covered(width, Ratio, innerX0, innerX1);
    Covered(height, Ratio, innerY0, innerY1);
    const double outerStep = Ratio / 2;
    Place(outer_, width, outerStep);
    Place(inner_, width, Ratio);
    row_.resize(static_cast<std::size_t>(width) + 8);
    for (int32_t y = 0; y < height; ++y) {
        uint32_t* out = Frame.Scanline(y);
        if (y >= innerY0 && y < innerY1 && innerX0 < innerX1) {
            SampleRow(out, *Outer, outer_, outerStep, y, 0, innerX0);
            SampleRow(out, *Outer, outer_, outerStep, y, innerX1, width);
            SampleRow(out, Inner, inner_, Ratio, y, innerX0, innerX1);
        } else {
            SampleRow(out, *Outer, outer_, outerStep, y, 0, width);
        }
    }
}

}  // namespace nimbrel
