// DecodeCp932 and EncodeCp932 through the system's own code page 932.
#include <limits>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "win32/win32_api.h"

namespace nimbrel {

namespace {

const char* const kNoMapping = "No mapping for the Unicode character exists in the target multi-byte code page";

}  // namespace

std::string DecodeCp932(std::string_view bytes) {
    if (bytes.empty()) return {};
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

std::string EncodeCp932(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw EConvertError(kNoMapping);
    const int length = static_cast<int>(text.size());
    // Strict UTF-8 in, and no best-fit look-alike out: a character without a
    // code of its own fails.
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (count <= 0) throw EConvertError(kNoMapping);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), count) != count)
        throw EConvertError(kNoMapping);
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), count, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) throw EConvertError(kNoMapping);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), count, bytes.data(), size, nullptr, &usedDefault) !=
            size ||
        usedDefault)
        throw EConvertError(kNoMapping);
    if (DecodeCp932(bytes) != text) throw EConvertError(kNoMapping);
    return bytes;
}

}  // namespace nimbrel
