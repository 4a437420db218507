#include "x11/x11_stop_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace nimbrel {

namespace {

int gPipe[2] = {-1, -1};
// Set with the byte, so that the check between two rows needs no system call.
// The signal may be taken on any thread that does not block it, so the flag
// is an atomic that a handler may use (lock-free), not a plain volatile.
std::atomic<bool> gCame{false};
static_assert(std::atomic<bool>::is_always_lock_free);
struct sigaction gPrevious[2];
constexpr int kSignals[2] = {SIGTERM, SIGINT};

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    gCame.store(true);
    const char byte = 1;
    // A full pipe already says that a signal came.
    [[maybe_unused]] const ssize_t written = write(gPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TX11StopSignal::TX11StopSignal() {
    if (pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
}

TX11StopSignal::~TX11StopSignal() {
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
    close(gPipe[0]);
    close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

int TX11StopSignal::Descriptor() const { return gPipe[0]; }

bool TX11StopSignal::Take(bool Readable) {
    if (!gCame.load() && !Readable) return false;
    gCame.store(false);
    char buffer[64];
    while (read(gPipe[0], buffer, sizeof buffer) > 0) {
    }
    return true;
}

}  // namespace nimbrel
