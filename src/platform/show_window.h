// What the show's logic needs of its window and of the system around it. The
// Win32 layer implements it on a real window; the headless host on a virtual
// clock and an in-memory window surface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/bitmap.h"
#include "platform/timer.h"

namespace nimbrel {

// The drawing surface of the window.
class TWindowCanvas {
public:
    virtual ~TWindowCanvas() = default;
    // Draws the whole bitmap with its top-left pixel at (x, y), clipped.
    virtual void DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) = 0;
    // Copies the window's own rectangle `source` so that its top-left corner
    // lands on (x, y), clipped; reads what is already on the window.
    virtual void CopyRect(int32_t x, int32_t y, const TRect& source) = 0;
};

// The window of the show and the services the show uses. Every call comes from
// the GUI thread.
class TShowWindow {
public:
    virtual ~TShowWindow() = default;

    virtual int32_t ClientWidth() const = 0;
    virtual int32_t ClientHeight() const = 0;
    // The window's own colour, shown wherever no copy has drawn.
    virtual void SetColor(TColor color) = 0;
    virtual TWindowCanvas& Canvas() = 0;
    // The handle the password dialog is owned by.
    virtual intptr_t Handle() const = 0;
    // Asks the window to close. The close query runs at once; the window and
    // its owner are destroyed only when control is back in the message loop,
    // never while a draw is on the stack.
    virtual void Close() = 0;
    // A timer that belongs to this window, stopped; its owner destroys it
    // before the window.
    virtual std::unique_ptr<TTimer> CreateTimer() = 0;

    // The whole screen in pixels.
    virtual int32_t ScreenWidth() const = 0;
    virtual int32_t ScreenHeight() const = 0;
    // Shows or hides the mouse cursor (a display counter, as the system keeps).
    virtual void ShowCursor(bool show) = 0;
    // Shows the application's own hidden window again at the end of the show.
    virtual void ShowApplicationWindow() = 0;

    // The display's frames a second, at which a journey's frames are shown.
    virtual int32_t RefreshRate() const { return 60; }
    // After a journey's frame has been drawn on the canvas: a window whose
    // system composes the screen waits here for the frame to reach it.
    virtual void PresentFrame() {}
};

// ---- The show on every monitor ------------------------------------------

class TMainForm;

// One monitor of the desktop: its rectangle in physical pixels, in the
// coordinates of the virtual screen, where the primary monitor's top-left
// corner is (0, 0); a monitor left of or above it has negative coordinates.
// A window's size and place as an X geometry gives them: [WxH][{+-}X{+-}Y].
// FromRight and FromBottom measure X and Y from the right and bottom edges
// of the screen ("-X").
struct TWindowGeometry {
    bool HasSize = false;
    int32_t Width = 0;
    int32_t Height = 0;
    bool HasPosition = false;
    int32_t X = 0;
    int32_t Y = 0;
    bool FromRight = false;
    bool FromBottom = false;
};

// Where a show draws: a window of its own, the screen's root window (or the
// virtual root of a screen-saver daemon), or another program's window.
enum class TShowTarget : uint8_t { OwnWindow, Root, WindowId };

// The window of a show as its program names it, for the front end that makes
// or finds that window.
struct TShowPlace {
    TShowTarget Target = TShowTarget::OwnWindow;
    uint32_t WindowId = 0;  // TShowTarget::WindowId
    // A window of its own: placed by Geometry (none: the front end's default
    // size, wherever the window manager puts it), or filling the screen.
    std::optional<TWindowGeometry> Geometry;
    bool Fullscreen = false;
};

struct TMonitor {
    TRect Bounds;
    bool Primary = false;

    int32_t Width() const { return Bounds.Right - Bounds.Left; }
    int32_t Height() const { return Bounds.Bottom - Bounds.Top; }
    bool operator==(const TMonitor& other) const {
        return Bounds.Left == other.Bounds.Left && Bounds.Top == other.Bounds.Top &&
               Bounds.Right == other.Bounds.Right && Bounds.Bottom == other.Bounds.Bottom &&
               Primary == other.Primary;
    }
};

// A borderless topmost show window that covers one monitor. Its "screen" is
// that monitor: ScreenWidth and ScreenHeight answer the monitor's size.
// Close ends the message loop of the whole show, as the one window's Close
// does. It is destroyed with this object, which its owner deletes only from
// the message loop, never while a draw is on the stack.
class TMonitorWindow : public TShowWindow {
public:
    // The form whose handlers the window's messages run; not owned.
    virtual void SetForm(TMainForm* form) = 0;
    // Makes the window visible; Activate also makes it the active window,
    // whose activation the form receives.
    virtual void Show(bool activate) = 0;
};

// What a show on several monitors hears from the desktop.
class TDesktopListener {
public:
    virtual ~TDesktopListener() = default;
    // The monitors may have changed (a monitor added or removed, a resolution
    // changed). Comes from the message processing, also from inside a draw,
    // and as often as the system repeats it.
    virtual void DisplayChanged() = 0;
    // Runs from the message loop itself between two messages: no handler and
    // no draw is on the stack, so windows may be destroyed here.
    virtual void Idle() = 0;
};

// The desktop of a show on several monitors: the monitor list, a window per
// monitor, and what belongs to the show as a whole (its timers, the cursor,
// the application's window). Every call comes from the GUI thread.
class TShowDesktop {
public:
    virtual ~TShowDesktop() = default;
    // The monitors as the system lists them now.
    virtual std::vector<TMonitor> Monitors() = 0;
    // A new show window covering the monitor, not yet visible.
    virtual std::unique_ptr<TMonitorWindow> CreateMonitorWindow(const TMonitor& monitor) = 0;
    // A timer of the show as a whole, stopped; it outlives every window.
    virtual std::unique_ptr<TTimer> CreateTimer() = 0;
    // Shows or hides the mouse cursor (a display counter, as the system keeps).
    virtual void ShowCursor(bool show) = 0;
    // Shows the application's own hidden window again at the end of the show.
    virtual void ShowApplicationWindow() = 0;
    // The listener of display changes and idle calls; nullptr for none. Not
    // owned.
    virtual void SetListener(TDesktopListener* listener) = 0;
    // Asks for an Idle call of the listener from the message loop soon.
    virtual void RequestIdle() = 0;
};

}  // namespace nimbrel

namespace nimbrel {

// The handlers a main window offers to the message loop. The loop runs each
// one on the GUI thread under GuardHandler (platform/application.h): an
// exception that leaves a handler is shown, unless it is the silent abort,
// and the loop goes on.
class TMainForm {
public:
    virtual ~TMainForm() = default;
    virtual void FormActivate() = 0;
    virtual void FormClick() = 0;
    virtual void FormKeyDown(uint16_t key) = 0;
    virtual void FormMouseMove() = 0;
    // Asked before the window closes; the answer is whether it may.
    virtual bool FormCloseQuery() = 0;
    // Answers true when the system command was handled and must not be
    // passed on to the default handling.
    virtual bool WMSysCommand(uint32_t command) = 0;
};

// The system command that starts the screen saver.
constexpr uint32_t SC_SCREENSAVE = 0xF140;

}  // namespace nimbrel
