#include "platform/double_text.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace nimbrel {

bool ParseDoubleByC(const char* first, const char* last, double& value, bool& outOfRange) {
    const std::string text(first, last);  // the caller has checked its grammar
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    outOfRange = errno == ERANGE && (std::isinf(value) || value == 0);
    return end == text.c_str() + text.size();
}

// The fewest significant digits that read back as the value, written plainly
// or with an exponent, whichever is shorter (plainly when both are as long).
char* FormatDoubleByC(char* first, char* last, double value) {
    std::string text;
    if (std::signbit(value)) text.push_back('-');
    const double magnitude = std::fabs(value);
    if (magnitude == 0) {
        text.push_back('0');
    } else {
        // The fewest digits: at each count, the nearest decimal of that
        // many digits, or else one of its two neighbours, may read back.
        std::string digits;
        int power = 0;
        for (int count = 1; count <= 17 && digits.empty(); ++count) {
            char scientific[40];
            std::snprintf(scientific, sizeof scientific, "%.*e", count - 1, magnitude);
            const std::string_view form(scientific);
            const std::size_t e = form.find('e');
            uint64_t nearest = 0;
            for (std::size_t k = 0; k < e; ++k)
                if (form[k] != '.') nearest = nearest * 10 + static_cast<uint64_t>(form[k] - '0');
            const int lastPower = std::atoi(scientific + e + 1) - (count - 1);
            for (const uint64_t candidate : {nearest, nearest + 1, nearest - 1}) {
                if (candidate == 0) continue;
                const std::string text = std::to_string(candidate) + "e" + std::to_string(lastPower);
                if (std::strtod(text.c_str(), nullptr) != magnitude) continue;
                digits = std::to_string(candidate);
                power = lastPower + static_cast<int>(digits.size()) - 1;
                break;
            }
        }
        while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
        const std::size_t count = digits.size();
        std::string exponentForm;
        exponentForm.push_back(digits[0]);
        if (count > 1) {
            exponentForm.push_back('.');
            exponentForm.append(digits, 1, std::string::npos);
        }
        char exponent[16];
        std::snprintf(exponent, sizeof exponent, "e%c%02d", power < 0 ? '-' : '+', power < 0 ? -power : power);
        exponentForm.append(exponent);
        std::string plain;
        if (power >= static_cast<int>(count) - 1) {
            // A whole number: every digit of its value (as long as the
            // shortest digits padded with zeros, and nearer the value).
            char whole[400];
            std::snprintf(whole, sizeof whole, "%.0f", magnitude);
            plain = whole;
        } else if (power < 0) {
            plain = "0.";
            plain.append(static_cast<std::size_t>(-power - 1), '0');
            plain.append(digits);
        } else {
            const auto point = static_cast<std::size_t>(power + 1);
            plain.assign(digits, 0, point);
            plain.push_back('.');
            plain.append(digits, point, std::string::npos);
        }
        text += plain.size() <= exponentForm.size() ? plain : exponentForm;
    }
    if (static_cast<std::size_t>(last - first) < text.size()) return nullptr;
    for (const char c : text) *first++ = c;
    return first;
}

}  // namespace nimbrel
