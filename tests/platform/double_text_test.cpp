// The C library's conversions of doubles (the browser's build) against the
// standard library's: the same text for every value, the same value for
// every text.
#include "platform/double_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>
#include <string>

namespace nimbrel {
namespace {

#ifdef __cpp_lib_to_chars
std::string ByStandard(double v) {
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

std::string ByC(double v) {
    char buffer[64];
    char* end = FormatDoubleByC(buffer, buffer + sizeof buffer, v);
    return end ? std::string(buffer, end) : "(none)";
}

TEST(DoubleText, WritesAsToChars) {
    std::mt19937_64 random(932);
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 1e-5, 1e21, 1e22, 123456789012345680.0, 0.006,
                                  -0.7453, 2.5, 5e-324, std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::min(), std::ldexp(1.0, 60), std::ldexp(1.0, -60)};
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
        // Values of the sizes views have, and powers of two.
        values.push_back(std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 120)));
        values.push_back(std::ldexp(1.0, static_cast<int>(random() % 2000) - 1000));
    }
    for (const double v : values) ASSERT_EQ(ByC(v), ByStandard(v)) << v;
    char small[4];
    EXPECT_EQ(FormatDoubleByC(small, small + sizeof small, -0.7453), nullptr);
}

TEST(DoubleText, ReadsAsFromChars) {
    for (const std::string text : {"0", "-0.75", "1e-5", "1.5e+300", "2.2250738585072014e-308", "4.9e-324", "1e-400",
                                   "1e400", "0.1000000000000000055511151231257827", "123456789012345678901234567890"}) {
        double expected = 0, value = 0;
        bool outOfRange = false;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_TRUE(ParseDoubleByC(text.data(), text.data() + text.size(), value, outOfRange)) << text;
        EXPECT_EQ(outOfRange, result.ec == std::errc::result_out_of_range) << text;
        if (!outOfRange) {
            EXPECT_EQ(value, expected) << text;
        }
    }
}
#endif

}  // namespace
}  // namespace nimbrel
