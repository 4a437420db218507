#include "shell/UScreenSaverInit.h"

#include "platform/application.h"
#include "platform/sysutils.h"
#include "shell/Main.h"
#include "shell/monitor_show.h"
#include "platform/StandardLibrary.h"

namespace nimbrel {

TSaverInit DecideSaverMode(const std::vector<std::string>& Args) {
    TSaverInit init;
    // A missing argument reads as empty text, which does not convert.
    init.ParentWindow = StrToIntDef(Args.size() > 1 ? Args[1] : std::string(), 0);
    init.Switch = UpperCase(Args.empty() ? std::string() : Args[0]);
    const std::string& s = init.Switch;
    if (s == "-S" || s == "/S")
        init.SaverMode = smSaver;
    else if (s == "-P" || s == "/P" || s == "-L" || s == "/L")
        init.SaverMode = smPreview;
    else if (s == "-A" || s == "/A")
        init.SaverMode = smChangePassword;
    else
        init.SaverMode = smSetting;
    return init;
}

namespace {

const char* const kNoPasswordChange = "この機能は使えません";

// The user's choice, read as the system keeps it; anything unreadable is 0.
int32_t ScreenSaveUsePassword(TSettingsStore& Store) {
    try {
        const auto key = Store.OpenKey("Control Panel\\desktop", false);
        if (!key || key->GetDataType("ScreenSaveUsePassword") != TRegDataType::rdInteger) return 0;
        return key->ReadInteger("ScreenSaveUsePassword");
    } catch (const ERegistryException&) {
        return 0;
    }
}

}  // namespace

bool VerifyPassword(intptr_t Wnd, TSaverMode SaverMode, TSettingsStore& Store, TShowWindow& Window,
                    TPasswordServices& Passwords) {
    if (SaverMode == smPreview) return false;
    if (ScreenSaveUsePassword(Store) == 0) return true;
    Window.ShowCursor(true);
    struct THideCursor {
        TShowWindow& Window;
        ~THideCursor() { Window.ShowCursor(false); }
    } hide{Window};
    const auto verify = Passwords.LoadVerifyScreenSavePwd();
    return verify ? verify(Wnd) : true;
}

bool ChangePassword(int32_t ParentWindow, TPasswordServices& Passwords) {
    return Passwords.CallPwdChangePasswordA(ParentWindow);
}

void RunSaver(const TSaverInit& Init, TSaverStartup& Startup, TSettingsStore& Store, TPasswordServices& Passwords) {
    Application().SetTitle("Nimbrel");
    if (Init.SaverMode == smSaver) Startup.SetScreenSaverRunning(true);
    // The show on several monitors; destroyed after the loop, before the
    // running flag is cleared, as the one window is.
    std::unique_ptr<TMonitorShow> monitors;
    switch (Init.SaverMode) {
        case smSaver: {
            TShowDesktop* desktop = Init.ParentWindow == 0 ? Startup.Desktop() : nullptr;
            if (desktop && desktop->Monitors().size() > 1) {
                monitors = std::make_unique<TMonitorShow>(*desktop, Store, Passwords, Init);
                break;
            }
            TShowWindow& window = Startup.CreateShowWindow(Init.ParentWindow);
            Startup.SetMainForm(std::make_unique<TfrmMain>(window, Store, Passwords, Init));
            break;
        }
        case smPreview: {
            Startup.ShowHostWindow(Init.ParentWindow);
            const TRect rect = Startup.HostWindowRect(Init.ParentWindow);
            TShowWindow& window = Startup.CreateShowWindow(Init.ParentWindow);
            Startup.SetMainForm(std::make_unique<TfrmMain>(window, Store, Passwords, Init));
            Startup.PlaceShowWindow(0, 0, rect.Right - rect.Left, rect.Bottom - rect.Top);
            break;
        }
        case smChangePassword:
            if (!ChangePassword(Init.ParentWindow, Passwords)) ShowError(kNoPasswordChange);
            return;
        case smSetting:
            Startup.CreateSettingsDialog();
            break;
    }
    if (Init.SaverMode == smSaver || Init.SaverMode == smPreview) Startup.SetToolWindowStyle();
    if (monitors) monitors->ShowWindows();
    Startup.RunMessageLoop();
    monitors.reset();
    if (Init.SaverMode == smSaver) Startup.SetScreenSaverRunning(false);
}

}  // namespace nimbrel
