#include "shell/URegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "../support/temp_folder.h"
#include "headless/recorded_error_box.h"
#include "platform/exceptions.h"
#include "platform/file_settings_store.h"
#include "platform/memory_settings_store.h"

namespace nimbrel {
namespace {

const char* const kKey = "Software\\Orv\\Nimbrel";
const char* const kSection = "Software\\Orv\\Nimbrel\\Settings";

std::string ReadAll(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Both stores must behave alike; each test runs over each.
class Stores : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            store_ = std::make_unique<TFileSettingsStore>(folder_.PathOf("nimbrel/registry.ini"));
        else
            store_ = std::make_unique<TMemorySettingsStore>();
    }
    TSettingsStore& Store() { return *store_; }
    void Put(const char* name, const std::string& text) { Store().OpenKey(kSection, true)->WriteString(name, text); }
    std::string Stored(const char* name) { return Store().OpenKey(kSection, false)->ReadString(name); }

    testing::TTempFolder folder_;
    std::unique_ptr<TSettingsStore> store_;
};

TEST_P(Stores, AMissingKeyGivesEveryDefault) {
    {
        TMandelssReg reg(Store());
        EXPECT_EQ(reg.Bgcolor, 0);
        EXPECT_EQ(reg.SizeX, 200);
        EXPECT_EQ(reg.SizeY, 200);
        EXPECT_TRUE(reg.SizeFull);
        EXPECT_EQ(reg.DM, lmSpread);
        EXPECT_EQ(reg.MrpFile, "");
        EXPECT_EQ(reg.McfFolder, "");
        EXPECT_EQ(reg.Wait, 1000);
        EXPECT_EQ(reg.DrawMode, dmEmerge);
        EXPECT_FALSE(reg.Journey);
        EXPECT_EQ(reg.ZoomSpeed, 15);
        // Loading creates the key but not its section.
        EXPECT_TRUE(Store().KeyExists(kKey));
        EXPECT_FALSE(Store().KeyExists(kSection));
    }
    // The destruction writes every value.
    EXPECT_EQ(Stored("Bgcolor"), "clBlack");
    EXPECT_EQ(Stored("DM"), "0");
    EXPECT_EQ(Stored("SizeFull"), "1");
    EXPECT_EQ(Stored("MrpFile"), "");
    EXPECT_EQ(Stored("SizeX"), "200");
    EXPECT_EQ(Stored("Wait"), "1000");
    EXPECT_EQ(Stored("DrawMode"), "4");
    EXPECT_EQ(Stored("Journey"), "0");
    EXPECT_EQ(Stored("ZoomSpeed"), "15");
}

TEST_P(Stores, AllNineSettingsRoundTrip) {
    {
        TMandelssReg reg(Store());
        reg.Bgcolor = 0x0080FF;
        reg.SizeX = 640;
        reg.SizeY = -480;
        reg.SizeFull = false;
        reg.DM = lmCenter;
        reg.MrpFile = "/home/ユーザー/scenes.mrp";
        reg.McfFolder = "C:\\mcf \"x\"";
        reg.Wait = 7000;
        reg.DrawMode = dmAntialias;
        reg.Save();
        EXPECT_EQ(Stored("Bgcolor"), "$000080FF");
        EXPECT_EQ(Stored("SizeY"), "-480");
        EXPECT_EQ(Stored("SizeFull"), "0");
        EXPECT_EQ(Stored("Wait"), "7000");
        EXPECT_EQ(Stored("DrawMode"), "3");
    }
    TMandelssReg reg(Store());
    EXPECT_EQ(reg.Bgcolor, 0x0080FF);
    EXPECT_EQ(reg.SizeX, 640);
    EXPECT_EQ(reg.SizeY, -480);
    EXPECT_FALSE(reg.SizeFull);
    EXPECT_EQ(reg.DM, lmCenter);
    EXPECT_EQ(reg.MrpFile, "/home/ユーザー/scenes.mrp");
    EXPECT_EQ(reg.McfFolder, "C:\\mcf \"x\"");
    EXPECT_EQ(reg.Wait, 7000);
    EXPECT_EQ(reg.DrawMode, dmAntialias);
}

TEST_P(Stores, StoredTextsAndWhatTheyRead) {
    const struct {
        const char* name;
        const char* text;
        std::function<bool(const TMandelssReg&)> check;
        const char* written;  // what a Save makes of it
    } cases[] = {
        {"Bgcolor", "clblack", [](auto& r) { return r.Bgcolor == 0; }, "clBlack"},
        {"Bgcolor", "$00000000", [](auto& r) { return r.Bgcolor == 0; }, "clBlack"},
        {"Bgcolor", "CLMONEYGREEN", [](auto& r) { return r.Bgcolor == 0xC0DCC0; }, "clMoneyGreen"},
        {"Bgcolor", "255", [](auto& r) { return r.Bgcolor == 255; }, "clRed"},
        {"Bgcolor", "$8000000F", [](auto& r) { return r.Bgcolor == static_cast<int32_t>(0x8000000F); }, "clBtnFace"},
        {"Bgcolor", "clNone", [](auto& r) { return r.Bgcolor == 0x1FFFFFFF; }, "clNone"},
        {"Bgcolor", "$123", [](auto& r) { return r.Bgcolor == 0x123; }, "$00000123"},
        {"SizeX", "abc", [](auto& r) { return r.SizeX == 200; }, "200"},
        {"SizeX", " 5", [](auto& r) { return r.SizeX == 200; }, "200"},
        {"SizeX", "$10", [](auto& r) { return r.SizeX == 16; }, "16"},
        {"SizeFull", "2", [](auto& r) { return r.SizeFull; }, "1"},
        {"SizeFull", "x", [](auto& r) { return r.SizeFull; }, "1"},
        {"SizeFull", "0", [](auto& r) { return !r.SizeFull; }, "0"},
        {"DrawMode", "3", [](auto& r) { return r.DrawMode == dmAntialias; }, "3"},
        {"DrawMode", "4", [](auto& r) { return r.DrawMode == dmEmerge; }, "4"},
        {"DrawMode", "9", [](auto& r) { return r.DrawMode == dmNormal; }, "0"},
        {"DrawMode", "7", [](auto& r) { return r.DrawMode == dmPotentialSmooth; }, "7"},
        {"DM", "-3", [](auto& r) { return r.DM == 0; }, "0"},
        {"DM", "1", [](auto& r) { return r.DM == lmCenter; }, "1"},
        {"DM", "200", [](auto& r) { return r.DM == 200; }, "72"},  // written without its top bit
        {"DM", "300", [](auto& r) { return r.DM == 0; }, "0"},     // no byte: as if no number
        {"Wait", "-1", [](auto& r) { return r.Wait == -1; }, "-1"},
        {"Journey", "1", [](auto& r) { return r.Journey; }, "1"},
        {"Journey", "2", [](auto& r) { return !r.Journey; }, "0"},
        {"Journey", "yes", [](auto& r) { return !r.Journey; }, "0"},
        {"ZoomSpeed", "40", [](auto& r) { return r.ZoomSpeed == 40; }, "40"},
        {"ZoomSpeed", "0", [](auto& r) { return r.ZoomSpeed == 15; }, "15"},
        {"ZoomSpeed", "601", [](auto& r) { return r.ZoomSpeed == 15; }, "15"},
        {"ZoomSpeed", "fast", [](auto& r) { return r.ZoomSpeed == 15; }, "15"},
    };
    for (const auto& c : cases) {
        Put(c.name, c.text);
        {
            TMandelssReg reg(Store());
            EXPECT_TRUE(c.check(reg)) << c.name << "=" << c.text;
        }
        EXPECT_EQ(Stored(c.name), c.written) << c.name << "=" << c.text;
    }
}

TEST_P(Stores, ValuesThatRefuseTheLoad) {
    Put("Bgcolor", "pink");
    EXPECT_THROW(TMandelssReg{Store()}, EConvertError);
    Put("Bgcolor", "clBlack");
    Store().OpenKey(kSection, false)->WriteInteger("SizeX", 5);
    try {
        TMandelssReg reg(Store());
        FAIL();
    } catch (const ERegistryException& error) {
        EXPECT_EQ(error.Message(), "Invalid data type for 'SizeX'");
    }
}

TEST_P(Stores, KeysAndValuesOfTheStore) {
    EXPECT_EQ(Store().OpenKey("Control Panel\\desktop", false), nullptr);
    auto desktop = Store().OpenKey("Control Panel\\desktop", true);
    ASSERT_NE(desktop, nullptr);
    EXPECT_TRUE(Store().KeyExists("control panel"));
    EXPECT_EQ(desktop->GetDataType("ScreenSaveUsePassword"), TRegDataType::rdUnknown);
    EXPECT_THROW(desktop->ReadInteger("ScreenSaveUsePassword"), ERegistryException);
    desktop->WriteInteger("ScreenSaveUsePassword", 1);
    EXPECT_EQ(desktop->GetDataType("screensaveusepassword"), TRegDataType::rdInteger);
    EXPECT_EQ(Store().OpenKey("CONTROL PANEL\\Desktop", false)->ReadInteger("ScreenSaveUsePassword"), 1);
    EXPECT_THROW(desktop->ReadString("ScreenSaveUsePassword"), ERegistryException);
    desktop->WriteString("ScreenSaveUsePassword", "1");
    EXPECT_EQ(desktop->GetDataType("ScreenSaveUsePassword"), TRegDataType::rdString);
    EXPECT_THROW(desktop->ReadInteger("ScreenSaveUsePassword"), ERegistryException);
    EXPECT_EQ(desktop->ReadString("missing"), "");
    auto sub = desktop->OpenKey("Sub", true);
    sub->WriteString("", "default value");
    EXPECT_EQ(Store().OpenKey("Control Panel\\desktop\\sub", false)->ReadString(""), "default value");
}

INSTANTIATE_TEST_SUITE_P(MemoryAndFile, Stores, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

TEST(ColorText, EveryNameReadsAndWritesItself) {
    const char* const names[] = {
        "clBlack", "clMaroon", "clGreen", "clOlive", "clNavy", "clPurple", "clTeal", "clGray", "clSilver",
        "clRed", "clLime", "clYellow", "clBlue", "clFuchsia", "clAqua", "clWhite", "clMoneyGreen", "clSkyBlue",
        "clCream", "clMedGray", "clScrollBar", "clBackground", "clActiveCaption", "clInactiveCaption", "clMenu",
        "clWindow", "clWindowFrame", "clMenuText", "clWindowText", "clCaptionText", "clActiveBorder",
        "clInactiveBorder", "clAppWorkSpace", "clHighlight", "clHighlightText", "clBtnFace", "clBtnShadow",
        "clGrayText", "clBtnText", "clInactiveCaptionText", "clBtnHighlight", "cl3DDkShadow", "cl3DLight",
        "clInfoText", "clInfoBk", "clGradientActiveCaption", "clGradientInactiveCaption", "clNone", "clDefault"};
    for (const char* name : names) EXPECT_EQ(ColorToString(StringToColor(name)), name);
    EXPECT_EQ(StringToColor("clSkyBlue"), 0xF0CAA6);
    EXPECT_EQ(StringToColor("clCream"), 0xF0FBFF);
    EXPECT_EQ(StringToColor("clMedGray"), 0xA4A0A0);
    EXPECT_EQ(StringToColor("clGradientInactiveCaption"), static_cast<int32_t>(0x8000001C));
    EXPECT_EQ(StringToColor("clDefault"), 0x20000000);
    EXPECT_EQ(ColorToString(0x0080FF), "$000080FF");
    EXPECT_EQ(ColorToString(-1), "$FFFFFFFF");
    EXPECT_EQ(StringToColor("-1"), -1);
    for (const char* bad : {"", "pink", "cl", " clBlack", "$", "$123456789", "1.5"})
        EXPECT_THROW(StringToColor(bad), EConvertError) << bad;
}

// A store that refuses every change, to see what the destruction does with a
// failed save.
class TReadOnlyStore : public TMemorySettingsStore {
public:
    void Update(const std::function<void(TSettingsData&)>& Action) override {
        if (refuse) throw ERegistryException("Failed to set data for 'Bgcolor'");
        TMemorySettingsStore::Update(Action);
    }
    bool refuse = false;
};

TEST(Settings, TheDestructionReportsAFailedSave) {
    TRecordedErrorBox box;
    TScopedErrorBox scoped(box);
    TReadOnlyStore store;
    {
        TMandelssReg reg(store);
        store.refuse = true;
        EXPECT_THROW(reg.Save(), ERegistryException);
    }
    EXPECT_EQ(box.Exceptions, std::vector<std::string>{"Nimbrel: Failed to set data for 'Bgcolor'"});
}

// A store that lets every key be read but none be created or written, as the
// registry does for a key the user may only read.
class TNoCreateStore : public TMemorySettingsStore {
public:
    std::unique_ptr<TSettingsKey> OpenKey(std::string_view Path, bool CanCreate) override {
        if (CanCreate && refuse) return nullptr;
        return TMemorySettingsStore::OpenKey(Path, CanCreate);
    }
    bool refuse = false;
};

TEST(Settings, LoadingGivesTheDefaultsForWhatTheStoreCannotGiveAndOnlySaveFails) {
    testing::TTempFolder folder;
    folder.Write("plain", "a file where a folder should be");
    folder.Write("broken.ini", "[Software\\Orv\\Nimbrel\\Settings]\n\"SizeX\"=\"640\n");
    std::filesystem::create_directories(folder.PathOf("folder.ini"));
    const struct {
        const char* name;
        std::function<std::unique_ptr<TSettingsStore>()> make;
        int32_t sizeX;  // what loading gives
    } cases[] = {
        {"no change allowed, empty", [] {
             auto store = std::make_unique<TReadOnlyStore>();
             store->refuse = true;
             return store;
         }, 200},
        {"no change allowed, with values", [] {
             auto store = std::make_unique<TReadOnlyStore>();
             store->OpenKey(kSection, true)->WriteString("SizeX", "640");
             store->refuse = true;
             return store;
         }, 640},
        {"no key created, empty", [] {
             auto store = std::make_unique<TNoCreateStore>();
             store->refuse = true;
             return store;
         }, 200},
        {"no key created, with values", [] {
             auto store = std::make_unique<TNoCreateStore>();
             store->OpenKey(kSection, true)->WriteString("SizeX", "640");
             store->refuse = true;
             return store;
         }, 640},
        {"file in no folder", [&] { return std::make_unique<TFileSettingsStore>(folder.PathOf("plain/registry.ini")); },
         200},
        {"file that is a folder", [&] { return std::make_unique<TFileSettingsStore>(folder.PathOf("folder.ini")); },
         200},
        {"file that is broken", [&] { return std::make_unique<TFileSettingsStore>(folder.PathOf("broken.ini")); },
         200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordedErrorBox box;
        TScopedErrorBox scoped(box);
        const std::unique_ptr<TSettingsStore> store = c.make();
        {
            std::unique_ptr<TMandelssReg> reg;
            ASSERT_NO_THROW(reg = std::make_unique<TMandelssReg>(*store));
            EXPECT_TRUE(box.Exceptions.empty());
            EXPECT_EQ(reg->SizeX, c.sizeX);
            EXPECT_EQ(reg->Wait, 1000);
            EXPECT_THROW(reg->Save(), ERegistryException);
        }
        EXPECT_EQ(box.Exceptions.size(), 1u);  // the save at destruction
    }
    // The broken file is kept for its owner to mend.
    EXPECT_EQ(ReadAll(folder.PathOf("broken.ini")), "[Software\\Orv\\Nimbrel\\Settings]\n\"SizeX\"=\"640\n");
}

TEST(FileStore, APersonCanReadAndEditTheFile) {
    testing::TTempFolder folder;
    const std::string path = folder.PathOf("config/nimbrel/registry.ini");
    TFileSettingsStore store(path);
    { TMandelssReg reg(store); }
    store.OpenKey("Control Panel\\desktop", true)->WriteInteger("ScreenSaveUsePassword", 1);
    std::string text = ReadAll(path);
    for (const char* line : {"[Software\\Orv\\Nimbrel\\Settings]\n", "\"Bgcolor\"=\"clBlack\"\n", "\"DM\"=\"0\"\n",
                             "\"SizeFull\"=\"1\"\n", "\"MrpFile\"=\"\"\n", "\"SizeX\"=\"200\"\n",
                             "\"Wait\"=\"1000\"\n", "\"DrawMode\"=\"4\"\n", "[Control Panel\\desktop]\n",
                             "\"ScreenSaveUsePassword\"=dword:00000001\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("[Software]"), std::string::npos);  // parents go without saying
    // A person changes a value, adds a comment and a blank, with CR LF ends.
    const std::string from = "\"SizeX\"=\"200\"\n";
    text.replace(text.find(from), from.size(), "; wider\r\n  \"SizeX\" = \"1024\"  \r\n");
    std::ofstream(std::filesystem::u8path(path), std::ios::binary) << text;
    TMandelssReg reg(store);
    EXPECT_EQ(reg.SizeX, 1024);
    EXPECT_EQ(reg.SizeY, 200);
}

TEST(FileStore, ABrokenFileNamesItsLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"\"a\"=\"b\"\n", "registry.ini, line 1: a value before the first [key]"},
        {"[k]\n\n\"a\"=\"b\n", "registry.ini, line 3: the closing quote is missing"},
        {"[k]\n\"a\"=dword:123456789\n", "registry.ini, line 2: a dword has at most eight hexadecimal digits"},
        {"[k]\n\"a\"=\"b\" x\n", "registry.ini, line 2: nothing may follow the value"},
        {"[k]\n\"a\\q\"=\"b\"\n", "registry.ini, line 2: unknown escape \\q"},
        {"[k\n", "registry.ini, line 1: \"]\" expected at the end of the key"},
        {"a=b\n", "registry.ini, line 1: [key] or \"name\"=value expected"},
    };
    for (const auto& c : cases) {
        try {
            ParseSettingsFile(c.text, "registry.ini");
            ADD_FAILURE() << c.text;
        } catch (const ERegistryException& error) {
            EXPECT_EQ(error.Message(), c.message);
        }
    }
    const TSettingsData data =
        ParseSettingsFile("\xEF\xBB\xBF# x\n[k]\n\"a\"=expand:\"%x%\\\\y\\x01\"\n\"b\"=hex: 01 ,ff\n[]\n\"c\"=dword:A\n",
                          "registry.ini");
    const TSettingsKeyData* key = data.FindKey("K");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->FindValue("a")->Type, TRegDataType::rdExpandString);
    EXPECT_EQ(key->FindValue("a")->Data, "%x%\\y\x01");
    EXPECT_EQ(key->FindValue("b")->Data, "\x01\xff");
    EXPECT_EQ(data.FindKey("")->FindValue("c")->Integer, 10);
    EXPECT_EQ(ParseSettingsFile(FormatSettingsFile(data), "registry.ini"), data);
}

TEST(FileStore, TheDefaultFileFollowsXdg) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string config = savedConfig ? savedConfig : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(TFileSettingsStore::DefaultFileName(), "/tmp/cfg/nimbrel/registry.ini");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    const char* home = std::getenv("HOME");
    if (home) {
        EXPECT_EQ(TFileSettingsStore::DefaultFileName(), std::string(home) + "/.config/nimbrel/registry.ini");
    }
    if (savedConfig)
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace nimbrel
