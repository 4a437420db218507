// Text conversions, rounding and checked integer arithmetic as the program's
// runtime has them: every case C++ leaves undefined is an exception here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

// Integer text: an optional sign, then decimal digits within the 32-bit signed
// range, or "$" and one to eight hexadecimal digits taken as the 32-bit pattern
// ("$FFFFFFFF" is -1). Anything else, blanks included, fails.
bool TryStrToInt(std::string_view text, int32_t& value);
int32_t StrToInt(std::string_view text);  // EConvertError on failure
int32_t StrToIntDef(std::string_view text, int32_t fallback);
// A picture size "WxH" (or "WXH"): two integer texts as TryStrToInt takes
// them; the caller judges their range. Width and Height change only on success.
bool TryParseSize(std::string_view text, int32_t& width, int32_t& height);

// Decimal text: optional sign, digits with an optional "." fraction, optional
// exponent; the value must be a finite double. "nan", "inf", "1e999" fail.
bool TryStrToFloat(std::string_view text, double& value);
double StrToFloat(std::string_view text);  // EConvertError on failure
// The shortest decimal text that reads back to exactly Value ("0.1", "-0.8",
// "1e-13", "1.2345678901234567e+20"), in a form TryStrToFloat reads. A NaN or
// an infinity raises EConvertError.
std::string FloatToShortestStr(double Value);

std::string IntToStr(int64_t value);
// "$" and exactly eight upper-case hexadecimal digits of the 32-bit pattern.
std::string IntToHex8(uint32_t value);

// Nearest integer, halves to the even neighbour. NaN, infinities and values
// outside the target range raise ERangeError.
int64_t Round64(double value);
int32_t Round(double value);
// Truncation toward zero, with the same checks.
int64_t Trunc64(double value);
int32_t Trunc(double value);
// Narrowing with a range check.
int32_t CheckedInt32(int64_t value);
uint8_t CheckedByte(int64_t value);

// Integer div and mod truncate toward zero; a zero divisor raises EDivByZero,
// and INT32_MIN div -1 raises ERangeError.
int32_t Div(int32_t a, int32_t b);
int32_t Mod(int32_t a, int32_t b);
int64_t Div64(int64_t a, int64_t b);
int64_t Mod64(int64_t a, int64_t b);

// ASCII-only upper case; "blanks" are the characters with code 32 or less.
std::string UpperCase(std::string_view text);
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
std::string_view TrimBlanks(std::string_view text);

}  // namespace nimbrel
