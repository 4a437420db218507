// The program's bitmaps on the system's device contexts: a TBitmap's rows
// are a top-down 32-bit DIB, so every copy is one call without conversion.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"
#include "win32/win32_api.h"

namespace nimbrel {

// The DIB header of Bitmap's pixels.
BITMAPINFO DibInfoOf(const TBitmap& Bitmap);

// Draws Bitmap on Dc with its top-left corner at (X, Y); nothing for an
// empty bitmap.
void DrawDib(HDC Dc, int32_t X, int32_t Y, const TBitmap& Bitmap);

// A device context of a window for one drawing call.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~TWindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

}  // namespace nimbrel
