#include "platform/sysutils.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "platform/exceptions.h"

namespace nimbrel {
namespace {

TEST(IntegerText, GoodInputs) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0", 0},         {"17", 17},          {"-17", -17},       {"+5", 5},
        {"2147483647", 2147483647},            {"-2147483648", std::numeric_limits<int32_t>::min()},
        {"$ff", 255},     {"$FF", 255},        {"$FFFFFFFF", -1},  {"$80000000", std::numeric_limits<int32_t>::min()},
        {"$0", 0},        {"007", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(IntegerText, BadInputs) {
    for (const char* text : {"", " 1", "1 ", "-", "+", "$", "$123456789", "2147483648", "-2147483649",
                             "1.0", "0x10", "abc", "1e3", "$G", "--1", "99999999999999999999"}) {
        int32_t value = 42;
        EXPECT_FALSE(TryStrToInt(text, value)) << text;
        EXPECT_EQ(value, 42) << text;
        EXPECT_THROW(StrToInt(text), EConvertError) << text;
    }
    EXPECT_EQ(StrToIntDef("x", 200), 200);
}

TEST(SizeText, TwoIntegersAroundAnX) {
    struct Case {
        const char* text;
        bool ok;
        int32_t w, h;
    };
    const Case cases[] = {{"3840x2160", true, 3840, 2160}, {"640X480", true, 640, 480}, {"-1x0", true, -1, 0},
                          {"640", false, 0, 0},          {"x480", false, 0, 0},       {"640x", false, 0, 0},
                          {"640x480x2", false, 0, 0},    {"640 x 480", false, 0, 0},  {"9999999999x1", false, 0, 0}};
    for (const Case& c : cases) {
        int32_t w = 7, h = 7;
        EXPECT_EQ(TryParseSize(c.text, w, h), c.ok) << c.text;
        EXPECT_EQ(w, c.ok ? c.w : 7) << c.text;  // untouched on failure
        EXPECT_EQ(h, c.ok ? c.h : 7) << c.text;
    }
}

TEST(DecimalText, GoodInputs) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0", 0},          {"-0.8", -0.8},   {"+2.5", 2.5},   {"1e3", 1000},   {"1E-3", 0.001},
        {".5", 0.5},       {"5.", 5},        {"-1.5e+2", -150}, {"1e-400", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToFloat(c.text), c.value) << c.text;
    EXPECT_EQ(StrToFloat("-0.8"), -0.8);
    // Below the range of a double is 0, with an exponent or without.
    const std::string zeros(330, '0');
    for (const std::string& tiny : {"0." + zeros + "1", "-0." + zeros + "1", "." + zeros + "1e-5",
                                    "0." + zeros + "1e-10", std::string("1e-99999999999999999999"), "1" + zeros + "e-700"})
        EXPECT_EQ(StrToFloat(tiny), 0) << tiny;
    EXPECT_EQ(StrToFloat("0." + zeros + "1e330"), 0.1);
}

TEST(DecimalText, BadInputs) {
    // Beyond the range of a double fails, with an exponent or without.
    const std::string zeros(330, '0');
    for (const std::string& huge : {"1" + zeros, "-1" + zeros + ".5", "0." + zeros + "1e700", std::string("1e99999999999999999999")})
        EXPECT_THROW(StrToFloat(huge), EConvertError) << huge;
    for (const char* text : {"", " 1", "1 ", "nan", "inf", "-inf", "1e999", "0x1p3", "1e", "e5", ".", "-",
                             "1,5", "1.2.3", "$10", "1e+"}) {
        double value = 0;
        EXPECT_FALSE(TryStrToFloat(text, value)) << text;
        EXPECT_THROW(StrToFloat(text), EConvertError) << text;
    }
}

// The shortest text of a double, and that the decimal reader takes every form
// it makes back to the very same double: plain, with an exponent of either
// sign, 17 digits, subnormal, the extremes.
TEST(DecimalText, ShortestTextReadsBackExactly) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {3.0, "3"},
        {-0.8, "-0.8"},
        {0.1, "0.1"},
        {1e-13, "1e-13"},
        {1.5e-7, "1.5e-07"},
        {1e21, "1e+21"},
        {123456789012.0, "123456789012"},
        {0.30000000000000004, "0.30000000000000004"},
        {-0.7453000000000001, "-0.7453000000000001"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToShortestStr(c.value), c.text) << c.text;

    auto readsBack = [](double value) {
        const std::string text = FloatToShortestStr(value);
        double back = 1;
        return TryStrToFloat(text, back) && std::bit_cast<uint64_t>(back) == std::bit_cast<uint64_t>(value);
    };
    for (double value : {std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                         std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                         -std::numeric_limits<double>::denorm_min(), std::nextafter(1.0, 2.0), 2.2250738585072009e-308})
        EXPECT_TRUE(readsBack(value)) << FloatToShortestStr(value);
    // Random bit patterns cover every exponent and mostly need 16 or 17 digits.
    std::mt19937_64 random(20240917);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value)) continue;
        ASSERT_TRUE(readsBack(value)) << FloatToShortestStr(value);
        ASSERT_LE(FloatToShortestStr(value).size(), 24u);
    }
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()})
        EXPECT_THROW(FloatToShortestStr(bad), EConvertError);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(63.75), 64);
    EXPECT_EQ(Round(127.5), 128);
    EXPECT_EQ(Round64(4503599627370497.0), 4503599627370497LL);
}

TEST(Rounding, NonFiniteAndOutOfRangeRaiseTheRangeError) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {nan, inf, -inf, 2147483647.5, -2147483648.6, 1e10}) EXPECT_THROW(Round(v), ERangeError) << v;
    for (double v : {nan, inf, -inf, 2147483648.0, -2147483649.0, 1e10}) EXPECT_THROW(Trunc(v), ERangeError) << v;
    for (double v : {nan, inf, 9.3e18, -9.3e18}) EXPECT_THROW(Round64(v), ERangeError) << v;
    EXPECT_EQ(Round(2147483647.4), 2147483647);
    EXPECT_EQ(Trunc(-2.9), -2);
    EXPECT_EQ(Trunc(2147483647.9), 2147483647);
    EXPECT_THROW(CheckedInt32(int64_t{1} << 31), ERangeError);
    EXPECT_THROW(CheckedByte(256), ERangeError);
    EXPECT_THROW(CheckedByte(-1), ERangeError);
}

TEST(IntegerArithmetic, DivAndModTruncateAndCheck) {
    EXPECT_EQ(Div(-7, 2), -3);
    EXPECT_EQ(Mod(-7, 2), -1);
    EXPECT_EQ(Mod(-1, 256), -1);
    EXPECT_THROW(Div(1, 0), EDivByZero);
    EXPECT_THROW(Mod(1, 0), EDivByZero);
    EXPECT_THROW(Div(std::numeric_limits<int32_t>::min(), -1), ERangeError);
    EXPECT_EQ(Mod(std::numeric_limits<int32_t>::min(), -1), 0);
    EXPECT_THROW(Div64(1, 0), EDivByZero);
}

TEST(Text, UpperCaseIsAsciiOnlyAndBlanksAreControlCodes) {
    EXPECT_EQ(UpperCase("t=julia \x82\xa0"), "T=JULIA \x82\xa0");
    EXPECT_EQ(TrimBlanks("\t \x01 a b \r\n"), "a b");
    EXPECT_EQ(IntToHex8(0x000080FF), "$000080FF");
}

}  // namespace
}  // namespace nimbrel
