// The system's screen-saver password routines, loaded when they are needed.
#pragma once

#include "platform/password_services.h"

namespace nimbrel {

class TWin32PasswordServices : public TPasswordServices {
public:
    std::function<bool(intptr_t window)> LoadVerifyScreenSavePwd() override;
    bool CallPwdChangePasswordA(intptr_t parent) override;
};

}  // namespace nimbrel
