#include "shell/hack_command_line.h"

#include <cstddef>
#include <limits>
#include <string_view>

#include "platform/command_line.h"
#include "platform/sysutils.h"
#include "shell/URegistry.h"

namespace nimbrel {

namespace {

// The largest side or offset of an X window.
constexpr int32_t kMaxWindowSide = 32767;

// The longest pause the stored milliseconds hold.
constexpr int32_t kMaxWaitSeconds = std::numeric_limits<int32_t>::max() / 1000;

// Plain decimal digits within the 32-bit signed range: no sign, no blanks.
bool ParseDecimal(std::string_view text, int32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    int64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    if (result > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(result);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A window id: decimal, or "0x" and hexadecimal digits; not 0, within 32 bits.
bool ParseWindowId(std::string_view text, uint32_t& id) {
    uint64_t value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        if (text.size() > 8) return false;
        for (const char c : text) {
            if (HexDigit(c) < 0) return false;
            value = value * 16 + static_cast<uint64_t>(HexDigit(c));
        }
    } else {
        if (text.empty() || text.size() > 10) return false;
        for (const char c : text) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<uint64_t>(c - '0');
        }
    }
    if (value == 0 || value > std::numeric_limits<uint32_t>::max()) return false;
    id = static_cast<uint32_t>(value);
    return true;
}

// "WxH" with both sides 1 or more; the picture must fit a bitmap.
bool ParseSize(std::string_view text, int32_t& width, int32_t& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    if (!ParseDecimal(text.substr(0, x), width) || !ParseDecimal(text.substr(x + 1), height)) return false;
    return width > 0 && height > 0 && int64_t{width} * height <= TBitmap::kMaxPixels;
}

// An X geometry: [=][WxH][{+-}X{+-}Y], at least one of the two parts. The
// protocol holds a window's sides and place in 16 bits: every number is at
// most 32767.
bool ParseGeometry(std::string_view text, TWindowGeometry& geometry) {
    if (!text.empty() && text.front() == '=') text.remove_prefix(1);
    const std::size_t sign = text.find_first_of("+-");
    const std::string_view size = text.substr(0, sign);
    if (!size.empty()) {
        if (!ParseSize(size, geometry.Width, geometry.Height)) return false;
        if (geometry.Width > kMaxWindowSide || geometry.Height > kMaxWindowSide) return false;
        geometry.HasSize = true;
    }
    if (sign != std::string_view::npos) {
        std::string_view position = text.substr(sign);
        const std::size_t second = position.find_first_of("+-", 1);
        if (second == std::string_view::npos) return false;
        geometry.FromRight = position[0] == '-';
        geometry.FromBottom = position[second] == '-';
        if (!ParseDecimal(position.substr(1, second - 1), geometry.X) ||
            !ParseDecimal(position.substr(second + 1), geometry.Y) || geometry.X > kMaxWindowSide ||
            geometry.Y > kMaxWindowSide)
            return false;
        geometry.HasPosition = true;
    }
    return geometry.HasSize || geometry.HasPosition;
}

// "#RRGGBB" as a colour value (red in the low byte).
bool ParseHexColor(std::string_view text, TColor& color) {
    if (text.size() != 7 || text[0] != '#') return false;
    int32_t rgb[3];
    for (int i = 0; i < 3; ++i) {
        const int high = HexDigit(text[1 + 2 * i]), low = HexDigit(text[2 + 2 * i]);
        if (high < 0 || low < 0) return false;
        rgb[i] = high * 16 + low;
    }
    color = rgb[0] | (rgb[1] << 8) | (rgb[2] << 16);
    return true;
}

std::string Join(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The options of the command line, into Options; -root and -window-id are
// noted in Root and WindowId.
TCommandLine HackCommandLine(THackOptions& Options, bool& Root, bool& WindowId) {
    TSettingsChange& settings = Options.Settings;
    const auto needs = [](const std::string& value, const std::string& written, const char* what) {
        if (value.empty()) throw EHackUsage("option " + written + " needs " + what);
    };
    return TCommandLine(TOptionStyle::SingleDash, {
        {0, "", "", "Where it draws (XScreenSaver's conventions):", nullptr},
        {0, "root", "", "the root window, or the virtual root of a screen-saver daemon",
         [&](const std::string&, const std::string&) { Root = true; }},
        {0, "window-id", "ID", "the window ID (decimal or 0x hexadecimal); the environment's\n"
                               "XSCREENSAVER_WINDOW means the same",
         [&](const std::string& text, const std::string&) {
             if (!ParseWindowId(text, Options.Place.WindowId)) throw EHackUsage("bad window id " + text);
             WindowId = true;
         }},
        {0, "geometry", "WxH[+X+Y]", "a window of its own of that size (the default: 640x480; each\n"
                                     "number at most 32767)",
         [&](const std::string& text, const std::string&) {
             TWindowGeometry geometry;
             if (!ParseGeometry(text, geometry)) throw EHackUsage("bad geometry " + text);
             Options.Place.Geometry = geometry;
         }},
        {0, "fullscreen", "", "a window of its own that fills the screen",
         [&](const std::string&, const std::string&) { Options.Place.Fullscreen = true; }},
        {0, "display", "NAME", "the X display (default: $DISPLAY)",
         [&](const std::string& text, const std::string& written) {
             needs(text, written, "a display name");
             Options.Display = text;
         }},
        {0, "", "", "\nWhat it shows (each overrides the stored setting):", nullptr},
        {0, "mrp", "FILE", "the scene file (default: the installed sample scenes)",
         [&](const std::string& text, const std::string& written) {
             needs(text, written, "a file");
             settings.MrpFile = text;
         }},
        {0, "palettes", "DIR", "the folder of the MCF palette files",
         [&](const std::string& text, const std::string& written) {
             needs(text, written, "a folder");
             settings.McfFolder = text;
         }},
        {0, "wait", "SECONDS", "the pause between two pictures (0: one picture only)",
         [&](const std::string& text, const std::string&) {
             int32_t seconds = 0;
             if (!ParseDecimal(text, seconds) || seconds > kMaxWaitSeconds)
                 throw EHackUsage("bad pause " + text + " (whole seconds, 0 to " + IntToStr(kMaxWaitSeconds) + ")");
             settings.Wait = seconds * 1000;
         }},
        {0, "draw-mode", "N", "the draw mode (its DM number, below) for scenes that name none",
         [&](const std::string& text, const std::string&) {
             int32_t mode = 0;
             if (!ParseDecimal(text, mode) || mode > 8) throw EHackUsage("bad draw mode " + text + " (0 to 8)");
             settings.DrawMode = StoredToDrawMode(mode);
         }},
        {0, "journey", "", "every picture is reached by a zoom from the whole set (the default) ...",
         [&](const std::string&, const std::string&) { settings.Journey = true; }},
        {0, "no-journey", "", "... or appears as it is drawn",
         [&](const std::string&, const std::string&) { settings.Journey = false; }},
        {0, "zoom-speed", "SECONDS", "seconds per halving of the view's width in a journey (0.1 to 60)",
         [&](const std::string& text, const std::string&) {
             int32_t tenths = 0;
             if (!ParseZoomSpeed(text, tenths)) throw EHackUsage("bad zoom speed " + text + " (seconds, 0.1 to 60)");
             settings.ZoomSpeed = tenths;
         }},
        {0, "size", "WxH", "pictures of that size ...",
         [&](const std::string& text, const std::string&) {
             int32_t width = 0, height = 0;
             if (!ParseSize(text, width, height)) throw EHackUsage("bad size " + text);
             settings.SizeX = width;
             settings.SizeY = height;
             settings.SizeFull = false;
         }},
        {0, "full", "", "... or of the size of the window (the default)",
         [&](const std::string&, const std::string&) { settings.SizeFull = true; }},
        {0, "layout", "center|tile", "a picture centred on the background colour, or repeated",
         [&](const std::string& text, const std::string&) {
             if (text == "center")
                 settings.DM = lmCenter;
             else if (text == "tile")
                 settings.DM = lmSpread;
             else
                 throw EHackUsage("bad layout " + text + " (center or tile)");
         }},
        {0, "bgcolor", "COLOR", "the background colour: #RRGGBB or a colour name",
         [&](const std::string& text, const std::string&) {
             TColor color = 0;
             if (ParseHexColor(text, color)) {
                 settings.Bgcolor = color;
                 Options.BgcolorName.clear();
             } else if (!text.empty() && text[0] != '#') {
                 settings.Bgcolor.reset();
                 Options.BgcolorName = text;
             } else {
                 throw EHackUsage("bad colour " + text + " (#RRGGBB or a colour name)");
             }
         }},
        {0, "help", "", "this text", [&](const std::string&, const std::string&) { Options.Help = true; }},
        {0, "h", "", "", [&](const std::string&, const std::string&) { Options.Help = true; }},
    });
}

}  // namespace

bool ParseZoomSpeed(std::string_view text, int32_t& tenths) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    // Zeros past the tenths change nothing ("1.50", as settings pages write
    // a slider's value).
    while (fraction.size() > 1 && fraction.back() == '0') fraction.remove_suffix(1);
    if (dot != std::string_view::npos && fraction.size() != 1) return false;
    int32_t seconds = 0, tenth = 0;
    if (!whole.empty() && !ParseDecimal(whole, seconds)) return false;
    if (!fraction.empty() && !ParseDecimal(fraction, tenth)) return false;
    if (whole.empty() && fraction.empty()) return false;
    if (seconds > kMaxZoomSpeed / 10) return false;
    tenths = seconds * 10 + tenth;
    return tenths >= kMinZoomSpeed && tenths <= kMaxZoomSpeed;
}

const std::string& HackUsage() {
    static const std::string usage = [] {
        THackOptions options;
        bool root = false, windowId = false;
        return std::string(
                   "Usage: nimbrel [options]\n"
                   "Shows pictures of the Mandelbrot set and of Julia sets, as the screen saver does:\n"
                   "a scene of an MRP file at random, drawn as it grows, then the next after a pause.\n"
                   "\n") +
               HackCommandLine(options, root, windowId).Usage(24) +
               "\n"
               "Draw modes, by the DM numbers of scene files and of the settings:\n" +
               DrawModeTable() +
               "\n"
               "Two dashes work as well as one. The stored settings are read from\n"
               "$XDG_CONFIG_HOME/nimbrel/registry.ini (or ~/.config/nimbrel/registry.ini) for\n"
               "what no option names; the program never writes that file.\n"
               "In a window of its own a key or a click ends the show (a mouse movement after\n"
               "the first second); on -root and -window-id it runs until SIGTERM or SIGINT.\n"
               "\n"
               "Exit status: 0 the show ended, 1 the display or the window failed, 2 usage error.\n";
    }();
    return usage;
}

THackOptions ParseHackCommandLine(const std::vector<std::string>& Args, const char* ScreenSaverWindow) {
    THackOptions options;
    bool root = false, windowId = false;
    HackCommandLine(options, root, windowId).Parse(Args, [](const std::string& arg) {
        throw EHackUsage("unexpected argument " + arg);
    });
    TShowPlace& place = options.Place;
    const bool ownWindow = place.Geometry.has_value() || place.Fullscreen;
    if (ownWindow && (root || windowId))
        throw EHackUsage("-geometry and -fullscreen are for a window of its own, not with -root or -window-id");
    if (place.Geometry && place.Fullscreen) throw EHackUsage("-geometry and -fullscreen exclude each other");

    if (windowId) {
        // Also with -root: XScreenSaver's preview adds -window-id to a hack's
        // own "-root".
        place.Target = TShowTarget::WindowId;
    } else if (ScreenSaverWindow && *ScreenSaverWindow && !ownWindow) {
        // The daemon's window, with -root as well: it is the virtual root.
        if (!ParseWindowId(ScreenSaverWindow, place.WindowId))
            throw EHackUsage(std::string("XSCREENSAVER_WINDOW is no window id: ") + ScreenSaverWindow);
        place.Target = TShowTarget::WindowId;
    } else if (root) {
        place.Target = TShowTarget::Root;
    }
    return options;
}

void MergeHackSettings(const THackOptions& Options, TSettingsStore& Store, const std::string& SamplesFolder) {
    if (!Options.BgcolorName.empty()) throw EHackUsage("the colour " + Options.BgcolorName + " is not resolved");
    TSettingsChange change = Options.Settings;
    // Screen-saver users expect motion: the hack journeys unless told or
    // stored otherwise.
    if (!change.Journey && !StoresSetting(Store, "Journey")) change.Journey = true;
    if (!SamplesFolder.empty() && !change.MrpFile && !StoresSceneFile(Store)) {
        change.MrpFile = Join(SamplesFolder, "scenes.mrp");
        if (!change.McfFolder) change.McfFolder = Join(SamplesFolder, "palettes");
    }
    WriteSettings(Store, change);
}

}  // namespace nimbrel
