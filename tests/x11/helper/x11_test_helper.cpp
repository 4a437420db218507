// What the X11 tests need of the X server that no packaged tool does:
//   x11_test_helper window WxH+X+Y   maps a window there, prints its id and
//                                    keeps it until killed
//   x11_test_helper delete ID        sends WM_DELETE_WINDOW to the window ID,
//                                    as a window manager's close button does
//   x11_test_helper match PPM MS     reads the screen every 10 ms until it
//                                    equals the picture of the P6 file PPM,
//                                    then prints the milliseconds since its
//                                    own start; fails after MS milliseconds
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int MakeWindow(const char* geometry) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    int x = 0, y = 0;
    unsigned w = 100, h = 100;
    XParseGeometry(geometry, &x, &y, &w, &h);
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(dpy, screen);
    attributes.override_redirect = True;  // exactly where asked, window manager or not
    const ::Window window = XCreateWindow(dpy, RootWindow(dpy, screen), x, y, w, h, 0, CopyFromParent, InputOutput,
                                          CopyFromParent, CWBackPixel | CWOverrideRedirect, &attributes);
    XSelectInput(dpy, window, StructureNotifyMask);
    XMapWindow(dpy, window);
    for (;;) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == MapNotify) break;
    }
    std::printf("0x%lx\n", window);
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(dpy, &event);
    }
}

int Delete(const char* id) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    const ::Window window = std::strtoul(id, nullptr, 0);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window, False, NoEventMask, &event);
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return 0;
}

// A binary PPM of 8-bit samples: width, height and the RGB bytes.
bool ReadPpm(const char* path, int& width, int& height, std::vector<unsigned char>& rgb) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    if (!(in >> magic >> width >> height >> maxValue) || magic != "P6" || maxValue != 255) return false;
    in.get();
    rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size())));
}

int Match(const char* path, const char* milliseconds) {
    const auto start = std::chrono::steady_clock::now();
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    if (!ReadPpm(path, width, height, rgb)) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 2;
    const auto limit = std::chrono::milliseconds(std::strtol(milliseconds, nullptr, 10));
    long differing = -1;
    while (std::chrono::steady_clock::now() - start < limit) {
        XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image) {
            XCloseDisplay(dpy);
            return 2;
        }
        differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                const unsigned char* expected = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                if (((pixel >> 16) & 255) != expected[0] || ((pixel >> 8) & 255) != expected[1] ||
                    (pixel & 255) != expected[2])
                    ++differing;
            }
        XDestroyImage(image);
        if (differing == 0) {
            XCloseDisplay(dpy);
            std::printf("%lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                               std::chrono::steady_clock::now() - start)
                                                               .count()));
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XCloseDisplay(dpy);
    std::fprintf(stderr, "the screen differs in %ld pixels\n", differing);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "window") == 0) return MakeWindow(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "delete") == 0) return Delete(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "match") == 0) return Match(argv[2], argv[3]);
    std::fprintf(stderr, "usage: x11_test_helper window WxH+X+Y | delete ID | match PPM MS\n");
    return 2;
}
