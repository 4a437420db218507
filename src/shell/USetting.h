// TfrmSetting: the settings dialog, the main window of a process started to
// edit the settings. Three pages (files, view, version) and three buttons (OK,
// Cancel, Update). Every entry is checked before a page change and before
// anything is stored; a failed check shows the page that holds the problem and
// names it in the error box.
//
// The form owns its settings object: loaded when the form is created, written
// at every OK and Update, and written once more when the form is destroyed,
// whichever button closed it. The registry is the only link to a running show.
//
// The form decides the state of every control in its TSettingControls and
// pushes it to the window; the window hands typed text and the list's
// selection straight into Controls() and forwards clicks and page changes to
// the handlers below. A handler may end in the silent abort (EAbort) after its
// message; the window's message loop swallows it.
#pragma once

#include <cstdint>
#include <memory>

#include "values/fractal_types.h"
#include "platform/dialog_services.h"
#include "platform/setting_window.h"
#include "platform/settings_store.h"
#include "shell/URegistry.h"

namespace nimbrel {

// The index of cmbDrawMode that shows a draw mode: the modes the list offers
// (dmNormal .. dmAntialias) are their own index; any other is shown as
// dmEmerge.
int32_t DrawModeToIndex(uint8_t Mode);
// The draw mode of an index of cmbDrawMode; no selection (-1) or any other
// index gives dmEmerge.
TDrawMode IndexToDrawMode(int32_t Index);

class TfrmSetting {
public:
    // FormCreate: loads the settings from Store. Window, Store and Dialogs must
    // outlive the form. Settings the store cannot read (a colour text that is
    // no colour, a value of another type) are reported in the exception box;
    // the form then has no settings and closes at its first activation.
    TfrmSetting(TSettingWindow& Window, TSettingsStore& Store, TDialogServices& Dialogs);
    // FormDestroy: frees the settings, which write every value back.
    ~TfrmSetting();
    TfrmSetting(const TfrmSetting&) = delete;
    TfrmSetting& operator=(const TfrmSetting&) = delete;

    // Fills the controls from the settings and shows the page "ﾌｧｲﾙ". Only the
    // first activation does: coming back from the error box, a system dialog
    // or another program keeps what the user typed.
    void FormActivate();

    // OK: applies, then closes; a failed check keeps the dialog open.
    void bbnOKClick();
    // Cancel, and the title bar's close button: closes without applying.
    void bbnCancelClick();
    // Update: applies and stays open.
    void bbnUpdateClick();

    // Asked before the page changes: answers whether it may, after checking
    // every entry (the page at fault is then shown with the message).
    bool pgcSettingChanging();
    // The user chose the tab of Page: it is shown when pgcSettingChanging
    // allows. Choosing the page already shown changes nothing.
    void ChangePage(TSettingPage Page);

    // The radio buttons: each selects itself and enables or disables the
    // controls that depend on it.
    void rdbSizeFullClick();
    void rdbSizeUserClick();
    void rdbSpreadClick();
    void rdbCenterClick();
    // The journey's check box: toggles, and the speed is enabled with it.
    void chkJourneyClick();

    // The colour panel: dlgColor, and the confirmed colour on the panel.
    void pnlBgcolorClick();
    // The MRP file: dlgMrp, and the confirmed path in edtMrpFile.
    void bbnBrowsClick();
    // The MCF folder: the folder browser, and the chosen path in edtMcfFolder.
    void bbnRefClick();

    // The model the window mirrors; typed text and the list's selection are
    // written here by the window.
    TSettingControls& Controls() { return Controls_; }
    const TSettingControls& Controls() const { return Controls_; }
    // Null when the settings could not be loaded.
    TMandelssReg* Settings() const { return Settings_.get(); }

    // The system dialogs, kept for the life of the form: each opens on what was
    // chosen in it last.
    TOpenDialog dlgMrp;
    TColorDialog dlgColor;

private:
    // Returns, or shows the page at fault and its message and raises EAbort.
    void Validate();
    // Validate, then the controls into the settings, then Save.
    void Apply();
    void ShowControls() { Window_.ShowControls(Controls_); }

    TSettingWindow& Window_;
    TDialogServices& Dialogs_;
    TSettingControls Controls_;
    std::unique_ptr<TMandelssReg> Settings_;
    bool FirstActivation_ = true;
};

}  // namespace nimbrel
