#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../support/environment.h"
#include "../support/simd_levels.h"
#include "engine/batch_kernels.h"
#include "engine/kernels.h"
#include "engine/mandel_class.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "shell/journey.h"

namespace nimbrel {
namespace {

using testing::SetEnv;

#if defined(NDEBUG)
constexpr std::size_t kScale = 4;  // release: millions of point evaluations
#else
constexpr std::size_t kScale = 1;  // the sanitizer build runs the same cases, fewer points
#endif

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Equal bit for bit; two NaNs count as equal whatever their payload, which
// the compiler's choice of operand order may change.
bool SameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

struct TPoints {
    std::vector<double> Re, Im;
    void Add(double re, double im) {
        Re.push_back(re);
        Im.push_back(im);
    }
    std::size_t Size() const { return Re.size(); }
};

// Points where a vector kernel most easily goes wrong.
TPoints HardPoints(std::size_t randomCount, uint32_t seed) {
    TPoints p;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    // On the bailout circle: |c|^2 lands on 4 exactly or within an ulp.
    for (double re : {2.0, -2.0, 0.0, 1.2, -1.2, 1.6, std::sqrt(2.0), std::nextafter(2.0, 0.0),
                      std::nextafter(2.0, 3.0)})
        for (double im : {0.0, -0.0, 2.0, -2.0, 1.6, 1.2, std::sqrt(2.0), std::nextafter(0.0, 1.0)})
            p.Add(re, im);
    for (std::size_t i = 0; i < randomCount / 8; ++i) {
        const double t = unit(rng) * 6.283185307179586;
        p.Add(2 * std::cos(t), 2 * std::sin(t));
    }
    // Huge, tiny, subnormal and non-finite coordinates.
    const double odd[] = {0.0,    -0.0,     1e-300, -5e-324, 4.9e-324, 1e-160, 1e154, -1e154,
                          1e300,  -1e308,   std::numeric_limits<double>::max(), kInf, -kInf, kNaN,
                          -kNaN,  0.25,     -0.75,  0.3};
    for (double re : odd)
        for (double im : odd) p.Add(re, im);
    // Near the boundary of the set: bisect between a point inside and one
    // outside, then scatter tiny steps around the result.
    TMandel m;
    m.SetMaxIter(400);
    for (std::size_t i = 0; i < randomCount / 64; ++i) {
        const double t = unit(rng) * 6.283185307179586;
        TComplexPoint in{-0.1, 0}, out{-0.1 + 2.5 * std::cos(t), 2.5 * std::sin(t)};
        for (int k = 0; k < 50; ++k) {
            const TComplexPoint mid{(in.Re + out.Re) / 2, (in.Im + out.Im) / 2};
            (m.IterateMandel2(mid) == 0 ? in : out) = mid;
        }
        for (int k = 0; k < 8; ++k) p.Add(in.Re + (unit(rng) - 0.5) * 1e-9, in.Im + (unit(rng) - 0.5) * 1e-9);
    }
    // Plain random points over the usual views.
    for (std::size_t i = 0; i < randomCount / 2; ++i) p.Add(unit(rng) * 4.5 - 2.5, unit(rng) * 3 - 1.5);
    return p;
}

// The kernels of one level against the reference iteration, point by point.
class BatchKernelsAtLevel : public testing::SimdLevelTest {
protected:
    void ExpectSameAsScalar(const TBatchParams& params, const TPoints& pts, bool shareIm,
                            const std::string& what) const {
        const std::size_t n = pts.Size();
        TBatchPoints in{pts.Re.data(), pts.Im.data(), shareIm, n};
        std::vector<int32_t> wantCount(n), gotCount(n);
        std::vector<double> wantRe(n), wantIm(n), gotRe(n), gotIm(n);
        for (std::size_t k = 0; k < n; ++k) {
            const TComplexPoint point{pts.Re[k], shareIm ? pts.Im[0] : pts.Im[k]};
            const TOrbitEnd end =
                params.Julia ? IterateOrbit(point, {params.JuliaRe, params.JuliaIm}, params.Power, params.MaxIter,
                                            params.Bailout)
                             : IterateOrbit({0, 0}, point, params.Power, params.MaxIter, params.Bailout);
            wantCount[k] = end.Count;
            wantRe[k] = end.Z.Re;
            wantIm[k] = end.Z.Im;
        }
        // With and without the final z: the two paths store differently.
        const TSimdLevel level = Level();
        IterateBatch(level, params, in, {gotCount.data(), gotRe.data(), gotIm.data()});
        std::vector<int32_t> countOnly(n, -7);
        IterateBatch(level, params, in, {countOnly.data(), nullptr, nullptr});
        std::size_t bad = 0;
        for (std::size_t k = 0; k < n && bad < 5; ++k) {
            const double im = shareIm ? pts.Im[0] : pts.Im[k];
            if (gotCount[k] != wantCount[k] || countOnly[k] != wantCount[k] || !SameDouble(gotRe[k], wantRe[k]) ||
                !SameDouble(gotIm[k], wantIm[k])) {
                ++bad;
                ADD_FAILURE() << what << " " << SimdLevelName(level) << " point " << k << " (" << pts.Re[k] << ", "
                              << im << "): count " << gotCount[k] << "/" << countOnly[k] << " want " << wantCount[k]
                              << ", z (" << gotRe[k] << ", " << gotIm[k] << ") want (" << wantRe[k] << ", "
                              << wantIm[k] << ")";
            }
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Levels, BatchKernelsAtLevel, ::testing::ValuesIn(testing::kSimdLevels),
                         testing::SimdLevelTestName);

TEST(BatchKernels, ScalarBatchAgreesWithTheEngineKernels) {
    const TPoints pts = HardPoints(2000 * kScale, 1);
    TMandel m;
    m.SetMaxIter(300);
    m.SwitchKind();
    m.SetJuliaConstant({-0.75, 0.11});
    std::vector<int32_t> counts(pts.Size());
    for (int32_t power : {2, 3, 4, 7}) {
        m.SetPower(power);
        for (bool julia : {false, true}) {
            TBatchParams p{julia, -0.75, 0.11, power, 300, 4.0};
            IterateBatchScalar(p, {pts.Re.data(), pts.Im.data(), false, pts.Size()}, {counts.data(), nullptr, nullptr});
            for (std::size_t k = 0; k < pts.Size(); ++k) {
                const TComplexPoint c{pts.Re[k], pts.Im[k]};
                const int32_t want = power == 2 ? (julia ? m.IterateJulia2(c) : m.IterateMandel2(c))
                                                : (julia ? m.IterateJuliaN(c) : m.IterateMandelN(c));
                ASSERT_EQ(counts[k], want) << "power " << power << " julia " << julia << " at " << k;
            }
        }
    }
}

TEST_P(BatchKernelsAtLevel, MatchesScalarOnHardPoints) {
    const TPoints pts = HardPoints(20000 * kScale, 2);
    for (int32_t power : {2, 3, 4, 7}) {
        for (bool julia : {false, true}) {
            for (int32_t maxIter : {1, 2, 7, 250}) {
                const TBatchParams p{julia, -0.123, 0.745, power, maxIter, 4.0};
                ExpectSameAsScalar(p, pts, false,
                                   "power " + std::to_string(power) + (julia ? " julia" : " mandel") + " maxIter " +
                                       std::to_string(maxIter));
            }
        }
    }
}

TEST_P(BatchKernelsAtLevel, OtherBailoutsAsTheCacheKernelsUseThem) {
    const TPoints pts = HardPoints(2000 * kScale, 3);
    for (double bailout : {0.0, -1.0, 1e-300, 0.25, 100.0, 1e300, kInf, kNaN}) {
        for (int32_t power : {2, 3, 5}) {
            for (bool julia : {false, true}) {
                const TBatchParams p{julia, 0.285, 0.01, power, 60, bailout};
                ExpectSameAsScalar(p, pts, false, "bailout " + std::to_string(bailout) + " power " + std::to_string(power));
            }
        }
    }
}

TEST_P(BatchKernelsAtLevel, NoStepsAndOddPowersKeepTheStartingValue) {
    const TPoints pts = HardPoints(200, 4);
    for (int32_t maxIter : {0, -1, std::numeric_limits<int32_t>::min()})
        for (bool julia : {false, true}) ExpectSameAsScalar({julia, 0.3, 0.5, 2, maxIter, 4.0}, pts, false, "no steps");
    // Powers <= 1 leave z alone before c is added: z' = z + c.
    for (int32_t power : {1, 0, -5, std::numeric_limits<int32_t>::min()})
        ExpectSameAsScalar({true, 0.3, 0.5, power, 40, 4.0}, pts, false, "power " + std::to_string(power));
    std::vector<int32_t> count(1);
    std::vector<double> re(1), im(1);
    const double x = -1.5, y = 0.25;
    IterateBatch(Level(), {true, 9, 9, 2, 0, 4.0}, {&x, &y, false, 1}, {count.data(), re.data(), im.data()});
    EXPECT_EQ(count[0], 0);
    EXPECT_EQ(re[0], x);
    EXPECT_EQ(im[0], y);
}

TEST_P(BatchKernelsAtLevel, RowsOfEveryLengthShareOneImaginaryPart) {
    // Lengths around every vector width and slot count, including 0.
    TPoints row;
    for (int k = 0; k < 70; ++k) row.Add(-2.1 + k * 0.04, 0.0);
    for (double im : {0.0, 0.64, -1.0, kNaN}) {
        row.Im.assign(row.Size(), im);
        for (std::size_t len : {0, 1, 2, 3, 5, 8, 9, 15, 31, 32, 33, 63, 70}) {
            TPoints part;
            part.Re.assign(row.Re.begin(), row.Re.begin() + static_cast<std::ptrdiff_t>(len));
            part.Im.assign(len == 0 ? 1 : len, im);
            ExpectSameAsScalar({false, 0, 0, 2, 100, 4.0}, part, true, "row of " + std::to_string(len));
            ExpectSameAsScalar({true, -0.8, 0.156, 3, 100, 4.0}, part, true, "julia row of " + std::to_string(len));
        }
    }
}

TEST_P(BatchKernelsAtLevel, HugeIterationLimitDoesNotOverflow) {
    // Points just beyond the cusp of each power's set on the real axis escape
    // late but surely; every counter sees a limit of 2^31 - 1.
    const int32_t maxIter = std::numeric_limits<int32_t>::max();
    for (auto [power, cusp] : {std::pair{2, 0.25}, std::pair{3, 0.3849}, std::pair{6, 0.5824}}) {
        TPoints pts;
        for (int k = 0; k < 37; ++k) pts.Add(cusp + 1e-5 + k * 1e-3, 0.0);
        pts.Add(3, 3);
        pts.Add(kInf, 0);
        ExpectSameAsScalar({false, 0, 0, power, maxIter, 4.0}, pts, false, "INT32_MAX");
    }
    TPoints pts;
    for (int k = 0; k < 37; ++k) pts.Add(0.26 + k * 1e-3, 0.0);
    TMandel m;
    m.SetMaxIter(maxIter);
    std::vector<int32_t> counts(pts.Size());
    IterateBatch(Level(), {false, 0, 0, 2, maxIter, 4.0}, {pts.Re.data(), pts.Im.data(), false, pts.Size()},
                 {counts.data(), nullptr, nullptr});
    for (std::size_t k = 0; k < pts.Size(); ++k) EXPECT_EQ(counts[k], m.IterateMandel2({pts.Re[k], pts.Im[k]}));
}

// The vector kernels look at the escape condition once per block of steps
// where an escape is sure to last, and at every step elsewhere; these cases
// sit on both sides of that line and on the ends of the blocks.
TEST_P(BatchKernelsAtLevel, EscapesThatDoNotLastAndTheEndsOfBlocks) {
    // Julia sets with |c| > 2: from z = 1, c = -3 goes -2, 1, -2, ... (an
    // escape at once, then back inside), and many orbits escape and return.
    TPoints grid;
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) grid.Add(-2.5 + i * 0.125, -2.5 + j * 0.125);
    grid.Add(1, 0);
    grid.Add(kNaN, 0);
    grid.Add(0, kInf);
    for (auto [cr, ci] : {std::pair{-3.0, 0.0}, std::pair{-2.5, 0.3}, std::pair{2.1, 0.0}, std::pair{-1.99, 0.0},
                          std::pair{0.0, 1.985}}) {
        for (int32_t power : {1, 2, 3, 4}) {
            for (double bailout : {1.5, 2.0, 4.0, 9.0}) {
                for (int32_t maxIter : {4, 5, 6, 24, 26, 499, 500, 501}) {
                    ExpectSameAsScalar({true, cr, ci, power, maxIter, bailout}, grid, false,
                                       "julia (" + std::to_string(cr) + ", " + std::to_string(ci) + ") power " +
                                           std::to_string(power) + " bailout " + std::to_string(bailout) +
                                           " maxIter " + std::to_string(maxIter));
                }
            }
        }
    }
    // The Mandelbrot set where |c| is about 2: the antenna on the real axis
    // (inside the set up to -2) and the circle around it, every lane in its
    // own group and in groups with points that stay.
    TPoints ring;
    for (int k = 0; k <= 400; ++k) ring.Add(-2.0 + k * 1e-4, 0.0);
    for (int k = 0; k < 400; ++k) {
        const double t = k * 0.0157079632679;
        const double r = 1.97 + (k % 7) * 0.01;
        ring.Add(r * std::cos(t), r * std::sin(t));
        ring.Add(-0.1, 0.05 * (k % 3));
    }
    for (int32_t maxIter : {1, 3, 5, 7, 25, 50, 77, 500, 1001})
        for (int32_t power : {2, 3})
            ExpectSameAsScalar({false, 0, 0, power, maxIter, 4.0}, ring, false,
                               "ring power " + std::to_string(power) + " maxIter " + std::to_string(maxIter));
}

TEST_P(BatchKernelsAtLevel, LongLimitsOnHardPoints) {
    // Limits of 500 and more go in longer blocks.
    const TPoints pts = HardPoints(1000 * kScale, 5);
    for (int32_t power : {2, 3, 7})
        for (bool julia : {false, true})
            for (int32_t maxIter : {500, 777})
                ExpectSameAsScalar({julia, -0.123, 0.745, power, maxIter, 4.0}, pts, false,
                                   "power " + std::to_string(power) + (julia ? " julia" : " mandel") + " maxIter " +
                                       std::to_string(maxIter));
}

// The typical count only chooses the length of the blocks of steps (and with
// it how the search finds an escape: in the z kept after each step, or by
// making the block's steps again); every length gives the reference's counts
// and z, whatever the iteration limit, also where the limit ends a long block
// early and where escapes need not last.
TEST_P(BatchKernelsAtLevel, EveryBlockLengthForEveryLimit) {
    const TPoints pts = HardPoints(1000 * kScale, 6);
    struct Case {
        bool julia;
        double cr, ci, bailout;
    };
    const Case cases[] = {{false, 0, 0, 4.0}, {true, -0.123, 0.745, 4.0}, {true, -0.8, 0.156, 2500.0},
                          {true, -3.0, 0.0, 4.0} /* escapes that return */, {false, 0, 0, 1.5}};
    for (const Case& c : cases)
        for (int32_t power : {2, 3})
            for (int32_t typical : {1, 99, 100, 5000})
                for (int32_t maxIter : {1, 4, 26, 99, 250, 777}) {
                    TBatchParams p{c.julia, c.cr, c.ci, power, maxIter, c.bailout};
                    p.TypicalSteps = typical;
                    ExpectSameAsScalar(p, pts, false,
                                       "julia " + std::to_string(c.julia) + " c " + std::to_string(c.cr) +
                                           " bailout " + std::to_string(c.bailout) + " power " +
                                           std::to_string(power) + " typical " + std::to_string(typical) +
                                           " maxIter " + std::to_string(maxIter));
                }
}

// The kernels form 2x as x + x in some vector slots and as 2 * x in others
// (the adders and the multipliers share the work); that is exact only because
// both are the one rounding of the exact 2x. Over every coordinate of the hard
// points and their products, infinities, NaN, subnormals and the largest
// doubles included: the two agree bit for bit. Doubling a rounded product is
// not the same (2 (x y) against (2 x) y below the normal range), which is why
// the step keeps the reference's (2 x) y.
TEST(BatchKernels, DoublingAsAnAdditionOrAMultiplicationIsTheSameNumber) {
    const TPoints pts = HardPoints(2000, 7);
    volatile double two = 2.0;  // kept a multiplication
    std::vector<double> values(pts.Re);
    values.insert(values.end(), pts.Im.begin(), pts.Im.end());
    for (std::size_t k = 0; k + 1 < pts.Size(); ++k) values.push_back(pts.Re[k] * pts.Im[k + 1]);
    for (double v : {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                     std::numeric_limits<double>::max() / 2, std::nextafter(std::numeric_limits<double>::max() / 2, kInf)})
        for (double sign : {1.0, -1.0}) values.push_back(sign * v);
    for (double x : values) {
        const double sum = x + x, product = two * x;
        ASSERT_TRUE(SameDouble(sum, product)) << x;
    }
    const double x = 0.3, y = std::numeric_limits<double>::denorm_min();  // 0.3 ulp rounds to 0, 0.6 to 1
    EXPECT_NE(two * (x * y), (two * x) * y);
}

using BatchRowWorkAtLevel = testing::SimdLevelTest;
INSTANTIATE_TEST_SUITE_P(Levels, BatchRowWorkAtLevel, ::testing::ValuesIn(testing::kSimdLevels),
                         testing::SimdLevelTestName);

TEST_P(BatchRowWorkAtLevel, ComputesPointsIterationsAndPixelsAsThePlainLoops) {
    std::vector<int32_t> counts(70);
    for (std::size_t k = 0; k < counts.size(); ++k) counts[k] = static_cast<int32_t>((k * 37) % 13);  // 0..12
    std::vector<uint32_t> pixels(13);
    for (std::size_t c = 0; c < pixels.size(); ++c) pixels[c] = 0x01000000u * static_cast<uint32_t>(c) + 0x00ABCDEFu;
    const TSimdLevel level = Level();
    for (int32_t stride : {1, 2}) {
        for (auto [a, b] : {std::pair{0, 0}, std::pair{0, 70}, std::pair{3, 4}, std::pair{5, 36}, std::pair{17, 70}}) {
            const std::string what = std::string(SimdLevelName(level)) + " stride " + std::to_string(stride) +
                                     " [" + std::to_string(a) + ", " + std::to_string(b) + ")";
            std::vector<double> re(70, -7.0);
            RowPlanePoints(level, re.data(), a, b, 3, stride, 0.0013, -2.15);
            for (int32_t k = 0; k < 70; ++k) {
                const double want = k >= a && k < b ? static_cast<double>(3 + k * stride) * 0.0013 + -2.15 : -7.0;
                ASSERT_TRUE(SameDouble(re[static_cast<std::size_t>(k)], want)) << what << " at " << k;
            }
            for (int32_t maxIter : {12, 1000, 0, -5}) {
                uint64_t want = 0;
                for (int32_t k = a; k < b; ++k) {
                    const int32_t c = counts[static_cast<std::size_t>(k)];
                    want += c != 0 ? static_cast<uint64_t>(c) : static_cast<uint64_t>(std::max(maxIter, 0));
                }
                EXPECT_EQ(RowIterations(level, counts.data(), a, b, maxIter), want) << what << " limit " << maxIter;
                std::vector<uint32_t> row(2 * 70 + 3);
                EXPECT_EQ(RowPaint(level, counts.data(), a, b, maxIter, pixels.data(), row.data(), 3, stride), want)
                    << what << " painting, limit " << maxIter;
            }
            std::vector<uint32_t> row(2 * 70 + 3, 0x55u);
            RowPaint(level, counts.data(), a, b, 12, pixels.data(), row.data(), 3, stride);
            for (int32_t x = 0; x < static_cast<int32_t>(row.size()); ++x) {
                const int32_t k = (x - 3) / stride;
                const bool painted = x >= 3 && (x - 3) % stride == 0 && k >= a && k < b;
                const uint32_t want = painted ? pixels[static_cast<std::size_t>(counts[static_cast<std::size_t>(k)])] : 0x55u;
                ASSERT_EQ(row[static_cast<std::size_t>(x)], want) << what << " at pixel " << x;
            }
        }
    }
}

TEST(SimdLevels, NamesAndTheEnvironmentOnlyLowerTheChoice) {
    for (TSimdLevel l : {TSimdLevel::Scalar, TSimdLevel::SSE2, TSimdLevel::AVX2, TSimdLevel::AVX512}) {
        TSimdLevel parsed = TSimdLevel::Scalar;
        ASSERT_TRUE(ParseSimdLevel(SimdLevelName(l), parsed));
        EXPECT_EQ(parsed, l);
    }
    TSimdLevel unchanged = TSimdLevel::AVX2;
    for (const char* bad : {"", "AVX2", "avx", "sse2 ", "avx1024"}) EXPECT_FALSE(ParseSimdLevel(bad, unchanged)) << bad;
    EXPECT_FALSE(ParseSimdLevel(nullptr, unchanged));
    EXPECT_EQ(unchanged, TSimdLevel::AVX2);

    const char* saved = std::getenv("NIMBREL_SIMD");
    const std::string keep = saved ? saved : "";
    SetEnv("NIMBREL_SIMD", "scalar");
    EXPECT_EQ(DefaultSimdLevel(), TSimdLevel::Scalar);
    SetEnv("NIMBREL_SIMD", "avx512");
    EXPECT_EQ(DefaultSimdLevel(), SupportedSimdLevel());
    SetEnv("NIMBREL_SIMD", "nonsense");
    EXPECT_EQ(DefaultSimdLevel(), SupportedSimdLevel());
    SetEnv("NIMBREL_SIMD", saved ? keep.c_str() : nullptr);
}

// A point iterated in slices, each resuming from the z where the one before
// left it (a Mandelbrot point from its z with its own c, a Julia point as a
// Julia point started at its z), ends with the count and z of one go: random
// points (inside, outside, near the boundary, odd values), random slices and
// limits, every power kind and both bailouts.
TEST_P(BatchKernelsAtLevel, ResumedSlicesGiveTheCountsAndZOfOneGo) {
    const TSimdLevel level = Level();
    const TPoints pts = HardPoints(300 * kScale, 8);
    const std::size_t n = pts.Size();
    std::mt19937 rng(9);
    for (int32_t power : {2, 3, 5}) {
        for (bool julia : {false, true}) {
            for (double bailout : {4.0, 2500.0}) {
                const int32_t maxIter = std::uniform_int_distribution<int32_t>(1, 900)(rng);
                const TBatchParams whole{julia, -0.123, 0.745, power, maxIter, bailout};
                std::vector<int32_t> want(n);
                std::vector<double> wantRe(n), wantIm(n);
                IterateBatch(level, whole, {pts.Re.data(), pts.Im.data(), false, n}, {want.data(), wantRe.data(), wantIm.data()});
                // Slices of random length, every point resumed in each.
                std::vector<int32_t> count(n, 0), c(n);
                std::vector<double> zr(n), zi(n), outRe(n), outIm(n);
                for (std::size_t k = 0; k < n; ++k) {
                    zr[k] = julia ? pts.Re[k] : 0.0;
                    zi[k] = julia ? pts.Im[k] : 0.0;
                }
                std::vector<bool> going(n, true);
                for (int32_t done = 0; done < maxIter;) {
                    TBatchParams slice = whole;
                    slice.MaxIter = std::min(maxIter - done, std::uniform_int_distribution<int32_t>(1, 130)(rng));
                    slice.TypicalSteps = std::uniform_int_distribution<int32_t>(0, 2)(rng) * slice.MaxIter;
                    const TBatchPoints in = julia ? TBatchPoints{zr.data(), zi.data(), false, n}
                                                  : TBatchPoints{pts.Re.data(), pts.Im.data(), false, n, zr.data(), zi.data()};
                    IterateBatch(level, slice, in, {c.data(), outRe.data(), outIm.data()});
                    for (std::size_t k = 0; k < n; ++k) {
                        if (!going[k]) continue;
                        if (c[k] != 0) {
                            count[k] = done + c[k];
                            going[k] = false;
                        }
                        zr[k] = outRe[k];
                        zi[k] = outIm[k];
                    }
                    done += slice.MaxIter;
                }
                const std::string what = std::string(SimdLevelName(level)) + " power " + std::to_string(power) +
                                         (julia ? " julia" : " mandel") + " bailout " + std::to_string(bailout) +
                                         " maxIter " + std::to_string(maxIter);
                std::size_t bad = 0;
                for (std::size_t k = 0; k < n && bad < 5; ++k) {
                    if (count[k] == want[k] && SameDouble(zr[k], wantRe[k]) && SameDouble(zi[k], wantIm[k])) continue;
                    ++bad;
                    ADD_FAILURE() << what << " point " << k << " (" << pts.Re[k] << ", " << pts.Im[k] << "): count "
                                  << count[k] << " want " << want[k] << ", z (" << zr[k] << ", " << zi[k] << ") want ("
                                  << wantRe[k] << ", " << wantIm[k] << ")";
                }
            }
        }
    }
}

// Orbits that come back to an earlier value end early (all kernels, with and
// without the last z): over the whole pictures of every sample scene, its
// still and the widest view of its journey (where the set's interior fills
// the picture), the counts and last z are those of the reference iteration,
// which never looks for a cycle; and points deep inside with long limits,
// where the cycles are long and the last z is reached over whole cycles.
TEST_P(BatchKernelsAtLevel, OrbitsThatComeBackKeepTheCountsAndZOfTheSamplePictures) {
    TRecommendationList list;
    list.LoadScenes(NIMBREL_SAMPLES "/scenes.mrp");
    const int32_t w = static_cast<int32_t>(32 * kScale), h = w * 9 / 16;
    for (int32_t index = 0; index < list.Count(); ++index) {
        TMandel m;
        ApplyRecommendation(m, list, index, NIMBREL_SAMPLES "/palettes", dmNormal);
        const bool julia = m.GetKind() == fkJulia;
        for (double width : {m.GetViewWidth(), JourneyStartWidth(m.GetKind(), m.GetPower())}) {
            TPoints pts;
            for (int32_t j = 0; j < h; ++j)
                for (int32_t i = 0; i < w; ++i)
                    pts.Add(m.GetCenter().Re + (i - w / 2) * width / w, m.GetCenter().Im + (j - h / 2) * width / w);
            for (double bailout : {kIntegerBailout, m.GetEscapeRadiusSqr()}) {
                const TBatchParams p{julia, m.GetJuliaConstant().Re, m.GetJuliaConstant().Im, m.GetPower(),
                                     m.GetMaxIter(), bailout};
                ExpectSameAsScalar(p, pts, false, "scene " + std::to_string(index) + " width " + std::to_string(width));
            }
        }
    }
    TPoints inside;
    for (double re : {-0.1, -0.5, -1.0, -1.3, 0.25, -0.12, -1.76})
        for (double im : {0.0, 0.1, 0.3, 0.65, 0.75}) inside.Add(re, im);
    for (int32_t maxIter : {5000, 65537}) {
        ExpectSameAsScalar({false, 0, 0, 2, maxIter, 4.0}, inside, false, "inside " + std::to_string(maxIter));
        ExpectSameAsScalar({false, 0, 0, 3, maxIter, 4.0}, inside, false, "inside cubic " + std::to_string(maxIter));
        ExpectSameAsScalar({true, -0.123, 0.745, 2, maxIter, 4.0}, inside, false, "rabbit " + std::to_string(maxIter));
    }
}

}  // namespace
}  // namespace nimbrel
