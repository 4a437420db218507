#include "headless/headless_desktop.h"

#include <algorithm>

#include "platform/application.h"

namespace nimbrel {

namespace {
// The button-face colour of the default Windows scheme (240, 240, 240).
constexpr TColor kButtonFace = 0xF0F0F0;

bool SameRect(const TRect& a, const TRect& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}
}  // namespace

THeadlessDesktop::THeadlessDesktop(std::vector<TMonitor> Monitors) : monitors_(std::move(Monitors)) {}

// The show and its windows go before the desktop.
THeadlessDesktop::~THeadlessDesktop() = default;

THeadlessDesktop::TWindow* THeadlessDesktop::WindowOn(const TRect& Monitor) const {
    const auto window = std::find_if(windows_.begin(), windows_.end(),
                                     [&](const TWindow* w) { return SameRect(w->Monitor().Bounds, Monitor); });
    return window == windows_.end() ? nullptr : *window;
}

std::unique_ptr<TMonitorWindow> THeadlessDesktop::CreateMonitorWindow(const TMonitor& Monitor) {
    ++WindowsMade;
    return std::make_unique<TWindow>(*this, Monitor, nextHandle_++);
}

void THeadlessDesktop::InputAt(int64_t Time, const TRect& Monitor, std::function<void(TMainForm&)> Deliver) {
    At(Time, [this, Monitor, Deliver = std::move(Deliver)] {
        const TWindow* window = WindowOn(Monitor);
        if (window && window->Form()) Deliver(*window->Form());
    });
}

void THeadlessDesktop::ClickAt(int64_t Time, const TRect& Monitor) {
    InputAt(Time, Monitor, [](TMainForm& form) { form.FormClick(); });
}

void THeadlessDesktop::KeyAt(int64_t Time, const TRect& Monitor, uint16_t Key) {
    InputAt(Time, Monitor, [Key](TMainForm& form) { form.FormKeyDown(Key); });
}

void THeadlessDesktop::MouseMoveAt(int64_t Time, const TRect& Monitor) {
    InputAt(Time, Monitor, [](TMainForm& form) { form.FormMouseMove(); });
}

void THeadlessDesktop::ChangeMonitorsAt(int64_t Time, std::vector<TMonitor> Monitors) {
    At(Time, [this, Monitors = std::move(Monitors)] {
        monitors_ = Monitors;
        // One message for each top-level window, each handled on its own.
        const std::size_t windows = windows_.size();
        for (std::size_t i = 0; i < windows; ++i)
            GuardHandler([this] {
                if (listener_) listener_->DisplayChanged();
            });
    });
}

void THeadlessDesktop::Idle() {
    if (listener_) GuardHandler([this] { listener_->Idle(); });
}

// ---- A window -----------------------------------------------------------------

THeadlessDesktop::TWindow::TWindow(THeadlessDesktop& Desktop, const TMonitor& Monitor, intptr_t Handle)
    : desktop_(Desktop), monitor_(Monitor), handle_(Handle) {
    surface_.SetSize(Monitor.Width(), Monitor.Height());
    SetColor(kButtonFace);
    desktop_.windows_.push_back(this);
}

THeadlessDesktop::TWindow::~TWindow() {
    if (desktop_.InsideDraw()) ++desktop_.DestroyedInsideDraw;
    ++desktop_.WindowsDestroyed;
    std::erase(desktop_.windows_, this);
}

void THeadlessDesktop::TWindow::Show(bool Activate) {
    visible_ = true;
    if (!Activate) return;
    // The system activates the window from its message loop.
    const intptr_t handle = handle_;
    THeadlessDesktop& desktop = desktop_;
    desktop_.At(desktop_.Now(), [&desktop, handle] {
        for (const TWindow* window : desktop.windows_)
            if (window->Handle() == handle && window->Form()) window->Form()->FormActivate();
    });
}

void THeadlessDesktop::TWindow::SetColor(TColor Color) {
    color_ = Color;
    surface_.FillRect(TRect{0, 0, surface_.Width(), surface_.Height()}, Color);
}

void THeadlessDesktop::TWindow::Close() {
    if (!form_ || desktop_.Terminated()) return;
    bool canClose = false;
    GuardHandler([&] { canClose = form_->FormCloseQuery(); });
    if (canClose) desktop_.Terminate();
}

void THeadlessDesktop::TWindow::DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) {
    surface_.Draw(x, y, bitmap);
    Copies.push_back(desktop_.Now());
    if (desktop_.OnCopy) desktop_.OnCopy(*this);
}

void THeadlessDesktop::TWindow::CopyRect(int32_t x, int32_t y, const TRect& source) {
    surface_.CopyRect(x, y, surface_, source);
}

}  // namespace nimbrel
