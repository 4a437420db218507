#include "headless/virtual_loop.h"

#include <algorithm>
#include <limits>

#include "platform/application.h"

namespace nimbrel {

TVirtualLoop::TVirtualLoop() {
    previousPump_ = Application().SetMessagePump([this] {
        if (rowDepth_ > 0) ++NestedDraws;
        ++rowDepth_;
        struct TLeave {
            int& Depth;
            ~TLeave() { --Depth; }
        } leave{rowDepth_};
        now_ += RowCost;
        while (DispatchDue()) {
        }
    });
}

TVirtualLoop::~TVirtualLoop() { Application().SetMessagePump(std::move(previousPump_)); }

std::unique_ptr<TTimer> TVirtualLoop::NewTimer() { return timers_.NewTimer(); }

void TVirtualLoop::At(int64_t Time, std::function<void()> Event) { events_.push_back({Time, std::move(Event)}); }

bool TVirtualLoop::DispatchDue() {
    const auto event = std::find_if(events_.begin(), events_.end(), [this](const TEvent& e) { return e.Time <= now_; });
    if (event != events_.end()) {
        const auto run = std::move(event->Run);
        events_.erase(event);
        GuardHandler(run);
        return true;
    }
    return timers_.FireDue();
}

int64_t TVirtualLoop::NextEventTime() const {
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const TEvent& event : events_) next = std::min(next, event.Time);
    return std::min(next, timers_.NextDue().value_or(next));
}

void TVirtualLoop::RunUntil(int64_t Time) {
    while (!terminated_) {
        Idle();
        if (terminated_) break;
        if (DispatchDue()) continue;
        const int64_t next = NextEventTime();
        if (next > Time) {
            now_ = std::max(now_, Time);
            break;
        }
        now_ = std::max(now_, next);
    }
    Idle();
}

void TVirtualLoop::RunModal(int64_t Time) {
    for (;;) {
        if (DispatchDue()) continue;
        const int64_t next = NextEventTime();
        if (next > Time) {
            now_ = std::max(now_, Time);
            return;
        }
        now_ = std::max(now_, next);
    }
}

}  // namespace nimbrel
