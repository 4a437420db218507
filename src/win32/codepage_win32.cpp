// DecodeCp932 through the system's own code page 932.
#include <limits>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "win32/win32_api.h"

namespace nimbrel {

std::string DecodeCp932(std::string_view bytes) {
    if (bytes.empty()) return {};
    const char* const kNoMapping = "No mapping for the Unicode character exists in the target multi-byte code page";
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw EConvertError(kNoMapping);
    const int length = static_cast<int>(bytes.size());
    // MB_ERR_INVALID_CHARS: a lead byte without its trail byte or an
    // unassigned code fails instead of turning into a guessed character.
    const int count = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (count <= 0) throw EConvertError(kNoMapping);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(), count) != count)
        throw EConvertError(kNoMapping);
    return WideToUtf8(wide);
}

}  // namespace nimbrel
