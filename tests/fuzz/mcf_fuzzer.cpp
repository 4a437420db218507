// ReadMcfFile's reader over arbitrary bytes: it must never crash, hang or grow
// without bound, must leave the colours alone whenever it fails, and must give
// only plain colours when it succeeds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "scene/Hmcfr.h"

using namespace nimbrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TPaletteArray before{0x123456, 0x654321};
    TPaletteArray colors = before;
    const int32_t code = ReadMcfBytes(bytes, colors);
    const auto lines = static_cast<int64_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
                       (bytes.empty() || bytes.back() == '\n' ? 0 : 1);
    if (code != 0) {
        FUZZ_CHECK(colors == before);
        FUZZ_CHECK(code == mcfNoColor || (code >= 1 && code <= lines));
    } else {
        FUZZ_CHECK(!colors.empty());
        FUZZ_CHECK(colors.size() <= static_cast<std::size_t>(TPalette::MaxEntries));
        for (const int32_t color : colors) FUZZ_CHECK(color >= 0 && color <= 0xFFFFFF);
    }
    const std::string trimmed = TrimCommaFields(bytes);
    FUZZ_CHECK(TrimCommaFields(trimmed) == trimmed);
    return 0;
}
