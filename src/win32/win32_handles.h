// Owners of the system's handles: each frees its handle with the call its
// kind needs when it goes, also when an exception passes, so that an object
// made of several handles releases what it made so far if its construction
// fails part-way.
#pragma once

#include <memory>
#include <type_traits>

#include "win32/win32_api.h"

namespace nimbrel {

struct TGdiObjectDeleter {
    void operator()(HGDIOBJ Object) const { DeleteObject(Object); }
};

// A font, bitmap or brush of our own making.
template <typename THandle>
using TGdiObject = std::unique_ptr<std::remove_pointer_t<THandle>, TGdiObjectDeleter>;

// A dialog window whose procedure finds its object in DWLP_USER. The object
// is detached before the window is destroyed: the messages of the
// destruction must not reach an object that is itself going or half made.
struct TDialogWindowDeleter {
    void operator()(HWND Window) const {
        SetWindowLongPtrW(Window, DWLP_USER, 0);
        DestroyWindow(Window);
    }
};
using TDialogWindow = std::unique_ptr<std::remove_pointer_t<HWND>, TDialogWindowDeleter>;

// A COM interface pointer released when it leaves scope.
template <typename TInterface>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() {
        if (p_) p_->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TInterface** Out() { return &p_; }
    // For the calls that take the pointer as void**.
    void** OutVoid() { return reinterpret_cast<void**>(&p_); }
    TInterface* Get() const { return p_; }
    TInterface* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    TInterface* p_ = nullptr;
};

}  // namespace nimbrel
