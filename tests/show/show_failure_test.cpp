#include <cstdlib>
#include <filesystem>

#include "engine/picture_budget.h"
#include "platform/application.h"

#include "../support/read_error.h"
#include "show_fixture.h"

namespace nimbrel::testing {
namespace {

const std::string kLineError = "行目にｴﾗｰがあったので読み込みを中止しました。";

TEST_F(ShowTest, SceneFileFailuresShowTheirMessageAndNoShow) {
    const struct {
        const char* name;
        std::string bytes;  // empty: no file
        std::string message;
        const char* path = nullptr;  // another file than the one of the name
    } cases[] = {
        {"missing", "", "\r\nが見つかりません。"},
        {"bad line", "* scenes\r\nT=MANDEL, Title=A, Cr=-0.5, Ci=0, W=0\r\n",
         "\r\n2 " + kLineError + "\r\n幅の値(W)は０より大きくなくてはいけません。"},
        {"syntax", "T=MANDEL, Title=A, Cr=abc, Ci=0, W=3\r\n", "\r\n1 " + kLineError + "\r\n"},
        {"empty", "* only a comment\r\n", "\r\n0 " + kLineError + "\r\n"},
        {"read error", "", "\r\n1 " + kLineError + "\r\n", kUnreadableFile},
        {"open error", "", "\r\n1 " + kLineError + "\r\n", kUnopenableFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Box.Errors.clear();
        const std::string path = c.path ? c.path : Files.PathOf(std::string(c.name) + ".mrp");
        if (!c.bytes.empty()) Files.Write(std::string(c.name) + ".mrp", c.bytes);
        Settings([&](TMandelssReg& s) { s.MrpFile = path; });
        Start();
        Host->RunUntil(5000);
        ASSERT_EQ(Box.Errors.size(), 1u);
        EXPECT_EQ(Box.Errors[0], path + c.message);
        EXPECT_TRUE(Box.Exceptions.empty());
        EXPECT_TRUE(Host->Copies.empty());
        EXPECT_EQ(Form->timDraw().GetInterval(), 0u);
        EXPECT_FALSE(Host->Terminated());  // the window stays until it is closed
    }
}

TEST_F(ShowTest, ARefusedSizeShowsItsMessageAndTheNextStartUsesTheFullScreen) {
    Settings([](TMandelssReg& s) {
        s.SizeX = 0;
        s.Bgcolor = 0x00FF00;
    });
    WriteScenes(Scene());
    Start();
    Host->RunUntil(3000);
    EXPECT_EQ(Box.Errors, (std::vector<std::string>{"サイズ指定が不正です"}));
    EXPECT_TRUE(Host->Copies.empty());
    EXPECT_EQ(Host->Color(), 0x00FF00);
    EXPECT_FALSE(Stored()->SizeFull);  // written only when the window is destroyed
    Host.reset();
    auto stored = Stored();
    EXPECT_TRUE(stored->SizeFull);
    EXPECT_EQ(stored->SizeX, 0);
    EXPECT_EQ(stored->Bgcolor, 0x00FF00);
}

// A machine of 128 MiB, whose pictures may take 64 MiB: a stored size or a
// screen far beyond that is drawn at the largest picture of its shape that
// fits. A stored size gets the size message once, not once per picture, and
// the settings keep the size drawn, so the next start says nothing.
TEST_F(ShowTest, ASizeTheMachineCannotHoldIsDrawnAtTheLargestThatFits) {
    const TScopedPhysicalMemory memory(128 << 20);
    const TPictureBudget budget = TPictureBudget::ForMemory(128 << 20);
    const struct {
        const char* name;
        bool full;
        int32_t screenWidth, screenHeight;
        std::vector<std::string> messages;
    } cases[] = {
        {"stored size", false, 40, 30, {"サイズ指定が不正です"}},
        {"full screen", true, 100000, 50000, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Box.Errors.clear();
        Settings([&](TMandelssReg& s) {
            s.SizeFull = c.full;
            s.SizeX = 100000;
            s.SizeY = 50000;
            s.Wait = 100;
        });
        WriteScenes(Scene());
        Start(smSaver, 64, 48, c.screenWidth, c.screenHeight);
        Host->RunUntil(2500);
        EXPECT_EQ(Box.Errors, c.messages);
        EXPECT_TRUE(Box.Exceptions.empty());
        EXPECT_GE(Form->Pictures(), 2);
        const int32_t w = Form->Mandel().GetWidth(), h = Form->Mandel().GetHeight();
        EXPECT_TRUE(budget.Fits(w, h, true)) << w << "x" << h;
        EXPECT_FALSE(budget.Fits(w + 2, h + 1, true)) << w << "x" << h;
        EXPECT_LE(std::abs(w - 2 * h), 1) << w << "x" << h;
        Host.reset();
        auto stored = Stored();
        EXPECT_EQ(stored->SizeFull, c.full);
        EXPECT_EQ(stored->SizeX, c.full ? 100000 : w);
        EXPECT_EQ(stored->SizeY, c.full ? 50000 : h);
        if (c.full) continue;
        Box.Errors.clear();
        Start();
        Host->RunUntil(200);
        EXPECT_TRUE(Box.Errors.empty());
        EXPECT_EQ(Form->Mandel().GetWidth(), w);
    }
}

// A settings store that refuses every change, as a key the user may only
// read or a settings file that cannot be written does.
class TReadOnlyStore : public TMemorySettingsStore {
public:
    void Update(const std::function<void(TSettingsData&)>& Action) override {
        if (Refuse) throw ERegistryException("Failed to create key Software\\Orv\\Nimbrel");
        TMemorySettingsStore::Update(Action);
    }
    bool Refuse = false;
};

TEST_F(ShowTest, AStoreThatRefusesChangesStillStartsTheShow) {
    Settings();
    WriteScenes(Scene());
    for (const bool stored : {true, false}) {
        SCOPED_TRACE(stored ? "with the settings" : "empty");
        Box.Errors.clear();
        Box.Exceptions.clear();
        TReadOnlyStore readOnly;
        if (stored) readOnly.Update([&](TSettingsData& data) { data = Store.Data(); });
        readOnly.Refuse = true;
        Host = std::make_unique<THeadlessHost>(64, 48, 40, 30);
        TSaverInit init;
        init.SaverMode = smSaver;
        auto form = std::make_unique<TfrmMain>(*Host, readOnly, Passwords, init, 12345);
        Form = form.get();
        Host->SetMainForm(std::move(form));
        Host->Activate();
        Host->RunUntil(1500);
        ASSERT_NE(Form->Settings(), nullptr);
        EXPECT_TRUE(Box.Exceptions.empty());
        if (stored) {
            // The stored settings: the scenes are shown.
            EXPECT_TRUE(Box.Errors.empty());
            EXPECT_FALSE(Host->Copies.empty());
            EXPECT_EQ(Form->Mandel().GetWidth(), 24);
        } else {
            // The defaults: no scene file is set, which the show says.
            EXPECT_EQ(Box.Errors, std::vector<std::string>{"\r\nが見つかりません。"});
            EXPECT_EQ(Form->Settings()->SizeX, 200);
        }
        // What cannot be stored is reported when the window goes.
        Host.reset();
        Form = nullptr;
        EXPECT_EQ(Box.Exceptions, std::vector<std::string>{"Nimbrel: Failed to create key Software\\Orv\\Nimbrel"});
    }
}

TEST_F(ShowTest, EverySettingIsWrittenBackAtDestruction) {
    WriteScenes(Scene());
    Settings();
    Start();
    Host->RunUntil(500);
    // Remove the values, then let the window go: all nine come back.
    Store.OpenKey("Software\\Orv\\Nimbrel\\Settings", true);
    Store.Update([](TSettingsData& data) { data = TSettingsData{}; });
    Host.reset();
    auto key = Store.OpenKey("Software\\Orv\\Nimbrel\\Settings", false);
    ASSERT_NE(key, nullptr);
    for (const char* name : {"Bgcolor", "DM", "SizeFull", "MrpFile", "McfFolder", "SizeX", "SizeY", "Wait", "DrawMode"})
        EXPECT_TRUE(key->ValueExists(name)) << name;
    EXPECT_EQ(key->ReadString("SizeX"), "24");
}

TEST_F(ShowTest, ABadPaletteSkipsThatPictureAndTheNextStartsAfterWait) {
    Files.Write("bad.mcf", "000000\r\nFFFFFF\r\nnot a colour\r\n");
    std::filesystem::create_symlink(kUnreadableFile, Files.PathOf("unreadable.mcf"));
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"bad", "3 行目にｴﾗｰがあります"},
        {"unreadable", "1 行目にｴﾗｰがあります"},  // a read error
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Box.Errors.clear();
        Settings();
        WriteScenes(Scene(std::string(", MCF=") + c.name));
        Start();
        Host->RunUntil(150);
        EXPECT_EQ(Box.Errors, (std::vector<std::string>{c.message}));
        EXPECT_TRUE(Box.Exceptions.empty());
        EXPECT_TRUE(Host->Copies.empty());
        EXPECT_EQ(Form->Mandel().GetColorCount(), 127);  // the built-in palette
        EXPECT_EQ(Form->timDraw().GetInterval(), 1000u);
        EXPECT_EQ(Form->timDrawMandel().GetInterval(), 0u);
        Host->RunUntil(1150);
        EXPECT_EQ(Box.Errors.size(), 2u);  // the next picture tried again
    }
}

TEST_F(ShowTest, APaletteNameThatNamesNoFileKeepsThePaletteSilently) {
    // Files that a cut or a literal reading of the name would find.
    Files.Write("noext", "102030\r\n405060\r\n708090\r\n");
    Files.Write("ctl\x01.mcf", "102030\r\n405060\r\n708090\r\n");
    for (const std::string& name : {std::string("absent"), std::string("noext\0x", 7), std::string("ctl\x01")}) {
        SCOPED_TRACE(name);
        Settings();
        WriteScenes(Scene(", MCF=" + name));
        Start();
        Host->RunUntil(500);
        EXPECT_TRUE(Box.Errors.empty());
        EXPECT_FALSE(Host->Copies.empty());
        EXPECT_EQ(Form->Mandel().GetColorCount(), 127);  // the built-in palette
    }
}

TEST_F(ShowTest, AMissingPaletteKeepsThePreviousOneSilently) {
    Files.Write("two.mcf", "102030\r\n405060\r\n708090\r\n");
    Settings([](TMandelssReg& s) { s.Wait = 100; });
    WriteScenes(Scene(", MCF=two") + Scene(", MCF=absent"));
    Start();
    Host->RunUntil(2000);
    EXPECT_TRUE(Box.Errors.empty());
    EXPECT_EQ(Form->Mandel().GetColorCount(), 2);
    EXPECT_EQ(Form->Mandel().GetColorTable()[0], 0x302010);
}

TEST_F(ShowTest, APaletteNamedInJapaneseIsFoundByItsDecodedName) {
    Files.Write("夕焼け.mcf", "102030\r\n405060\r\n708090\r\n");
    Settings();
    // "夕焼け" in Shift-JIS.
    WriteScenes(Scene(", MCF=\x97\x5B\x8F\xC4\x82\xAF"));
    Start();
    Host->RunUntil(500);
    EXPECT_TRUE(Box.Errors.empty());
    EXPECT_EQ(Form->Mandel().GetColorCount(), 2);
}

TEST_F(ShowTest, ClosingDuringAPictureDestroysTheWindowOnlyAfterTheDrawUnwound) {
    Settings([](TMandelssReg& s) { s.SizeY = 40; });
    WriteScenes(Scene());
    RowCost = 20;
    Start();
    // A close request from inside the draw's message processing.
    Host->ClickAt(500);
    Host->RunUntil(600);
    EXPECT_TRUE(Host->Terminated());
    EXPECT_EQ(Host->MainForm(), nullptr);
    EXPECT_TRUE(Host->Copies.empty());
}

}  // namespace
}  // namespace nimbrel::testing
