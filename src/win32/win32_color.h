// Colours as the system draws them.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"
#include "win32/win32_api.h"

namespace nimbrel {

// A system colour (top bit set) is looked up; otherwise the red, green and
// blue bytes.
inline COLORREF ColorToRgb(TColor color) {
    if (color < 0) return GetSysColor(static_cast<int>(static_cast<uint32_t>(color) & 0xFFu));
    return static_cast<COLORREF>(color) & 0x00FFFFFFu;
}

}  // namespace nimbrel
