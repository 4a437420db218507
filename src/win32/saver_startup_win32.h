// The start-up of Nimbrel.scr on Win32: the application's hidden window, the
// show window, the message loop (installed as the application's message
// processing), the screen-saver-running flag, and the settings mode.
#pragma once

#include <memory>

#include "platform/application.h"
#include "shell/UScreenSaverInit.h"
#include "win32/show_window_win32.h"
#include "win32/win32_api.h"
#include "win32/win32_message_loop.h"

namespace nimbrel {

class TWin32Startup : public TSaverStartup {
public:
    explicit TWin32Startup(HINSTANCE Instance);
    // Clears the running flag if it is still set: the flag belongs to the
    // show, however the process ends.
    ~TWin32Startup() override;
    TWin32Startup(const TWin32Startup&) = delete;
    TWin32Startup& operator=(const TWin32Startup&) = delete;

    // The window that owns message boxes: the show window when it is a
    // top-level window (a box must stay above the topmost show), else none.
    HWND BoxOwner() const;

    void SetScreenSaverRunning(bool Running) override;
    void ShowHostWindow(int32_t Parent) override;
    TRect HostWindowRect(int32_t Parent) override;
    TShowWindow& CreateShowWindow(int32_t Parent) override;
    void PlaceShowWindow(int32_t Left, int32_t Top, int32_t Width, int32_t Height) override;
    void SetMainForm(std::unique_ptr<TMainForm> Form) override;
    void CreateSettingsDialog() override;
    void SetToolWindowStyle() override;
    void RunMessageLoop() override;

private:
    HINSTANCE instance_;
    TWin32MessageLoop loop_;
    TScopedMessagePump pump_;
    HWND application_ = nullptr;
    bool running_ = false;
    // The form goes before its window.
    std::unique_ptr<TWin32ShowWindow> window_;
    std::unique_ptr<TMainForm> form_;
};

}  // namespace nimbrel
