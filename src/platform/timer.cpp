#include "platform/timer.h"

#include <algorithm>

#include "platform/application.h"

namespace nimbrel {

void TTimer::SetInterval(uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    Restart();
}

void FireTimer(TTimer& Timer) {
    // The handler may destroy the timer and with it its OnTimer.
    const std::function<void()> handler = Timer.OnTimer;
    if (handler) GuardHandler(handler);
}

class TTimerQueue::TQueuedTimer : public TTimer {
public:
    explicit TQueuedTimer(TTimerQueue& queue) : queue_(&queue) { queue_->timers_.push_back(this); }
    ~TQueuedTimer() override {
        if (queue_) std::erase(queue_->timers_, this);
    }

    int64_t Due() const { return due_; }
    void Detach() { queue_ = nullptr; }

    void Restart() override {
        if (queue_) due_ = queue_->now_() + GetInterval();
    }

private:
    TTimerQueue* queue_;
    int64_t due_ = 0;
};

TTimerQueue::TTimerQueue(std::function<int64_t()> Now) : now_(std::move(Now)) {}

TTimerQueue::~TTimerQueue() {
    for (TQueuedTimer* timer : timers_) timer->Detach();
}

std::unique_ptr<TTimer> TTimerQueue::NewTimer() { return std::make_unique<TQueuedTimer>(*this); }

std::optional<int64_t> TTimerQueue::NextDue() const {
    std::optional<int64_t> next;
    for (const TQueuedTimer* timer : timers_)
        if (timer->Running() && (!next || timer->Due() < *next)) next = timer->Due();
    return next;
}

bool TTimerQueue::FireDue() {
    const int64_t now = now_();
    TQueuedTimer* due = nullptr;
    for (TQueuedTimer* timer : timers_)
        if (timer->Running() && timer->Due() <= now && (!due || timer->Due() < due->Due())) due = timer;
    if (!due) return false;
    due->Restart();
    FireTimer(*due);
    return true;
}

}  // namespace nimbrel
