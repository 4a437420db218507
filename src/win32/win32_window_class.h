// The window classes of the program's own windows.
#pragma once

#include "win32/win32_api.h"

namespace nimbrel {

// Registers the class Name with Procedure, the program's icon (its first
// icon resource, from which the system takes the small one too) and the
// system's Cursor, unless it is registered already; the system's error when
// it cannot.
void RegisterWindowClass(HINSTANCE Instance, const wchar_t* Name, WNDPROC Procedure, LPCWSTR Cursor);

}  // namespace nimbrel
