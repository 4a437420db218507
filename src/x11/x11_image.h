// Puts rectangles of a TBitmap onto a window: through a shared-memory image
// (MIT-SHM) when the server takes one, else with a plain XPutImage, as over a
// remote display.
//
// The segment is marked for removal as soon as the server has attached it, so
// the system frees it when both sides let go, also when the process is killed:
// no segment outlives the program.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "x11/x11_display.h"

namespace nimbrel {

class TX11ImageWriter {
public:
    // TryShm false: plain XPutImage only.
    TX11ImageWriter(TX11Display& Display, const TX11PixelFormat& Format, bool TryShm);
    ~TX11ImageWriter();
    TX11ImageWriter(const TX11ImageWriter&) = delete;
    TX11ImageWriter& operator=(const TX11ImageWriter&) = delete;

    // Whether the last put went through shared memory (before the first put:
    // whether the server offers it).
    bool UsesSharedMemory() const { return shm_; }

    // Puts the rectangle of Bitmap at (SourceX, SourceY), Width x Height (all
    // inside the bitmap), at (X, Y) of Target. When it returns, the server
    // has taken the pixels; the errors of the requests are the display's to
    // report.
    void Put(Drawable Target, GC Gc, const TBitmap& Bitmap, int SourceX, int SourceY, int X, int Y, int Width,
             int Height);

private:
    // A shared-memory image of at least Width x Height; false when the server
    // refuses it (then shared memory is no longer tried).
    bool EnsureSharedImage(int Width, int Height);
    void ReleaseSharedImage();
    void PutPlain(Drawable Target, GC Gc, const TBitmap& Bitmap, int SourceX, int SourceY, int X, int Y, int Width,
                  int Height);

    TX11Display& display_;
    const TX11PixelFormat& format_;
    bool shm_ = false;
    int shmOpcode_ = 0;  // the extension's major opcode
    XShmSegmentInfo segment_{};
    XImage* sharedImage_ = nullptr;
    std::vector<char> converted_;  // the plain path's rows in the visual's form
};

}  // namespace nimbrel
