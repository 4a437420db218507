#include "win32/setting_dialog_win32.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/application.h"
#include "shell/USetting.h"
#include "shell/about_pictures.h"
#include "shell/setting_texts.h"
#include "win32/win32_color.h"
#include "win32/win32_dialog_template.h"
#include "win32/win32_dib.h"
#include "win32/win32_error.h"
// After the system header it needs.
#include <commctrl.h>
#include <uxtheme.h>

namespace nimbrel {

namespace {

namespace texts = setting_texts;

const wchar_t* const kClassName = L"NimbrelSettingDialog";

// Posted on activation: the form fills its controls from the message loop,
// not from inside the system's activation.
constexpr UINT kActivateMessage = WM_APP + 1;

// The dialog's size in dialog units.
constexpr short kDialogWidth = 270;
constexpr short kDialogHeight = 198;

void RegisterDialogClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, kClassName, &windowClass)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) RaiseLastOSError();
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

// The model's edit behind a control identifier; null for any other control.
template <typename TControls>
auto EditOf(TControls& c, int id) -> decltype(&c.edtMrpFile) {
    switch (id) {
        case idcMrpFile: return &c.edtMrpFile;
        case idcMcfFolder: return &c.edtMcfFolder;
        case idcSizeX: return &c.edtSizeX;
        case idcSizeY: return &c.edtSizeY;
        case idcWait: return &c.edtWait;
        case idcZoomSpeed: return &c.edtZoomSpeed;
        default: return nullptr;
    }
}

constexpr int kEditIds[] = {idcMrpFile, idcMcfFolder, idcSizeX, idcSizeY, idcWait, idcZoomSpeed};

// A DIB section with the picture's pixels, whose layout is the bitmap's own;
// none when the system cannot make one. The top bytes are cleared: a static
// control copies a bitmap with an alpha channel, and the copy would be its
// own to free, not ours.
TGdiObject<HBITMAP> DibSectionOf(const TBitmap& picture) {
    if (picture.Width() <= 0 || picture.Height() <= 0) return nullptr;
    const BITMAPINFO info = DibInfoOf(picture);
    void* bits = nullptr;
    TGdiObject<HBITMAP> bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return nullptr;
    const std::size_t count = static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height());
    std::transform(picture.Scanline(0), picture.Scanline(0) + count, static_cast<uint32_t*>(bits),
                   [](uint32_t pixel) { return pixel & 0x00FFFFFFu; });
    return bitmap;
}

}  // namespace

TWin32SettingDialog::TWin32SettingDialog(HINSTANCE Instance, TWin32MessageLoop& Loop)
    : instance_(Instance), loop_(Loop) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterDialogClass(instance_);
    // The controls are made in code, so that their texts come from the one
    // table.
    const std::vector<WORD> dialog =
        DialogTemplate({Utf8ToWide(texts::kCaption), kDialogWidth, kDialogHeight, kClassName, WS_EX_APPWINDOW},
                       DialogFace());
    window_.reset(CreateDialogIndirectParamW(instance_, reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), nullptr,
                                             &TWin32SettingDialog::DialogProc, reinterpret_cast<LPARAM>(this)));
    if (!window_) RaiseLastOSError();
    font_ = reinterpret_cast<HFONT>(SendMessageW(window_.get(), WM_GETFONT, 0, 0));
    LOGFONTW bold{};
    if (font_ && GetObjectW(font_, sizeof bold, &bold)) {
        bold.lfWeight = FW_BOLD;
        bold.lfHeight = bold.lfHeight * 3 / 2;
        boldFont_.reset(CreateFontIndirectW(&bold));
    }
    CreateControls();
    // Last: nothing after it can fail.
    loop_.SetDialog(window_.get());
}

TWin32SettingDialog::~TWin32SettingDialog() { loop_.SetDialog(nullptr); }

HWND TWin32SettingDialog::Add(const wchar_t* className, std::string_view text, DWORD style, int x, int y, int width,
                              int height, int id, DWORD exStyle) {
    RECT rect{x, y, x + width, y + height};
    MapDialogRect(window_.get(), &rect);
    const HWND control = CreateWindowExW(exStyle, className, Utf8ToWide(text).c_str(), WS_CHILD | style, rect.left,
                                         rect.top, rect.right - rect.left, rect.bottom - rect.top, window_.get(),
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!control) RaiseLastOSError();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void TWin32SettingDialog::CreateControls() {
    constexpr DWORD label = SS_LEFT;
    constexpr DWORD edit = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    constexpr DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    constexpr DWORD group = BS_GROUPBOX;
    constexpr DWORD radio = WS_TABSTOP | BS_RADIOBUTTON;

    // The page "ﾌｧｲﾙ".
    OnPage(tbsFile, Add(L"Static", texts::kMrpFileLabel, label, 16, 32, 200, 10, idcStatic));
    OnPage(tbsFile, Add(L"Edit", "", edit, 16, 44, 178, 13, idcMrpFile, WS_EX_CLIENTEDGE));
    OnPage(tbsFile, Add(L"Button", texts::kBrows, button, 198, 43, 58, 15, idcBrows));
    OnPage(tbsFile, Add(L"Static", texts::kMcfFolderLabel, label, 16, 68, 200, 10, idcStatic));
    OnPage(tbsFile, Add(L"Edit", "", edit, 16, 80, 178, 13, idcMcfFolder, WS_EX_CLIENTEDGE));
    OnPage(tbsFile, Add(L"Button", texts::kRef, button, 198, 79, 58, 15, idcRef));

    // The page "表示": four groups.
    OnPage(tbsView, Add(L"Button", texts::kSizeGroup, group, 14, 26, 120, 86, idcStatic));
    OnPage(tbsView, Add(L"Button", texts::kSizeFull, radio | WS_GROUP, 22, 38, 100, 12, idcSizeFull));
    OnPage(tbsView, Add(L"Button", texts::kSizeUser, radio, 22, 51, 100, 12, idcSizeUser));
    OnPage(tbsView, Add(L"Static", texts::kSizeX, label | WS_GROUP, 22, 70, 46, 10, idcSizeXLabel));
    OnPage(tbsView, Add(L"Edit", "", edit, 70, 68, 56, 13, idcSizeX, WS_EX_CLIENTEDGE));
    OnPage(tbsView, Add(L"Static", texts::kSizeY, label, 22, 90, 46, 10, idcSizeYLabel));
    OnPage(tbsView, Add(L"Edit", "", edit, 70, 88, 56, 13, idcSizeY, WS_EX_CLIENTEDGE));

    OnPage(tbsView, Add(L"Button", texts::kPositionGroup, group, 140, 26, 116, 86, idcStatic));
    OnPage(tbsView, Add(L"Button", texts::kSpread, radio | WS_GROUP, 148, 38, 100, 12, idcSpread));
    OnPage(tbsView, Add(L"Button", texts::kCenter, radio, 148, 51, 100, 12, idcCenter));
    OnPage(tbsView, Add(L"Static", texts::kBgcolor, label | WS_GROUP, 148, 72, 40, 10, idcBgcolorLabel));
    OnPage(tbsView, Add(L"Static", "", SS_NOTIFY | SS_SUNKEN, 192, 69, 32, 14, idcBgcolor));

    OnPage(tbsView, Add(L"Button", texts::kWaitGroup, group, 14, 116, 120, 44, idcStatic));
    OnPage(tbsView, Add(L"Edit", "", edit | WS_GROUP, 22, 134, 60, 13, idcWait, WS_EX_CLIENTEDGE));
    OnPage(tbsView, Add(L"Static", texts::kSeconds, label, 86, 136, 30, 10, idcStatic));

    OnPage(tbsView, Add(L"Button", texts::kDrawModeGroup, group, 140, 116, 116, 44, idcStatic));
    const HWND drawMode =
        Add(L"ComboBox", "", WS_TABSTOP | WS_VSCROLL | WS_GROUP | CBS_DROPDOWNLIST, 148, 133, 100, 90, idcDrawMode);
    for (const std::string_view item : texts::kDrawModeItems)
        SendMessageW(drawMode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(item).c_str()));
    OnPage(tbsView, drawMode);

    // The page "ｽﾞｰﾑ": journeys on or off, and their speed.
    OnPage(tbsJourney, Add(L"Button", texts::kJourney, WS_TABSTOP | BS_CHECKBOX, 22, 36, 220, 12, idcJourney));
    OnPage(tbsJourney, Add(L"Static", texts::kZoomSpeed, label | WS_GROUP, 22, 60, 120, 10, idcZoomSpeedLabel));
    OnPage(tbsJourney, Add(L"Edit", "", edit, 146, 58, 40, 13, idcZoomSpeed, WS_EX_CLIENTEDGE));
    OnPage(tbsJourney, Add(L"Static", texts::kSeconds, label, 190, 60, 30, 10, idcStatic));

    // The page "ﾊﾞｰｼﾞｮﾝ情報": the title, version and author in a sunken panel
    // between two small pictures.
    const HWND left = Add(L"Static", "", SS_BITMAP | SS_CENTERIMAGE, 18, 66, 30, 30, idcAboutLeftImage);
    const HWND right = Add(L"Static", "", SS_BITMAP | SS_CENTERIMAGE, 222, 66, 30, 30, idcAboutRightImage);
    for (const auto& [image, picture] :
         {std::pair{left, TAboutPicture::Mandelbrot}, std::pair{right, TAboutPicture::Julia}}) {
        RECT size{};
        GetClientRect(image, &size);
        // A picture the system cannot hold is left out.
        if (TGdiObject<HBITMAP> bitmap = DibSectionOf(MakeAboutPicture(picture, size.right, size.bottom))) {
            images_.push_back(std::move(bitmap));
            SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(images_.back().get()));
        }
        OnPage(tbsAbout, image);
    }
    const HWND panel = Add(L"Static", "", SS_SUNKEN, 56, 44, 158, 74, idcStatic);
    OnPage(tbsAbout, panel);
    RECT panelRect{};
    GetClientRect(panel, &panelRect);
    RECT line{0, 0, 0, 10};
    MapDialogRect(window_.get(), &line);
    const int lineHeight = line.bottom;
    const auto addLine = [&](std::string_view text, int top, int height, HFONT font) {
        const HWND control =
            CreateWindowExW(0, L"Static", Utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER, 0, top,
                            panelRect.right, height, panel, nullptr, instance_, nullptr);
        if (!control) RaiseLastOSError();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    };
    const int titleHeight = lineHeight * 2;
    const int top = (panelRect.bottom - titleHeight - 2 * lineHeight - lineHeight / 2) / 2;
    addLine(texts::kAboutTitle, top, titleHeight, boldFont_ ? boldFont_.get() : font_);
    addLine(texts::kAboutVersion, top + titleHeight + lineHeight / 2, lineHeight, font_);
    addLine(texts::kAboutAuthor, top + titleHeight + lineHeight * 3 / 2, lineHeight, font_);

    // The buttons below the pages.
    Add(L"Button", texts::kOK, WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 86, 176, 56, 15, idcOK);
    Add(L"Button", texts::kCancel, WS_VISIBLE | button, 148, 176, 56, 15, idcCancel);
    Add(L"Button", texts::kUpdate, WS_VISIBLE | button, 210, 176, 56, 15, idcUpdate);

    // The tab control lies under the pages' controls and clips them out of
    // its own painting. Its body is drawn in the dialog's colour, the colour
    // behind the labels, radio buttons and groups on it, also where a visual
    // style would paint the body in a colour of its own.
    const HWND pages = Add(WC_TABCONTROLW, "", WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 6, 6, 258, 162, idcPages);
    SetWindowTheme(pages, L" ", L" ");
    for (int page = 0; page < kSettingPageCount; ++page) {
        std::wstring caption = Utf8ToWide(texts::kPageCaptions[page]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageW(pages, TCM_INSERTITEMW, static_cast<WPARAM>(page), reinterpret_cast<LPARAM>(&item));
    }
    SetWindowPos(pages, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowPage(tbsFile);
}

void TWin32SettingDialog::ShowPage(TSettingPage page) {
    for (int p = 0; p < kSettingPageCount; ++p)
        for (const HWND control : pages_[p]) ShowWindow(control, p == page ? SW_SHOWNA : SW_HIDE);
    // Keyboard focus never stays on a hidden control.
    const HWND focus = GetFocus();
    if (focus && GetParent(focus) == window_.get() && !IsWindowVisible(focus)) SetFocus(Item(idcPages));
}

void TWin32SettingDialog::Show() {
    ShowWindow(window_.get(), SW_SHOW);
    SetForegroundWindow(window_.get());
    SetFocus(Item(idcMrpFile));
    // The system may not report an activation when the process starts
    // without the foreground; the form fills its controls only once anyway.
    PostMessageW(window_.get(), kActivateMessage, 0, 0);
}

void TWin32SettingDialog::SetText(int id, const std::string& text) {
    const HWND control = Item(id);
    const std::wstring wide = Utf8ToWide(text);
    if (WindowText(control) != wide) SetWindowTextW(control, wide.c_str());
}

void TWin32SettingDialog::ShowControls(const TSettingControls& Controls) {
    if (!window_) return;
    updating_ = true;
    const TSettingControls& c = Controls;
    for (const int id : kEditIds) {
        const TEditControl& e = *EditOf(c, id);
        SetText(id, e.Text);
        EnableWindow(Item(id), e.Enabled);
        if (e.Color != EditOf(shown_, id)->Color) InvalidateRect(Item(id), nullptr, TRUE);
    }
    EnableWindow(Item(idcSizeXLabel), c.lblSizeX.Enabled);
    EnableWindow(Item(idcSizeYLabel), c.lblSizeY.Enabled);
    EnableWindow(Item(idcBgcolorLabel), c.lblBgcolor.Enabled);
    EnableWindow(Item(idcZoomSpeedLabel), c.lblZoomSpeed.Enabled);
    const auto check = [&](int id, const TRadioButton& r) {
        SendMessageW(Item(id), BM_SETCHECK, r.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
    };
    check(idcSizeFull, c.rdbSizeFull);
    check(idcSizeUser, c.rdbSizeUser);
    check(idcSpread, c.rdbSpread);
    check(idcCenter, c.rdbCenter);
    check(idcJourney, c.chkJourney);
    if (!panelBrush_ || c.pnlBgcolor.Color != shown_.pnlBgcolor.Color) {
        // Without a new brush the panel keeps the old one.
        if (TGdiObject<HBRUSH> brush{CreateSolidBrush(ColorToRgb(c.pnlBgcolor.Color))}) panelBrush_ = std::move(brush);
        InvalidateRect(Item(idcBgcolor), nullptr, TRUE);
    }
    EnableWindow(Item(idcBgcolor), c.pnlBgcolor.Enabled);
    const HWND drawMode = Item(idcDrawMode);
    if (SendMessageW(drawMode, CB_GETCURSEL, 0, 0) != c.cmbDrawMode.ItemIndex)
        SendMessageW(drawMode, CB_SETCURSEL, static_cast<WPARAM>(c.cmbDrawMode.ItemIndex), 0);
    const HWND pages = Item(idcPages);
    if (SendMessageW(pages, TCM_GETCURSEL, 0, 0) != c.ActivePage) {
        SendMessageW(pages, TCM_SETCURSEL, c.ActivePage, 0);
    }
    if (c.ActivePage != shown_.ActivePage) ShowPage(c.ActivePage);
    shown_ = c;
    updating_ = false;
}

void TWin32SettingDialog::Close() {
    closing_ = true;
    loop_.Terminate();
}

void TWin32SettingDialog::OnCommand(int id, int code) {
    if (updating_) return;
    if (!form_) {
        if (id == idcCancel) Close();
        return;
    }
    TfrmSetting& form = *form_;
    if (TEditControl* const edit = EditOf(form.Controls(), id)) {
        if (code == EN_CHANGE) edit->Text = WideToUtf8(WindowText(Item(id)));
        return;
    }
    if (id == idcDrawMode) {
        if (code == CBN_SELCHANGE)
            form.Controls().cmbDrawMode.ItemIndex = static_cast<int32_t>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
        return;
    }
    // BN_CLICKED and STN_CLICKED are both 0.
    if (code != BN_CLICKED) return;
    switch (id) {
        case idcOK: GuardHandler([&] { form.bbnOKClick(); }); break;
        case idcCancel: GuardHandler([&] { form.bbnCancelClick(); }); break;
        case idcUpdate: GuardHandler([&] { form.bbnUpdateClick(); }); break;
        case idcBrows: GuardHandler([&] { form.bbnBrowsClick(); }); break;
        case idcRef: GuardHandler([&] { form.bbnRefClick(); }); break;
        case idcSizeFull: GuardHandler([&] { form.rdbSizeFullClick(); }); break;
        case idcSizeUser: GuardHandler([&] { form.rdbSizeUserClick(); }); break;
        case idcSpread: GuardHandler([&] { form.rdbSpreadClick(); }); break;
        case idcCenter: GuardHandler([&] { form.rdbCenterClick(); }); break;
        case idcJourney: GuardHandler([&] { form.chkJourneyClick(); }); break;
        case idcBgcolor: GuardHandler([&] { form.pnlBgcolorClick(); }); break;
        default: break;
    }
}

void TWin32SettingDialog::OnPageChosen() {
    // The tab control has moved to the tab chosen; the form decides whether
    // the page may change, so the tab goes back until it has.
    const HWND pages = Item(idcPages);
    const auto chosen = static_cast<int>(SendMessageW(pages, TCM_GETCURSEL, 0, 0));
    SendMessageW(pages, TCM_SETCURSEL, shown_.ActivePage, 0);
    if (!form_ || chosen < 0 || chosen >= kSettingPageCount) return;
    GuardHandler([&] { form_->ChangePage(static_cast<TSettingPage>(chosen)); });
}

HBRUSH TWin32SettingDialog::ControlBrush(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id == idcBgcolor && GetParent(control) == window_.get()) {
        SetBkColor(dc, ColorToRgb(shown_.pnlBgcolor.Color));
        return panelBrush_.get();
    }
    const TEditControl* const edit = EditOf(shown_, id);
    if (!edit || edit->Color >= 0) return nullptr;
    const int index = static_cast<int>(static_cast<uint32_t>(edit->Color) & 0xFFu);
    SetBkColor(dc, GetSysColor(index));
    return GetSysColorBrush(index);
}

INT_PTR CALLBACK TWin32SettingDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // WM_INITDIALOG ties the window to its object inside the creation; a
    // message before it, or after the owner has untied them, finds none.
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<TWin32SettingDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    return self->HandleMessage(window, message, wParam, lParam);
}

INT_PTR TWin32SettingDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(window, kActivateMessage, 0, 0);
            return FALSE;
        case kActivateMessage:
            if (form_ && !closing_) GuardHandler([&] { form_->FormActivate(); });
            return TRUE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == static_cast<UINT_PTR>(idcPages) && header->code == TCN_SELCHANGE && !updating_) {
                OnPageChosen();
                return TRUE;
            }
            return FALSE;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            const HBRUSH brush = ControlBrush(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            return brush ? reinterpret_cast<INT_PTR>(brush) : FALSE;
        }
        case WM_CLOSE:
            // The title bar's close button is Cancel.
            OnCommand(idcCancel, BN_CLICKED);
            return TRUE;
        case WM_NCDESTROY:
            // Destroyed by someone else: the handle is no longer ours.
            SetWindowLongPtrW(window, DWLP_USER, 0);
            if (window_.get() == window) (void)window_.release();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace nimbrel
