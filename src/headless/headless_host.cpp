#include "headless/headless_host.h"

namespace nimbrel {

namespace {
// The button-face colour of the default Windows scheme (240, 240, 240).
constexpr TColor kButtonFace = 0xF0F0F0;
}  // namespace

THeadlessHost::THeadlessHost(int32_t clientWidth, int32_t clientHeight, int32_t screenWidth,
                             int32_t screenHeight)
    : screenWidth_(screenWidth), screenHeight_(screenHeight) {
    surface_.SetSize(clientWidth, clientHeight);
    SetColor(kButtonFace);
}

THeadlessHost::~THeadlessHost() { form_.reset(); }

void THeadlessHost::Activate() {
    if (form_) GuardHandler([this] { form_->FormActivate(); });
}

void THeadlessHost::InputAt(int64_t time, std::function<void(TMainForm&)> deliver) {
    At(time, [this, deliver = std::move(deliver)] {
        if (form_) deliver(*form_);
    });
}

void THeadlessHost::ClickAt(int64_t time) {
    InputAt(time, [](TMainForm& form) { form.FormClick(); });
}

void THeadlessHost::KeyAt(int64_t time, uint16_t key) {
    InputAt(time, [key](TMainForm& form) { form.FormKeyDown(key); });
}

void THeadlessHost::MouseMoveAt(int64_t time) {
    InputAt(time, [](TMainForm& form) { form.FormMouseMove(); });
}

void THeadlessHost::SysCommandAt(int64_t time, uint32_t command) {
    InputAt(time, [this, command](TMainForm& form) {
        if (!form.WMSysCommand(command)) PassedSysCommands.push_back(command);
    });
}

void THeadlessHost::SetColor(TColor color) {
    color_ = color;
    // The window repaints its background in the new colour.
    surface_.FillRect(TRect{0, 0, surface_.Width(), surface_.Height()}, color);
}

void THeadlessHost::Close() {
    if (!form_ || Terminated()) return;
    bool canClose = false;
    GuardHandler([&] { canClose = form_->FormCloseQuery(); });
    if (canClose) Terminate();
}

std::unique_ptr<TTimer> THeadlessHost::CreateTimer() { return NewTimer(); }

void THeadlessHost::DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap) {
    surface_.Draw(x, y, bitmap);
    Copies.push_back({Now(), true});
}

void THeadlessHost::CopyRect(int32_t x, int32_t y, const TRect& source) {
    surface_.CopyRect(x, y, surface_, source);
    Copies.push_back({Now(), false});
}

void THeadlessHost::DestroyFormIfClosed() {
    if (Terminated()) form_.reset();
}

void THeadlessHost::RunUntil(int64_t time) {
    TVirtualLoop::RunUntil(time);
    DestroyFormIfClosed();
}

}  // namespace nimbrel
