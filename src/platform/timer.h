// A window timer: an interval in milliseconds, 0 meaning stopped, and a
// handler that runs only from the message loop or from ProcessMessages on the
// GUI thread, never from another thread.
#pragma once

#include <cstdint>
#include <functional>

namespace nimbrel {

class TTimer {
public:
    virtual ~TTimer() = default;
    // A new non-zero interval starts the countdown afresh; setting the
    // interval it already has changes nothing; 0 stops the timer.
    virtual void SetInterval(uint32_t milliseconds) = 0;
    virtual uint32_t GetInterval() const = 0;

    std::function<void()> OnTimer;
};

}  // namespace nimbrel
