#include "win32/desktop_win32.h"

#include "win32/show_window_win32.h"
#include "win32/win32_error.h"

namespace nimbrel {

namespace {

const wchar_t* const kClassName = L"NimbrelDesktop";
const wchar_t* const kShowWindowClass = L"NimbrelShowWindow";

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        reinterpret_cast<std::vector<TMonitor>*>(data)->push_back(
            TMonitor{TRect{r.left, r.top, r.right, r.bottom}, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    }
    return TRUE;
}

// Whether the window is a visible show window of this thread.
bool IsOurShowWindow(HWND window) {
    if (!window || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId() || !IsWindowVisible(window))
        return false;
    wchar_t name[32] = {};
    return GetClassNameW(window, name, 32) > 0 && lstrcmpW(name, kShowWindowClass) == 0;
}

BOOL CALLBACK FindShowWindow(HWND window, LPARAM found) {
    if (!IsOurShowWindow(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

TWin32Desktop::TWin32Desktop(HINSTANCE Instance, HWND Application, TWin32MessageLoop& Loop)
    : instance_(Instance),
      application_(Application),
      loop_(Loop),
      timers_([this](bool Create) { return Create ? Window() : window_; }, 1) {}

TWin32Desktop::~TWin32Desktop() {
    SetListener(nullptr);
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
}

HWND TWin32Desktop::Window() {
    if (window_) return window_;
    WNDCLASSEXW windowClass{};
    if (!GetClassInfoExW(instance_, kClassName, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &TWin32Desktop::WindowProc;
        windowClass.hInstance = instance_;
        windowClass.lpszClassName = kClassName;
        if (!RegisterClassExW(&windowClass)) RaiseLastOSError();
    }
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr);
    if (!window_) RaiseLastOSError();
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return window_;
}

HWND TWin32Desktop::BoxOwner() {
    const HWND active = GetForegroundWindow();
    if (IsOurShowWindow(active)) return active;
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindShowWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<TMonitor> TWin32Desktop::Monitors() {
    std::vector<TMonitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

std::unique_ptr<TMonitorWindow> TWin32Desktop::CreateMonitorWindow(const TMonitor& Monitor) {
    auto window = std::make_unique<TWin32ShowWindow>(instance_, Monitor, application_, loop_);
    window->OnDisplayChange = [this] {
        if (listener_) listener_->DisplayChanged();
    };
    return window;
}

std::unique_ptr<TTimer> TWin32Desktop::CreateTimer() { return timers_.NewTimer(); }

void TWin32Desktop::ShowCursor(bool Show) { ::ShowCursor(Show ? TRUE : FALSE); }

void TWin32Desktop::ShowApplicationWindow() {
    if (application_) ShowWindow(application_, SW_SHOW);
}

void TWin32Desktop::SetListener(TDesktopListener* Listener) {
    listener_ = Listener;
    if (Listener)
        loop_.SetIdle([this] {
            if (listener_) listener_->Idle();
        });
    else
        loop_.SetIdle(nullptr);
}

// A message wakes the loop, which calls Idle after dispatching it.
void TWin32Desktop::RequestIdle() { PostMessageW(Window(), WM_NULL, 0, 0); }

LRESULT CALLBACK TWin32Desktop::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TWin32Desktop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_TIMER) {
        self->timers_.Fire(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace nimbrel
