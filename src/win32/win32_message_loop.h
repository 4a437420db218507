// The message loop of the GUI thread and the message processing that long
// work calls between rows.
//
// Terminate ends the loop the next time control is back in Run, never inside
// ProcessMessages: whatever a nested draw holds stays alive until it has
// unwound.
//
// Every handler that a window procedure runs goes through GuardHandler
// (platform/application.h): no exception may unwind through the system's
// window procedure.
#pragma once

#include <functional>

#include "win32/win32_api.h"

namespace nimbrel {

class TWin32MessageLoop {
public:
    // Dispatches messages until Terminate has been called.
    void Run();
    // Dispatches every message waiting in the thread's queue, then returns.
    void ProcessMessages();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // A modeless dialog whose keyboard navigation the loop runs (Tab, Enter,
    // Esc, accelerators); nullptr for none.
    void SetDialog(HWND Dialog) { dialog_ = Dialog; }
    // Runs after every message that Run dispatches (never inside
    // ProcessMessages): no handler and no draw is on the stack then. Empty
    // for none.
    void SetIdle(std::function<void()> Idle) { idle_ = std::move(Idle); }

private:
    // Dispatches one message, through the dialog's navigation first.
    void Dispatch(MSG& message);

    bool terminated_ = false;
    HWND dialog_ = nullptr;
    std::function<void()> idle_;
};

}  // namespace nimbrel
