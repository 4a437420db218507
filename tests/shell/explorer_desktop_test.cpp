// What the desktop explorer decides beyond the explorer: its scene file and
// palette folder, the recent files, the screen saver's scene file and the
// parts of its status bar.
#include "shell/explorer_desktop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../support/temp_folder.h"
#include "platform/memory_settings_store.h"
#include "platform/text_file.h"
#include "shell/URegistry.h"

namespace nimbrel {
namespace {

namespace fs = std::filesystem;
using testing::TTempFolder;

const char* const kSection = "Software\\Orv\\Nimbrel\\Settings";

TEST(ExplorerDesktop, TheUsersSceneFileAndItsFolderAreMadeWhenFirstNeeded) {
    TTempFolder folder;
    const std::string file = ExplorerDefaultSceneFile(folder.PathOf("Documents"));
    EXPECT_EQ(file, PathToUtf8(fs::u8path(folder.PathOf("Documents")) / "Nimbrel" / "scenes.mrp"));
    std::string error;
    ASSERT_TRUE(MakeSceneFileFolder(file, error)) << error;
    EXPECT_TRUE(fs::is_directory(fs::u8path(file).parent_path()));
    EXPECT_FALSE(fs::exists(fs::u8path(file)));  // the file comes with the first S
    EXPECT_TRUE(MakeSceneFileFolder(file, error));
    EXPECT_TRUE(MakeSceneFileFolder("scenes.mrp", error));  // the current folder is there

    folder.Write("plain", "a file where a folder should be");
    EXPECT_FALSE(MakeSceneFileFolder(folder.PathOf("plain/Nimbrel/scenes.mrp"), error));
    EXPECT_EQ(error, "cannot make the folder " + folder.PathOf("plain/Nimbrel"));
}

// Palettes beside a scene file go with it; a file without them is drawn with
// the screen saver's palettes, as the show draws the installed samples.
TEST(ExplorerDesktop, APaletteFolderForEveryKindOfSceneFile) {
    TTempFolder folder;
    fs::create_directories(fs::u8path(folder.PathOf("own")));
    folder.Write("own/tour.mrp", "");
    folder.Write("own/Fire.MCF", "000000\r\n");
    fs::create_directories(fs::u8path(folder.PathOf("samples/palettes")));
    folder.Write("samples/scenes.mrp", "");
    folder.Write("samples/palettes/fire.mcf", "000000\r\n");
    const std::string saver = folder.PathOf("samples/palettes");
    const struct {
        std::string scenes, saverPalettes, expected;
    } cases[] = {
        {folder.PathOf("own/tour.mrp"), saver, folder.PathOf("own")},
        {folder.PathOf("samples/scenes.mrp"), saver, saver},
        {folder.PathOf("samples/scenes.mrp"), folder.PathOf("missing"), folder.PathOf("samples")},
        {folder.PathOf("samples/scenes.mrp"), "", folder.PathOf("samples")},
        {folder.PathOf("samples/scenes.mrp"), folder.PathOf("samples/scenes.mrp"), folder.PathOf("samples")},
        {"", saver, saver},
        {"", "", "."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExplorerPaletteFolder(c.scenes, c.saverPalettes), c.expected) << c.scenes << " " << c.saverPalettes;
}

// The screen saver's scene file changes alone; what the store cannot give as
// text reads as nothing.
TEST(ExplorerDesktop, TheScreenSaversSceneFile) {
    TMemorySettingsStore store;
    EXPECT_EQ(SaverSetting(store, "MrpFile"), "");
    store.OpenKey(kSection, true)->WriteString("McfFolder", "C:\\palettes");
    store.OpenKey(kSection, true)->WriteString("Wait", "2500");
    UseInScreenSaver(store, "C:\\Users\\me\\Documents\\Nimbrel\\scenes.mrp");
    EXPECT_EQ(SaverSetting(store, "MrpFile"), "C:\\Users\\me\\Documents\\Nimbrel\\scenes.mrp");
    EXPECT_EQ(SaverSetting(store, "McfFolder"), "C:\\palettes");
    EXPECT_EQ(SaverSetting(store, "Wait"), "2500");
    EXPECT_FALSE(store.OpenKey(kSection, false)->ValueExists("SizeX"));
    store.OpenKey(kSection, true)->WriteInteger("McfFolder", 7);
    EXPECT_EQ(SaverSetting(store, "McfFolder"), "");
}

TEST(ExplorerDesktop, RecentFilesNewestFirstOnceEach) {
    TRecentFiles recent(true);
    for (const char* file : {"C:\\a.mrp", "C:\\b.mrp", "C:\\A.MRP", "", "C:\\c.mrp"}) recent.Add(file);
    EXPECT_EQ(recent.Files(), (std::vector<std::string>{"C:\\c.mrp", "C:\\A.MRP", "C:\\b.mrp"}));
    for (int i = 0; i < 10; ++i) recent.Add("C:\\" + std::to_string(i) + ".mrp");
    ASSERT_EQ(recent.Files().size(), TRecentFiles::kCapacity);
    EXPECT_EQ(recent.Files().front(), "C:\\9.mrp");
    EXPECT_EQ(recent.Files().back(), "C:\\2.mrp");
    recent.Remove("c:\\5.MRP");
    EXPECT_EQ(recent.Files().size(), TRecentFiles::kCapacity - 1);

    TRecentFiles exact(false);
    exact.Add("/a.mrp");
    exact.Add("/A.mrp");
    EXPECT_EQ(exact.Files().size(), 2u);
}

// The list survives the store, a shorter one leaves nothing of a longer one
// behind, and values that are no file names are left out.
TEST(ExplorerDesktop, RecentFilesInTheStore) {
    TMemorySettingsStore store;
    TRecentFiles recent(true);
    recent.Load(store);
    EXPECT_TRUE(recent.Files().empty());
    for (const char* file : {"C:\\x.mrp", "C:\\y.mrp", "C:\\z.mrp"}) recent.Add(file);
    recent.Save(store);
    TRecentFiles loaded(true);
    loaded.Load(store);
    EXPECT_EQ(loaded.Files(), recent.Files());

    loaded.Remove("C:\\y.mrp");
    loaded.Remove("C:\\z.mrp");
    loaded.Save(store);
    const auto key = store.OpenKey("Software\\Orv\\Nimbrel\\Explorer", false);
    ASSERT_TRUE(key);
    key->WriteInteger("Recent2", 5);
    key->WriteString("Recent3", "C:\\X.MRP");
    key->WriteString("Recent4", "C:\\w.mrp");
    TRecentFiles again(true);
    again.Load(store);
    EXPECT_EQ(again.Files(), (std::vector<std::string>{"C:\\x.mrp", "C:\\w.mrp"}));
}

TEST(ExplorerDesktop, TheWidthAsAPowerOfTen) {
    const struct {
        const char *part, *shown;
    } cases[] = {
        {"W=3", "W=10^0.48"},        {"W=1", "W=10^0.00"},          {"W=0.00025", "W=10^-3.60"},
        {"W=1e-13", "W=10^-13.00"},  {"W=2.5E+20", "W=10^20.40"},   {"W=2e-400", "W=10^-399.70"},
        {"W=0.99999", "W=10^0.00"},  {"W=0", "W=0"},                {"W=-1", "W=-1"},
        {"W=abc", "W=abc"},          {"W=1e", "W=1e"},              {"Cr=1", "Cr=1"},
    };
    for (const auto& c : cases) EXPECT_EQ(WidthAsPowerOfTen(c.part), c.shown) << c.part;
}

TEST(ExplorerDesktop, TheStatusLineInTheStatusBarsParts) {
    const struct {
        const char* status;
        TExplorerStatusParts parts;
    } cases[] = {
        {"Mandelbrot  Cr=-0.8 Ci=0  W=3  I=256  Pow=2  DM=4 interlaced  MCF=(built-in)  0.250 s",
         {"Mandelbrot", "Cr=-0.8 Ci=0", "W=10^0.48", "I=256 Pow=2", "DM=4 interlaced", "MCF=(built-in)", "",
          "0.250 s", ""}},
        {"Julia  Cr=0 Ci=0  W=4  Jr=-3.05 Ji=1.5  I=300  Pow=3  D=2  DM=7 smooth relief  MCF=夕焼け  scene 2/14  "
         "drawing...",
         {"Julia", "Cr=0 Ci=0 Jr=-3.05 Ji=1.5", "W=10^0.60", "I=300 Pow=3 D=2", "DM=7 smooth relief", "MCF=夕焼け",
          "scene 2/14", "drawing...", ""}},
        {"Mandelbrot  Cr=0 Ci=0  W=1  I=1  Pow=2  DM=0 row by row  MCF=a  failed  |  not kept:  two  blanks",
         {"Mandelbrot", "Cr=0 Ci=0", "W=10^0.00", "I=1 Pow=2", "DM=0 row by row", "MCF=a", "", "failed",
          "not kept:  two  blanks"}},
        // A part the bar has no place for goes before the message.
        {"Mandelbrot  Cr=0 Ci=0  W=1  exact=40 digits  I=1  |  wrote x.png",
         {"Mandelbrot", "Cr=0 Ci=0", "W=10^0.00", "I=1", "", "", "", "", "exact=40 digits  wrote x.png"}},
    };
    for (const auto& c : cases) {
        const TExplorerStatusParts p = SplitExplorerStatus(c.status);
        const TExplorerStatusParts& e = c.parts;
        EXPECT_EQ(p.Kind, e.Kind) << c.status;
        EXPECT_EQ(p.Centre, e.Centre) << c.status;
        EXPECT_EQ(p.Width, e.Width) << c.status;
        EXPECT_EQ(p.Iterations, e.Iterations) << c.status;
        EXPECT_EQ(p.Mode, e.Mode) << c.status;
        EXPECT_EQ(p.Palette, e.Palette) << c.status;
        EXPECT_EQ(p.Scene, e.Scene) << c.status;
        EXPECT_EQ(p.Time, e.Time) << c.status;
        EXPECT_EQ(p.Message, e.Message) << c.status;
    }
}

}  // namespace
}  // namespace nimbrel
