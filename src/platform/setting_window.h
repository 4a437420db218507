// The settings dialog's controls as its logic sees them, and the window that
// shows them.
//
// TfrmSetting (src/shell/USetting.h) owns a TSettingControls and decides every
// state in it; the window only mirrors the model onto real controls and hands
// the user's actions back: typed text and the list's selection go straight into
// the model, clicks and page changes go to the form's handlers. The captions
// and list items are in src/shell/setting_texts.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bitmap.h"

namespace nimbrel {

// System colours: the platform's colour index with the top bit set, the way
// the settings store names them.
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);

// The pages of pgcSetting, in the order of their tabs.
enum TSettingPage : uint8_t { tbsFile = 0, tbsView = 1, tbsAbout = 2, tbsJourney = 3 };
inline constexpr int kSettingPageCount = 4;

struct TEditControl {
    std::string Text;
    bool Enabled = true;
    TColor Color = clWindow;  // the colour of the edit's background
    bool operator==(const TEditControl&) const = default;
};

struct TLabelControl {
    bool Enabled = true;  // a disabled label is drawn greyed
    bool operator==(const TLabelControl&) const = default;
};

struct TRadioButton {
    bool Checked = false;
    bool operator==(const TRadioButton&) const = default;
};

// A small sunken panel whose own colour is the value shown.
struct TColorPanel {
    TColor Color = clBtnFace;
    bool Enabled = true;
    bool operator==(const TColorPanel&) const = default;
};

// A drop-down list without free text.
struct TComboBox {
    int32_t ItemIndex = -1;  // -1: no item selected
    bool operator==(const TComboBox&) const = default;
};

struct TSettingControls {
    TSettingPage ActivePage = tbsFile;  // the page of pgcSetting shown

    // tbsFile
    TEditControl edtMrpFile;
    TEditControl edtMcfFolder;

    // tbsView
    TRadioButton rdbSizeFull;
    TRadioButton rdbSizeUser;
    TLabelControl lblSizeX;
    TEditControl edtSizeX;
    TLabelControl lblSizeY;
    TEditControl edtSizeY;
    TRadioButton rdbSpread;
    TRadioButton rdbCenter;
    TLabelControl lblBgcolor;
    TColorPanel pnlBgcolor;
    TEditControl edtWait;
    TComboBox cmbDrawMode;

    // tbsJourney
    TRadioButton chkJourney;  // a check box
    TLabelControl lblZoomSpeed;
    TEditControl edtZoomSpeed;  // seconds per halving, one decimal

    bool operator==(const TSettingControls&) const = default;
};

// The window of the settings dialog. Every call comes from the GUI thread.
class TSettingWindow {
public:
    virtual ~TSettingWindow() = default;

    // Shows Controls on the real controls: texts, checks, the list's
    // selection, colours, enabled states and the page. The form calls it after
    // every change it makes and before it opens any modal box, so a box always
    // stands over the state the form decided.
    virtual void ShowControls(const TSettingControls& Controls) = 0;

    // Asks the window to close. The window and its form are destroyed once
    // control is back in the message loop, which then ends.
    virtual void Close() = 0;
};

}  // namespace nimbrel
