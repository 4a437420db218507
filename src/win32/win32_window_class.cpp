#include "win32/win32_window_class.h"

#include "win32/win32_error.h"

namespace nimbrel {

void RegisterWindowClass(HINSTANCE Instance, const wchar_t* Name, WNDPROC Procedure, LPCWSTR Cursor) {
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(Instance, Name, &windowClass)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = Instance;
    windowClass.hIcon = LoadIconW(Instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, Cursor);
    windowClass.lpszClassName = Name;
    if (!RegisterClassExW(&windowClass)) RaiseLastOSError();
}

}  // namespace nimbrel
