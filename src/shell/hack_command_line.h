// The command line of nimbrel, the show as an XScreenSaver hack, and how its
// options meet the stored settings.
//
// Options follow XScreenSaver's style: one dash, two accepted as well
// ("-mrp FILE", "--mrp FILE"). Where the show draws: -root (the root window,
// or the virtual root a screen-saver daemon provides), -window-id ID, or the
// environment's XSCREENSAVER_WINDOW, which means the same as -window-id;
// without any of them a window of its own (-geometry, -fullscreen). The
// settings options override the stored settings; what no option names comes
// from the stored file, which the program reads and never writes.
//
// Portable: the X11 program parses and merges with these; the tests run them
// headless.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bitmap.h"
#include "platform/command_line.h"
#include "platform/exceptions.h"
#include "platform/settings_store.h"
#include "platform/show_window.h"
#include "shell/URegistry.h"

namespace nimbrel {

// A command line the program cannot run. The text says why; the program
// prints it with the usage and ends with exit status 2.
using EHackUsage = EUsageError;

// The usage text of -help, made from the table of the options.
const std::string& HackUsage();

struct THackOptions {
    bool Help = false;
    std::string Display;  // -display; empty: $DISPLAY
    // -root, -window-id (or XSCREENSAVER_WINDOW), -geometry, -fullscreen.
    TShowPlace Place;

    // The settings the command line names. -bgcolor "#RRGGBB" gives
    // Settings.Bgcolor; any other text is a colour name that only the display
    // can resolve: BgcolorName, which the program turns into Settings.Bgcolor
    // (or EHackUsage) before the merge. -size gives SizeFull false, -full
    // true: the last one counts.
    TSettingsChange Settings;
    std::string BgcolorName;
};

// Seconds in whole tenths ("1", "1.5", ".5", "1.50") as tenths, within the
// zoom speeds the settings keep (0.1 to 60 seconds per halving).
bool ParseZoomSpeed(std::string_view Text, int32_t& Tenths);

// Args are the program arguments without the program name. ScreenSaverWindow
// is the value of XSCREENSAVER_WINDOW, nullptr when it is not set.
// EHackUsage for anything it cannot run.
THackOptions ParseHackCommandLine(const std::vector<std::string>& Args, const char* ScreenSaverWindow);

// Writes the settings the options name over those of Store, through the
// settings object (WriteSettings). When no scene file is set at all (no -mrp,
// none stored) and SamplesFolder is not empty, the show takes the scenes
// installed there (the gallery): SamplesFolder/scenes.mrp, with
// SamplesFolder/palettes unless -palettes names a folder.
void MergeHackSettings(const THackOptions& Options, TSettingsStore& Store, const std::string& SamplesFolder);

}  // namespace nimbrel
