// The system's screen-saver password routines, loaded at run time.
#pragma once

#include <cstdint>
#include <functional>

namespace nimbrel {

class TPasswordServices {
public:
    virtual ~TPasswordServices() = default;

    // "VerifyScreenSavePwd" of "PASSWORD.CPL": shows the password dialog owned
    // by the window and answers whether the password was right. Empty when the
    // library or the export is missing. The library stays loaded.
    virtual std::function<bool(intptr_t window)> LoadVerifyScreenSavePwd() = 0;

    // Loads "MPR.DLL", looks up "PwdChangePasswordA" and, when both are there,
    // calls it with ("SCRSAVE", parent, 0, 0), ignoring its result; releases
    // the library. Answers whether the routine could be called.
    virtual bool CallPwdChangePasswordA(intptr_t parent) = 0;
};

}  // namespace nimbrel
