// The message loop of the headless platform, on a virtual clock: the timers
// and the scripted events of a show, and the application's message pump.
//
// Time only moves when the loop says so: RunUntil jumps to the next timer or
// event, and each ProcessMessages call (a draw yields after every row) first
// advances the clock by RowCost milliseconds, so a picture of N rows takes
// N * RowCost virtual milliseconds. A show of many virtual seconds thus runs
// as fast as its pictures can be computed.
//
// Events come before timers, as the system ranks timer messages last; due
// events run in the order they were scripted, due timers in the order of
// their due time, then of their creation. Events run under GuardHandler and
// timers through FireTimer, as in the real message loops.
//
// The loop watches the one rule of re-entrance that the show relies on: a
// ProcessMessages call made while another one is on the stack means that a
// draw started inside another draw; it is counted in NestedDraws.
//
// While it lives, the loop is the application's message pump; loops that
// overlap must end in the reverse order of their creation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/timer.h"

namespace nimbrel {

class TVirtualLoop {
public:
    TVirtualLoop();
    virtual ~TVirtualLoop();
    TVirtualLoop(const TVirtualLoop&) = delete;
    TVirtualLoop& operator=(const TVirtualLoop&) = delete;

    // Virtual milliseconds that each ProcessMessages call costs.
    int64_t RowCost = 10;
    int64_t Now() const { return now_; }

    // A timer of this loop, stopped.
    std::unique_ptr<TTimer> NewTimer();
    // Runs Event once the clock has reached Time.
    void At(int64_t Time, std::function<void()> Event);

    // Runs the loop until the clock reaches Time or the loop is terminated.
    // Between two events, and before it returns, it calls Idle.
    void RunUntil(int64_t Time);
    // Runs what falls due until the clock reaches Time, as a modal dialog's
    // own loop does: called from a handler, it is no draw's row.
    void RunModal(int64_t Time);
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    // Draws started inside another draw; the show must keep it 0.
    int NestedDraws = 0;
    // Whether a draw's ProcessMessages is on the stack.
    bool InsideDraw() const { return rowDepth_ > 0; }

protected:
    // Called by RunUntil where nothing of the show is on the stack.
    virtual void Idle() {}

private:
    struct TEvent {
        int64_t Time;
        std::function<void()> Run;
    };

    // Delivers one event or timer that is due now; answers whether any was.
    bool DispatchDue();
    int64_t NextEventTime() const;

    int64_t now_ = 0;
    bool terminated_ = false;
    int rowDepth_ = 0;
    std::vector<TEvent> events_;  // in the order they were scripted
    TTimerQueue timers_{[this] { return now_; }};
    std::function<void()> previousPump_;
};

}  // namespace nimbrel
