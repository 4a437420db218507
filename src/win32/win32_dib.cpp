#include "win32/win32_dib.h"

namespace nimbrel {

BITMAPINFO DibInfoOf(const TBitmap& Bitmap) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Bitmap.Width();
    info.bmiHeader.biHeight = -Bitmap.Height();  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void DrawDib(HDC Dc, int32_t X, int32_t Y, const TBitmap& Bitmap) {
    if (!Dc || Bitmap.Width() <= 0 || Bitmap.Height() <= 0) return;
    const BITMAPINFO info = DibInfoOf(Bitmap);
    SetDIBitsToDevice(Dc, X, Y, static_cast<DWORD>(Bitmap.Width()), static_cast<DWORD>(Bitmap.Height()), 0, 0, 0,
                      static_cast<UINT>(Bitmap.Height()), Bitmap.Scanline(0), &info, DIB_RGB_COLORS);
}

}  // namespace nimbrel
