#include "win32/explorer_window_win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "nimbrel_version.h"
#include "platform/application.h"
#include "platform/text_file.h"
#include "win32/keys_dialog_win32.h"
#include "win32/win32_dib.h"
#include "win32/win32_error.h"
#include "win32/win32_window_class.h"
// After the system header it needs.
#include <commctrl.h>

namespace nimbrel {

namespace {

const wchar_t* const kClassName = L"NimbrelExplorer";

// The texts the window shows of its own.
namespace texts {
const char* const kProgram = "Nimbrel explorer";
const char* const kKeysCaption = "Nimbrel explorer: keys and mouse";
const char* const kSceneFilter = "Scene files (*.mrp)|*.mrp|All files (*.*)|*.*|";
const char* const kPictureFilter = "PNG pictures (*.png)|*.png|";
const char* const kAbout = "Nimbrel explorer " NIMBREL_VERSION
                           "\r\n\r\nFinds views of the Mandelbrot and Julia sets and keeps them as scenes "
                           "that the Nimbrel screen saver shows exactly as you saw them.\r\n\r\n"
                           "Copyright (C) 2026 Orv";
const char* const kAboutCaption = "About Nimbrel explorer";
}  // namespace texts

// Posted to wake the message loop, whose idle call then runs the explorer's
// work.
constexpr UINT kWorkMessage = WM_APP + 1;
// How often a picture in progress is shown.
constexpr std::chrono::milliseconds kShowEvery{40};
// A journey's frames come at their own rate.
constexpr std::chrono::milliseconds kShowFramesEvery{1000 / TExplorer::kJourneyFps};
// How often the messages are processed inside a draw, which yields after
// every row: often enough for the input to feel at once, seldom enough that the
// system's queue is not asked thousands of times a picture (each a call of
// the Wine server under Wine).
constexpr std::chrono::milliseconds kPumpEvery{5};
// The smallest client area that still shows the menu and the status.
constexpr int kMinWidth = 240;
constexpr int kMinHeight = 120;

// The system's virtual keys by the names of the explorer's table: the digits
// by their place on the keyboard (the main row's and the keypad's).
TExplorerKey KeyOf(WPARAM key) {
    using K = TExplorerKey;
    const auto digit = [](WPARAM n) { return static_cast<K>(static_cast<WPARAM>(K::Digit0) + n); };
    if (key >= '0' && key <= '9') return digit(key - '0');
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) return digit(key - VK_NUMPAD0);
    switch (key) {
        case VK_ESCAPE: return K::Escape;
        case VK_BACK: return K::Backspace;
        case VK_HOME: return K::Home;
        case VK_TAB: return K::Tab;
        case VK_NEXT: return K::PageDown;
        case VK_PRIOR: return K::PageUp;
        case VK_F1: return K::F1;
        case VK_F12: return K::F12;
        case 'J': return K::J;
        case 'P': return K::P;
        case 'S': return K::S;
        case 'Z': return K::Z;
        case VK_OEM_PLUS:
        case VK_ADD: return K::Plus;
        case VK_OEM_MINUS:
        case VK_SUBTRACT: return K::Minus;
        default: return K::None;
    }
}

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

POINT PointOf(LPARAM lParam) { return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

// A memory device context with one bitmap selected, both released in turn.
class TMemoryDC {
public:
    TMemoryDC(HDC like, HBITMAP bitmap) : dc_(CreateCompatibleDC(like)) {
        if (dc_) old_ = SelectObject(dc_, bitmap);
    }
    ~TMemoryDC() {
        if (!dc_) return;
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

// Text in white on a black band across the top of Area.
void DrawBand(HDC dc, const std::string& text, const RECT& area, HFONT font) {
    const std::wstring wide = Utf8ToWide(text);
    const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    RECT box{area.left + 8, area.top + 4, area.right - 8, area.top + 4};
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &box, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    const RECT band{area.left, area.top, area.right, box.bottom + 4};
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &box, DT_WORDBREAK | DT_EXPANDTABS);
    if (old) SelectObject(dc, old);
}

std::string AbsolutePath(const std::string& file) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(std::filesystem::u8path(file), error);
    return error ? file : PathToUtf8(path);
}

}  // namespace

TWin32ExplorerWindow::TWin32ExplorerWindow(HINSTANCE Instance, TExplorer& Explorer, TWin32MessageLoop& Loop,
                                           TSettingsStore& Store, TWin32ExplorerSetup Setup)
    : instance_(Instance),
      explorer_(Explorer),
      loop_(Loop),
      store_(Store),
      setup_(std::move(Setup)),
      box_([this] { return window_; }),
      dialogs_([this] { return window_; }) {
    recent_.Load(store_);
    try {
        Create(Instance);
    } catch (...) {
        // A window made part-way goes, with its menu bar.
        if (window_) DestroyWindow(window_);
        throw;
    }
    explorer_.SetYieldHook(this);
}

TWin32ExplorerWindow::~TWin32ExplorerWindow() {
    explorer_.SetYieldHook(nullptr);
    if (window_) DestroyWindow(window_);
    // The bar is the window's and went with it; popups never attached did not.
}

void TWin32ExplorerWindow::Create(HINSTANCE Instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterWindowClass(Instance, kClassName, &TWin32ExplorerWindow::WindowProc, IDC_CROSS);
    bar_ = CreateMenu();
    if (!bar_) RaiseLastOSError();
    // The popups stay empty until they open: each is filled from the
    // explorer's state at that moment.
    const std::vector<TExplorerMenuItem> bar = menu_.Bar(ExplorerMenuState(explorer_, recent_.Files(), false));
    for (std::size_t i = 0; i < bar.size(); ++i) {
        const HMENU popup = CreatePopupMenu();
        if (!popup || !AppendMenuW(bar_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup),
                                   Utf8ToWide(bar[i].Text).c_str())) {
            if (popup) DestroyMenu(popup);
            DestroyMenu(bar_);
            bar_ = nullptr;
            RaiseLastOSError();
        }
        popups_[popup] = {i};
    }
    window_ = CreateWindowExW(0, kClassName, Utf8ToWide(texts::kProgram).c_str(),
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr,
                              bar_, Instance, this);
    if (!window_) {
        DestroyMenu(bar_);
        bar_ = nullptr;
        RaiseLastOSError();
    }
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window_,
                              nullptr, Instance, nullptr);
    if (!status_) RaiseLastOSError();
    SizeToPicture(explorer_.Engine().GetWidth(), explorer_.Engine().GetHeight());
    UpdateTitle();
    UpdateStatus();
}

void TWin32ExplorerWindow::SizeToPicture(int32_t Width, int32_t Height) {
    RECT statusRect{};
    GetWindowRect(status_, &statusRect);
    const int statusHeight = statusRect.bottom - statusRect.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT work = monitor.rcWork;
    // The frame is what the window is larger than its client area; a menu bar
    // that wraps makes it larger, so the size is set twice.
    for (int pass = 0; pass < 2; ++pass) {
        RECT outer{}, client{};
        GetWindowRect(window_, &outer);
        GetClientRect(window_, &client);
        const int frameW = (outer.right - outer.left) - client.right;
        const int frameH = (outer.bottom - outer.top) - client.bottom;
        const int w = std::min<int>(Width + frameW, work.right - work.left);
        const int h = std::min<int>(Height + statusHeight + frameH, work.bottom - work.top);
        SetWindowPos(window_, nullptr, work.left + (work.right - work.left - w) / 2,
                     work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TWin32ExplorerWindow::Run(int ShowCommand) {
    ShowWindow(window_, ShowCommand);
    UpdateWindow(window_);
    FollowSize();
    loop_.SetIdle([this] { Work(); });
    PostMessageW(window_, kWorkMessage, 0, 0);
    loop_.Run();
    loop_.SetIdle({});
}

void TWin32ExplorerWindow::OnYield() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPumped_ < kPumpEvery) return;
    lastPumped_ = now;
    loop_.ProcessMessages();
    if (now - lastShown_ >= (explorer_.Journey() ? kShowFramesEvery : kShowEvery)) ShowPicture();
}

void TWin32ExplorerWindow::Work() {
    if (!explorer_.HasWork()) return;
    const bool going = explorer_.Step();
    AfterStep();
    if (!going) {
        loop_.Terminate();
        return;
    }
    if (explorer_.HasWork()) PostMessageW(window_, kWorkMessage, 0, 0);
}

void TWin32ExplorerWindow::AfterStep() {
    ShowPicture();
    if (setup_.Log && explorer_.CompletedPictures() != logged_) {
        logged_ = explorer_.CompletedPictures();
        std::printf("%s\n", explorer_.StatusText().c_str());
        std::fflush(stdout);
    }
    if (explorer_.OpenAttempts() == openAttempts_) return;
    openAttempts_ = explorer_.OpenAttempts();
    UpdateTitle();
    if (explorer_.OpenFailure().empty()) {
        recent_.Add(AbsolutePath(explorer_.SceneFile()));
        SaveRecentFiles();
        return;
    }
    // A recent file that has gone leaves the list.
    if (!lastOpened_.empty() && !FileExists(lastOpened_)) {
        recent_.Remove(lastOpened_);
        SaveRecentFiles();
    }
    box_.ShowError(explorer_.OpenFailure());
}

void TWin32ExplorerWindow::SaveRecentFiles() {
    try {
        recent_.Save(store_);
    } catch (const ERegistryException&) {
        // The list is a convenience: the next start goes without it.
    }
}

RECT TWin32ExplorerWindow::PictureArea() const {
    RECT client{}, statusRect{};
    GetClientRect(window_, &client);
    if (status_ && IsWindowVisible(status_)) {
        GetWindowRect(status_, &statusRect);
        client.bottom = std::max<LONG>(0, client.bottom - (statusRect.bottom - statusRect.top));
    }
    return client;
}

void TWin32ExplorerWindow::FollowSize() {
    const RECT area = PictureArea();
    if (area.right <= 0 || area.bottom <= 0 || IsIconic(window_)) return;
    if (area.right == posted_.cx && area.bottom == posted_.cy) return;
    posted_ = {area.right, area.bottom};
    Do({TExplorerAction::Resize, area.right, area.bottom});
}

void TWin32ExplorerWindow::ShowPicture() {
    lastShown_ = std::chrono::steady_clock::now();
    const RECT area = PictureArea();
    RedrawWindow(window_, &area, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    UpdateStatus();
}

void TWin32ExplorerWindow::UpdateStatus() {
    const std::string text = explorer_.StatusText();
    if (text == statusText_ || !status_) return;
    statusText_ = text;
    const TExplorerStatusParts p = SplitExplorerStatus(text);
    std::vector<std::wstring> parts;
    for (const std::string* part : {&p.Kind, &p.Centre, &p.Width, &p.Iterations, &p.Mode, &p.Palette, &p.Scene,
                                    &p.Time, &p.Message})
        if (!part->empty() || part == &p.Message) parts.push_back(Utf8ToWide(*part));
    // Each part as wide as its text, the message taking the rest.
    std::vector<int> edges;
    {
        const TWindowDC dc(status_);
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(status_, WM_GETFONT, 0, 0));
        const HGDIOBJ old = dc.Get() && font ? SelectObject(dc.Get(), font) : nullptr;
        int right = 0;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            SIZE size{};
            if (dc.Get()) GetTextExtentPoint32W(dc.Get(), parts[i].c_str(), static_cast<int>(parts[i].size()), &size);
            right += size.cx + 16;
            edges.push_back(right);
        }
        edges.push_back(-1);
        if (old) SelectObject(dc.Get(), old);
    }
    SendMessageW(status_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (std::size_t i = 0; i < parts.size(); ++i)
        SendMessageW(status_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(parts[i].c_str()));
}

void TWin32ExplorerWindow::UpdateTitle() {
    const std::string& file = explorer_.SceneFile();
    const std::string title = file.empty() ? texts::kProgram : ExtractFileName(file) + " - " + texts::kProgram;
    if (title == title_) return;
    title_ = title;
    SetWindowTextW(window_, Utf8ToWide(title).c_str());
}

void TWin32ExplorerWindow::Do(const TExplorerCommand& Command) {
    switch (Command.Action) {
        case TExplorerAction::ToggleHelp:
            // The help is a dialog here, not text over the picture.
            ShowKeys();
            return;
        case TExplorerAction::Keep:
        case TExplorerAction::WritePicture: MakeOutputFolder(); break;
        case TExplorerAction::OpenScenes: lastOpened_ = Command.Path; break;
        default: break;
    }
    explorer_.Post(Command);
    if (Command.Action == TExplorerAction::ToggleStatus) ShowPicture();
    PostMessageW(window_, kWorkMessage, 0, 0);
}

void TWin32ExplorerWindow::MakeOutputFolder() {
    if (setup_.DefaultOutput.empty() || setup_.OutputFile != setup_.DefaultOutput) return;
    std::string error;
    // A folder that cannot be made leaves the explorer's own message.
    MakeSceneFileFolder(setup_.OutputFile, error);
}

POINT TWin32ExplorerWindow::Cursor() const {
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(window_, &point);
    return point;
}

void TWin32ExplorerWindow::Post(const TExplorerInput& Input, POINT At, POINT To) {
    if (const std::optional<TExplorerCommand> command = ExplorerCommandFor(Input, At.x, At.y, To.x, To.y))
        Do(*command);
}

void TWin32ExplorerWindow::OnKey(WPARAM Key) {
    TExplorerInput input;
    input.Key = KeyOf(Key);
    if (input.Key == TExplorerKey::None) return;
    input.Shift = KeyDown(VK_SHIFT);
    input.OtherModifiers = KeyDown(VK_CONTROL) || KeyDown(VK_MENU) || KeyDown(VK_LWIN) || KeyDown(VK_RWIN);
    Post(input, Cursor());
}

void TWin32ExplorerWindow::OnWheel(WPARAM wParam, LPARAM lParam) {
    // A notch is WHEEL_DELTA; finer wheels send parts of one.
    wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
    POINT at = PointOf(lParam);  // screen coordinates
    ScreenToClient(window_, &at);
    TExplorerInput input;
    input.Shift = (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) != 0;
    while (wheel_ >= WHEEL_DELTA || wheel_ <= -WHEEL_DELTA) {
        input.Gesture = wheel_ > 0 ? TExplorerGesture::WheelUp : TExplorerGesture::WheelDown;
        wheel_ += wheel_ > 0 ? -WHEEL_DELTA : WHEEL_DELTA;
        Post(input, at);
    }
}

void TWin32ExplorerWindow::OnButtonDown(TExplorerGesture Gesture, WPARAM wParam, LPARAM lParam, UINT UpMessage) {
    if (drag_) return;
    TExplorerInput input;
    input.Gesture = Gesture;
    input.Shift = (wParam & MK_SHIFT) != 0;
    const TExplorerBinding* binding = ExplorerBindingOf(input);
    if (!binding) return;
    const POINT at = PointOf(lParam);
    drag_ = TDrag{input, binding->Action == TExplorerAction::Pan, UpMessage, at, at};
    SetCapture(window_);
}

void TWin32ExplorerWindow::OnButtonUp(UINT Message, LPARAM lParam) {
    if (!drag_ || drag_->Button != Message) return;
    const TDrag drag = *drag_;
    drag_.reset();
    ReleaseCapture();
    Post(drag.Input, drag.Start, PointOf(lParam));
    ShowPicture();
}

void TWin32ExplorerWindow::FillMenu(HMENU Menu, const std::vector<TExplorerMenuItem>& Items,
                                    const std::vector<std::size_t>& Path) {
    // The submenus made for this menu before go with their items.
    for (auto it = popups_.begin(); it != popups_.end();) {
        const bool below = it->second.size() > Path.size() && std::equal(Path.begin(), Path.end(), it->second.begin());
        it = below ? popups_.erase(it) : std::next(it);
    }
    while (GetMenuItemCount(Menu) > 0) DeleteMenu(Menu, 0, MF_BYPOSITION);
    for (std::size_t i = 0; i < Items.size(); ++i) {
        const TExplorerMenuItem& item = Items[i];
        std::wstring text = Utf8ToWide(item.Text);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.fType = item.Text.empty() && item.Items.empty() ? MFT_SEPARATOR : MFT_STRING;
        if (item.Checked) info.fType |= MFT_RADIOCHECK;
        info.fState = (item.Checked ? MFS_CHECKED : 0) | (item.Enabled ? 0 : MFS_DISABLED);
        info.wID = item.Id;
        info.dwTypeData = text.data();
        if (!item.Items.empty()) {
            const HMENU popup = CreatePopupMenu();
            if (!popup) continue;
            std::vector<std::size_t> path = Path;
            path.push_back(i);
            popups_[popup] = path;
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = popup;
        }
        InsertMenuItemW(Menu, static_cast<UINT>(i), TRUE, &info);
    }
}

void TWin32ExplorerWindow::OnInitMenu(HMENU Menu) {
    const auto found = popups_.find(Menu);
    if (found == popups_.end()) return;
    const std::vector<std::size_t> path = found->second;
    const std::vector<TExplorerMenuItem> bar =
        menu_.Bar(ExplorerMenuState(explorer_, recent_.Files(), FileExists(setup_.OutputFile)));
    const std::vector<TExplorerMenuItem>* items = &bar;
    for (const std::size_t i : path) {
        if (i >= items->size()) return;
        items = &(*items)[i].Items;
    }
    FillMenu(Menu, *items, path);
}

void TWin32ExplorerWindow::OnMenuCommand(uint32_t Id) {
    const std::optional<TExplorerMenuChoice> choice = menu_.Choice(Id);
    if (!choice) return;
    switch (choice->Request) {
        case TExplorerRequest::None: Do(choice->Command); break;
        case TExplorerRequest::OpenSceneFile: OpenSceneFile(); break;
        case TExplorerRequest::OpenRecent: OpenRecent(choice->Index); break;
        case TExplorerRequest::SavePictureAs: SavePictureAs(); break;
        case TExplorerRequest::UseInSaver: UseInSaver(); break;
        case TExplorerRequest::ShowKeys: ShowKeys(); break;
        case TExplorerRequest::About: ShowAbout(); break;
    }
}

void TWin32ExplorerWindow::OpenSceneFile() {
    TOpenDialog dialog;
    dialog.Filter = texts::kSceneFilter;
    dialog.HideReadOnly = true;
    dialog.FileMustExist = true;
    dialog.FileName = explorer_.SceneFile();
    if (!dialogs_.ExecuteOpenDialog(dialog)) return;
    TExplorerCommand open{TExplorerAction::OpenScenes};
    open.Path = dialog.FileName;
    Do(open);
}

void TWin32ExplorerWindow::OpenRecent(int32_t Index) {
    if (Index < 0 || static_cast<std::size_t>(Index) >= recent_.Files().size()) return;
    TExplorerCommand open{TExplorerAction::OpenScenes};
    open.Path = recent_.Files()[static_cast<std::size_t>(Index)];
    Do(open);
}

void TWin32ExplorerWindow::SavePictureAs() {
    TOpenDialog dialog;
    dialog.Filter = texts::kPictureFilter;
    dialog.HideReadOnly = true;
    dialog.PathMustExist = true;
    if (!dialogs_.ExecuteSaveDialog(dialog, "png")) return;
    // Written once the picture is complete, as F12 writes it.
    TExplorerCommand write{TExplorerAction::WritePicture};
    write.Path = dialog.FileName;
    Do(write);
}

void TWin32ExplorerWindow::UseInSaver() {
    const std::string& file = setup_.OutputFile;
    const std::string now = SaverSetting(store_, "MrpFile");
    const std::string question = "Show the scenes of\r\n" + AbsolutePath(file) +
                                 "\r\nin the Nimbrel screen saver?\r\n\r\nIt shows those of\r\n" +
                                 (now.empty() ? std::string("(none)") : now) + "\r\nnow.";
    if (MessageBoxW(window_, Utf8ToWide(question).c_str(), Utf8ToWide(texts::kProgram).c_str(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    try {
        UseInScreenSaver(store_, AbsolutePath(file));
    } catch (const ERegistryException& error) {
        box_.ShowError(error.what());
    }
}

void TWin32ExplorerWindow::ShowKeys() { ShowKeysDialog(instance_, window_, texts::kKeysCaption, ExplorerHelpLines()); }

void TWin32ExplorerWindow::ShowAbout() {
    MessageBoxW(window_, Utf8ToWide(texts::kAbout).c_str(), Utf8ToWide(texts::kAboutCaption).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

void TWin32ExplorerWindow::Paint(HDC Target) {
    const RECT area = PictureArea();
    if (area.right <= 0 || area.bottom <= 0) return;
    if (!buffer_ || bufferSize_.cx != area.right || bufferSize_.cy != area.bottom) {
        buffer_.reset(CreateCompatibleBitmap(Target, area.right, area.bottom));
        bufferSize_ = {area.right, area.bottom};
    }
    const TMemoryDC memory(Target, buffer_.get());
    // Without an off-screen copy, straight onto the window.
    const HDC dc = buffer_ && memory.Get() ? memory.Get() : Target;
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    POINT at{0, 0};
    if (drag_ && drag_->Moves) at = {drag_->Now.x - drag_->Start.x, drag_->Now.y - drag_->Start.y};
    DrawDib(dc, at.x, at.y, explorer_.Picture());
    if (drag_ && !drag_->Moves) {
        const HGDIOBJ pen = SelectObject(dc, GetStockObject(WHITE_PEN));
        const HGDIOBJ brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, std::min(drag_->Start.x, drag_->Now.x), std::min(drag_->Start.y, drag_->Now.y),
                  std::max(drag_->Start.x, drag_->Now.x) + 1, std::max(drag_->Start.y, drag_->Now.y) + 1);
        SelectObject(dc, brush);
        SelectObject(dc, pen);
    }
    if (explorer_.StatusShown()) {
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(status_, WM_GETFONT, 0, 0));
        DrawBand(dc, explorer_.StatusText(), area, font);
    }
    if (dc != Target) BitBlt(Target, 0, 0, area.right, area.bottom, dc, 0, 0, SRCCOPY);
}

LRESULT CALLBACK TWin32ExplorerWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject(window, message, lParam, &TWin32ExplorerWindow::window_);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    bool handled = false;
    GuardHandler([&] { handled = self->HandleMessage(message, wParam, lParam, result); });
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

bool TWin32ExplorerWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case kWorkMessage: return true;
        case WM_ERASEBKGND:
            result = 1;  // the picture covers it
            return true;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window_, &paint);
            if (dc) Paint(dc);
            EndPaint(window_, &paint);
            return true;
        }
        case WM_SIZE:
            if (status_) SendMessageW(status_, WM_SIZE, 0, 0);
            if (wParam != SIZE_MINIMIZED) FollowSize();
            return true;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {kMinWidth, kMinHeight};
            return true;
        }
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return true;
        }
        case WM_KEYDOWN:
            OnKey(wParam);
            return true;
        case WM_MOUSEWHEEL:
            OnWheel(wParam, lParam);
            return true;
        case WM_LBUTTONDOWN:
            OnButtonDown(TExplorerGesture::LeftDrag, wParam, lParam, WM_LBUTTONUP);
            return true;
        case WM_RBUTTONDOWN:
            OnButtonDown(TExplorerGesture::RightDrag, wParam, lParam, WM_RBUTTONUP);
            return true;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            OnButtonUp(message, lParam);
            return true;
        case WM_MOUSEMOVE:
            if (drag_) {
                drag_->Now = PointOf(lParam);
                ShowPicture();
            }
            return true;
        case WM_CAPTURECHANGED:
            // Another window took the mouse: the drag ends without a command.
            if (drag_ && reinterpret_cast<HWND>(lParam) != window_) {
                drag_.reset();
                ShowPicture();
            }
            return true;
        case WM_INITMENUPOPUP:
            OnInitMenu(reinterpret_cast<HMENU>(wParam));
            return true;
        case WM_COMMAND:
            // From the menu; the status bar sends nothing the window needs.
            if (HIWORD(wParam) == 0 && lParam == 0) OnMenuCommand(LOWORD(wParam));
            return true;
        case WM_CLOSE:
            Do({TExplorerAction::Quit});
            return true;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            window_ = nullptr;
            return false;
        default: return false;
    }
}

}  // namespace nimbrel
