#include "win32/show_window_win32.h"

#include "platform/application.h"
#include "win32/win32_color.h"
#include "win32/win32_dib.h"
#include "win32/win32_error.h"
#include "win32/win32_window_class.h"

namespace nimbrel {

namespace {

const wchar_t* const kClassName = L"NimbrelShowWindow";

// Posted on activation: the form starts its show from the message loop, not
// from inside the system's activation.
constexpr UINT kActivateMessage = WM_APP + 1;

// The preview watches its host: when the host is gone the process ends.
constexpr UINT_PTR kHostTimerId = 1;
constexpr UINT kHostCheckInterval = 250;

// The window's colour at creation: the button face, as a system colour.
constexpr TColor kButtonFace = static_cast<TColor>(0x80000000u | COLOR_BTNFACE);

}  // namespace

TWin32ShowWindow::TWin32ShowWindow(HINSTANCE Instance, HWND Parent, HWND Owner, TWin32MessageLoop& Loop)
    : parent_(Parent),
      owner_(Owner),
      loop_(Loop),
      color_(kButtonFace),
      timers_([this](bool) { return window_; }, kHostTimerId + 1) {
    Create(Instance, RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
}

TWin32ShowWindow::TWin32ShowWindow(HINSTANCE Instance, const TMonitor& Monitor, HWND Owner, TWin32MessageLoop& Loop)
    : parent_(nullptr),
      owner_(Owner),
      monitor_(Monitor),
      loop_(Loop),
      color_(kButtonFace),
      timers_([this](bool) { return window_; }, kHostTimerId + 1) {
    Create(Instance, RECT{Monitor.Bounds.Left, Monitor.Bounds.Top, Monitor.Bounds.Right, Monitor.Bounds.Bottom});
}

void TWin32ShowWindow::Create(HINSTANCE Instance, RECT rect) {
    RegisterWindowClass(Instance, kClassName, &TWin32ShowWindow::WindowProc, IDC_ARROW);
    brush_ = CreateSolidBrush(ColorToRgb(color_));
    // Borderless: a popup, topmost, the size of the screen or of its
    // monitor; or a child that fills its host.
    DWORD style = WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    if (parent_) {
        style |= WS_CHILD | WS_CLIPSIBLINGS;
        if (!GetClientRect(parent_, &rect)) rect = RECT{};
    } else {
        style |= WS_POPUP;
        exStyle |= WS_EX_TOPMOST;
    }
    window_ = CreateWindowExW(exStyle, kClassName, L"", style, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, parent_ ? parent_ : owner_, nullptr, Instance, this);
    if (!window_) {
        DeleteObject(brush_);
        RaiseLastOSError();
    }
    if (parent_) SetTimer(window_, kHostTimerId, kHostCheckInterval, nullptr);
}

TWin32ShowWindow::~TWin32ShowWindow() {
    if (window_) {
        destroying_ = true;
        DestroyWindow(window_);
    }
    if (brush_) DeleteObject(brush_);
}

void TWin32ShowWindow::Place(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    if (window_) SetWindowPos(window_, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32ShowWindow::Show(bool Activate) {
    if (!window_) return;
    ShowWindow(window_, Activate ? SW_SHOW : SW_SHOWNOACTIVATE);
    if (Activate) SetForegroundWindow(window_);
    UpdateWindow(window_);
}

void TWin32ShowWindow::ShowMaximized() {
    if (!window_) return;
    ShowWindow(window_, SW_SHOWMAXIMIZED);
    if (!parent_) SetForegroundWindow(window_);
    UpdateWindow(window_);
}

int32_t TWin32ShowWindow::ClientWidth() const {
    RECT rect{};
    if (window_) GetClientRect(window_, &rect);
    return rect.right - rect.left;
}

int32_t TWin32ShowWindow::ClientHeight() const {
    RECT rect{};
    if (window_) GetClientRect(window_, &rect);
    return rect.bottom - rect.top;
}

void TWin32ShowWindow::SetColor(TColor color) {
    if (color == color_) return;
    const HBRUSH brush = CreateSolidBrush(ColorToRgb(color));
    if (!brush) RaiseLastOSError();
    DeleteObject(brush_);
    brush_ = brush;
    color_ = color;
    if (window_) InvalidateRect(window_, nullptr, TRUE);
}

std::unique_ptr<TTimer> TWin32ShowWindow::CreateTimer() { return timers_.NewTimer(); }

int32_t TWin32ShowWindow::ScreenWidth() const { return monitor_ ? monitor_->Width() : GetSystemMetrics(SM_CXSCREEN); }

int32_t TWin32ShowWindow::ScreenHeight() const {
    return monitor_ ? monitor_->Height() : GetSystemMetrics(SM_CYSCREEN);
}

int32_t TWin32ShowWindow::RefreshRate() const {
    const TWindowDC dc(window_);
    const int rate = dc.Get() ? GetDeviceCaps(dc.Get(), VREFRESH) : 0;
    // 0 and 1 stand for the hardware's default rate.
    return rate > 1 ? rate : 60;
}

void TWin32ShowWindow::PresentFrame() {
    // The compositor paces the frames: DwmFlush returns once the frame just
    // drawn has reached the screen. Without composition it fails at once, and
    // the frame timer alone keeps the rate. Looked up, not imported, so that
    // the program keeps to the DLLs every system has.
    using TDwmFlush = HRESULT(WINAPI*)();
    static const TDwmFlush flush = [] {
        // From the system folder alone, never from beside the program.
        const HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return dwm ? reinterpret_cast<TDwmFlush>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmFlush"))) : nullptr;
    }();
    if (flush) flush();
}

void TWin32ShowWindow::ShowCursor(bool show) { ::ShowCursor(show ? TRUE : FALSE); }

void TWin32ShowWindow::ShowApplicationWindow() {
    if (owner_) ShowWindow(owner_, SW_SHOW);
}

void TWin32ShowWindow::DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) {
    if (!window_) return;
    const TWindowDC dc(window_);
    DrawDib(dc.Get(), x, y, bitmap);
}

void TWin32ShowWindow::CopyRect(int32_t x, int32_t y, const TRect& source) {
    if (!window_) return;
    const TWindowDC dc(window_);
    if (!dc.Get()) return;
    BitBlt(dc.Get(), x, y, source.Right - source.Left, source.Bottom - source.Top, dc.Get(), source.Left, source.Top,
           SRCCOPY);
}

void TWin32ShowWindow::RequestClose(bool Forced) {
    if (closing_) return;
    bool canClose = Forced || !form_;
    if (form_) GuardHandler([&] { canClose = form_->FormCloseQuery() || Forced; });
    if (!canClose) return;
    closing_ = true;
    loop_.Terminate();
}

void TWin32ShowWindow::OnTimer(UINT_PTR id) {
    if (id == kHostTimerId) {
        if (!IsWindow(parent_)) RequestClose(true);
        return;
    }
    timers_.Fire(id);
}

void TWin32ShowWindow::Paint(HDC dc) {
    RECT rect{};
    GetClientRect(window_, &rect);
    FillRect(dc, &rect, brush_);
}

LRESULT CALLBACK TWin32ShowWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject(window, message, lParam, &TWin32ShowWindow::window_);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT TWin32ShowWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = window_;
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(window, kActivateMessage, 0, 0);
            break;
        case kActivateMessage:
            if (form_ && !closing_) GuardHandler([&] { form_->FormActivate(); });
            return 0;
        case WM_ERASEBKGND:
            Paint(reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_LBUTTONDOWN:
            clicked_ = true;
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP:
            if (clicked_) {
                clicked_ = false;
                ReleaseCapture();
                RECT client{};
                GetClientRect(window, &client);
                const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                if (form_ && PtInRect(&client, point)) GuardHandler([&] { form_->FormClick(); });
            }
            return 0;
        case WM_MOUSEMOVE:
            if (form_) GuardHandler([&] { form_->FormMouseMove(); });
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (form_) GuardHandler([&] { form_->FormKeyDown(static_cast<uint16_t>(wParam)); });
            if (message == WM_KEYDOWN) return 0;
            break;
        case WM_SYSCOMMAND: {
            bool handled = false;
            if (form_) GuardHandler([&] { handled = form_->WMSysCommand(static_cast<uint32_t>(wParam & 0xFFF0)); });
            if (handled) return 1;
            break;
        }
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_DISPLAYCHANGE:
            if (OnDisplayChange) GuardHandler(OnDisplayChange);
            break;
        case WM_CLOSE:
            RequestClose(false);
            return 0;
        case WM_DESTROY:
            // Destroyed by anyone but ourselves, with the host window for
            // example: the show ends.
            if (!destroying_) RequestClose(true);
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            window_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace nimbrel
