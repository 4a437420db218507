#include "values/Rgblib.h"

#include "platform/sysutils.h"
#include "platform/StandardLibrary.h"

namespace nimbrel {

namespace {

// Characters first..first+1 (0-based), as much of them as the text holds.
std::string_view Pair(std::string_view text, std::size_t first) {
    return first < text.size() ? text.substr(first, 2) : std::string_view();
}

}  // namespace

void TRgb::SetHex(std::string_view text) {
    SetR(HexToInt(Pair(text, 0)));
    SetG(HexToInt(Pair(text, 2)));
    SetB(HexToInt(Pair(text, 4)));
}

double TRgb::GetY() const { return r_ * 0.299 / 255 + g_ * 0.587 / 255 + b_ * 0.114 / 255; }

double TRgb::GetCb() const { return (b_ / 255.0 - GetY()) * 0.564; }

double TRgb::GetCr() const { return (r_ / 255.0 - GetY()) * 0.713; }

void TRgb::SetYCrCb(double y, double cr, double cb) {
    const double r = y + 1.4026 * cr;
    const double g = y - 0.7144 * cr - 0.3444 * cb;
    const double b = y + 1.773 * cb;
    SetR(Round(r * 255));
    SetG(Round(g * 255));
    SetB(Round(b * 255));
}

}  // namespace nimbrel
