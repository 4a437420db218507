// A window timer: an interval in milliseconds, 0 meaning stopped, and a
// handler that runs only from the message loop or from ProcessMessages on the
// GUI thread, never from another thread.
//
// The interval rule lives here, once for every platform; a platform gives only
// the native side of a timer (Restart) and delivers its ticks with FireTimer.
// Loops that count the time themselves (the headless loop on its virtual
// clock, the X11 loop on the monotonic clock) keep their timers in a
// TTimerQueue; Win32 keeps them on the system's window timers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace nimbrel {

class TTimer {
public:
    virtual ~TTimer() = default;
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    // A new non-zero interval starts the countdown afresh; setting the
    // interval it already has changes nothing; 0 stops the timer.
    void SetInterval(uint32_t milliseconds);
    uint32_t GetInterval() const { return interval_; }
    bool Running() const { return interval_ != 0; }

    // Runs at every tick, as a copy (FireTimer): it may stop, reset or destroy
    // its own timer, or replace OnTimer, and what it keeps from one tick to
    // the next lives outside it.
    std::function<void()> OnTimer;

protected:
    TTimer() = default;
    // The native side: the interval has just changed to GetInterval(); count
    // it afresh from now, or stop when it is 0.
    virtual void Restart() = 0;

private:
    uint32_t interval_ = 0;
};

// Delivers one tick, as every message loop does: a copy of the timer's
// OnTimer runs under GuardHandler, and the timer is not touched once it runs.
void FireTimer(TTimer& Timer);

// The timers of a loop that counts their time itself: each timer's due time
// on the loop's clock. A tick restarts the countdown from the time it fires.
//
// A timer may outlive its queue; it then never fires again.
class TTimerQueue {
public:
    // Now reads the loop's clock in milliseconds; it never goes back.
    explicit TTimerQueue(std::function<int64_t()> Now);
    ~TTimerQueue();
    TTimerQueue(const TTimerQueue&) = delete;
    TTimerQueue& operator=(const TTimerQueue&) = delete;

    // A timer of this queue, stopped.
    std::unique_ptr<TTimer> NewTimer();
    // When the running timer due first falls due; none when no timer runs.
    std::optional<int64_t> NextDue() const;
    // Fires the timer due first by the clock (the earliest due time, then the
    // timer made first), its next countdown started; answers whether one was
    // due.
    bool FireDue();

private:
    class TQueuedTimer;

    std::function<int64_t()> now_;
    std::vector<TQueuedTimer*> timers_;  // in the order they were made
};

}  // namespace nimbrel
