#include "scene/exact_numbers.h"

#include <cmath>

namespace nimbrel {

namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// The decimal text one unit of its last digit further from zero: the
// reader truncates toward zero, so the text that reads back as X may be the
// one just above X's nearest.
std::string AwayFromZero(std::string Text) {
    std::size_t end = Text.find_first_of("eE");
    if (end == std::string::npos) end = Text.size();
    for (std::size_t i = end; i-- > 0;) {
        if (!IsDigitChar(Text[i])) continue;
        if (Text[i] != '9') {
            ++Text[i];
            return Text;
        }
        Text[i] = '0';
    }
    // All nines: one more digit in front of the first.
    const std::size_t first = Text.find_first_of("0123456789");
    Text.insert(first, 1, '1');
    return Text;
}

bool ReadsBackAs(const std::string& Text, const TBigReal& X) {
    TBigReal read;
    return TBigReal::Parse(Text, X.Precision(), read) && read == X;
}

}  // namespace

bool ParseExactWidth(std::string_view Text, TFloatExp& Width) {
    TBigReal value;
    if (!TBigReal::Parse(Text, TBigReal::kMinBits, value)) return false;
    Width = TFloatExp::FromBig(value);
    return true;
}

bool HasManyDigits(std::string_view Text) {
    int significant = 0;
    bool started = false;
    for (const char c : Text) {
        if (c == 'e' || c == 'E') break;
        if (!IsDigitChar(c)) continue;
        if (c != '0') started = true;
        if (started) ++significant;
    }
    // Trailing zeros of the fraction count too: they are few in practice.
    return significant > 17;
}

std::string ExactText(const TBigReal& X) {
    if (X.IsZero()) return "0";
    // Enough digits for a step far below the last bit, from a few fewer.
    const int32_t enough = static_cast<int32_t>(std::ceil(X.Precision() * 0.30102999566398120)) + 2;
    for (int32_t digits = std::max(1, enough - 4); digits <= enough + 2; ++digits) {
        const std::string nearest = X.ToString(digits);
        if (ReadsBackAs(nearest, X)) return nearest;
        const std::string above = AwayFromZero(nearest);
        if (ReadsBackAs(above, X)) return above;
    }
    // Not reached for a value of the reader's own; the writer's read-back
    // check refuses a text that misses.
    return X.ToString(enough + 8);
}

std::string WidthText(const TFloatExp& Width) {
    const TBigReal value = Width.ToBig(TBigReal::kMinBits);
    for (int32_t digits = 1; digits <= 20; ++digits) {
        const std::string text = value.ToString(digits);
        TFloatExp read;
        if (ParseExactWidth(text, read) && read == Width) return text;
        const std::string above = AwayFromZero(text);
        if (ParseExactWidth(above, read) && read == Width) return above;
    }
    return value.ToString(24);
}

}  // namespace nimbrel
