#include "win32/saver_startup_win32.h"

#include "platform/exceptions.h"
#include "win32/win32_error.h"

namespace nimbrel {

namespace {

const wchar_t* const kApplicationClass = L"NimbrelApplication";

HWND CreateApplicationWindow(HINSTANCE instance, const std::string& title) {
    WNDCLASSEXW windowClass{};
    if (!GetClassInfoExW(instance, kApplicationClass, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.lpszClassName = kApplicationClass;
        if (!RegisterClassExW(&windowClass)) RaiseLastOSError();
    }
    // Hidden and of no size: it carries the title and owns the show window,
    // which therefore gets no taskbar button of its own.
    const HWND window = CreateWindowExW(0, kApplicationClass, Utf8ToWide(title).c_str(),
                                        WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                        GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                        nullptr, nullptr, instance, nullptr);
    if (!window) RaiseLastOSError();
    return window;
}

}  // namespace

TWin32Startup::TWin32Startup(HINSTANCE Instance, TSettingsStore& Store)
    : instance_(Instance), store_(Store), pump_([this] { loop_.ProcessMessages(); }) {
    application_ = CreateApplicationWindow(instance_, Application().Title());
}

TWin32Startup::~TWin32Startup() {
    settingForm_.reset();
    settingWindow_.reset();
    dialogs_.reset();
    form_.reset();
    window_.reset();
    desktop_.reset();
    if (running_) SetScreenSaverRunning(false);
    if (application_) DestroyWindow(application_);
}

HWND TWin32Startup::BoxOwner() const {
    if (settingWindow_ && IsWindow(settingWindow_->Window())) return settingWindow_->Window();
    if (desktop_ && !window_) return TWin32Desktop::BoxOwner();
    if (!window_ || window_->IsChildWindow() || !IsWindow(window_->Window())) return nullptr;
    return window_->Window();
}

void TWin32Startup::SetScreenSaverRunning(bool Running) {
    BOOL previous = FALSE;
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, Running ? TRUE : FALSE, &previous, 0);
    running_ = Running;
}

void TWin32Startup::ShowHostWindow(int32_t Parent) { ShowWindow(ToHwnd(Parent), SW_SHOW); }

TRect TWin32Startup::HostWindowRect(int32_t Parent) {
    RECT rect{};
    if (!GetWindowRect(ToHwnd(Parent), &rect)) return TRect{};
    return TRect{rect.left, rect.top, rect.right, rect.bottom};
}

TShowWindow& TWin32Startup::CreateShowWindow(int32_t Parent) {
    const HWND parent = ToHwnd(Parent);
    // A host that is already gone leaves nothing to show in: end quietly.
    if (parent && !IsWindow(parent)) Abort();
    SetWindowTextW(application_, Utf8ToWide(Application().Title()).c_str());
    window_ = std::make_unique<TWin32ShowWindow>(instance_, parent, application_, loop_);
    return *window_;
}

void TWin32Startup::PlaceShowWindow(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    if (window_) window_->Place(Left, Top, Width, Height);
}

void TWin32Startup::SetMainForm(std::unique_ptr<TMainForm> Form) {
    form_ = std::move(Form);
    if (window_) window_->SetForm(form_.get());
}

void TWin32Startup::CreateSettingsDialog() {
    settingWindow_ = std::make_unique<TWin32SettingDialog>(instance_, loop_);
    dialogs_ = std::make_unique<TWin32DialogServices>([this] { return BoxOwner(); });
    settingForm_ = std::make_unique<TfrmSetting>(*settingWindow_, store_, *dialogs_);
    settingWindow_->SetForm(settingForm_.get());
    settingWindow_->Show();
}

TShowDesktop* TWin32Startup::Desktop() {
    if (!desktop_) desktop_ = std::make_unique<TWin32Desktop>(instance_, application_, loop_);
    return desktop_.get();
}

void TWin32Startup::SetToolWindowStyle() { SetWindowLongPtrW(application_, GWL_EXSTYLE, WS_EX_TOOLWINDOW); }

void TWin32Startup::RunMessageLoop() {
    if (window_ && !loop_.Terminated()) window_->ShowMaximized();
    loop_.Run();
    // The forms write the settings back; their windows go after them.
    form_.reset();
    window_.reset();
    if (settingWindow_) settingWindow_->SetForm(nullptr);
    settingForm_.reset();
    settingWindow_.reset();
}

}  // namespace nimbrel
