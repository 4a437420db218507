// The one place where the Win32 layer includes the system's headers: the
// Unicode (W) functions, no min/max macros, and the text conversions at the
// boundary. Inside the program every text is UTF-8; the system gets UTF-16.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

// UTF-8 to UTF-16; a byte that is no UTF-8 becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// The window handle of a command-line number: handles are 32-bit values that
// the system extends with their sign.
inline HWND ToHwnd(intptr_t handle) { return reinterpret_cast<HWND>(handle); }
inline intptr_t FromHwnd(HWND window) { return reinterpret_cast<intptr_t>(window); }

// A routine looked up with GetProcAddress, as the type it has.
template <typename TFunction>
TFunction ProcAddress(HMODULE module, const char* name) {
    // Through the generic function pointer type, which converts to any other
    // without a warning about the signature.
    return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The object whose window a window procedure runs for: the creation's
// parameter, kept in the window's user data from WM_NCCREATE on, when it
// also learns its window (its member Handle); null before, and once the
// object has cleared the user data.
template <typename TObject>
TObject* WindowObject(HWND Window, UINT Message, LPARAM LParam, HWND TObject::*Handle) {
    if (Message == WM_NCCREATE) {
        auto* object = static_cast<TObject*>(reinterpret_cast<const CREATESTRUCTW*>(LParam)->lpCreateParams);
        object->*Handle = Window;
        SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    return reinterpret_cast<TObject*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

}  // namespace nimbrel
