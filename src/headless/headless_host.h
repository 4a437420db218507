// A headless host for the show of one window: a virtual clock (the loop of
// headless/virtual_loop.h), the window's timers, a window surface that keeps
// every pixel copied onto it, and scripted input.
//
// While it lives, the host is the application's message pump; hosts that
// overlap must end in the reverse order of their creation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "headless/virtual_loop.h"
#include "platform/application.h"
#include "platform/show_window.h"

namespace nimbrel {

class THeadlessHost : public TVirtualLoop, public TShowWindow, private TWindowCanvas {
public:
    // The client area of the window and the size of the whole screen.
    THeadlessHost(int32_t clientWidth, int32_t clientHeight, int32_t screenWidth, int32_t screenHeight);
    ~THeadlessHost() override;

    // The main window; destroyed when it closes (once control is back in the
    // loop) or with the host.
    void SetMainForm(std::unique_ptr<TMainForm> form) { form_ = std::move(form); }
    TMainForm* MainForm() const { return form_.get(); }
    // The window becomes active: the form's activation handler runs.
    void Activate();

    // Scripted input at a virtual time.
    void ClickAt(int64_t time);
    void KeyAt(int64_t time, uint16_t key = 0x20);
    void MouseMoveAt(int64_t time);
    void SysCommandAt(int64_t time, uint32_t command);
    // What the default handling did with system commands passed on to it.
    std::vector<uint32_t> PassedSysCommands;

    // Runs the message loop until the virtual clock reaches `time` or the
    // window has closed.
    void RunUntil(int64_t time);

    // The window surface and what was drawn on it.
    const TBitmap& Surface() const { return surface_; }
    TColor Color() const { return color_; }
    struct TCopy {
        int64_t Time;
        bool FromBitmap;  // DrawBitmap (true) or a copy within the window (false)
    };
    std::vector<TCopy> Copies;
    int32_t CursorCount = 0;   // ShowCursor's display counter, 0 = visible
    int ApplicationWindowShown = 0;

    // TShowWindow
    int32_t ClientWidth() const override { return surface_.Width(); }
    int32_t ClientHeight() const override { return surface_.Height(); }
    void SetColor(TColor color) override;
    TWindowCanvas& Canvas() override { return *this; }
    intptr_t Handle() const override { return 0x1234; }
    void Close() override;
    std::unique_ptr<TTimer> CreateTimer() override;
    int32_t ScreenWidth() const override { return screenWidth_; }
    int32_t ScreenHeight() const override { return screenHeight_; }
    void ShowCursor(bool show) override { CursorCount += show ? 1 : -1; }
    void ShowApplicationWindow() override { ++ApplicationWindowShown; }

private:
    // TWindowCanvas
    void DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) override;
    void CopyRect(int32_t x, int32_t y, const TRect& source) override;

    // Scripted input for the form at a virtual time.
    void InputAt(int64_t time, std::function<void(TMainForm&)> deliver);
    void DestroyFormIfClosed();

    int32_t screenWidth_;
    int32_t screenHeight_;
    TBitmap surface_;
    TColor color_ = 0;
    std::unique_ptr<TMainForm> form_;
};

}  // namespace nimbrel
