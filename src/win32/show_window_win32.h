// The window of the show on Win32: borderless and topmost, or a child of the
// host window (the preview); maximised when shown. In a show on several
// monitors, a borderless topmost window that covers one monitor, whose
// "screen" is that monitor. Its canvas draws the
// picture with one DIB blit and copies rectangles within the window with
// BitBlt; its timers are window timers (TWin32Timers); its input messages go
// to the form.
//
// The window paints nothing but its colour: what the screen shows is what the
// last copy put there. It is destroyed with this object, which the start-up
// deletes only after the message loop has ended, so never while a draw is on
// the stack.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/show_window.h"
#include "win32/win32_api.h"
#include "win32/win32_message_loop.h"
#include "win32/win32_timers.h"

namespace nimbrel {

class TWin32ShowWindow : public TMonitorWindow, private TWindowCanvas {
public:
    // Parent: the host window, or nullptr for a topmost window of its own,
    // owned by the application's hidden window Owner.
    TWin32ShowWindow(HINSTANCE Instance, HWND Parent, HWND Owner, TWin32MessageLoop& Loop);
    // A topmost window of its own that covers Monitor, owned by Owner.
    TWin32ShowWindow(HINSTANCE Instance, const TMonitor& Monitor, HWND Owner, TWin32MessageLoop& Loop);
    ~TWin32ShowWindow() override;
    TWin32ShowWindow(const TWin32ShowWindow&) = delete;
    TWin32ShowWindow& operator=(const TWin32ShowWindow&) = delete;

    // The form whose handlers the messages run; not owned.
    void SetForm(TMainForm* Form) override { form_ = Form; }
    void Show(bool Activate) override;
    // Runs on WM_DISPLAYCHANGE, which the system sends to every top-level
    // window when the monitors change.
    std::function<void()> OnDisplayChange;
    HWND Window() const { return window_; }
    bool IsChildWindow() const { return parent_ != nullptr; }
    void Place(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
    void ShowMaximized();

    // TShowWindow
    int32_t ClientWidth() const override;
    int32_t ClientHeight() const override;
    void SetColor(TColor color) override;
    TWindowCanvas& Canvas() override { return *this; }
    intptr_t Handle() const override { return FromHwnd(window_); }
    void Close() override { RequestClose(false); }
    std::unique_ptr<TTimer> CreateTimer() override;
    int32_t ScreenWidth() const override;
    int32_t ScreenHeight() const override;
    void ShowCursor(bool show) override;
    void ShowApplicationWindow() override;
    int32_t RefreshRate() const override;
    void PresentFrame() override;

private:
    // Creates the window: a child of parent_ filling it, or a topmost popup
    // covering Rect.
    void Create(HINSTANCE Instance, RECT Rect);

    // TWindowCanvas
    void DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) override;
    void CopyRect(int32_t x, int32_t y, const TRect& source) override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    // Runs the close query and ends the message loop when it agrees; Forced
    // when the window or its host is already going away.
    void RequestClose(bool Forced);
    void Paint(HDC dc);

    HWND parent_;
    HWND owner_;
    std::optional<TMonitor> monitor_;
    TWin32MessageLoop& loop_;
    HWND window_ = nullptr;
    TMainForm* form_ = nullptr;
    TColor color_;
    HBRUSH brush_ = nullptr;
    bool closing_ = false;
    bool destroying_ = false;  // the destructor destroys the window
    bool clicked_ = false;     // the left button went down in the window
    TWin32Timers timers_;
};

}  // namespace nimbrel
