// The desktop of a show on several monitors, on Win32: the monitors from
// EnumDisplayMonitors and GetMonitorInfo, in physical pixels (the process is
// per-monitor DPI aware by its manifest), one TWin32ShowWindow per monitor,
// the show's own timers on a message-only window, and the idle call from the
// message loop after every message it dispatches. The message-only window is
// made when it is first needed: start-up asks a desktop of one monitor for
// its monitors only, and that show then has no window beyond its own.
#pragma once

#include <memory>
#include <vector>

#include "platform/show_window.h"
#include "win32/win32_api.h"
#include "win32/win32_message_loop.h"
#include "win32/win32_timers.h"

namespace nimbrel {

class TWin32Desktop : public TShowDesktop {
public:
    // Application is the application's hidden window, which owns the show
    // windows; Loop is the message loop they share. Both outlive the desktop.
    TWin32Desktop(HINSTANCE Instance, HWND Application, TWin32MessageLoop& Loop);
    ~TWin32Desktop() override;
    TWin32Desktop(const TWin32Desktop&) = delete;
    TWin32Desktop& operator=(const TWin32Desktop&) = delete;

    // The show window that owns message boxes, so that they stay above the
    // topmost windows: the active one, else the first visible one; nullptr
    // when there is none.
    static HWND BoxOwner();

    std::vector<TMonitor> Monitors() override;
    std::unique_ptr<TMonitorWindow> CreateMonitorWindow(const TMonitor& Monitor) override;
    std::unique_ptr<TTimer> CreateTimer() override;
    void ShowCursor(bool Show) override;
    void ShowApplicationWindow() override;
    void SetListener(TDesktopListener* Listener) override;
    void RequestIdle() override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The message-only window, made on the first call.
    HWND Window();

    HINSTANCE instance_;
    HWND application_;
    TWin32MessageLoop& loop_;
    HWND window_ = nullptr;  // message-only: the show's timers and wake-ups
    TDesktopListener* listener_ = nullptr;
    TWin32Timers timers_;
};

}  // namespace nimbrel
