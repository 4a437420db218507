#include "win32/win32_timers.h"

#include <algorithm>

namespace nimbrel {

class TWin32Timers::TWindowTimer : public TTimer {
public:
    TWindowTimer(TWin32Timers& owner, UINT_PTR id) : owner_(&owner), id_(id) { owner_->timers_.push_back(this); }
    ~TWindowTimer() override {
        SetInterval(0);
        if (owner_) std::erase(owner_->timers_, this);
    }

    UINT_PTR Id() const { return id_; }
    // The window's timers end with the window.
    void Detach() { owner_ = nullptr; }

protected:
    void Restart() override {
        if (!owner_) return;
        if (!Running()) {
            if (const HWND window = owner_->window_(false)) KillTimer(window, id_);
        } else if (const HWND window = owner_->window_(true)) {
            SetTimer(window, id_, GetInterval(), nullptr);
        }
    }

private:
    TWin32Timers* owner_;
    UINT_PTR id_;
};

TWin32Timers::TWin32Timers(std::function<HWND(bool Create)> Window, UINT_PTR FirstId)
    : window_(std::move(Window)), nextId_(FirstId) {}

TWin32Timers::~TWin32Timers() {
    for (TWindowTimer* timer : timers_) timer->Detach();
}

std::unique_ptr<TTimer> TWin32Timers::NewTimer() { return std::make_unique<TWindowTimer>(*this, nextId_++); }

bool TWin32Timers::Fire(UINT_PTR Id) {
    const auto timer =
        std::find_if(timers_.begin(), timers_.end(), [Id](const TWindowTimer* t) { return t->Id() == Id; });
    if (timer == timers_.end()) return false;
    FireTimer(**timer);
    return true;
}

}  // namespace nimbrel
