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
__attribute__((target("avx2"))) void BlendRowsAvx2(uint32_t* Out, const uint32_t* A, const uint32_t* B, uint32_t f,
                                                   int32_t Count) {
    const __m256i weights = _mm256_set1_epi16(static_cast<int16_t>(((f & 0xFF) << 8) | (kOne - f)));
    const __m256i round = _mm256_set1_epi16(kOne / 2);
    int32_t i = 0;
    for (; i + 8 <= Count; i += 8) {
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
    if (level_ >= TSimdLevel::AVX2)
        BlendRowsAvx2(row + first, a, b, y.Fraction, last - first + 1);
    else
#endif
        BlendRowsScalar(row + first, a, b, y.Fraction, last - first + 1);
    row[width] = row[width - 1];
#ifdef NIMBREL_COMPOSE_AVX2
    if (level_ >= TSimdLevel::AVX2) {
        SampleAvx2(Out + X0, row, columns, weights, count);
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
    row_.resize(static_cast<std::size_t>(width) + 1);
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
