#include <limits>

#include "platform/exceptions.h"
#include "win32/win32_api.h"

namespace nimbrel {

namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw ERangeError();
    return static_cast<int>(size);
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty()) return {};
    const int length = CheckedLength(text.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    if (count > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), count);
    return wide;
}

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = CheckedLength(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(count), '\0');
    if (count > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), count, nullptr, nullptr);
    return utf8;
}

}  // namespace nimbrel
