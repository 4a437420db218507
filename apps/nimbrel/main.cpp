// nimbrel: the show on X11, as an XScreenSaver hack or in a window of its own.
// The command line and the stored settings make the settings of the show
// (shell/hack_command_line.h); the show itself is the screen saver's TfrmMain
// on the X11 window.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/application.h"
#include "platform/file_settings_store.h"
#include "platform/memory_settings_store.h"
#include "shell/Main.h"
#include "shell/hack_command_line.h"
#include "x11/x11_display.h"
#include "x11/x11_services.h"
#include "x11/x11_show_window.h"

#ifndef NIMBREL_GALLERY_RELATIVE
#define NIMBREL_GALLERY_RELATIVE "../../share/nimbrel/gallery"
#endif

namespace nimbrel {
namespace {

// The gallery installed with the program, found from where the program
// itself lies; empty when it is not there (a build folder).
std::string InstalledGallery() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const fs::path gallery = (program.parent_path() / NIMBREL_GALLERY_RELATIVE).lexically_normal();
    if (!fs::is_regular_file(gallery / "scenes.mrp", error)) return {};
    return gallery.string();
}

// The stored settings, read once. The show writes its settings back when it
// ends; those writes stay in memory, so the file is never touched.
TSettingsData StoredSettings() {
    TSettingsData data;
    std::string file;
    try {
        file = TFileSettingsStore::DefaultFileName();
    } catch (const ERegistryException&) {
        return data;  // neither XDG_CONFIG_HOME nor HOME: nothing stored
    }
    try {
        TFileSettingsStore(file).Read([&](const TSettingsData& stored) { data = stored; });
    } catch (const ERegistryException& error) {
        std::fprintf(stderr, "nimbrel: %s; the stored settings are not used\n", error.what());
    }
    return data;
}

// -bgcolor NAME: the display's colour database knows the names.
void ResolveColorName(THackOptions& options, Display* dpy) {
    if (options.BgcolorName.empty()) return;
    XColor color{};
    if (!XParseColor(dpy, DefaultColormap(dpy, DefaultScreen(dpy)), options.BgcolorName.c_str(), &color))
        throw EHackUsage("unknown colour " + options.BgcolorName);
    options.Settings.Bgcolor = (color.red >> 8) | ((color.green >> 8) << 8) | ((color.blue >> 8) << 16);
    options.BgcolorName.clear();
}

int Run(THackOptions options) {
    TX11ErrorBox box;
    TScopedErrorBox installedBox(box);
    Application().SetTitle("Nimbrel");

    TX11Display display(options.Display);
    ResolveColorName(options, display.Get());
    TMemorySettingsStore store(StoredSettings());
    MergeHackSettings(options, store, InstalledGallery());

    TX11PasswordServices passwords;
    TX11ShowWindow window(display, options.Place);
    TSaverInit init;
    init.SaverMode = smSaver;
    auto form = std::make_unique<TfrmMain>(window, store, passwords, init);
    // The picture takes the window's size at the start of each picture, so a
    // resized window or a changed screen gets pictures of its size.
    TTimer& timDraw = form->timDraw();
    timDraw.OnTimer = [&window, &show = *form, next = std::move(timDraw.OnTimer)] {
        window.RefreshSize();
        show.ApplyScreenSize();
        next();
    };
    window.SetMainForm(std::move(form));
    window.Run();
    return 0;
}

}  // namespace
}  // namespace nimbrel

int main(int argc, char** argv) {
    using namespace nimbrel;
    THackOptions options;
    try {
        options = ParseHackCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::getenv("XSCREENSAVER_WINDOW"));
        if (options.Help) {
            std::fputs(HackUsage().c_str(), stdout);
            return 0;
        }
        return Run(std::move(options));
    } catch (const EHackUsage& error) {
        std::fprintf(stderr, "nimbrel: %s\n%s", error.what(), HackUsage().c_str());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "nimbrel: %s\n", error.what());
        return 1;
    }
}
