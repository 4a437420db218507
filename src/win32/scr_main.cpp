// Nimbrel.scr: the screen saver's entry point. The system starts it with a
// switch: "/s" the show, "/p HWND" the preview in a host window, "/a HWND" the
// password change, anything else the settings.
#include <string>
#include <vector>

#include "platform/application.h"
#include "shell/UScreenSaverInit.h"
#include "win32/registry_store.h"
#include "win32/saver_startup_win32.h"
#include "win32/win32_api.h"
// After the system header it needs.
#include <shellapi.h>

#include "win32/win32_error_box.h"
#include "win32/win32_passwords.h"

namespace {

// The program arguments without the program name, as UTF-8.
std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(nimbrel::WideToUtf8(argv[i]));
    LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    using namespace nimbrel;
    const TSaverInit init = DecideSaverMode(CommandLineArguments());
    try {
        // Boxes are owned by the show window while the start-up lives.
        TWin32Startup* startup = nullptr;
        TWin32ErrorBox box([&startup] { return startup ? startup->BoxOwner() : nullptr; });
        const TScopedErrorBox installed(box);
        TRegistryStore store;
        TWin32PasswordServices passwords;
        TWin32Startup win32Startup(instance, store);
        startup = &win32Startup;
        struct TForget {
            TWin32Startup*& Startup;
            ~TForget() { Startup = nullptr; }
        } forget{startup};
        try {
            RunSaver(init, win32Startup, store, passwords);
        } catch (const std::exception& error) {
            Application().HandleException(error);
        }
    } catch (const std::exception& error) {
        // Not even the application's window could be made.
        MessageBoxW(nullptr, Utf8ToWide(error.what()).c_str(), L"Nimbrel", MB_OK | MB_ICONERROR);
        return 1;
    }
    return 0;
}
