// The settings dialog's window on Win32: a dialog built in memory with the tab
// control, the pages' controls and the three buttons. It mirrors the form's
// control model onto the controls and hands the user's actions back to the
// form (src/shell/USetting.h); it decides nothing itself.
#pragma once

#include <array>
#include <vector>

#include "platform/setting_window.h"
#include "win32/win32_api.h"
#include "win32/win32_handles.h"
#include "win32/win32_message_loop.h"

namespace nimbrel {

class TfrmSetting;

// The controls' identifiers; the end-to-end tests find the controls by them.
enum TSettingControlId : int {
    idcOK = IDOK,
    idcCancel = IDCANCEL,
    idcUpdate = 100,
    idcPages = 101,
    idcMrpFile = 110,
    idcBrows = 111,
    idcMcfFolder = 112,
    idcRef = 113,
    idcSizeFull = 120,
    idcSizeUser = 121,
    idcSizeXLabel = 122,
    idcSizeX = 123,
    idcSizeYLabel = 124,
    idcSizeY = 125,
    idcSpread = 126,
    idcCenter = 127,
    idcBgcolorLabel = 128,
    idcBgcolor = 129,
    idcWait = 130,
    idcDrawMode = 131,
    idcJourney = 132,
    idcZoomSpeedLabel = 133,
    idcZoomSpeed = 134,
    idcAboutLeftImage = 140,
    idcAboutRightImage = 141,
    idcStatic = 199,  // groups and labels that never change
};

class TWin32SettingDialog : public TSettingWindow {
public:
    // Creates the dialog hidden; Loop ends when the dialog is closed. When the
    // construction fails, whatever it made so far goes with it.
    TWin32SettingDialog(HINSTANCE Instance, TWin32MessageLoop& Loop);
    ~TWin32SettingDialog() override;
    TWin32SettingDialog(const TWin32SettingDialog&) = delete;
    TWin32SettingDialog& operator=(const TWin32SettingDialog&) = delete;

    // The form whose handlers the controls call; null detaches it.
    void SetForm(TfrmSetting* Form) { form_ = Form; }
    // Shows the dialog in the foreground; its activation fills the controls.
    void Show();
    HWND Window() const { return window_.get(); }

    void ShowControls(const TSettingControls& Controls) override;
    void Close() override;

private:
    void CreateControls();
    HWND Add(const wchar_t* className, std::string_view text, DWORD style, int x, int y, int width, int height,
             int id, DWORD exStyle = 0);
    void OnPage(TSettingPage page, HWND control) { pages_[page].push_back(control); }
    void ShowPage(TSettingPage page);
    void SetText(int id, const std::string& text);
    void OnCommand(int id, int code);
    void OnPageChosen();
    HBRUSH ControlBrush(HDC dc, HWND control);
    HWND Item(int id) const { return GetDlgItem(window_.get(), id); }

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    TWin32MessageLoop& loop_;
    TfrmSetting* form_ = nullptr;
    HFONT font_ = nullptr;            // the dialog's own; it goes with the dialog
    TGdiObject<HFONT> boldFont_;      // the version page's title
    std::vector<TGdiObject<HBITMAP>> images_;
    TGdiObject<HBRUSH> panelBrush_;
    std::array<std::vector<HWND>, kSettingPageCount> pages_;
    TSettingControls shown_;          // what the controls show now
    bool updating_ = false;           // the controls are being set from the model
    bool closing_ = false;
    // Last, so that it goes first: the controls let go of the fonts, images
    // and brush above before they are deleted.
    TDialogWindow window_;
};

}  // namespace nimbrel
