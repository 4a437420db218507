// The window of the show on X11 and its message loop: the root window (or the
// virtual root a screen-saver daemon provides), a window given by its id, or
// a window of its own.
//
// The canvas puts the picture with one shared-memory image (or XPutImage)
// and copies rectangles within the window with XCopyArea; the window paints
// nothing itself, so an area covered and uncovered shows the window's
// background until the next copy. The timers are a TTimerQueue on the
// monotonic clock, fired only from Run or from ProcessMessages.
//
// Input: in a window of its own, keys, clicks (the left button pressed and
// released in the window), mouse movement and WM_DELETE_WINDOW reach the
// form; on the root window and on a given window the daemon owns the input
// and none is read. SIGTERM and SIGINT close the show in every case; so does
// the window going away.
//
// While it lives the window is the application's message pump.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/show_window.h"
#include "x11/x11_display.h"
#include "x11/x11_image.h"
#include "x11/x11_stop_signal.h"

namespace nimbrel {

class TX11ShowWindow : public TShowWindow, private TWindowCanvas {
public:
    // The window Place names; a window of its own without a geometry is
    // 640 x 480. EX11Error when that window does not exist or its visual
    // cannot be drawn on. TryShm false: plain XPutImage only.
    TX11ShowWindow(TX11Display& Display, const TShowPlace& Place, bool TryShm = true);
    ~TX11ShowWindow() override;
    TX11ShowWindow(const TX11ShowWindow&) = delete;
    TX11ShowWindow& operator=(const TX11ShowWindow&) = delete;

    // The main window; destroyed when Run ends.
    void SetMainForm(std::unique_ptr<TMainForm> Form) { form_ = std::move(Form); }
    // Activates the form once the window can be seen, then dispatches events,
    // timers and the stop signal until the show closes.
    void Run();
    // Reads the window's size afresh.
    void RefreshSize();
    // The X window drawn on.
    ::Window XWindow() const { return window_; }
    bool UsesSharedMemory() const { return writer_->UsesSharedMemory(); }

    // TShowWindow. The screen of the show is the window it draws on.
    int32_t ClientWidth() const override { return width_; }
    int32_t ClientHeight() const override { return height_; }
    void SetColor(TColor color) override;
    TWindowCanvas& Canvas() override { return *this; }
    intptr_t Handle() const override { return static_cast<intptr_t>(window_); }
    void Close() override;
    std::unique_ptr<TTimer> CreateTimer() override;
    int32_t ScreenWidth() const override { return width_; }
    int32_t ScreenHeight() const override { return height_; }
    void ShowCursor(bool show) override;
    void ShowApplicationWindow() override {}

private:
    // TWindowCanvas
    void DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) override;
    void CopyRect(int32_t x, int32_t y, const TRect& source) override;

    void CreateOwnWindow(const TShowPlace& Place);
    // The size the server reports, within what a picture of the show takes.
    void TakeSize(int Width, int Height);
    void UseWindow(::Window Target, bool Root);
    // Dispatches one pending thing: the stop signal, an X event, or the timer
    // due first. Answers whether there was one.
    bool DispatchOne(bool SignalReadable = false);
    void HandleEvent(const XEvent& Event);
    void Activate();
    // Looks at the protocol errors recorded so far: the window gone ends the
    // show, anything else is reported.
    void CheckErrors();
    void WindowGone();
    // Milliseconds until the next timer falls due; -1 when none runs.
    int NextTimeout() const;

    TX11Display& display_;
    Display* dpy_;
    ::Window window_ = 0;
    bool own_ = false;       // a window of its own: input and background are ours
    bool mapped_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    GC gc_ = nullptr;
    std::unique_ptr<TX11PixelFormat> format_;
    std::unique_ptr<TX11ImageWriter> writer_;
    Atom wmProtocols_ = 0;
    Atom wmDeleteWindow_ = 0;
    Cursor blankCursor_ = 0;
    int32_t cursorCount_ = 0;  // ShowCursor's display counter, 0 = visible
    TColor color_ = 0;
    bool pressed_ = false;  // the left button went down in the window

    std::unique_ptr<TMainForm> form_;
    bool activated_ = false;
    bool terminated_ = false;
    TX11StopSignal stop_;
    TTimerQueue timers_;
    std::function<void()> previousPump_;
};

}  // namespace nimbrel
