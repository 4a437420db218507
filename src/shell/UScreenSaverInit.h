// The mode decision from the command line. The Windows start-up reads the
// decision once, before any window exists, and keeps it for the life of the
// process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/password_services.h"
#include "platform/settings_store.h"
#include "platform/show_window.h"

namespace nimbrel {

enum TSaverMode : uint8_t { smSaver = 0, smPreview = 1, smChangePassword = 2, smSetting = 3 };

struct TSaverInit {
    TSaverMode SaverMode = smSetting;
    // The window handle of the second argument, 0 when it is missing or not an
    // integer. A non-zero value makes the saver window a child of it.
    int32_t ParentWindow = 0;
    // The first argument in upper case.
    std::string Switch;
};

// Args are the program arguments without the program name, as UTF-8.
TSaverInit DecideSaverMode(const std::vector<std::string>& Args);

// Whether the show may end: never in preview; always when the user's
// "ScreenSaveUsePassword" is missing, unreadable, not a 32-bit integer or 0,
// or when the system's password check is missing; otherwise the answer of the
// system's password dialog, owned by Wnd, with the cursor shown meanwhile.
bool VerifyPassword(intptr_t Wnd, TSaverMode SaverMode, TSettingsStore& Store, TShowWindow& Window,
                    TPasswordServices& Passwords);

// Whether the system's password-change routine could be called.
bool ChangePassword(int32_t ParentWindow, TPasswordServices& Passwords);

// The start-up of a process in its mode, against the platform.
class TSaverStartup {
public:
    virtual ~TSaverStartup() = default;
    // The system's screen-saver-running flag.
    virtual void SetScreenSaverRunning(bool Running) = 0;
    // Preview: makes the host window visible and answers its rectangle in
    // screen coordinates.
    virtual void ShowHostWindow(int32_t Parent) = 0;
    virtual TRect HostWindowRect(int32_t Parent) = 0;
    // The saver window: borderless and maximised; a child of Parent when that
    // is not 0, else topmost.
    virtual TShowWindow& CreateShowWindow(int32_t Parent) = 0;
    virtual void PlaceShowWindow(int32_t Left, int32_t Top, int32_t Width, int32_t Height) = 0;
    // Makes the form the main window; its handlers run from the message loop.
    virtual void SetMainForm(std::unique_ptr<TMainForm> Form) = 0;
    // The settings dialog as the main window.
    virtual void CreateSettingsDialog() = 0;
    // Keeps the program off the taskbar: the application's hidden window gets
    // exactly the tool-window extended style.
    virtual void SetToolWindowStyle() = 0;
    // Runs the message loop until the main window closes.
    virtual void RunMessageLoop() = 0;
    // The desktop for a show on every monitor; nullptr where the platform
    // offers none, and the show has the one window of CreateShowWindow.
    virtual TShowDesktop* Desktop() { return nullptr; }
};

// The main program body: the title, the window of the mode, the message loop,
// and at the end of the show the running flag cleared again. The show (not a
// child of another window) covers every monitor when the desktop has more
// than one (TMonitorShow); with one monitor it is the one show window.
void RunSaver(const TSaverInit& Init, TSaverStartup& Startup, TSettingsStore& Store, TPasswordServices& Passwords);

}  // namespace nimbrel
