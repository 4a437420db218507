// The command line of nimbrel and its merge with the stored settings: the
// settings object reading the merged store is the oracle, so a value written
// under the wrong name or in the wrong text form shows.
#include "shell/hack_command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../support/temp_folder.h"
#include "platform/file_settings_store.h"
#include "platform/memory_settings_store.h"
#include "shell/URegistry.h"

namespace nimbrel {
namespace {

// The settings as the settings object reads them; the hack journeys unless
// told or stored otherwise.
struct TSettings {
    int32_t Bgcolor = 0;
    int32_t SizeX = 200;
    int32_t SizeY = 200;
    bool SizeFull = true;
    uint8_t DM = lmSpread;
    std::string MrpFile;
    std::string McfFolder;
    int32_t Wait = 1000;
    uint8_t DrawMode = dmEmerge;
    bool Journey = true;
    int32_t ZoomSpeed = 15;
    bool operator==(const TSettings&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TSettings& s) {
    return out << "{Bgcolor " << s.Bgcolor << ", SizeX " << s.SizeX << ", SizeY " << s.SizeY << ", SizeFull "
               << s.SizeFull << ", DM " << int{s.DM} << ", MrpFile '" << s.MrpFile << "', McfFolder '" << s.McfFolder
               << "', Wait " << s.Wait << ", DrawMode " << int{s.DrawMode} << ", Journey " << s.Journey
               << ", ZoomSpeed " << s.ZoomSpeed << "}";
}

TSettings Loaded(TSettingsStore& store) {
    TMandelssReg reg(store);
    return TSettings{reg.Bgcolor, reg.SizeX,     reg.SizeY, reg.SizeFull, reg.DM,
                     reg.MrpFile, reg.McfFolder, reg.Wait,  reg.DrawMode, reg.Journey, reg.ZoomSpeed};
}

// Parses Args and merges them over Stored (a settings file's text).
TSettings Merged(const std::vector<std::string>& args, const std::string& stored = "",
                 const std::string& samples = "") {
    TMemorySettingsStore store(ParseSettingsFile(stored, "registry.ini"));
    MergeHackSettings(ParseHackCommandLine(args, nullptr), store, samples);
    return Loaded(store);
}

const std::string kStored =
    "[Software\\Orv\\Nimbrel\\Settings]\n"
    "\"Bgcolor\"=\"$00336699\"\n\"SizeX\"=\"320\"\n\"SizeY\"=\"240\"\n\"SizeFull\"=\"0\"\n\"DM\"=\"1\"\n"
    "\"MrpFile\"=\"/home/me/views.mrp\"\n\"McfFolder\"=\"/home/me/palettes\"\n\"Wait\"=\"5000\"\n"
    "\"DrawMode\"=\"7\"\n";

TSettings StoredSettings() {
    return TSettings{0x336699, 320, 240, false, lmCenter, "/home/me/views.mrp", "/home/me/palettes", 5000, 7};
}

TEST(HackCommandLine, EachOptionOverridesItsSettingAndNoOther) {
    struct TCase {
        std::vector<std::string> Args;
        std::function<void(TSettings&)> Expect;  // applied to the stored settings
    };
    const TCase cases[] = {
        {{}, [](TSettings&) {}},
        {{"-mrp", "a b.mrp"}, [](TSettings& s) { s.MrpFile = "a b.mrp"; }},
        {{"--mrp", "x.mrp"}, [](TSettings& s) { s.MrpFile = "x.mrp"; }},
        {{"-palettes", "pal"}, [](TSettings& s) { s.McfFolder = "pal"; }},
        {{"-wait", "0"}, [](TSettings& s) { s.Wait = 0; }},
        {{"-wait", "7"}, [](TSettings& s) { s.Wait = 7000; }},
        {{"-wait", "2147483"}, [](TSettings& s) { s.Wait = 2147483000; }},
        // The stored numbering: 3 is dmAntialias, 4 dmEmerge.
        {{"-draw-mode", "3"}, [](TSettings& s) { s.DrawMode = dmAntialias; }},
        {{"-draw-mode", "4"}, [](TSettings& s) { s.DrawMode = dmEmerge; }},
        {{"-draw-mode", "0"}, [](TSettings& s) { s.DrawMode = dmNormal; }},
        {{"--draw-mode", "8"}, [](TSettings& s) { s.DrawMode = dmPotentialCosine; }},
        {{"-size", "640x480"}, [](TSettings& s) { s.SizeX = 640, s.SizeY = 480, s.SizeFull = false; }},
        {{"-size", "1X2"}, [](TSettings& s) { s.SizeX = 1, s.SizeY = 2, s.SizeFull = false; }},
        // -full keeps the stored size for a later -size-less start.
        {{"-full"}, [](TSettings& s) { s.SizeFull = true; }},
        {{"-size", "10x10", "-full"}, [](TSettings& s) { s.SizeX = 10, s.SizeY = 10, s.SizeFull = true; }},
        {{"-full", "-size", "10x10"}, [](TSettings& s) { s.SizeX = 10, s.SizeY = 10, s.SizeFull = false; }},
        {{"-no-journey"}, [](TSettings& s) { s.Journey = false; }},
        {{"-no-journey", "-journey"}, [](TSettings&) {}},
        {{"-zoom-speed", "2.5"}, [](TSettings& s) { s.ZoomSpeed = 25; }},
        {{"-zoom-speed", ".1"}, [](TSettings& s) { s.ZoomSpeed = 1; }},
        {{"-zoom-speed", "1.50"}, [](TSettings& s) { s.ZoomSpeed = 15; }},
        {{"-zoom-speed", "60"}, [](TSettings& s) { s.ZoomSpeed = 600; }},
        {{"-layout", "tile"}, [](TSettings& s) { s.DM = lmSpread; }},
        {{"-layout", "center"}, [](TSettings& s) { s.DM = lmCenter; }},
        // Red in the low byte of a colour value.
        {{"-bgcolor", "#FF8000"}, [](TSettings& s) { s.Bgcolor = 0x0080FF; }},
        {{"-bgcolor", "#00336a"}, [](TSettings& s) { s.Bgcolor = 0x6a3300; }},
        // The options that place the show change no setting.
        {{"-root", "-display", ":5"}, [](TSettings&) {}},
        {{"-geometry", "300x200+10-20", "-help"}, [](TSettings&) {}},
    };
    for (const TCase& c : cases) {
        std::string line;
        for (const std::string& a : c.Args) line += a + " ";
        TSettings expected = StoredSettings();
        c.Expect(expected);
        EXPECT_EQ(Merged(c.Args, kStored), expected) << line;
    }
    // Without a stored file the options meet the defaults.
    TSettings expected;
    expected.Wait = 3000;
    expected.DM = lmCenter;
    EXPECT_EQ(Merged({"-wait", "3", "-layout", "center"}), expected);
    // A stored choice against journeys stands.
    expected = TSettings{};
    expected.Journey = false;
    EXPECT_EQ(Merged({}, "[Software\\Orv\\Nimbrel\\Settings]\n\"Journey\"=\"0\"\n"), expected);
}

TEST(HackCommandLine, WhereTheShowDraws) {
    struct TCase {
        std::vector<std::string> Args;
        const char* Environment;  // XSCREENSAVER_WINDOW
        TShowTarget Target;
        uint32_t WindowId;
    };
    const TCase cases[] = {
        {{}, nullptr, TShowTarget::OwnWindow, 0},
        {{"-root"}, nullptr, TShowTarget::Root, 0},
        {{"--root"}, "", TShowTarget::Root, 0},
        {{"-window-id", "123"}, nullptr, TShowTarget::WindowId, 123},
        {{"-window-id", "0x1e00004"}, nullptr, TShowTarget::WindowId, 0x1e00004},
        {{"-window-id", "0XFFFFFFFF"}, nullptr, TShowTarget::WindowId, 0xFFFFFFFF},
        // XScreenSaver's preview: the hack's own -root, then -window-id.
        {{"--root", "--window-id", "0x5"}, nullptr, TShowTarget::WindowId, 5},
        // The daemon's window: alone, with -root (it is the virtual root), but
        // not over an explicit -window-id or a window of its own.
        {{}, "0x400007", TShowTarget::WindowId, 0x400007},
        {{"-root"}, "4194311", TShowTarget::WindowId, 4194311},
        {{"-window-id", "9"}, "0x400007", TShowTarget::WindowId, 9},
        {{"-geometry", "10x10"}, "0x400007", TShowTarget::OwnWindow, 0},
        {{"-fullscreen"}, "0x400007", TShowTarget::OwnWindow, 0},
    };
    for (const TCase& c : cases) {
        const THackOptions options = ParseHackCommandLine(c.Args, c.Environment);
        EXPECT_EQ(options.Place.Target, c.Target) << (c.Args.empty() ? "" : c.Args[0]);
        EXPECT_EQ(options.Place.WindowId, c.WindowId) << (c.Args.empty() ? "" : c.Args[0]);
    }

    const THackOptions geometry = ParseHackCommandLine({"-geometry", "300x200-10+20"}, nullptr);
    ASSERT_TRUE(geometry.Place.Geometry);
    EXPECT_TRUE(geometry.Place.Geometry->HasSize && geometry.Place.Geometry->HasPosition);
    EXPECT_EQ(geometry.Place.Geometry->Width, 300);
    EXPECT_EQ(geometry.Place.Geometry->Height, 200);
    EXPECT_EQ(geometry.Place.Geometry->X, 10);
    EXPECT_EQ(geometry.Place.Geometry->Y, 20);
    EXPECT_TRUE(geometry.Place.Geometry->FromRight);
    EXPECT_FALSE(geometry.Place.Geometry->FromBottom);
    const THackOptions widest = ParseHackCommandLine({"-geometry", "32767x32767-32767-32767"}, nullptr);
    ASSERT_TRUE(widest.Place.Geometry);
    EXPECT_EQ(widest.Place.Geometry->Width, 32767);
    EXPECT_EQ(widest.Place.Geometry->Y, 32767);
    const THackOptions position = ParseHackCommandLine({"-geometry", "+5+6"}, nullptr);
    ASSERT_TRUE(position.Place.Geometry);
    EXPECT_FALSE(position.Place.Geometry->HasSize);
    EXPECT_EQ(position.Place.Geometry->X, 5);

    const THackOptions named = ParseHackCommandLine({"-bgcolor", "dark slate gray"}, nullptr);
    EXPECT_EQ(named.BgcolorName, "dark slate gray");
    EXPECT_FALSE(named.Settings.Bgcolor);
    EXPECT_TRUE(ParseHackCommandLine({"--help"}, nullptr).Help);
}

TEST(HackCommandLine, AnOddCommandLineIsAUsageErrorThatSaysWhy) {
    struct TCase {
        std::vector<std::string> Args;
        const char* Environment;
        const char* Message;
    };
    const TCase cases[] = {
        {{"-bogus"}, nullptr, "unknown option -bogus"},
        {{"---root"}, nullptr, "unknown option ---root"},
        {{"scenes.mrp"}, nullptr, "unexpected argument scenes.mrp"},
        {{"-mrp"}, nullptr, "option -mrp needs a value"},
        {{"-mrp", ""}, nullptr, "option -mrp needs a file"},
        {{"-palettes", ""}, nullptr, "option -palettes needs a folder"},
        {{"-display", ""}, nullptr, "option -display needs a display name"},
        {{"-wait", "-1"}, nullptr, "bad pause -1"},
        {{"-zoom-speed", "0"}, nullptr, "bad zoom speed 0"},
        {{"-zoom-speed", "60.1"}, nullptr, "bad zoom speed 60.1"},
        {{"-zoom-speed", "1.25"}, nullptr, "bad zoom speed 1.25"},
        {{"-zoom-speed", "."}, nullptr, "bad zoom speed ."},
        {{"-wait", "1.5"}, nullptr, "bad pause 1.5"},
        {{"-wait", "2147484"}, nullptr, "bad pause 2147484"},
        {{"-wait", " 5"}, nullptr, "bad pause  5"},
        {{"-draw-mode", "9"}, nullptr, "bad draw mode 9 (0 to 8)"},
        {{"-draw-mode", "$3"}, nullptr, "bad draw mode $3"},
        {{"-draw-mode", "+3"}, nullptr, "bad draw mode +3"},
        {{"-size", "0x10"}, nullptr, "bad size 0x10"},
        {{"-size", "640"}, nullptr, "bad size 640"},
        {{"-size", "640x-1"}, nullptr, "bad size 640x-1"},
        {{"-size", "65536x65536"}, nullptr, "bad size 65536x65536"},
        {{"-size", "99999999999x1"}, nullptr, "bad size 99999999999x1"},
        {{"-layout", "Center"}, nullptr, "bad layout Center (center or tile)"},
        {{"-bgcolor", "#12345"}, nullptr, "bad colour #12345"},
        {{"-bgcolor", "#12345G"}, nullptr, "bad colour #12345G"},
        {{"-bgcolor", ""}, nullptr, "bad colour "},
        {{"-window-id", "0"}, nullptr, "bad window id 0"},
        {{"-window-id", "0x"}, nullptr, "bad window id 0x"},
        {{"-window-id", "0x100000000"}, nullptr, "bad window id 0x100000000"},
        {{"-window-id", "4294967296"}, nullptr, "bad window id 4294967296"},
        {{"-window-id", "12abc"}, nullptr, "bad window id 12abc"},
        {{"-geometry", "x"}, nullptr, "bad geometry x"},
        {{"-geometry", "10x10+5"}, nullptr, "bad geometry 10x10+5"},
        {{"-geometry", ""}, nullptr, "bad geometry "},
        // No X window is wider, higher or further away than 32767.
        {{"-geometry", "32768x10"}, nullptr, "bad geometry 32768x10"},
        {{"-geometry", "1073741824x1"}, nullptr, "bad geometry 1073741824x1"},
        {{"-geometry", "10x10-32768+0"}, nullptr, "bad geometry 10x10-32768+0"},
        {{"-geometry", "+0+2147483647"}, nullptr, "bad geometry +0+2147483647"},
        {{"-root", "-fullscreen"}, nullptr, "-geometry and -fullscreen are for a window of its own"},
        {{"-window-id", "5", "-geometry", "9x9"}, nullptr, "-geometry and -fullscreen are for a window of its own"},
        {{"-geometry", "9x9", "-fullscreen"}, nullptr, "-geometry and -fullscreen exclude each other"},
        {{}, "nonsense", "XSCREENSAVER_WINDOW is no window id: nonsense"},
        {{"-root"}, "0x", "XSCREENSAVER_WINDOW is no window id: 0x"},
    };
    for (const TCase& c : cases) {
        try {
            ParseHackCommandLine(c.Args, c.Environment);
            ADD_FAILURE() << "accepted: " << c.Message;
        } catch (const EHackUsage& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.Message, 0), 0u) << error.what();
        }
    }
}

TEST(HackCommandLine, WithoutAnySceneFileTheShowTakesTheInstalledSamples) {
    const std::string samples = "/usr/share/nimbrel/samples";
    const std::string header = "[Software\\Orv\\Nimbrel\\Settings]\n";
    struct TCase {
        std::vector<std::string> Args;
        std::string Stored;
        const char* MrpFile;
        const char* McfFolder;
    };
    const TCase cases[] = {
        {{}, "", "/usr/share/nimbrel/samples/scenes.mrp", "/usr/share/nimbrel/samples/palettes"},
        {{}, header + "\"MrpFile\"=\"\"\n", "/usr/share/nimbrel/samples/scenes.mrp",
         "/usr/share/nimbrel/samples/palettes"},
        // A stored palette folder belongs to no scene file: the samples' own.
        {{}, header + "\"McfFolder\"=\"/p\"\n", "/usr/share/nimbrel/samples/scenes.mrp",
         "/usr/share/nimbrel/samples/palettes"},
        {{"-palettes", "mine"}, "", "/usr/share/nimbrel/samples/scenes.mrp", "mine"},
        {{"-mrp", "a.mrp"}, "", "a.mrp", ""},
        {{}, header + "\"MrpFile\"=\"/s.mrp\"\n\"McfFolder\"=\"/p\"\n", "/s.mrp", "/p"},
        {{"-mrp", "a.mrp"}, header + "\"MrpFile\"=\"/s.mrp\"\n", "a.mrp", ""},
    };
    for (const TCase& c : cases) {
        const TSettings merged = Merged(c.Args, c.Stored, samples);
        EXPECT_EQ(merged.MrpFile, c.MrpFile) << c.Stored;
        EXPECT_EQ(merged.McfFolder, c.McfFolder) << c.Stored;
    }
    // Where no samples are installed, nothing is made up.
    EXPECT_EQ(Merged({}, "", "").MrpFile, "");
    // A stored scene file that is no text is the show's to report, not
    // replaced.
    TMemorySettingsStore store(
        ParseSettingsFile(header + "\"MrpFile\"=dword:00000001\n", "registry.ini"));
    MergeHackSettings(ParseHackCommandLine({}, nullptr), store, samples);
    EXPECT_EQ(store.OpenKey("Software\\Orv\\Nimbrel\\Settings", false)->GetDataType("MrpFile"), TRegDataType::rdInteger);
}

TEST(HackCommandLine, AnOptionReplacesAStoredValueThatTheShowCouldNotRead) {
    // A stored colour that is no colour text would stop the show; -bgcolor
    // replaces it, as -size replaces a size value of the wrong type.
    const std::string stored =
        "[Software\\Orv\\Nimbrel\\Settings]\n\"Bgcolor\"=\"no colour\"\n\"SizeX\"=dword:00000010\n";
    TSettings expected;
    expected.Bgcolor = 0x0000FF;
    expected.SizeFull = false;
    expected.SizeX = 30;
    expected.SizeY = 20;
    EXPECT_EQ(Merged({"-bgcolor", "#FF0000", "-size", "30x20"}, stored), expected);
}

#ifdef NIMBREL_HACK

// The real program: a usage error ends with status 2 and the reason on
// standard error, before any display is needed; -help prints the options.
TEST(HackProgram, ExitStatusAndMessages) {
    testing::TTempFolder files;
    struct TCase {
        const char* Arguments;
        const char* Environment;
        int Status;
        const char* FirstLine;  // of standard error, or of standard output for status 0
    };
    const TCase cases[] = {
        {"-help", "", 0, "Usage: nimbrel [options]"},
        {"--help", "", 0, "Usage: nimbrel [options]"},
        {"-wait soon", "", 2, "nimbrel: bad pause soon (whole seconds, 0 to 2147483)"},
        {"-bogus", "", 2, "nimbrel: unknown option -bogus"},
        {"", "XSCREENSAVER_WINDOW=window ", 2, "nimbrel: XSCREENSAVER_WINDOW is no window id: window"},
        {"-display :nosuchdisplay.0 -root", "", 1, "nimbrel: cannot open the display :nosuchdisplay.0"},
    };
    for (const TCase& c : cases) {
        const std::string out = files.PathOf("out.txt"), err = files.PathOf("err.txt");
        const std::string command = std::string("env -u XSCREENSAVER_WINDOW ") + c.Environment + NIMBREL_HACK + " " +
                                    c.Arguments + " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.Arguments;
        EXPECT_EQ(WEXITSTATUS(status), c.Status) << c.Arguments;
        std::FILE* f = std::fopen((c.Status == 0 ? out : err).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::array<char, 512> line{};
        const bool read = std::fgets(line.data(), static_cast<int>(line.size()), f) != nullptr;
        std::fclose(f);
        ASSERT_TRUE(read) << c.Arguments;
        EXPECT_EQ(std::string(line.data()), std::string(c.FirstLine) + "\n") << c.Arguments;
    }
}

#endif

}  // namespace
}  // namespace nimbrel
