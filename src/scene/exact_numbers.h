// The numbers of deep scene lines as text: the height with an exponent of
// any size, and the centre and constant with every digit the view needs and
// not one more.
#pragma once

#include <string>
#include <string_view>

#include "values/big_real.h"
#include "values/float_exp.h"

namespace nimbrel {

// A decimal text (as the reader's numbers: sign, digits, point, exponent)
// as an extended-range real, to 53 bits: false for a text that is no number
// or has an exponent beyond a billion.
bool ParseExactWidth(std::string_view Text, TFloatExp& Width);

// Whether a decimal text holds more significant digits than a double keeps
// (17): then its digits are kept besides the double.
bool HasManyDigits(std::string_view Text);

// The shortest decimal text that reads back (TBigReal::Parse at X's
// precision) as X itself.
std::string ExactText(const TBigReal& X);

// The shortest decimal text that reads back (ParseExactWidth) as Width.
std::string WidthText(const TFloatExp& Width);

}  // namespace nimbrel
