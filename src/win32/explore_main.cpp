// nimbrel-explore.exe: the explorer on Windows. It takes the command line of
// nimbrel-explore on Linux (shell/explorer_command_line.h); a scene file
// opened with a double click comes as its one argument. S appends to the
// user's own scene file in the documents folder unless -o names another.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/application.h"
#include "shell/explorer.h"
#include "shell/explorer_command_line.h"
#include "shell/explorer_desktop.h"
#include "win32/explorer_window_win32.h"
#include "win32/registry_store.h"
#include "win32/wic_png.h"
#include "win32/win32_api.h"
#include "win32/win32_error_box.h"
#include "win32/win32_message_loop.h"
// After the system header they need.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

namespace {

using namespace nimbrel;

const wchar_t* const kCaption = L"Nimbrel explorer";
// How the usage names the scene file S appends to without -o, and the
// palette folder without -p (ExplorerPaletteFolder).
const char* const kDefaultOutputText = "Documents\\Nimbrel\\scenes.mrp";
const char* const kDefaultPalettesText = "the folder of MRPFILE when it holds\n"
                                         "MCF files, else the screen saver's palette folder";

// The program arguments without the program name, as UTF-8.
std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(WideToUtf8(argv[i]));
    LocalFree(argv);
    return args;
}

// The user's documents folder; empty when the system names none.
std::string DocumentsFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)) && path) folder = WideToUtf8(path);
    CoTaskMemFree(path);
    return folder;
}

// COM for the thread's life: the imaging component and the file dialogs.
struct TComApartment {
    TComApartment() : Ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~TComApartment() {
        if (Ok) CoUninitialize();
    }
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;
    bool Ok;
};

// A text for the user, in a box and on standard error (for a console).
void Tell(const std::string& text, UINT icon) {
    std::fprintf(stderr, "%s", text.c_str());
    std::fflush(stderr);
    MessageBoxW(nullptr, Utf8ToWide(text).c_str(), kCaption, MB_OK | icon);
}

int Run(HINSTANCE instance, int showCommand, TExplorerProgram program) {
    const TComApartment com;
    TRegistryStore store;
    TWin32ExplorerSetup setup;
    setup.Log = program.Log;
    TExplorerOptions& options = program.Explorer;
    if (!program.OutputGiven) {
        const std::string documents = DocumentsFolder();
        if (!documents.empty()) {
            setup.DefaultOutput = ExplorerDefaultSceneFile(documents);
            options.OutputFile = setup.DefaultOutput;
        }
    }
    setup.OutputFile = options.OutputFile;
    options.WritePng = [](const std::string& path, const TBitmap& picture, std::string& error) {
        return WriteWicPng(path, picture, error);
    };
    options.PaletteFolderOf = [&store](const std::string& file) {
        return ExplorerPaletteFolder(file, SaverSetting(store, "McfFolder"));
    };
    TWin32MessageLoop loop;
    TExplorer explorer(std::move(options));
    if (!explorer.OpenFailure().empty()) std::fprintf(stderr, "%s\n", explorer.OpenFailure().c_str());
    TWin32ExplorerWindow window(instance, explorer, loop, store, std::move(setup));
    window.Run(showCommand);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    Application().SetTitle("Nimbrel explorer");
    // Until the explorer's window is there, boxes have no owner.
    TWin32ErrorBox box({});
    const TScopedErrorBox installed(box);
    const std::string usage = ExplorerUsage(kDefaultOutputText, kDefaultPalettesText);
    try {
        TExplorerProgram program = ParseExplorerCommandLine(CommandLineArguments());
        if (program.Help) {
            Tell(usage, MB_ICONINFORMATION);
            return 0;
        }
        return Run(instance, showCommand, std::move(program));
    } catch (const EUsageError& error) {
        Tell(std::string("nimbrel-explore: ") + error.what() + "\n" + usage, MB_ICONERROR);
        return 2;
    } catch (const std::exception& error) {
        Tell(std::string(error.what()) + "\n", MB_ICONERROR);
        return 1;
    }
}
