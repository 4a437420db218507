// The table of code page 932 (the browser's conversions) against the system's
// own: every code and every character converts alike, or fails alike.
#include "platform/codepage_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

template <class F> std::optional<std::string> Try(F convert, const std::string& input) {
    try {
        return convert(input);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

#ifndef _WIN32
TEST(CodePageTable, DecodesEveryCodeAsTheSystem) {
    const auto system = [](const std::string& b) { return DecodeCp932(b); };
    const auto table = [](const std::string& b) { return DecodeCp932ByTable(b); };
    int agreed = 0;
    for (int first = 0; first < 256; ++first) {
        const std::string one(1, static_cast<char>(first));
        ASSERT_EQ(Try(table, one), Try(system, one)) << first;
        for (int second = 0; second < 256; ++second) {
            const std::string two = one + static_cast<char>(second);
            const std::optional<std::string> expected = Try(system, two);
            ASSERT_EQ(Try(table, two), expected) << first << " " << second;
            agreed += expected.has_value();
        }
    }
    EXPECT_GT(agreed, 9000);
    EXPECT_EQ(DecodeCp932ByTable("\x97\x5B\x8F\xC4\x82\xAF"), "夕焼け");
}

TEST(CodePageTable, EncodesEveryCharacterAsTheSystem) {
    const auto system = [](const std::string& t) { return EncodeCp932(t); };
    const auto table = [](const std::string& t) { return EncodeCp932ByTable(t); };
    for (uint32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string text;
        if (c < 0x80) {
            text = std::string(1, static_cast<char>(c));
        } else if (c < 0x800) {
            text = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            text = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        }
        ASSERT_EQ(Try(table, text), Try(system, text)) << std::hex << c;
    }
    // Beyond the plane, bad UTF-8: neither converts.
    for (const std::string bad : {"\xF0\x9F\x98\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE3\x81", "\xFF", "a\x80"}) {
        EXPECT_FALSE(Try(table, bad)) << bad;
        EXPECT_FALSE(Try(system, bad)) << bad;
    }
}
#endif

}  // namespace
}  // namespace nimbrel
