#include "x11/x11_show_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

#include "platform/application.h"

namespace nimbrel {

namespace {

// The window's own colour until a picture has a size of its own: black, as
// the screen is when a screen-saver daemon has faded it out, so that the
// show does not start with a flash of a light system colour.
constexpr TColor kInitialColor = 0x000000;
constexpr int32_t kDefaultWidth = 640;
constexpr int32_t kDefaultHeight = 480;
// The protocol keeps a window's sides in 16 bits and its place in signed 16
// bits; the copies within the window clamp at the same limit.
constexpr int64_t kMaxSide = 32767;

// A coordinate of a window's place, within what the protocol holds.
int ToCoordinate(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, -kMaxSide - 1, kMaxSide)); }

std::string Hex(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// The virtual root of a screen-saver daemon or a window manager (the child of
// the root window that carries __SWM_VROOT), else the root window.
::Window VirtualRoot(Display* dpy) {
    const ::Window root = DefaultRootWindow(dpy);
    const Atom vroot = XInternAtom(dpy, "__SWM_VROOT", False);
    ::Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    ::Window found = root;
    if (XQueryTree(dpy, root, &rootReturn, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && found == root; ++i) {
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy, children[i], vroot, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                                   &data) == Success &&
                type == XA_WINDOW && format == 32 && items == 1 && data)
                found = *reinterpret_cast<::Window*>(data);
            if (data) XFree(data);
        }
        if (children) XFree(children);
    }
    return found;
}

// The monotonic clock in milliseconds.
int64_t MonotonicMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

TX11ShowWindow::TX11ShowWindow(TX11Display& Display, const TShowPlace& Place, bool TryShm)
    : display_(Display), dpy_(Display.Get()), timers_(&MonotonicMilliseconds) {
    wmProtocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    wmDeleteWindow_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    switch (Place.Target) {
        case TShowTarget::OwnWindow:
            CreateOwnWindow(Place);
            break;
        case TShowTarget::Root:
            UseWindow(VirtualRoot(dpy_), true);
            break;
        case TShowTarget::WindowId:
            UseWindow(static_cast<::Window>(Place.WindowId), false);
            break;
    }
    XGCValues values{};
    values.graphics_exposures = False;
    gc_ = XCreateGC(dpy_, window_, GCGraphicsExposures, &values);
    writer_ = std::make_unique<TX11ImageWriter>(display_, *format_, TryShm);
    // Until a copy comes, the window shows its colour.
    SetColor(kInitialColor);
    previousPump_ = Application().SetMessagePump([this] {
        while (!terminated_ && DispatchOne()) {
        }
    });
}

TX11ShowWindow::~TX11ShowWindow() {
    form_.reset();
    Application().SetMessagePump(std::move(previousPump_));
    writer_.reset();
    if (gc_) XFreeGC(dpy_, gc_);
    if (window_ && own_) {
        if (blankCursor_) XFreeCursor(dpy_, blankCursor_);
        XDestroyWindow(dpy_, window_);
    }
    XSync(dpy_, False);
    display_.TakeErrors();
}

void TX11ShowWindow::UseWindow(::Window Target, bool Root) {
    XWindowAttributes attributes{};
    const Status status = XGetWindowAttributes(dpy_, Target, &attributes);
    display_.Sync();
    if (!status || !display_.TakeErrors().empty())
        throw EX11Error(Root ? "cannot use the root window" : "there is no window " + Hex(Target));
    window_ = Target;
    TakeSize(attributes.width, attributes.height);
    format_ = std::make_unique<TX11PixelFormat>(dpy_, attributes.visual, attributes.depth);
    // Its size and its end; the input stays with its owner.
    XSelectInput(dpy_, window_, StructureNotifyMask);
    mapped_ = true;
}

void TX11ShowWindow::CreateOwnWindow(const TShowPlace& Place) {
    const int screen = DefaultScreen(dpy_);
    const int64_t screenWidth = DisplayWidth(dpy_, screen), screenHeight = DisplayHeight(dpy_, screen);
    int64_t x = 0, y = 0, w = kDefaultWidth, h = kDefaultHeight;
    bool placed = false;
    if (Place.Fullscreen) {
        w = screenWidth;
        h = screenHeight;
        placed = true;
    } else if (Place.Geometry) {
        const TWindowGeometry& g = *Place.Geometry;
        if (g.HasSize) {
            w = g.Width;
            h = g.Height;
        }
        if (g.HasPosition) {
            x = g.FromRight ? screenWidth - w - g.X : g.X;
            y = g.FromBottom ? screenHeight - h - g.Y : g.Y;
            placed = true;
        }
    }
    w = std::clamp<int64_t>(w, 1, kMaxSide);
    h = std::clamp<int64_t>(h, 1, kMaxSide);
    format_ = std::make_unique<TX11PixelFormat>(dpy_, DefaultVisual(dpy_, screen), DefaultDepth(dpy_, screen));
    XSetWindowAttributes attributes{};
    attributes.background_pixel = format_->Pixel(kInitialColor);
    attributes.event_mask =
        KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;
    window_ = XCreateWindow(dpy_, RootWindow(dpy_, screen), ToCoordinate(x), ToCoordinate(y), static_cast<unsigned>(w),
                            static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWEventMask, &attributes);
    own_ = true;
    TakeSize(static_cast<int>(w), static_cast<int>(h));

    XSizeHints hints{};
    hints.flags = PSize | (placed ? USPosition | USSize : 0) | (Place.Geometry && Place.Geometry->HasSize ? USSize : 0);
    hints.x = ToCoordinate(x);
    hints.y = ToCoordinate(y);
    hints.width = static_cast<int>(w);
    hints.height = static_cast<int>(h);
    XSetWMNormalHints(dpy_, window_, &hints);
    XStoreName(dpy_, window_, "Nimbrel");
    XClassHint classHint{};
    char name[] = "nimbrel", className[] = "Nimbrel";
    classHint.res_name = name;
    classHint.res_class = className;
    XSetClassHint(dpy_, window_, &classHint);
    XSetWMProtocols(dpy_, window_, &wmDeleteWindow_, 1);
    if (Place.Fullscreen) {
        const Atom state = XInternAtom(dpy_, "_NET_WM_STATE", False);
        const Atom fullscreen = XInternAtom(dpy_, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(dpy_, window_, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&fullscreen), 1);
    }
    XMapRaised(dpy_, window_);
}

void TX11ShowWindow::RefreshSize() {
    if (!window_) return;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(dpy_, window_, &attributes)) TakeSize(attributes.width, attributes.height);
    CheckErrors();
}

void TX11ShowWindow::TakeSize(int Width, int Height) {
    width_ = static_cast<int32_t>(std::clamp<int64_t>(Width, 0, kMaxSide));
    height_ = static_cast<int32_t>(std::clamp<int64_t>(Height, 0, kMaxSide));
}

void TX11ShowWindow::SetColor(TColor color) {
    color_ = color;
    if (!window_) return;
    const unsigned long pixel = format_->Pixel(color);
    if (own_) {
        XSetWindowBackground(dpy_, window_, pixel);
        XClearWindow(dpy_, window_);
    } else {
        // Another's window keeps its own background: paint it over.
        XSetForeground(dpy_, gc_, pixel);
        XFillRectangle(dpy_, window_, gc_, 0, 0, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    }
    XFlush(dpy_);
}

void TX11ShowWindow::DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) {
    if (!window_) return;
    // Clipped to the window: only what can be seen goes to the server.
    const int64_t left = std::max<int64_t>(0, x), top = std::max<int64_t>(0, y);
    const int64_t right = std::min<int64_t>(width_, int64_t{x} + bitmap.Width());
    const int64_t bottom = std::min<int64_t>(height_, int64_t{y} + bitmap.Height());
    if (right <= left || bottom <= top) return;
    writer_->Put(window_, gc_, bitmap, static_cast<int>(left - x), static_cast<int>(top - y), static_cast<int>(left),
                 static_cast<int>(top), static_cast<int>(right - left), static_cast<int>(bottom - top));
    CheckErrors();
}

void TX11ShowWindow::CopyRect(int32_t x, int32_t y, const TRect& source) {
    if (!window_) return;
    const int64_t w = int64_t{source.Right} - source.Left, h = int64_t{source.Bottom} - source.Top;
    if (w <= 0 || h <= 0) return;
    const auto clamp = [](int64_t v) { return static_cast<unsigned>(std::min<int64_t>(v, 32767)); };
    XCopyArea(dpy_, window_, window_, gc_, source.Left, source.Top, clamp(w), clamp(h), x, y);
    XFlush(dpy_);
}

void TX11ShowWindow::Close() {
    if (terminated_) return;
    bool canClose = true;
    if (form_) GuardHandler([&] { canClose = form_->FormCloseQuery(); });
    if (canClose) terminated_ = true;
}

std::unique_ptr<TTimer> TX11ShowWindow::CreateTimer() { return timers_.NewTimer(); }

void TX11ShowWindow::ShowCursor(bool show) {
    cursorCount_ += show ? 1 : -1;
    // The daemon's window and the root keep their cursor.
    if (!own_ || !window_) return;
    if (cursorCount_ < 0) {
        if (!blankCursor_) {
            const char none[1] = {0};
            const Pixmap pixmap = XCreateBitmapFromData(dpy_, window_, none, 1, 1);
            XColor black{};
            blankCursor_ = XCreatePixmapCursor(dpy_, pixmap, pixmap, &black, &black, 0, 0);
            XFreePixmap(dpy_, pixmap);
        }
        XDefineCursor(dpy_, window_, blankCursor_);
    } else {
        XUndefineCursor(dpy_, window_);
    }
    XFlush(dpy_);
}

void TX11ShowWindow::Activate() {
    if (activated_ || !form_) return;
    activated_ = true;
    GuardHandler([this] { form_->FormActivate(); });
}

void TX11ShowWindow::WindowGone() {
    window_ = 0;
    Close();
}

void TX11ShowWindow::CheckErrors() {
    for (const XErrorEvent& error : display_.TakeErrors()) {
        if (window_ && error.resourceid == window_ &&
            (error.error_code == BadWindow || error.error_code == BadDrawable)) {
            WindowGone();
            continue;
        }
        std::fprintf(stderr, "nimbrel: X error: %s\n", display_.ErrorText(error).c_str());
    }
}

void TX11ShowWindow::HandleEvent(const XEvent& Event) {
    switch (Event.type) {
        case ConfigureNotify:
            if (Event.xconfigure.window == window_) TakeSize(Event.xconfigure.width, Event.xconfigure.height);
            break;
        case MapNotify:
            if (Event.xmap.window == window_) mapped_ = true;
            break;
        case DestroyNotify:
            if (Event.xdestroywindow.window == window_) WindowGone();
            break;
        case ClientMessage:
            if (own_ && Event.xclient.message_type == wmProtocols_ && Event.xclient.format == 32 &&
                static_cast<Atom>(Event.xclient.data.l[0]) == wmDeleteWindow_)
                Close();
            break;
        case KeyPress:
            if (own_ && form_) {
                XKeyEvent key = Event.xkey;
                const KeySym sym = XLookupKeysym(&key, 0);
                GuardHandler([&] { form_->FormKeyDown(static_cast<uint16_t>(sym)); });
            }
            break;
        case ButtonPress:
            if (own_ && Event.xbutton.button == Button1) pressed_ = true;
            break;
        case ButtonRelease:
            if (own_ && Event.xbutton.button == Button1 && pressed_) {
                pressed_ = false;
                const XButtonEvent& b = Event.xbutton;
                if (form_ && b.x >= 0 && b.y >= 0 && b.x < width_ && b.y < height_)
                    GuardHandler([this] { form_->FormClick(); });
            }
            break;
        case MotionNotify:
            if (own_ && form_) GuardHandler([this] { form_->FormMouseMove(); });
            break;
        default:
            break;
    }
}

bool TX11ShowWindow::DispatchOne(bool SignalReadable) {
    if (stop_.Take(SignalReadable)) {
        Close();
        return true;
    }
    if (XPending(dpy_) > 0) {
        XEvent event;
        XNextEvent(dpy_, &event);
        HandleEvent(event);
        return true;
    }
    CheckErrors();
    return timers_.FireDue();
}

int TX11ShowWindow::NextTimeout() const {
    const std::optional<int64_t> due = timers_.NextDue();
    if (!due) return -1;
    const int64_t wait = std::max<int64_t>(0, *due - MonotonicMilliseconds());
    return static_cast<int>(std::min<int64_t>(wait, std::numeric_limits<int>::max()));
}

void TX11ShowWindow::Run() {
    bool signalReadable = false;
    while (!terminated_) {
        // A window of its own starts the show once it can be seen.
        if (mapped_ && !activated_) Activate();
        while (!terminated_ && DispatchOne(signalReadable)) {
            signalReadable = false;
            if (mapped_ && !activated_) Activate();
        }
        signalReadable = false;
        if (terminated_) break;
        XFlush(dpy_);
        if (XPending(dpy_) > 0) continue;
        pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {stop_.Descriptor(), POLLIN, 0}};
        if (poll(fds, 2, NextTimeout()) > 0 && (fds[1].revents & POLLIN)) signalReadable = true;
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            // The server went away; Xlib's I/O error handler ends the process
            // at the next request.
            XNoOp(dpy_);
            XSync(dpy_, False);
        }
    }
    form_.reset();
}

}  // namespace nimbrel
