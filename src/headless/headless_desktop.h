// A headless desktop of several monitors for the show, on the virtual clock
// of TVirtualLoop. The monitor list is the test's; a test changes it during
// the show (a monitor removed, a resolution changed), and every show window
// then receives the display change, as the system sends it to each top-level
// window. Each window keeps every pixel copied onto it.
//
// Besides the loop's count of nested draws, the desktop counts the windows
// destroyed while a draw was on the stack: the show must keep both at 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "headless/virtual_loop.h"
#include "platform/show_window.h"

namespace nimbrel {

class THeadlessDesktop : public TVirtualLoop, public TShowDesktop {
public:
    class TWindow;

    explicit THeadlessDesktop(std::vector<TMonitor> Monitors);
    ~THeadlessDesktop() override;

    // The windows that exist now, in the order of their creation.
    const std::vector<TWindow*>& Windows() const { return windows_; }
    // The window that covers the monitor, or nullptr.
    TWindow* WindowOn(const TRect& Monitor) const;
    int WindowsMade = 0;
    int WindowsDestroyed = 0;
    int DestroyedInsideDraw = 0;

    // Scripted input at a virtual time, for the window that covers the
    // monitor then; lost when none does.
    void ClickAt(int64_t Time, const TRect& Monitor);
    void KeyAt(int64_t Time, const TRect& Monitor, uint16_t Key = 0x20);
    void MouseMoveAt(int64_t Time, const TRect& Monitor);
    // At Time the desktop has these monitors, and every window receives the
    // display change.
    void ChangeMonitorsAt(int64_t Time, std::vector<TMonitor> Monitors);

    // Called after every copy of a bitmap onto a window, with that window.
    std::function<void(const TWindow&)> OnCopy;
    int32_t CursorCount = 0;  // ShowCursor's display counter, 0 = visible
    int ApplicationWindowShown = 0;

    // TShowDesktop
    std::vector<TMonitor> Monitors() override { return monitors_; }
    std::unique_ptr<TMonitorWindow> CreateMonitorWindow(const TMonitor& Monitor) override;
    std::unique_ptr<TTimer> CreateTimer() override { return NewTimer(); }
    void ShowCursor(bool Show) override { CursorCount += Show ? 1 : -1; }
    void ShowApplicationWindow() override { ++ApplicationWindowShown; }
    void SetListener(TDesktopListener* Listener) override { listener_ = Listener; }
    void RequestIdle() override {}

protected:
    void Idle() override;

private:
    // Runs Deliver with the form of the window covering Monitor, if any.
    void InputAt(int64_t Time, const TRect& Monitor, std::function<void(TMainForm&)> Deliver);

    std::vector<TMonitor> monitors_;
    std::vector<TWindow*> windows_;
    TDesktopListener* listener_ = nullptr;
    intptr_t nextHandle_ = 0x1000;
};

// A show window on one monitor: the monitor's size, a surface that keeps its
// pixels, and the copies made onto it.
class THeadlessDesktop::TWindow : public TMonitorWindow, private TWindowCanvas {
public:
    TWindow(THeadlessDesktop& Desktop, const TMonitor& Monitor, intptr_t Handle);
    ~TWindow() override;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    const TMonitor& Monitor() const { return monitor_; }
    TMainForm* Form() const { return form_; }
    bool Visible() const { return visible_; }
    const TBitmap& Surface() const { return surface_; }
    TColor Color() const { return color_; }
    // Copies of a bitmap (DrawBitmap), by virtual time.
    std::vector<int64_t> Copies;

    // TMonitorWindow
    void SetForm(TMainForm* Form) override { form_ = Form; }
    void Show(bool Activate) override;
    int32_t ClientWidth() const override { return surface_.Width(); }
    int32_t ClientHeight() const override { return surface_.Height(); }
    void SetColor(TColor Color) override;
    TWindowCanvas& Canvas() override { return *this; }
    intptr_t Handle() const override { return handle_; }
    void Close() override;
    std::unique_ptr<TTimer> CreateTimer() override { return desktop_.NewTimer(); }
    int32_t ScreenWidth() const override { return monitor_.Width(); }
    int32_t ScreenHeight() const override { return monitor_.Height(); }
    void ShowCursor(bool Show) override { desktop_.ShowCursor(Show); }
    void ShowApplicationWindow() override { desktop_.ShowApplicationWindow(); }

private:
    // TWindowCanvas
    void DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) override;
    void CopyRect(int32_t x, int32_t y, const TRect& source) override;

    THeadlessDesktop& desktop_;
    TMonitor monitor_;
    intptr_t handle_;
    TMainForm* form_ = nullptr;
    bool visible_ = false;
    TBitmap surface_;
    TColor color_ = 0;
};

}  // namespace nimbrel
