#include "headless/headless_host.h"

#include <algorithm>
#include <limits>

namespace nimbrel {

namespace {
// The button-face colour of the default Windows scheme (240, 240, 240).
constexpr TColor kButtonFace = 0xF0F0F0;
}  // namespace

class THeadlessHost::TVirtualTimer : public TTimer {
public:
    TVirtualTimer(THeadlessHost& host, uint64_t serial) : host_(host), serial_(serial) {
        host_.timers_.push_back(this);
    }
    ~TVirtualTimer() override { std::erase(host_.timers_, this); }

    void SetInterval(uint32_t milliseconds) override {
        if (milliseconds == interval_) return;
        interval_ = milliseconds;
        due_ = host_.now_ + milliseconds;
    }
    uint32_t GetInterval() const override { return interval_; }

    bool Running() const { return interval_ != 0; }
    int64_t Due() const { return due_; }
    uint64_t Serial() const { return serial_; }
    void Rearm() { due_ = host_.now_ + interval_; }

private:
    THeadlessHost& host_;
    uint64_t serial_;
    uint32_t interval_ = 0;
    int64_t due_ = 0;
};

THeadlessHost::THeadlessHost(int32_t clientWidth, int32_t clientHeight, int32_t screenWidth,
                             int32_t screenHeight)
    : screenWidth_(screenWidth), screenHeight_(screenHeight) {
    surface_.SetSize(clientWidth, clientHeight);
    SetColor(kButtonFace);
    previousPump_ = Application().SetMessagePump([this] {
        now_ += RowCost;
        while (DispatchDue()) {
        }
    });
}

THeadlessHost::~THeadlessHost() {
    form_.reset();
    Application().SetMessagePump(std::move(previousPump_));
}

void THeadlessHost::Activate() {
    if (form_) Handle([this] { form_->FormActivate(); });
}

void THeadlessHost::ClickAt(int64_t time) {
    inputs_.push_back({time, [](TMainForm& form) { form.FormClick(); }});
}

void THeadlessHost::KeyAt(int64_t time, uint16_t key) {
    inputs_.push_back({time, [key](TMainForm& form) { form.FormKeyDown(key); }});
}

void THeadlessHost::MouseMoveAt(int64_t time) {
    inputs_.push_back({time, [](TMainForm& form) { form.FormMouseMove(); }});
}

void THeadlessHost::SysCommandAt(int64_t time, uint32_t command) {
    inputs_.push_back({time, [this, command](TMainForm& form) {
                           if (!form.WMSysCommand(command)) PassedSysCommands.push_back(command);
                       }});
}

void THeadlessHost::SetColor(TColor color) {
    color_ = color;
    // The window repaints its background in the new colour.
    surface_.FillRect(TRect{0, 0, surface_.Width(), surface_.Height()}, color);
}

void THeadlessHost::Close() {
    if (!form_ || terminated_) return;
    bool canClose = false;
    Handle([&] { canClose = form_->FormCloseQuery(); });
    if (canClose) terminated_ = true;
}

std::unique_ptr<TTimer> THeadlessHost::CreateTimer() {
    return std::make_unique<TVirtualTimer>(*this, nextTimerSerial_++);
}

void THeadlessHost::DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) {
    surface_.Draw(x, y, bitmap);
    Copies.push_back({now_, true});
}

void THeadlessHost::CopyRect(int32_t x, int32_t y, const TRect& source) {
    surface_.CopyRect(x, y, surface_, source);
    Copies.push_back({now_, false});
}

void THeadlessHost::Handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        Application().HandleException(error);
    }
}

bool THeadlessHost::DispatchDue() {
    // Input comes before timers, as the system ranks timer messages last.
    const auto input = std::find_if(inputs_.begin(), inputs_.end(),
                                    [this](const TInput& i) { return i.Time <= now_; });
    if (input != inputs_.end()) {
        const auto deliver = std::move(input->Deliver);
        inputs_.erase(input);
        if (form_) Handle([&] { deliver(*form_); });
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
    if (due->OnTimer) Handle(due->OnTimer);
    return true;
}

int64_t THeadlessHost::NextEventTime() const {
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const TInput& input : inputs_) next = std::min(next, input.Time);
    for (const TVirtualTimer* timer : timers_)
        if (timer->Running()) next = std::min(next, timer->Due());
    return next;
}

void THeadlessHost::DestroyFormIfClosed() {
    if (terminated_) form_.reset();
}

void THeadlessHost::RunUntil(int64_t time) {
    while (!terminated_) {
        if (DispatchDue()) continue;
        const int64_t next = NextEventTime();
        if (next > time) {
            now_ = std::max(now_, time);
            break;
        }
        now_ = std::max(now_, next);
    }
    DestroyFormIfClosed();
}

}  // namespace nimbrel
