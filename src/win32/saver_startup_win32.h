// The start-up of Nimbrel.scr on Win32: the application's hidden window, the
// show window, the message loop (installed as the application's message
// processing), the screen-saver-running flag, and the settings dialog.
#pragma once

#include <memory>

#include "platform/application.h"
#include "platform/settings_store.h"
#include "shell/USetting.h"
#include "shell/UScreenSaverInit.h"
#include "win32/desktop_win32.h"
#include "win32/dialog_services_win32.h"
#include "win32/setting_dialog_win32.h"
#include "win32/show_window_win32.h"
#include "win32/win32_api.h"
#include "win32/win32_message_loop.h"

namespace nimbrel {

class TWin32Startup : public TSaverStartup {
public:
    // Store holds the settings that the settings dialog edits; it must outlive
    // the start-up.
    TWin32Startup(HINSTANCE Instance, TSettingsStore& Store);
    // Clears the running flag if it is still set: the flag belongs to the
    // show, however the process ends.
    ~TWin32Startup() override;
    TWin32Startup(const TWin32Startup&) = delete;
    TWin32Startup& operator=(const TWin32Startup&) = delete;

    // The window that owns message boxes: the settings dialog, or the show
    // window when it is a top-level window (a box must stay above the topmost
    // show), or a show window of the show on several monitors, else none.
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
    TShowDesktop* Desktop() override;

private:
    HINSTANCE instance_;
    TSettingsStore& store_;
    TWin32MessageLoop loop_;
    TScopedMessagePump pump_;
    HWND application_ = nullptr;
    bool running_ = false;
    // The show on several monitors goes before its desktop.
    std::unique_ptr<TWin32Desktop> desktop_;
    // The form goes before its window.
    std::unique_ptr<TWin32ShowWindow> window_;
    std::unique_ptr<TMainForm> form_;
    // The settings dialog: its form goes before its window and the system
    // dialogs.
    std::unique_ptr<TWin32DialogServices> dialogs_;
    std::unique_ptr<TWin32SettingDialog> settingWindow_;
    std::unique_ptr<TfrmSetting> settingForm_;
};

}  // namespace nimbrel
