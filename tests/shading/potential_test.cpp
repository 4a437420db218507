#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/mandel_class.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

// An engine with a cache of 3 x 3 cells for the kernel tests.
void SmallCache(TMandel& m) { m.ResultCache.assign(3, std::vector<TResultCell>(3)); }

TEST(CacheKernels, CountsAgreeWithTheIntegerKernelsAtRadiusTwo) {
    for (const uint8_t kind : {fkMandelbrot, fkJulia}) {
        for (const int32_t power : {2, 3, 5}) {
            TMandel m;
            if (kind == fkJulia) {
                m.SwitchKind();
                m.SetJuliaConstant({-0.4, 0.6});
            }
            m.SetPower(power);
            m.SetMaxIter(100);
            SmallCache(m);
            for (int i = 0; i < 40; ++i) {
                for (int j = 0; j < 40; ++j) {
                    const TComplexPoint p{-2 + i * 0.1, -2 + j * 0.1};
                    if (kind == fkMandelbrot)
                        m.IterateMandelToCache(p, 1, 2);
                    else
                        m.IterateJuliaToCache(p, 1, 2);
                    const int32_t expected = kind == fkMandelbrot
                                                 ? (power == 2 ? m.IterateMandel2(p) : m.IterateMandelN(p))
                                                 : (power == 2 ? m.IterateJulia2(p) : m.IterateJuliaN(p));
                    const TResultCell& cell = m.ResultCache[1][2];
                    ASSERT_EQ(cell.Count, expected) << int(kind) << " " << power << " " << p.Re << "," << p.Im;
                    if (cell.Count != 0) {
                        EXPECT_GE(cell.Z.Re * cell.Z.Re + cell.Z.Im * cell.Z.Im, 4.0);
                    }
                }
            }
        }
    }
}

TEST(CacheKernels, LastZAndTheExactBailout) {
    TMandel m;
    SmallCache(m);
    m.IterateMandelToCache({2, 0}, 0, 0);  // |z|^2 = 4 exactly escapes
    EXPECT_EQ(m.ResultCache[0][0].Count, 1);
    EXPECT_EQ(m.ResultCache[0][0].Z.Re, 2);
    m.SetEscapeRadius(3);
    m.IterateMandelToCache({1, 0}, 0, 0);  // z: 1, 2, 5
    EXPECT_EQ(m.ResultCache[0][0].Count, 3);
    EXPECT_EQ(m.ResultCache[0][0].Z.Re, 5);
    m.SetEscapeRadius(-3);  // only the square counts
    m.IterateMandelToCache({1, 0}, 0, 0);
    EXPECT_EQ(m.ResultCache[0][0].Count, 3);
    m.SetEscapeRadius(0);  // everything escapes at the first step
    m.IterateMandelToCache({0, 0}, 0, 0);
    EXPECT_EQ(m.ResultCache[0][0].Count, 1);

    m.SwitchKind();
    m.SetJuliaConstant({0, 0});
    m.SetEscapeRadius(2);
    m.IterateJuliaToCache({3, 0}, 2, 2);  // the start is never tested
    EXPECT_EQ(m.ResultCache[2][2].Count, 1);
    EXPECT_EQ(m.ResultCache[2][2].Z.Re, 9);
}

TEST(CacheKernels, NoStepWithoutAnIterationLimit) {
    TMandel m;
    SmallCache(m);
    m.SetMaxIter(0);
    m.IterateMandelToCache({5, 5}, 1, 1);
    EXPECT_EQ(m.ResultCache[1][1].Count, 0);
    EXPECT_EQ(m.ResultCache[1][1].Z.Re, 0);
    EXPECT_EQ(m.ResultCache[1][1].Z.Im, 0);
    m.SwitchKind();
    m.IterateJuliaToCache({5, -4}, 1, 1);
    EXPECT_EQ(m.ResultCache[1][1].Count, 0);
    EXPECT_EQ(m.ResultCache[1][1].Z.Re, 5);
    EXPECT_EQ(m.ResultCache[1][1].Z.Im, -4);
    m.SetMaxIter(std::numeric_limits<int32_t>::max());  // no overflow of the step number
    m.IterateJuliaToCache({5, -4}, 1, 1);
    EXPECT_EQ(m.ResultCache[1][1].Count, 1);
}

TEST(CacheKernels, AnIndexOutsideTheCacheRaises) {
    TMandel m;
    SmallCache(m);
    for (const auto& [x, y] : {std::pair{3, 0}, std::pair{0, 3}, std::pair{-1, 0}, std::pair{0, -1}}) {
        EXPECT_THROW(m.IterateMandelToCache({0, 0}, x, y), ERangeError) << x << "," << y;
    }
    m.ResultCache.clear();
    EXPECT_THROW(m.IterateMandelToCache({0, 0}, 0, 0), ERangeError);
}

TEST(Potentials, GreenSmoothAndCosine) {
    TMandel m;
    EXPECT_DOUBLE_EQ(m.PotentialGreen({4, 0}, 3), 0.25);  // log2 16 * 0.5 / 8
    EXPECT_EQ(m.PotentialGreen({0, 0}, 3), 0);
    EXPECT_EQ(m.PotentialGreen({std::numeric_limits<double>::quiet_NaN(), 0}, 4), 0);
    EXPECT_DOUBLE_EQ(m.PotentialGreen({0, 2}, 0), 1);  // count 0: 2^0 = 1
    // 2^2000 overflows a double; the quotient is still a number.
    EXPECT_EQ(m.PotentialGreen({4, 0}, 2000), 0);
    EXPECT_GT(m.PotentialGreen({1e150, 0}, 1060), 0);  // a subnormal result

    EXPECT_NEAR(m.PotentialSmooth({std::exp(2.0), 0}, 5), 4, 1e-12);
    EXPECT_EQ(m.PotentialSmooth({1, 0}, 5), 0);
    EXPECT_EQ(m.PotentialSmooth({0.5, 0.5}, 5), 0);
    EXPECT_EQ(m.PotentialSmooth({0, 0}, 5), 0);
    EXPECT_EQ(m.PotentialSmooth({std::numeric_limits<double>::quiet_NaN(), 0}, 4), 0);
    m.SetPower(3);  // the divisor stays ln 2
    EXPECT_NEAR(m.PotentialSmooth({std::exp(2.0), 0}, 5), 4, 1e-12);

    EXPECT_DOUBLE_EQ(m.PotentialCosine({3, 0}, 1), std::cos(9.0));
    EXPECT_EQ(m.PotentialCosine({3, 0}, 1), m.PotentialCosine({3, 0}, 77));
    EXPECT_EQ(m.PotentialCosine({4e9, 0}, 1), 0);  // |z|^2 beyond 2^63
}

TEST(Potentials, ScaleShrinksGreenAndGrowsTheOthers) {
    TMandel m;
    const double green = m.PotentialGreen({4, 0}, 3);
    const double smooth = m.PotentialSmooth({50, 0}, 7);
    const double cosine = m.PotentialCosine({3, 0}, 1);
    m.SetScaleExponent(-2);
    EXPECT_DOUBLE_EQ(m.GetScale(), 0.01);
    EXPECT_DOUBLE_EQ(m.PotentialGreen({4, 0}, 3), green / 100);
    EXPECT_DOUBLE_EQ(m.PotentialSmooth({50, 0}, 7), smooth * 100);
    EXPECT_DOUBLE_EQ(m.PotentialCosine({3, 0}, 1), cosine * 100);
}

struct ShadeCase {
    const char* name;
    TShadeFunc f;
    double flat;      // at d = 0
    double low, high;  // range over every d
};

TEST(Shading, FlatGroundAndTheRanges) {
    EXPECT_EQ(Sqrt2, std::sqrt(2.0));
    const ShadeCase cases[] = {
        {"SignedCosine", ShadeSignedCosine, 1, -1, 1},
        {"OffsetRatio", ShadeOffsetRatio, 1 / (2 * std::sqrt(2.0)), -1, 1},
        {"Reciprocal", ShadeReciprocal, 1 / (std::sqrt(2.0) + 1), 0, 1 / (std::sqrt(2.0) + 1)},
        {"Sine", ShadeSine, 0, -1, 1},
    };
    for (const ShadeCase& c : cases) {
        EXPECT_NEAR(c.f(0.3, 0.3, 0.3), c.flat, 1e-15) << c.name;
        for (const double d : {-1e300, -1e6, -10.0, -1.0, -1e-9, 0.0, 1e-9, 0.5, 1.0, 10.0, 1e6, 1e300}) {
            const double s = c.f(0, d, 0);  // B + C - 2A = d
            EXPECT_GE(s, c.low) << c.name << " " << d;
            EXPECT_LE(s, c.high) << c.name << " " << d;
            for (const uint8_t fold : {0, 1}) {
                for (const uint8_t invert : {0, 1}) {
                    TMandel m;
                    m.InvertBrightness = invert;
                    const double v = fold ? m.BrightnessAbs(s) : m.BrightnessShift(s);
                    EXPECT_TRUE(v >= 0 && v <= 1) << c.name << " " << d << " " << v;
                }
            }
        }
    }
}

TEST(Shading, TheSlopeIsTheSumOfTheTwoDifferences) {
    EXPECT_EQ(ShadeOffsetRatio(1, 3, 0), ShadeOffsetRatio(0, 1, 0));  // d = 1 both
    EXPECT_NEAR(ShadeSine(0, -5, 0), -5 / std::sqrt(27.0), 1e-15);
    // The signed cosine flips at the smallest rise.
    EXPECT_NEAR(ShadeSignedCosine(0, 1e-9, 0), -1, 1e-15);
    EXPECT_NEAR(ShadeSignedCosine(0, -1e-9, 0), 1, 1e-15);
}

TEST(Shading, TransfersAndInversion) {
    TMandel m;
    EXPECT_EQ(m.BrightnessShift(0), 0.5);
    EXPECT_EQ(m.BrightnessShift(-1), 0);
    EXPECT_EQ(m.BrightnessAbs(-0.25), 0.25);
    m.InvertBrightness = 1;
    EXPECT_EQ(m.BrightnessShift(0), 0.5);
    EXPECT_EQ(m.BrightnessShift(-1), 1);
    EXPECT_EQ(m.BrightnessAbs(-0.25), 0.75);
    m.InvertBrightness = 2;  // only 1 inverts
    EXPECT_EQ(m.ApplyInvert(0.25), 0.25);
}

}  // namespace
}  // namespace nimbrel
