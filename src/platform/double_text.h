// Doubles to and from decimal text by the C library (strtod rounds correctly,
// printf's digits are exact), in the forms std::from_chars and std::to_chars
// take and give: for a standard library without those conversions of doubles
// (libc++ before 14, the browser's).
#pragma once

namespace nimbrel {

// The double of [First, Last), text that the caller has checked to be a
// decimal number; false when the C library reads less than all of it.
// OutOfRange: the value overflows, or underflows to zero.
bool ParseDoubleByC(const char* First, const char* Last, double& Value, bool& OutOfRange);

// The fewest significant digits that read back as Value (finite), written
// plainly or with an exponent, whichever is shorter (plainly when both are as
// long); null when [First, Last) is too small, else the end of the text.
char* FormatDoubleByC(char* First, char* Last, double Value);

}  // namespace nimbrel
