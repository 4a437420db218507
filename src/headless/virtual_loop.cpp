#include "headless/virtual_loop.h"

#include <algorithm>
#include <limits>

#include "platform/application.h"

namespace nimbrel {

class TVirtualLoop::TVirtualTimer : public TTimer {
public:
    TVirtualTimer(TVirtualLoop& loop, uint64_t serial) : loop_(loop), serial_(serial) {
        loop_.timers_.push_back(this);
    }
    ~TVirtualTimer() override { std::erase(loop_.timers_, this); }
    TVirtualTimer(const TVirtualTimer&) = delete;
    TVirtualTimer& operator=(const TVirtualTimer&) = delete;

    void SetInterval(uint32_t milliseconds) override {
        if (milliseconds == interval_) return;
        interval_ = milliseconds;
        due_ = loop_.now_ + milliseconds;
    }
    uint32_t GetInterval() const override { return interval_; }

    bool Running() const { return interval_ != 0; }
    int64_t Due() const { return due_; }
    uint64_t Serial() const { return serial_; }
    void Rearm() { due_ = loop_.now_ + interval_; }

private:
    TVirtualLoop& loop_;
    uint64_t serial_;
    uint32_t interval_ = 0;
    int64_t due_ = 0;
};

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

std::unique_ptr<TTimer> TVirtualLoop::NewTimer() { return std::make_unique<TVirtualTimer>(*this, nextTimerSerial_++); }

void TVirtualLoop::At(int64_t Time, std::function<void()> Event) { events_.push_back({Time, std::move(Event)}); }

void TVirtualLoop::Guard(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& error) {
        Application().HandleException(error);
    }
}

bool TVirtualLoop::DispatchDue() {
    const auto event = std::find_if(events_.begin(), events_.end(), [this](const TEvent& e) { return e.Time <= now_; });
    if (event != events_.end()) {
        const auto run = std::move(event->Run);
        events_.erase(event);
        Guard(run);
        return true;
    }
    TVirtualTimer* due = nullptr;
    for (TVirtualTimer* timer : timers_) {
        if (!timer->Running() || timer->Due() > now_) continue;
        if (!due || timer->Due() < due->Due() || (timer->Due() == due->Due() && timer->Serial() < due->Serial()))
            due = timer;
    }
    if (!due) return false;
    due->Rearm();
    // The handler may destroy the timer: run a copy.
    if (due->OnTimer) Guard(std::function<void()>(due->OnTimer));
    return true;
}

int64_t TVirtualLoop::NextEventTime() const {
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const TEvent& event : events_) next = std::min(next, event.Time);
    for (const TVirtualTimer* timer : timers_)
        if (timer->Running()) next = std::min(next, timer->Due());
    return next;
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
