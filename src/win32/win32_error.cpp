#include "win32/win32_error.h"

#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "win32/win32_api.h"

namespace nimbrel {

void RaiseLastOSError() {
    const DWORD code = GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    throw Exception("System Error.  Code: " + IntToStr(static_cast<int32_t>(code)) + ".\r\n" + WideToUtf8(text));
}

}  // namespace nimbrel
