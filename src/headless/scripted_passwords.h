// Password services that answer what a test scripted and count the calls.
#pragma once

#include <deque>

#include "platform/password_services.h"

namespace nimbrel {

class TScriptedPasswordServices : public TPasswordServices {
public:
    // Whether "PASSWORD.CPL" with its export and "MPR.DLL" with its export
    // are there.
    bool HasVerify = true;
    bool HasChange = true;
    // The answers of the password dialog, in order; Default when none is left.
    std::deque<bool> Answers;
    bool Default = true;
    // What a dialog does while it is open (a modal loop lets timers run).
    std::function<void()> WhileOpen;

    int VerifyCalls = 0;
    int ChangeCalls = 0;
    intptr_t LastOwner = 0;

    std::function<bool(intptr_t)> LoadVerifyScreenSavePwd() override {
        if (!HasVerify) return {};
        return [this](intptr_t window) {
            ++VerifyCalls;
            LastOwner = window;
            if (WhileOpen) WhileOpen();
            if (Answers.empty()) return Default;
            const bool answer = Answers.front();
            Answers.pop_front();
            return answer;
        };
    }

    bool CallPwdChangePasswordA(intptr_t parent) override {
        if (!HasChange) return false;
        ++ChangeCalls;
        LastOwner = parent;
        return true;
    }
};

}  // namespace nimbrel
