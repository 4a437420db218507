#include "win32/win32_message_loop.h"

#include "platform/application.h"
#include "win32/win32_api.h"

namespace nimbrel {

void TWin32MessageLoop::Run() {
    MSG message;
    while (!terminated_) {
        const BOOL result = GetMessageW(&message, nullptr, 0, 0);
        if (result == 0 || result == -1) break;  // WM_QUIT, or a broken queue
        Dispatch(message);
        if (idle_ && !terminated_) {
            const std::function<void()> idle = idle_;  // the call may replace it
            GuardHandler(idle);
        }
    }
}

void TWin32MessageLoop::ProcessMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // The quit message only wakes Run; the flag is already set.
        if (message.message == WM_QUIT) continue;
        Dispatch(message);
    }
}

void TWin32MessageLoop::Dispatch(MSG& message) {
    if (dialog_ && IsDialogMessageW(dialog_, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void TWin32MessageLoop::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    // Wakes a GetMessage that waits for the next message.
    PostQuitMessage(0);
}

}  // namespace nimbrel
