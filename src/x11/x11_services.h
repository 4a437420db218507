// What the show asks of the system besides its window, on X11: the error box
// as a line on standard error (no modal box may appear over a locked screen),
// and no password routines (the screen-saver daemon locks the screen itself).
#pragma once

#include <string>

#include "platform/application.h"
#include "platform/password_services.h"

namespace nimbrel {

// "nimbrel: " and the text on one line: the box's own line breaks become
// blanks.
class TX11ErrorBox : public TErrorBox {
public:
    void ShowError(const std::string& text) override;
    void ShowException(const std::string& title, const std::string& text) override;
};

class TX11PasswordServices : public TPasswordServices {
public:
    std::function<bool(intptr_t window)> LoadVerifyScreenSavePwd() override { return {}; }
    bool CallPwdChangePasswordA(intptr_t) override { return false; }
};

}  // namespace nimbrel
