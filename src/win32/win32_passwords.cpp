#include "win32/win32_passwords.h"

#include "win32/win32_api.h"

namespace nimbrel {

namespace {

using TVerifyScreenSavePwd = BOOL(WINAPI*)(HWND);
using TPwdChangePasswordA = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);

// Releases the library when it leaves scope.
class TLibrary {
public:
    explicit TLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}
    ~TLibrary() {
        if (module_) FreeLibrary(module_);
    }
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_;
};

}  // namespace

std::function<bool(intptr_t window)> TWin32PasswordServices::LoadVerifyScreenSavePwd() {
    // The library stays loaded for the rest of the process: the check may be
    // asked for again at the next click.
    const HMODULE library = LoadLibraryW(L"PASSWORD.CPL");
    if (!library) return {};
    const auto verify = ProcAddress<TVerifyScreenSavePwd>(library, "VerifyScreenSavePwd");
    if (!verify) return {};
    return [verify](intptr_t window) { return verify(ToHwnd(window)) != FALSE; };
}

bool TWin32PasswordServices::CallPwdChangePasswordA(intptr_t parent) {
    const TLibrary library(L"MPR.DLL");
    if (!library.Get()) return false;
    const auto change = ProcAddress<TPwdChangePasswordA>(library.Get(), "PwdChangePasswordA");
    if (!change) return false;
    change("SCRSAVE", ToHwnd(parent), 0, 0);
    return true;
}

}  // namespace nimbrel
