#include "x11/x11_image.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace nimbrel {

namespace {
// The minor opcode of ShmAttach in the extension's protocol.
constexpr int kShmAttach = 1;
}  // namespace

TX11ImageWriter::TX11ImageWriter(TX11Display& Display, const TX11PixelFormat& Format, bool TryShm)
    : display_(Display), format_(Format) {
    int event = 0, error = 0;
    shm_ = TryShm && XQueryExtension(Display.Get(), "MIT-SHM", &shmOpcode_, &event, &error) &&
           XShmQueryExtension(Display.Get());
}

TX11ImageWriter::~TX11ImageWriter() { ReleaseSharedImage(); }

void TX11ImageWriter::ReleaseSharedImage() {
    if (!sharedImage_) return;
    XShmDetach(display_.Get(), &segment_);
    display_.Sync();
    sharedImage_->data = nullptr;
    XDestroyImage(sharedImage_);
    sharedImage_ = nullptr;
    shmdt(segment_.shmaddr);
    segment_ = XShmSegmentInfo{};
}

bool TX11ImageWriter::EnsureSharedImage(int Width, int Height) {
    if (sharedImage_ && sharedImage_->width >= Width && sharedImage_->height >= Height) return true;
    const int width = std::max(Width, sharedImage_ ? sharedImage_->width : 0);
    const int height = std::max(Height, sharedImage_ ? sharedImage_->height : 0);
    ReleaseSharedImage();

    Display* dpy = display_.Get();
    XImage* image = XShmCreateImage(dpy, format_.VisualPtr(), static_cast<unsigned>(format_.Depth()), ZPixmap, nullptr,
                                    &segment_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) return false;
    const std::size_t bytes = static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
    segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment_.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    segment_.shmaddr = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    if (segment_.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(segment_.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        segment_ = XShmSegmentInfo{};
        return false;
    }
    image->data = segment_.shmaddr;
    segment_.readOnly = False;
    // A server that cannot reach the segment (another machine, another user's
    // memory it may not map) answers the attach with an error.
    bool attached = XShmAttach(dpy, &segment_);
    display_.Sync();
    if (display_.TakeErrorsOf(shmOpcode_, kShmAttach)) attached = false;
    // From here on the segment goes when the last process detaches it.
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (!attached) {
        image->data = nullptr;
        XDestroyImage(image);
        shmdt(segment_.shmaddr);
        segment_ = XShmSegmentInfo{};
        return false;
    }
    sharedImage_ = image;
    return true;
}

void TX11ImageWriter::Put(Drawable Target, GC Gc, const TBitmap& Bitmap, int SourceX, int SourceY, int X, int Y,
                          int Width, int Height) {
    if (Width <= 0 || Height <= 0) return;
    if (shm_ && !EnsureSharedImage(Width, Height)) shm_ = false;
    if (!shm_) {
        PutPlain(Target, Gc, Bitmap, SourceX, SourceY, X, Y, Width, Height);
        return;
    }
    const bool direct = format_.Direct(sharedImage_->byte_order);
    const std::size_t rowBytes = static_cast<std::size_t>(Width) * 4;
    for (int row = 0; row < Height; ++row) {
        const uint32_t* from = Bitmap.Scanline(SourceY + row) + SourceX;
        char* to = sharedImage_->data + static_cast<std::ptrdiff_t>(row) * sharedImage_->bytes_per_line;
        if (direct)
            std::memcpy(to, from, rowBytes);
        else
            format_.ConvertRow(from, Width, to, sharedImage_->byte_order);
    }
    XShmPutImage(display_.Get(), Target, Gc, sharedImage_, 0, 0, X, Y, static_cast<unsigned>(Width),
                 static_cast<unsigned>(Height), False);
    // The next put writes the same memory: wait until the server has read it.
    XSync(display_.Get(), False);
}

void TX11ImageWriter::PutPlain(Drawable Target, GC Gc, const TBitmap& Bitmap, int SourceX, int SourceY, int X, int Y,
                               int Width, int Height) {
    // An image header over the rows: the bitmap's own memory when its layout
    // is the visual's, else the rectangle converted.
    XImage image{};
    image.format = ZPixmap;
    image.byte_order = NativeByteOrder();
    image.bitmap_unit = 32;
    image.bitmap_bit_order = image.byte_order;
    image.bitmap_pad = 32;
    image.depth = format_.Depth();
    image.red_mask = format_.VisualPtr()->red_mask;
    image.green_mask = format_.VisualPtr()->green_mask;
    image.blue_mask = format_.VisualPtr()->blue_mask;
    int fromX = SourceX, fromY = SourceY;
    // The bitmap's own rows serve only while their length fits the image's
    // int; a wider bitmap has its visible rectangle converted.
    const bool ownRows = int64_t{Bitmap.Width()} * 4 <= std::numeric_limits<int>::max();
    if (ownRows && format_.Direct(image.byte_order)) {
        image.width = Bitmap.Width();
        image.height = Bitmap.Height();
        image.bits_per_pixel = 32;
        image.bytes_per_line = Bitmap.Width() * 4;
        image.data = reinterpret_cast<char*>(const_cast<uint32_t*>(Bitmap.Scanline(0)));
    } else {
        image.width = Width;
        image.height = Height;
        image.bits_per_pixel = format_.BitsPerPixel();
        // Width is clipped to the window, at most 32767 pixels.
        image.bytes_per_line = static_cast<int>((int64_t{Width} * format_.BitsPerPixel() / 8 + 3) / 4 * 4);
        converted_.resize(static_cast<std::size_t>(image.bytes_per_line) * static_cast<std::size_t>(Height));
        for (int row = 0; row < Height; ++row)
            format_.ConvertRow(Bitmap.Scanline(SourceY + row) + SourceX, Width,
                               converted_.data() + static_cast<std::ptrdiff_t>(row) * image.bytes_per_line,
                               image.byte_order);
        image.data = converted_.data();
        fromX = fromY = 0;
    }
    if (!XInitImage(&image)) return;
    // Xlib splits an image larger than one request and converts the byte order
    // where the server's differs.
    XPutImage(display_.Get(), Target, Gc, &image, fromX, fromY, X, Y, static_cast<unsigned>(Width),
              static_cast<unsigned>(Height));
    XSync(display_.Get(), False);
}

}  // namespace nimbrel
