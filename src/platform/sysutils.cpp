#include "platform/sysutils.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/double_text.h"
#include "platform/exceptions.h"

namespace nimbrel {

namespace {

#ifdef __cpp_lib_to_chars
// The standard library converts doubles itself.
bool ParseDouble(const char* first, const char* last, double& value, bool& outOfRange) {
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    outOfRange = result.ec == std::errc::result_out_of_range;
    return result.ptr == last && (outOfRange || result.ec == std::errc());
}

char* FormatDouble(char* first, char* last, double value) {
    const auto result = std::to_chars(first, last, value);
    return result.ec == std::errc() ? result.ptr : nullptr;
}
#else
// A standard library without the conversions of doubles (libc++ before 14).
bool ParseDouble(const char* first, const char* last, double& value, bool& outOfRange) {
    return ParseDoubleByC(first, last, value, outOfRange);
}
char* FormatDouble(char* first, char* last, double value) { return FormatDoubleByC(first, last, value); }
#endif

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) {
    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size()) return false;
    if (text[i] == '$') {
        ++i;
        const std::size_t digits = text.size() - i;
        if (digits < 1 || digits > 8) return false;
        uint32_t pattern = 0;
        for (; i < text.size(); ++i) {
            const int d = HexDigit(text[i]);
            if (d < 0) return false;
            pattern = (pattern << 4) | static_cast<uint32_t>(d);
        }
        if (negative) pattern = 0u - pattern;
        value = static_cast<int32_t>(pattern);
        return true;
    }
    int64_t magnitude = 0;
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

bool TryParseSize(std::string_view text, int32_t& width, int32_t& height) {
    const auto x = text.find_first_of("xX");
    int32_t w = 0, h = 0;
    if (x == std::string_view::npos || !TryStrToInt(text.substr(0, x), w) || !TryStrToInt(text.substr(x + 1), h))
        return false;
    width = w;
    height = h;
    return true;
}

int32_t StrToInt(std::string_view text) {
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

bool TryStrToFloat(std::string_view text, double& value) {
    // Check the form first: from_chars alone would take "inf", "nan" and hex.
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t numberStart = i;
    // The power of ten of the first significant digit, without the exponent;
    // it tells a value too small for a double from one too large.
    int64_t leadingPower = 0;
    bool significant = false;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (significant || text[i] != '0') {
            significant = true;
            ++leadingPower;
        }
        ++i, ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (!significant) {
                if (text[i] == '0')
                    --leadingPower;
                else
                    significant = true;
            }
            ++i, ++digits;
        }
    }
    if (digits == 0) return false;
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        std::size_t expDigits = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i, ++expDigits)
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');  // far past any double
        if (expDigits == 0) return false;
        if (negativeExponent) exponent = -exponent;
    }
    if (i != text.size()) return false;
    // from_chars takes no leading "+"; the sign is applied afterwards.
    double parsed = 0;
    const char* first = text.data() + numberStart;
    const char* last = text.data() + text.size();
    bool outOfRange = false;
    if (!ParseDouble(first, last, parsed, outOfRange)) return false;
    if (outOfRange) {
        // Underflow is still a finite value (zero), whether the text has an
        // exponent or many zeros after the point; overflow is not.
        if (leadingPower + exponent > 0) return false;
        parsed = 0.0;
    }
    if (!std::isfinite(parsed)) return false;
    value = (text[0] == '-') ? -parsed : parsed;
    return true;
}

double StrToFloat(std::string_view text) {
    double value = 0;
    if (!TryStrToFloat(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

std::string FloatToShortestStr(double Value) {
    if (!std::isfinite(Value)) throw EConvertError("A non-finite value has no decimal text");
    // Shortest round trip, plain or with an exponent, whichever is shorter.
    char buffer[32];
    const char* end = FormatDouble(buffer, buffer + sizeof buffer, Value);
    if (!end) throw EConvertError("A value has no decimal text");
    return std::string(buffer, static_cast<std::size_t>(end - buffer));
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex8(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "$%08X", value);
    return buffer;
}

int64_t Round64(double value) {
    // 2^63 is exact as a double; the valid range is [-2^63, 2^63).
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) throw ERangeError();
    const double rounded = std::nearbyint(value);  // the default mode: halves to even
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) throw ERangeError();
    return static_cast<int64_t>(rounded);
}

int32_t Round(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) throw ERangeError();
    return CheckedInt32(Round64(value));
}

int64_t Trunc64(double value) {
    if (!(value > -9223372036854777856.0 && value < 9223372036854775808.0)) throw ERangeError();
    return static_cast<int64_t>(value);
}

int32_t Trunc(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) throw ERangeError();
    return static_cast<int32_t>(value);
}

int32_t CheckedInt32(int64_t value) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw ERangeError();
    return static_cast<int32_t>(value);
}

uint8_t CheckedByte(int64_t value) {
    if (value < 0 || value > 255) throw ERangeError();
    return static_cast<uint8_t>(value);
}

int32_t Div(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero();
    if (a == std::numeric_limits<int32_t>::min() && b == -1) throw ERangeError();
    return a / b;
}

int32_t Mod(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero();
    if (b == -1) return 0;
    return a % b;
}

int64_t Div64(int64_t a, int64_t b) {
    if (b == 0) throw EDivByZero();
    if (a == std::numeric_limits<int64_t>::min() && b == -1) throw ERangeError();
    return a / b;
}

int64_t Mod64(int64_t a, int64_t b) {
    if (b == 0) throw EDivByZero();
    if (b == -1) return 0;
    return a % b;
}

std::string UpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return result;
}

std::string_view TrimBlanks(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

}  // namespace nimbrel
