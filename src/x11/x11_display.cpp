#include "x11/x11_display.h"

#include <X11/Xutil.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace nimbrel {

namespace {

// The errors of the one display, recorded by the handler until taken.
std::vector<XErrorEvent>& RecordedErrors() {
    static std::vector<XErrorEvent> errors;
    return errors;
}

int RecordError(Display*, XErrorEvent* error) {
    // A flood of errors (a window gone while many requests were queued) keeps
    // only the first ones.
    if (RecordedErrors().size() < 64) RecordedErrors().push_back(*error);
    return 0;
}

// The default scheme's colours for the system-colour indexes 0 to 30.
constexpr TColor Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }
constexpr TColor kSystemColors[] = {
    Rgb(200, 200, 200),  // scroll bar
    Rgb(0, 0, 0),        // background (the desktop)
    Rgb(153, 180, 209),  // active caption
    Rgb(191, 205, 219),  // inactive caption
    Rgb(240, 240, 240),  // menu
    Rgb(255, 255, 255),  // window
    Rgb(100, 100, 100),  // window frame
    Rgb(0, 0, 0),        // menu text
    Rgb(0, 0, 0),        // window text
    Rgb(0, 0, 0),        // caption text
    Rgb(180, 180, 180),  // active border
    Rgb(244, 247, 252),  // inactive border
    Rgb(171, 171, 171),  // application workspace
    Rgb(0, 120, 215),    // highlight
    Rgb(255, 255, 255),  // highlight text
    Rgb(240, 240, 240),  // button face
    Rgb(160, 160, 160),  // button shadow
    Rgb(109, 109, 109),  // grey text
    Rgb(0, 0, 0),        // button text
    Rgb(0, 0, 0),        // inactive caption text
    Rgb(255, 255, 255),  // button highlight
    Rgb(105, 105, 105),  // 3D dark shadow
    Rgb(227, 227, 227),  // 3D light
    Rgb(0, 0, 0),        // info text
    Rgb(255, 255, 225),  // info background
    Rgb(0, 0, 0),        // (unused)
    Rgb(0, 102, 204),    // hot light
    Rgb(185, 209, 234),  // gradient active caption
    Rgb(215, 228, 242),  // gradient inactive caption
    Rgb(0, 120, 215),    // menu highlight
    Rgb(240, 240, 240),  // menu bar
};

}  // namespace

TX11Display::TX11Display(const std::string& Name) : display_(XOpenDisplay(Name.empty() ? nullptr : Name.c_str())) {
    if (!display_) {
        const char* name = Name.empty() ? XDisplayName(nullptr) : Name.c_str();
        throw EX11Error(std::string("cannot open the display ") + (name && *name ? name : "(DISPLAY is not set)"));
    }
    XSetErrorHandler(RecordError);
}

TX11Display::~TX11Display() {
    XCloseDisplay(display_);
    XSetErrorHandler(nullptr);
    RecordedErrors().clear();
}

std::vector<XErrorEvent> TX11Display::TakeErrors() {
    std::vector<XErrorEvent> errors;
    errors.swap(RecordedErrors());
    return errors;
}

bool TX11Display::TakeErrorsOf(int Major, int Minor) {
    std::vector<XErrorEvent>& errors = RecordedErrors();
    const auto taken = std::erase_if(errors, [&](const XErrorEvent& e) {
        return e.request_code == Major && e.minor_code == Minor;
    });
    return taken > 0;
}

std::string TX11Display::ErrorText(const XErrorEvent& Error) const {
    char text[256] = {};
    XGetErrorText(display_, Error.error_code, text, sizeof text);
    char detail[96];
    std::snprintf(detail, sizeof detail, " (request %d.%d, resource 0x%lx)", static_cast<int>(Error.request_code),
                  static_cast<int>(Error.minor_code), Error.resourceid);
    return std::string(text) + detail;
}

int NativeByteOrder() { return std::endian::native == std::endian::big ? MSBFirst : LSBFirst; }

TColor SystemColorToRgb(TColor Color) {
    if (Color >= 0) return Color & 0xFFFFFF;
    const auto index = static_cast<uint32_t>(Color) & 0xFFu;
    return index < std::size(kSystemColors) ? kSystemColors[index] : 0;
}

unsigned long TX11PixelFormat::TChannel::Scale(uint32_t Value8) const {
    const unsigned long value = Bits <= 8 ? Value8 >> (8 - Bits) : (Value8 << (Bits - 8)) | (Value8 >> (16 - Bits));
    return value << Shift;
}

TX11PixelFormat::TX11PixelFormat(Display* Dpy, Visual* VisualPtr, int Depth)
    : visual_(VisualPtr),
      depth_(Depth),
      redMask_(VisualPtr->red_mask),
      greenMask_(VisualPtr->green_mask),
      blueMask_(VisualPtr->blue_mask) {
    if (VisualPtr->c_class != TrueColor)
        throw EX11Error("the window's visual (depth " + std::to_string(Depth) + ") is not TrueColor; nimbrel draws only on TrueColor visuals");
    int count = 0;
    if (XPixmapFormatValues* formats = XListPixmapFormats(Dpy, &count)) {
        for (int i = 0; i < count; ++i)
            if (formats[i].depth == Depth) bitsPerPixel_ = formats[i].bits_per_pixel;
        XFree(formats);
    }
    if (bitsPerPixel_ != 16 && bitsPerPixel_ != 32)
        throw EX11Error("the window's visual has " + std::to_string(bitsPerPixel_) +
                        " bits a pixel; nimbrel draws on visuals of 16 or 32 bits a pixel");
    auto channel = [](unsigned long mask) {
        TChannel c;
        if (mask == 0) return c;
        c.Shift = std::countr_zero(mask);
        c.Bits = std::popcount(mask);
        if (c.Bits > 16) c.Bits = 16;
        return c;
    };
    red_ = channel(redMask_);
    green_ = channel(greenMask_);
    blue_ = channel(blueMask_);
}

bool TX11PixelFormat::Direct(int ByteOrder) const {
    return bitsPerPixel_ == 32 && redMask_ == 0xFF0000 && greenMask_ == 0xFF00 && blueMask_ == 0xFF &&
           ByteOrder == NativeByteOrder();
}

unsigned long TX11PixelFormat::Pixel(TColor Color) const {
    return FromBitmapPixel(TBitmap::ToPixel(SystemColorToRgb(Color)));
}

unsigned long TX11PixelFormat::FromBitmapPixel(uint32_t Pixel) const {
    return red_.Scale((Pixel >> 16) & 0xFF) | green_.Scale((Pixel >> 8) & 0xFF) | blue_.Scale(Pixel & 0xFF);
}

void TX11PixelFormat::ConvertRow(const uint32_t* In, int Count, char* Out, int ByteOrder) const {
    auto* bytes = reinterpret_cast<unsigned char*>(Out);
    const bool msb = ByteOrder == MSBFirst;
    if (bitsPerPixel_ == 32) {
        for (int i = 0; i < Count; ++i, bytes += 4) {
            const auto p = static_cast<uint32_t>(FromBitmapPixel(In[i]));
            if (msb) {
                bytes[0] = static_cast<unsigned char>(p >> 24);
                bytes[1] = static_cast<unsigned char>(p >> 16);
                bytes[2] = static_cast<unsigned char>(p >> 8);
                bytes[3] = static_cast<unsigned char>(p);
            } else {
                bytes[0] = static_cast<unsigned char>(p);
                bytes[1] = static_cast<unsigned char>(p >> 8);
                bytes[2] = static_cast<unsigned char>(p >> 16);
                bytes[3] = static_cast<unsigned char>(p >> 24);
            }
        }
    } else {
        for (int i = 0; i < Count; ++i, bytes += 2) {
            const auto p = static_cast<uint16_t>(FromBitmapPixel(In[i]));
            bytes[msb ? 0 : 1] = static_cast<unsigned char>(p >> 8);
            bytes[msb ? 1 : 0] = static_cast<unsigned char>(p);
        }
    }
}

}  // namespace nimbrel
