#include "shell/USetting.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <string_view>

#include "engine/picture_budget.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "shell/FolderSelectDialog.h"
#include "shell/hack_command_line.h"
#include "platform/StandardLibrary.h"
#include "shell/setting_texts.h"

namespace nimbrel {

namespace {

namespace texts = setting_texts;

// The pause is entered in whole seconds and stored in milliseconds.
constexpr int32_t kMillisecondsPerSecond = 1000;
constexpr int32_t kMaxWaitSeconds = std::numeric_limits<int32_t>::max() / kMillisecondsPerSecond;

// A picture side: an integer of 1 or more.
bool ReadSize(const std::string& Text, int32_t& Size) { return TryStrToInt(Text, Size) && Size > 0; }

// A picture size: two sides whose picture this machine holds, shaded or not
// (engine/picture_budget.h).
bool ReadSizes(const std::string& X, const std::string& Y) {
    int32_t x = 0, y = 0;
    return ReadSize(X, x) && ReadSize(Y, y) && TPictureBudget::OfMachine().Fits(x, y, true);
}

// A pause: whole seconds of 1 or more whose milliseconds still fit the stored
// 32-bit value.
bool ReadWait(const std::string& Text, int32_t& Seconds) {
    return TryStrToInt(Text, Seconds) && Seconds > 0 && Seconds <= kMaxWaitSeconds;
}

// The size edits are disabled while the picture fills the screen and are not
// checked then; only a side they could hold when enabled replaces the stored
// one, and only when the size it makes fits the machine, so that leftover
// text never costs the rest of the entries.
void SizesToStore(const TSettingControls& c, int32_t& X, int32_t& Y) {
    int32_t x = X, y = Y;
    if (!ReadSize(c.edtSizeX.Text, x)) x = X;
    if (!ReadSize(c.edtSizeY.Text, y)) y = Y;
    if (!TPictureBudget::OfMachine().Fits(x, y, true)) return;
    X = x;
    Y = y;
}

void SelectSize(TSettingControls& c, bool Full) {
    c.rdbSizeFull.Checked = Full;
    c.rdbSizeUser.Checked = !Full;
    for (TLabelControl* label : {&c.lblSizeX, &c.lblSizeY}) label->Enabled = !Full;
    for (TEditControl* edit : {&c.edtSizeX, &c.edtSizeY}) {
        edit->Enabled = !Full;
        edit->Color = Full ? clBtnFace : clWindow;
    }
}

// The background colour matters only for a centred picture.
void SelectLayout(TSettingControls& c, bool Center) {
    c.rdbSpread.Checked = !Center;
    c.rdbCenter.Checked = Center;
    c.lblBgcolor.Enabled = Center;
    c.pnlBgcolor.Enabled = Center;
}

// The speed is edited in seconds with one decimal and stored in tenths; it
// matters, and is checked, only while journeys are on.
void SelectJourney(TSettingControls& c, bool On) {
    c.chkJourney.Checked = On;
    c.lblZoomSpeed.Enabled = On;
    c.edtZoomSpeed.Enabled = On;
    c.edtZoomSpeed.Color = On ? clWindow : clBtnFace;
}

std::string ZoomSpeedText(int32_t Tenths) {
    const std::string whole = IntToStr(Tenths / 10);
    return Tenths % 10 == 0 ? whole : whole + "." + IntToStr(Tenths % 10);
}

}  // namespace

int32_t DrawModeToIndex(uint8_t Mode) { return Mode <= dmAntialias ? int32_t{Mode} : int32_t{dmEmerge}; }

TDrawMode IndexToDrawMode(int32_t Index) {
    return Index >= dmNormal && Index <= dmAntialias ? static_cast<TDrawMode>(Index) : dmEmerge;
}

TfrmSetting::TfrmSetting(TSettingWindow& Window, TSettingsStore& Store, TDialogServices& Dialogs)
    : Window_(Window), Dialogs_(Dialogs) {
    dlgMrp.Filter = texts::kMrpFilter;
    dlgMrp.HideReadOnly = true;
    dlgMrp.PathMustExist = true;
    dlgMrp.FileMustExist = true;
    GuardHandler([&] { Settings_ = std::make_unique<TMandelssReg>(Store); });
}

TfrmSetting::~TfrmSetting() = default;

void TfrmSetting::FormActivate() {
    if (!FirstActivation_) return;
    FirstActivation_ = false;
    // Without its settings the dialog could show and store nothing but
    // defaults over values the user may still mend; the failure was reported.
    if (!Settings_) {
        Window_.Close();
        Abort();
    }
    const TMandelssReg& s = *Settings_;
    TSettingControls& c = Controls_;
    c.ActivePage = tbsFile;
    c.edtMrpFile.Text = s.MrpFile;
    c.edtMcfFolder.Text = s.McfFolder;
    if (s.SizeFull)
        rdbSizeFullClick();
    else
        rdbSizeUserClick();
    if (s.DM == lmSpread)
        rdbSpreadClick();
    else
        rdbCenterClick();
    c.pnlBgcolor.Color = s.Bgcolor;
    c.edtSizeX.Text = IntToStr(s.SizeX);
    c.edtSizeY.Text = IntToStr(s.SizeY);
    c.edtWait.Text = IntToStr(Div(s.Wait, kMillisecondsPerSecond));
    c.cmbDrawMode.ItemIndex = DrawModeToIndex(s.DrawMode);
    SelectJourney(c, s.Journey);
    c.edtZoomSpeed.Text = ZoomSpeedText(s.ZoomSpeed);
    ShowControls();
}

void TfrmSetting::Validate() {
    const TSettingControls& c = Controls_;
    TSettingPage page = tbsFile;
    std::string_view message;
    int32_t value = 0;
    if (!FileExists(c.edtMrpFile.Text)) {
        message = texts::kNoMrpFile;
    } else if (!FolderExists(c.edtMcfFolder.Text) && !c.edtMcfFolder.Text.empty()) {
        message = texts::kNoMcfFolder;
    } else {
        page = tbsView;
        const bool badSize = c.rdbSizeUser.Checked && !ReadSizes(c.edtSizeX.Text, c.edtSizeY.Text);
        if (badSize || !ReadWait(c.edtWait.Text, value)) message = texts::kBadEntry;
        if (message.empty() && c.chkJourney.Checked && !ParseZoomSpeed(c.edtZoomSpeed.Text, value)) {
            page = tbsJourney;
            message = texts::kBadEntry;
        }
    }
    if (message.empty()) return;
    Controls_.ActivePage = page;
    ShowControls();
    ShowError(std::string(message));
    Abort();
}

void TfrmSetting::Apply() {
    Validate();
    if (!Settings_) Abort();
    TMandelssReg& s = *Settings_;
    const TSettingControls& c = Controls_;
    // Every entry is converted before the first is copied: the settings take
    // all of them or none.
    int32_t sizeX = s.SizeX, sizeY = s.SizeY;
    SizesToStore(c, sizeX, sizeY);
    const int32_t wait = CheckedInt32(int64_t{StrToInt(c.edtWait.Text)} * kMillisecondsPerSecond);
    int32_t zoomSpeed = s.ZoomSpeed;
    if (!ParseZoomSpeed(c.edtZoomSpeed.Text, zoomSpeed)) zoomSpeed = s.ZoomSpeed;
    s.MrpFile = c.edtMrpFile.Text;
    s.McfFolder = c.edtMcfFolder.Text;
    s.SizeFull = c.rdbSizeFull.Checked;
    s.SizeX = sizeX;
    s.SizeY = sizeY;
    s.DM = c.rdbSpread.Checked ? lmSpread : lmCenter;
    s.Bgcolor = c.pnlBgcolor.Color;
    s.Wait = wait;
    s.DrawMode = IndexToDrawMode(c.cmbDrawMode.ItemIndex);
    s.Journey = c.chkJourney.Checked;
    s.ZoomSpeed = zoomSpeed;
    s.Save();
}

void TfrmSetting::bbnOKClick() {
    Apply();
    Window_.Close();
}

void TfrmSetting::bbnCancelClick() { Window_.Close(); }

void TfrmSetting::bbnUpdateClick() { Apply(); }

bool TfrmSetting::pgcSettingChanging() {
    try {
        Validate();
        return true;
    } catch (const EAbort&) {
        return false;
    }
}

void TfrmSetting::ChangePage(TSettingPage Page) {
    if (Page == Controls_.ActivePage || !pgcSettingChanging()) return;
    Controls_.ActivePage = Page;
    ShowControls();
}

void TfrmSetting::rdbSizeFullClick() {
    SelectSize(Controls_, true);
    ShowControls();
}

void TfrmSetting::rdbSizeUserClick() {
    SelectSize(Controls_, false);
    ShowControls();
}

void TfrmSetting::rdbSpreadClick() {
    SelectLayout(Controls_, false);
    ShowControls();
}

void TfrmSetting::rdbCenterClick() {
    SelectLayout(Controls_, true);
    ShowControls();
}

void TfrmSetting::chkJourneyClick() {
    SelectJourney(Controls_, !Controls_.chkJourney.Checked);
    ShowControls();
}

void TfrmSetting::pnlBgcolorClick() {
    // A disabled panel takes no click.
    if (!Controls_.pnlBgcolor.Enabled) return;
    if (!Dialogs_.ExecuteColorDialog(dlgColor)) return;
    Controls_.pnlBgcolor.Color = dlgColor.Color;
    ShowControls();
}

void TfrmSetting::bbnBrowsClick() {
    if (!Dialogs_.ExecuteOpenDialog(dlgMrp)) return;
    Controls_.edtMrpFile.Text = dlgMrp.FileName;
    ShowControls();
}

void TfrmSetting::bbnRefClick() {
    std::string folder;
    if (!SelectFolder(Dialogs_, std::string(texts::kMcfFolderTitle), std::string(texts::kMcfFolderRoot), folder))
        return;
    Controls_.edtMcfFolder.Text = folder;
    ShowControls();
}

}  // namespace nimbrel
