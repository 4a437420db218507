// The timers of one window on the system's window timers: SetTimer with the
// timer's identifier starts its countdown afresh, KillTimer stops it. Their
// ticks come as WM_TIMER through every message loop of the thread, the modal
// loops of message boxes and of the password dialog included, so the copies of
// a picture in progress go on while such a box is open.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/timer.h"
#include "win32/win32_api.h"

namespace nimbrel {

class TWin32Timers {
public:
    // Window answers the window the timers run on, or nullptr when it is
    // gone (a timer then only keeps its interval); with Create true it may
    // make the window first. The identifiers start at FirstId, above those
    // the window uses for timers of its own.
    TWin32Timers(std::function<HWND(bool Create)> Window, UINT_PTR FirstId);
    ~TWin32Timers();
    TWin32Timers(const TWin32Timers&) = delete;
    TWin32Timers& operator=(const TWin32Timers&) = delete;

    // A timer of the window, stopped. It may outlive this object; it then
    // never fires again.
    std::unique_ptr<TTimer> NewTimer();
    // A WM_TIMER of the window: fires the timer of that identifier. Answers
    // false when none has it (a tick that came after its timer had gone).
    bool Fire(UINT_PTR Id);

private:
    class TWindowTimer;

    std::function<HWND(bool)> window_;
    std::vector<TWindowTimer*> timers_;
    UINT_PTR nextId_;
};

}  // namespace nimbrel
