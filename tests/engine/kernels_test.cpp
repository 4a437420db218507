#include <gtest/gtest.h>

#include <limits>

#include "engine/mandel_class.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

TEST(Kernels, MandelbrotPower2CountsAndTheExactBailout) {
    TMandel m;
    EXPECT_EQ(m.IterateMandel2({0, 0}), 0);
    EXPECT_EQ(m.IterateMandel2({2, 0}), 1);
    EXPECT_EQ(m.IterateMandel2({1, 0}), 2);   // z: 1, 2
    EXPECT_EQ(m.IterateMandel2({-2, 0}), 1);  // |z|^2 = 4 exactly escapes
    EXPECT_EQ(m.IterateMandel2({0, 2}), 1);
    EXPECT_EQ(m.IterateMandel2({-1.9, 0}), 0);
    // Just inside the bailout after one step: escapes at the second.
    EXPECT_EQ(m.IterateMandel2({0, std::nextafter(2.0, 0.0)}), 2);
}

TEST(Kernels, JuliaPower2NeverTestsTheStartingPoint) {
    TMandel m;
    m.SwitchKind();
    m.SetJuliaConstant({0, 0});
    EXPECT_EQ(m.IterateJulia2({0.5, 0.5}), 0);
    EXPECT_EQ(m.IterateJulia2({3, 0}), 1);
    EXPECT_EQ(m.IterateJulia2({1e300, 0}), 1);
    EXPECT_EQ(m.IterateJulia2({std::sqrt(2.0), 0}), 1);  // 2.0000000000000004 after one step
}

TEST(Kernels, MaxIterZeroOrNegativeGivesZeroEverywhere) {
    TMandel m;
    for (int32_t maxIter : {0, -1, std::numeric_limits<int32_t>::min()}) {
        m.SetMaxIter(maxIter);
        for (int32_t power : {2, 3, 5}) {
            m.SetPower(power);
            EXPECT_EQ(m.IterateMandel2({5, 5}), 0);
            EXPECT_EQ(m.IterateJulia2({5, 5}), 0);
            EXPECT_EQ(m.IterateMandelN({5, 5}), 0);
            EXPECT_EQ(m.IterateJuliaN({5, 5}), 0);
        }
    }
}

TEST(Kernels, MaxIterOneAndTheLimitItself) {
    TMandel m;
    m.SetMaxIter(1);
    EXPECT_EQ(m.IterateMandel2({0, 0}), 0);
    EXPECT_EQ(m.IterateMandel2({2, 0}), 1);
    EXPECT_EQ(m.IterateMandel2({1, 0}), 0);  // would escape at 2
    m.SetMaxIter(2);
    EXPECT_EQ(m.IterateMandel2({1, 0}), 2);
}

TEST(Kernels, HigherPowers) {
    TMandel m;
    m.SetPower(3);
    EXPECT_EQ(m.IterateMandelN({1, 0}), 2);  // z: 1, 2
    EXPECT_EQ(m.IterateMandelN({0, 0}), 0);
    m.SetPower(5);
    EXPECT_EQ(m.IterateMandelN({1, 0}), 2);  // z: 1, 2
    EXPECT_EQ(m.IterateMandelN({0.5, 0}), 0);
}

TEST(Kernels, ThePowerTwoStepOfTheGeneralLoopIsTheSquareOfTheFastOne) {
    // ComplexPower(z, 2) + c is, bit for bit, (x^2 - y^2) + cr, (2x)y + ci:
    // the general loop and the loop of power 2 follow the same orbit.
    for (double re = -2.2; re < 1; re += 0.0371)
        for (double im = -1.3; im < 1.3; im += 0.0413) {
            const TComplexPoint s = ComplexPower({re, im}, 2);
            ASSERT_EQ(s.Re, re * re - im * im);
            ASSERT_EQ(s.Im, (2 * re) * im);
        }
}

TEST(Kernels, ComplexPower) {
    auto eq = [](TComplexPoint a, TComplexPoint b) { return a.Re == b.Re && a.Im == b.Im; };
    EXPECT_TRUE(eq(ComplexPower({0, 1}, 4), {1, 0}));
    EXPECT_TRUE(eq(ComplexPower({1, 1}, 3), {-2, 2}));
    EXPECT_TRUE(eq(ComplexPower({1.5, -2}, 1), {1.5, -2}));
    EXPECT_TRUE(eq(ComplexPower({1.5, -2}, 0), {1.5, -2}));
    EXPECT_TRUE(eq(ComplexPower({1.5, -2}, -7), {1.5, -2}));
    EXPECT_TRUE(eq(ComplexPower({2, 0}, 10), {1024, 0}));
    EXPECT_TRUE(eq(ComplexPower({0, 1}, 7), {0, -1}));
    const TComplexPoint huge = ComplexPower({1.5, 0}, std::numeric_limits<int32_t>::max());
    EXPECT_TRUE(std::isinf(huge.Re) || std::isnan(huge.Re));
}

TEST(Kernels, NonFiniteInputsAreHandledWithoutFault) {
    TMandel m;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(m.IterateMandel2({nan, 0}), 0);  // NaN never satisfies the test
    EXPECT_EQ(m.IterateMandel2({inf, 0}), 1);
    m.SetPower(5);
    EXPECT_EQ(m.IterateMandelN({nan, nan}), 0);
    EXPECT_EQ(m.IterateMandelN({-inf, 0}), 1);
}

TEST(ColourLookup, CycleAndStep) {
    TMandel m;
    const auto& t = m.GetColorTable();
    EXPECT_EQ(m.CountToColor(0), t[0]);
    EXPECT_EQ(m.CountToColor(1), t[2]);
    EXPECT_EQ(m.CountToColor(126), t[127]);
    EXPECT_EQ(m.CountToColor(127), t[1]);
    EXPECT_EQ(m.CountToColor(128), t[2]);
    m.SetColorStep(4);
    EXPECT_EQ(m.CountToColor(0), t[0]);
    EXPECT_EQ(m.CountToColor(1), t[1]);
    EXPECT_EQ(m.CountToColor(3), t[1]);
    EXPECT_EQ(m.CountToColor(4), t[2]);
    EXPECT_EQ(m.CountToColor(7), t[2]);
    EXPECT_EQ(m.CountToColor(127 * 4), t[1]);
    m.SetColorTable({10, 20});
    m.SetColorStep(1);
    for (int32_t count : {1, 2, 3, 1000}) EXPECT_EQ(m.CountToColor(count), 20);
}

TEST(ColourLookup, HostileStepAndCountRaiseInsteadOfMisbehaving) {
    TMandel m;
    m.SetColorStep(0);
    EXPECT_EQ(m.CountToColor(0), 0);  // count 0 never divides
    EXPECT_THROW(m.CountToColor(1), EDivByZero);
    m.SetColorStep(-1);
    EXPECT_EQ(m.CountToColor(1), m.GetColorTable()[0]);  // -1 mod 127 + 1 = 0
    EXPECT_THROW(m.CountToColor(2), ERangeError);
    // The one quotient that overflows 32 bits: 2^31 mod 127 = 8.
    EXPECT_EQ(m.CountToColor(std::numeric_limits<int32_t>::min()), m.GetColorTable()[9]);
    m.SetColorStep(1);
    m.SetColorTable({5});  // ColorCount 0
    EXPECT_THROW(m.CountToColor(1), EDivByZero);
}

}  // namespace
}  // namespace nimbrel
