#include "shell/USetting.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../support/temp_folder.h"
#include "headless/recorded_error_box.h"
#include "headless/scripted_dialogs.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/memory_settings_store.h"
#include "shell/FolderSelectDialog.h"
#include "shell/setting_texts.h"

namespace nimbrel {
namespace {

namespace texts = setting_texts;

const char* const kSection = "Software\\Orv\\Nimbrel\\Settings";
const std::string kNoMrpFile(texts::kNoMrpFile);
const std::string kNoMcfFolder(texts::kNoMcfFolder);
const std::string kBadEntry(texts::kBadEntry);

// Notes, with each message, the page the window showed when the box came up.
class TPagedErrorBox : public TRecordedErrorBox {
public:
    explicit TPagedErrorBox(const TRecordedSettingWindow& window) : window_(window) {}
    void ShowError(const std::string& text) override {
        Pages.push_back(window_.Shown.ActivePage);
        TRecordedErrorBox::ShowError(text);
    }
    std::vector<TSettingPage> Pages;

private:
    const TRecordedSettingWindow& window_;
};

// The dialog with a memory store, a recorded window, scripted system dialogs,
// a scene file and a palette folder.
struct TDialogRig {
    TDialogRig() {
        Mrp = Folder.Write("scenes.mrp", "scenes");
        Mcf = Folder.PathOf("mcf");
        std::filesystem::create_directories(std::filesystem::u8path(Mcf));
    }
    void Put(const char* name, const std::string& text) { Store.OpenKey(kSection, true)->WriteString(name, text); }
    std::string Stored(const char* name) {
        const auto section = Store.OpenKey(kSection, false);
        return section ? section->ReadString(name) : "(no section)";
    }
    TfrmSetting& Open() {
        Form = std::make_unique<TfrmSetting>(Window, Store, Dialogs);
        Form->FormActivate();
        return *Form;
    }
    // Every stored entry passes the checks.
    TfrmSetting& OpenValid() {
        Put("MrpFile", Mrp);
        Put("McfFolder", Mcf);
        return Open();
    }
    TSettingControls& Controls() { return Form->Controls(); }

    testing::TTempFolder Folder;
    std::string Mrp;
    std::string Mcf;
    TMemorySettingsStore Store;
    TRecordedSettingWindow Window;
    TPagedErrorBox Errors{Window};
    TScopedErrorBox ErrorScope{Errors};
    TScriptedDialogServices Dialogs;
    std::unique_ptr<TfrmSetting> Form;  // destroyed first, while the box is installed
};

TEST(SettingDialog, ShowsTheStoredSettingsWithTheirEnabling) {
    const struct {
        std::vector<std::pair<const char*, const char*>> stored;
        bool full;
        bool center;
        TColor color;
        const char* sizeX;
        const char* wait;
    } cases[] = {
        {{}, true, false, 0, "200", "1"},
        {{{"SizeFull", "0"}, {"SizeX", "640"}, {"DM", "1"}, {"Bgcolor", "$000080FF"}, {"Wait", "7999"}},
         false, true, 0x0080FF, "640", "7"},
    };
    for (const auto& c : cases) {
        TDialogRig rig;
        for (const auto& [name, text] : c.stored) rig.Put(name, text);
        rig.OpenValid();
        const TSettingControls& shown = rig.Window.Shown;
        EXPECT_EQ(shown, rig.Controls());
        EXPECT_EQ(shown.ActivePage, tbsFile);
        EXPECT_EQ(shown.edtMrpFile.Text, rig.Mrp);
        EXPECT_EQ(shown.edtMcfFolder.Text, rig.Mcf);
        EXPECT_EQ(shown.rdbSizeFull.Checked, c.full);
        EXPECT_EQ(shown.rdbSizeUser.Checked, !c.full);
        for (const TEditControl& edit : {shown.edtSizeX, shown.edtSizeY}) {
            EXPECT_EQ(edit.Enabled, !c.full);
            EXPECT_EQ(edit.Color, c.full ? clBtnFace : clWindow);
        }
        EXPECT_EQ(shown.lblSizeX.Enabled && shown.lblSizeY.Enabled, !c.full);
        EXPECT_EQ(shown.edtSizeX.Text, c.sizeX);
        EXPECT_EQ(shown.rdbCenter.Checked, c.center);
        EXPECT_EQ(shown.rdbSpread.Checked, !c.center);
        EXPECT_EQ(shown.lblBgcolor.Enabled && shown.pnlBgcolor.Enabled, c.center);
        EXPECT_EQ(shown.pnlBgcolor.Color, c.color);
        EXPECT_EQ(shown.edtWait.Text, c.wait);
    }
}

TEST(SettingDialog, DrawModesAndPausesAreShownAndStoredBack) {
    const struct {
        const char* storedMode;
        const char* item;
        const char* storedBack;
    } modes[] = {
        {"0", "普通", "0"},       {"1", "探索", "1"},     {"2", "境界走査", "2"},
        {"3", "簡易ｱﾝﾁｴﾘｱｼﾝｸﾞ", "3"}, {"4", "浮き出し", "4"}, {"5", "浮き出し", "4"},
        {"6", "浮き出し", "4"},   {"7", "浮き出し", "4"}, {"8", "浮き出し", "4"},
    };
    for (const auto& m : modes) {
        TDialogRig rig;
        rig.Put("DrawMode", m.storedMode);
        rig.Put("Wait", "1500");
        rig.OpenValid();
        EXPECT_EQ(texts::kDrawModeItems[rig.Window.Shown.cmbDrawMode.ItemIndex], m.item) << m.storedMode;
        EXPECT_EQ(rig.Window.Shown.edtWait.Text, "1");
        rig.Form->bbnOKClick();
        EXPECT_EQ(rig.Stored("DrawMode"), m.storedBack) << m.storedMode;
        EXPECT_EQ(rig.Stored("Wait"), "1000");
    }
}

TEST(SettingDialog, NoSelectionInTheListIsStoredAsEmerge) {
    TDialogRig rig;
    rig.OpenValid();
    rig.Controls().cmbDrawMode.ItemIndex = -1;
    rig.Form->bbnOKClick();
    EXPECT_EQ(rig.Stored("DrawMode"), "4");
}

TEST(SettingDialog, OKStoresEveryEntry) {
    TDialogRig rig;
    TfrmSetting& form = rig.OpenValid();
    form.rdbSizeUserClick();
    rig.Controls().edtSizeX.Text = "800";
    rig.Controls().edtSizeY.Text = "600";
    form.rdbCenterClick();
    rig.Dialogs.ColorAnswers.push_back(0x0080FF);
    form.pnlBgcolorClick();
    rig.Controls().edtWait.Text = "2147483";  // the longest pause the milliseconds hold
    rig.Controls().cmbDrawMode.ItemIndex = 2;
    rig.Controls().edtMcfFolder.Text = "";  // no palette folder is accepted
    form.bbnOKClick();
    EXPECT_EQ(rig.Window.CloseCount, 1);
    EXPECT_TRUE(rig.Errors.Errors.empty());
    EXPECT_EQ(rig.Stored("MrpFile"), rig.Mrp);
    EXPECT_EQ(rig.Stored("McfFolder"), "");
    EXPECT_EQ(rig.Stored("SizeFull"), "0");
    EXPECT_EQ(rig.Stored("SizeX"), "800");
    EXPECT_EQ(rig.Stored("SizeY"), "600");
    EXPECT_EQ(rig.Stored("DM"), "1");
    EXPECT_EQ(rig.Stored("Bgcolor"), "$000080FF");
    EXPECT_EQ(rig.Stored("Wait"), "2147483000");
    EXPECT_EQ(rig.Stored("DrawMode"), "2");
}

TEST(SettingDialog, AFailedCheckShowsItsPageAndMessageAndStoresNothing) {
    // A machine of 128 MiB, whose pictures may take 64 MiB.
    const TScopedPhysicalMemory memory(128 << 20);
    const struct {
        TEditControl TSettingControls::*edit;
        const char* text;
        bool userSize;  // "サイズ指定" selected
        TSettingPage page;
        const std::string& message;
    } cases[] = {
        {&TSettingControls::edtMrpFile, "", false, tbsFile, kNoMrpFile},
        {&TSettingControls::edtMrpFile, "/nonexistent/scenes.mrp", false, tbsFile, kNoMrpFile},
        {&TSettingControls::edtMcfFolder, "/nonexistent/palettes", false, tbsFile, kNoMcfFolder},
        {&TSettingControls::edtSizeX, "0", true, tbsView, kBadEntry},
        {&TSettingControls::edtSizeY, "abc", true, tbsView, kBadEntry},
        // Sizes the machine cannot hold: beyond its memory, beyond any bitmap.
        {&TSettingControls::edtSizeX, "100000", true, tbsView, kBadEntry},
        {&TSettingControls::edtSizeY, "2147483647", true, tbsView, kBadEntry},
        {&TSettingControls::edtWait, "0", false, tbsView, kBadEntry},
        {&TSettingControls::edtWait, "", false, tbsView, kBadEntry},
        {&TSettingControls::edtWait, "1.5", false, tbsView, kBadEntry},
        // More seconds than the stored milliseconds can hold.
        {&TSettingControls::edtWait, "2147484", false, tbsView, kBadEntry},
    };
    for (const auto& c : cases) {
        for (const bool ok : {true, false}) {
            TDialogRig rig;
            rig.OpenValid();
            rig.Form->ChangePage(tbsAbout);
            if (c.userSize) rig.Form->rdbSizeUserClick();
            (rig.Controls().*c.edit).Text = c.text;
            const TSettingsData before = rig.Store.Data();
            EXPECT_THROW(ok ? rig.Form->bbnOKClick() : rig.Form->bbnUpdateClick(), EAbort) << c.text;
            EXPECT_EQ(rig.Errors.Errors, std::vector<std::string>{c.message}) << c.text;
            EXPECT_EQ(rig.Errors.Pages, std::vector<TSettingPage>{c.page}) << c.text;
            EXPECT_EQ(rig.Window.Shown.ActivePage, c.page) << c.text;
            EXPECT_EQ(rig.Window.CloseCount, 0) << c.text;
            EXPECT_TRUE(rig.Store.Data() == before) << c.text;
        }
    }
}

TEST(SettingDialog, APageChangeChecksEveryEntry) {
    TDialogRig rig;
    TfrmSetting& form = rig.OpenValid();
    const TSettingsData before = rig.Store.Data();
    form.ChangePage(tbsAbout);
    EXPECT_EQ(rig.Window.Shown.ActivePage, tbsAbout);

    // Leaving the version page with a wrong scene file shows the file page,
    // and the scene file is named before a wrong pause.
    rig.Controls().edtMrpFile.Text = "";
    rig.Controls().edtWait.Text = "0";
    EXPECT_FALSE(form.pgcSettingChanging());
    form.ChangePage(tbsView);
    EXPECT_EQ(rig.Window.Shown.ActivePage, tbsFile);
    EXPECT_EQ(rig.Errors.Errors, (std::vector<std::string>{kNoMrpFile, kNoMrpFile}));

    // A wrong pause is found from the file page too.
    rig.Controls().edtMrpFile.Text = rig.Mrp;
    form.ChangePage(tbsAbout);
    EXPECT_EQ(rig.Window.Shown.ActivePage, tbsView);
    EXPECT_EQ(rig.Errors.Errors.back(), kBadEntry);

    rig.Controls().edtWait.Text = "3";
    form.ChangePage(tbsAbout);
    EXPECT_EQ(rig.Window.Shown.ActivePage, tbsAbout);
    EXPECT_EQ(rig.Errors.Errors.size(), 3u);
    // Checking stores nothing.
    EXPECT_TRUE(rig.Store.Data() == before);
}

TEST(SettingDialog, CancelAfterUpdateKeepsTheUpdatedValues) {
    TDialogRig rig;
    TfrmSetting& form = rig.OpenValid();
    rig.Controls().edtWait.Text = "7";
    form.bbnUpdateClick();
    EXPECT_EQ(rig.Stored("Wait"), "7000");
    EXPECT_EQ(rig.Window.CloseCount, 0);
    rig.Controls().edtWait.Text = "9";
    form.bbnCancelClick();
    EXPECT_EQ(rig.Window.CloseCount, 1);
    rig.Form.reset();
    EXPECT_EQ(rig.Stored("Wait"), "7000");
}

TEST(SettingDialog, ActivationFillsTheControlsOnlyOnce) {
    TDialogRig rig;
    TfrmSetting& form = rig.OpenValid();
    rig.Controls().edtWait.Text = "5";
    form.ChangePage(tbsView);
    form.FormActivate();
    EXPECT_EQ(rig.Controls().edtWait.Text, "5");
    EXPECT_EQ(rig.Controls().ActivePage, tbsView);
}

// Text left in a size edit that the full-screen choice disabled neither stops
// OK nor reaches the settings: the stored size stays.
TEST(SettingDialog, FullScreenKeepsTheStoredSizeForTextThatIsNoSize) {
    const struct {
        const char* x;
        const char* y;
        const char* storedX;
        const char* storedY;
    } cases[] = {
        {"abc", "", "640", "480"},
        {"0", "-5", "640", "480"},
        {"800", "x1", "800", "480"},
        // Sides that this machine could never draw together.
        {"2147483647", "2147483647", "640", "480"},
        {"2147483647", "", "640", "480"},
    };
    for (const auto& c : cases) {
        TDialogRig rig;
        rig.Put("SizeFull", "0");
        rig.Put("SizeX", "640");
        rig.Put("SizeY", "480");
        TfrmSetting& form = rig.OpenValid();
        rig.Controls().edtSizeX.Text = c.x;
        rig.Controls().edtSizeY.Text = c.y;
        form.rdbSizeFullClick();
        rig.Controls().edtWait.Text = "3";
        form.bbnOKClick();
        EXPECT_TRUE(rig.Errors.Errors.empty() && rig.Errors.Exceptions.empty()) << c.x;
        EXPECT_EQ(rig.Window.CloseCount, 1) << c.x;
        EXPECT_EQ(rig.Stored("SizeFull"), "1") << c.x;
        EXPECT_EQ(rig.Stored("SizeX"), c.storedX) << c.x;
        EXPECT_EQ(rig.Stored("SizeY"), c.storedY) << c.x;
        EXPECT_EQ(rig.Stored("Wait"), "3000") << c.x;
    }
}

TEST(SettingDialog, TheColourDialogOpensOnTheColourChosenLast) {
    TDialogRig rig;
    rig.Put("Bgcolor", "clRed");
    rig.Put("DM", "1");
    TfrmSetting& form = rig.OpenValid();
    rig.Dialogs.ColorAnswers = {std::nullopt, 0xFF0000, 0x00FF00};
    form.pnlBgcolorClick();  // cancelled
    EXPECT_EQ(rig.Window.Shown.pnlBgcolor.Color, 0x0000FF);
    form.pnlBgcolorClick();
    EXPECT_EQ(rig.Window.Shown.pnlBgcolor.Color, 0xFF0000);
    form.pnlBgcolorClick();
    EXPECT_EQ(rig.Dialogs.ColorRequests, (std::vector<TColor>{0, 0, 0xFF0000}));
    // A spread picture has no background: the panel takes no click.
    form.rdbSpreadClick();
    form.pnlBgcolorClick();
    EXPECT_EQ(rig.Dialogs.ColorRequests.size(), 3u);
    form.bbnOKClick();
    EXPECT_EQ(rig.Stored("Bgcolor"), "clLime");
    EXPECT_EQ(rig.Stored("DM"), "0");
}

TEST(SettingDialog, TheBrowseButtonsFillTheirEntries) {
    TDialogRig rig;
    TfrmSetting& form = rig.OpenValid();
    rig.Dialogs.OpenAnswers = {"C:\\scenes\\a.mrp", std::nullopt};
    form.bbnBrowsClick();
    form.bbnBrowsClick();
    EXPECT_EQ(rig.Window.Shown.edtMrpFile.Text, "C:\\scenes\\a.mrp");
    ASSERT_EQ(rig.Dialogs.OpenRequests.size(), 2u);
    const TOpenDialog& first = rig.Dialogs.OpenRequests[0];
    EXPECT_EQ(first.Filter, "MRPﾌｧｲﾙ(*.mrp)|*.mrp|全てのﾌｧｲﾙ|*");
    EXPECT_TRUE(first.HideReadOnly && first.PathMustExist && first.FileMustExist);
    EXPECT_EQ(first.FileName, "");
    EXPECT_EQ(rig.Dialogs.OpenRequests[1].FileName, "C:\\scenes\\a.mrp");

    rig.Dialogs.FolderAnswers = {"C:\\palettes", std::nullopt};
    form.bbnRefClick();
    form.bbnRefClick();
    EXPECT_EQ(rig.Window.Shown.edtMcfFolder.Text, "C:\\palettes");
    ASSERT_EQ(rig.Dialogs.FolderRequests.size(), 2u);
    for (const TFolderBrowseRequest& request : rig.Dialogs.FolderRequests) {
        EXPECT_EQ(request.Title, "MCFファイルがあるフォルダを選んで下さい");
        EXPECT_EQ(request.Root, "\\");
        EXPECT_EQ(request.InitialFolder, "");
    }
}

TEST(SettingDialog, UnreadableSettingsAreReportedAndTheDialogCloses) {
    TDialogRig rig;
    rig.Put("Bgcolor", "not a colour");
    EXPECT_THROW(rig.Open(), EAbort);
    EXPECT_EQ(rig.Errors.Exceptions.size(), 1u);
    EXPECT_EQ(rig.Form->Settings(), nullptr);
    EXPECT_EQ(rig.Window.CloseCount, 1);
    rig.Form.reset();
    EXPECT_EQ(rig.Stored("Bgcolor"), "not a colour");
}

TEST(SelectFolder, TheInitialFolderAndTheAnswer) {
    testing::TTempFolder folder;
    const std::string existing = folder.PathOf("");
    const std::string missing = folder.PathOf("none");
    const struct {
        std::string initial;
        std::optional<std::string> answer;
        std::string preselected;
        bool result;
        std::string after;
    } cases[] = {
        {missing, std::nullopt, "", false, ""},
        {existing, std::nullopt, existing, false, existing},
        {"", std::nullopt, "", false, ""},
        {missing, "/chosen", "", true, "/chosen"},
        {existing, "/chosen", existing, true, "/chosen"},
    };
    for (const auto& c : cases) {
        TScriptedDialogServices dialogs;
        dialogs.FolderAnswers.push_back(c.answer);
        std::string chosen = c.initial;
        EXPECT_EQ(SelectFolder(dialogs, "title", "\\", chosen), c.result) << c.initial;
        EXPECT_EQ(chosen, c.after) << c.initial;
        ASSERT_EQ(dialogs.FolderRequests.size(), 1u);
        EXPECT_EQ(dialogs.FolderRequests[0].InitialFolder, c.preselected) << c.initial;
        EXPECT_EQ(dialogs.FolderRequests[0].Title, "title");
        EXPECT_EQ(dialogs.FolderRequests[0].Root, "\\");
    }
}

}  // namespace
}  // namespace nimbrel

namespace nimbrel {
namespace {

TEST(SettingDialog, TheJourneyPageShowsChecksAndStoresTheZoom) {
    TDialogRig rig;
    rig.Put("Journey", "1");
    rig.Put("ZoomSpeed", "25");
    TfrmSetting& form = rig.OpenValid();
    EXPECT_TRUE(rig.Controls().chkJourney.Checked);
    EXPECT_EQ(rig.Controls().edtZoomSpeed.Text, "2.5");
    EXPECT_TRUE(rig.Controls().edtZoomSpeed.Enabled);
    const struct {
        const char* text;
        bool ok;
        const char* stored;
    } cases[] = {{"0.5", true, "5"}, {"60", true, "600"}, {"3", true, "30"}, {"0", false, "30"},
                 {"1.25", false, "30"}, {"x", false, "30"}, {"61", false, "30"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        rig.Errors.Pages.clear();
        rig.Controls().edtZoomSpeed.Text = c.text;
        if (c.ok) {
            form.bbnUpdateClick();
            EXPECT_TRUE(rig.Errors.Pages.empty());
        } else {
            EXPECT_THROW(form.bbnUpdateClick(), EAbort);
            EXPECT_EQ(rig.Errors.Pages, std::vector<TSettingPage>{tbsJourney});
            EXPECT_EQ(rig.Window.Shown.ActivePage, tbsJourney);
        }
        EXPECT_EQ(rig.Stored("ZoomSpeed"), c.stored);
    }
    // Off: the speed is disabled and not checked; a bad text keeps the stored speed.
    form.chkJourneyClick();
    EXPECT_FALSE(rig.Controls().chkJourney.Checked);
    EXPECT_FALSE(rig.Window.Shown.edtZoomSpeed.Enabled);
    form.bbnUpdateClick();
    EXPECT_EQ(rig.Stored("Journey"), "0");
    EXPECT_EQ(rig.Stored("ZoomSpeed"), "30");
}

}  // namespace
}  // namespace nimbrel
