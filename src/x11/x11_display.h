// The connection to the X server, the protocol errors it reports, and how the
// program's pixels and colour values become pixels of a window's visual.
//
// Xlib's default error handler ends the process; the display installs one
// that records each error instead, so that the show can tell a window that
// went away from a fault. Everything runs on the GUI thread.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/exceptions.h"

namespace nimbrel {

// The display or a window cannot be used: a display that does not open, a
// window id that names no window, a visual the program cannot draw on.
class EX11Error : public Exception {
public:
    using Exception::Exception;
};

class TX11Display {
public:
    // Name: the display to open; empty means $DISPLAY.
    explicit TX11Display(const std::string& Name);
    ~TX11Display();
    TX11Display(const TX11Display&) = delete;
    TX11Display& operator=(const TX11Display&) = delete;

    Display* Get() const { return display_; }
    // Sends every request and waits until the server has handled them; their
    // errors are recorded.
    void Sync() { XSync(display_, False); }
    // Takes the errors recorded so far, in order.
    std::vector<XErrorEvent> TakeErrors();
    // Takes the recorded errors of one request (major and minor opcode);
    // answers whether there was any.
    bool TakeErrorsOf(int Major, int Minor);
    std::string ErrorText(const XErrorEvent& Error) const;

private:
    Display* display_;
};

// How the pixels of a visual are made: a TrueColor visual of 16 or 32 bits a
// pixel.
class TX11PixelFormat {
public:
    // EX11Error for a visual the program cannot draw on.
    TX11PixelFormat(Display* Dpy, Visual* VisualPtr, int Depth);

    Visual* VisualPtr() const { return visual_; }
    int Depth() const { return depth_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    // Whether a bitmap row is already a row of this visual: 32 bits, red in
    // 0xFF0000, green 0xFF00, blue 0xFF, in the byte order ByteOrder
    // (LSBFirst or MSBFirst).
    bool Direct(int ByteOrder) const;

    // A colour value (red in the low byte; a system colour is looked up) as a
    // pixel of the visual.
    unsigned long Pixel(TColor Color) const;
    // A pixel of a TBitmap as a pixel of the visual.
    unsigned long FromBitmapPixel(uint32_t Pixel) const;
    // Converts Count bitmap pixels into Out, as pixels of BitsPerPixel() in
    // the byte order ByteOrder.
    void ConvertRow(const uint32_t* In, int Count, char* Out, int ByteOrder) const;

private:
    struct TChannel {
        int Shift = 0;
        int Bits = 0;
        unsigned long Scale(uint32_t Value8) const;
    };

    Visual* visual_;
    int depth_;
    int bitsPerPixel_ = 0;
    unsigned long redMask_, greenMask_, blueMask_;
    TChannel red_, green_, blue_;
};

// The byte order of this machine's integers, as an X image names it.
int NativeByteOrder();

// The colours that the system colours (a colour value with the top bit set)
// stand for: the default scheme of the system the settings come from.
TColor SystemColorToRgb(TColor Color);

}  // namespace nimbrel
