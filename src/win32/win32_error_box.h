// The error box and the default exception box as system message boxes.
#pragma once

#include <functional>

#include "platform/application.h"
#include "win32/win32_api.h"

namespace nimbrel {

class TWin32ErrorBox : public TErrorBox {
public:
    // Owner answers the window that owns the boxes (nullptr for none); a box
    // owned by the topmost show window stays above it.
    explicit TWin32ErrorBox(std::function<HWND()> Owner) : owner_(std::move(Owner)) {}

    void ShowError(const std::string& text) override;
    void ShowException(const std::string& title, const std::string& text) override;

private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }
    std::function<HWND()> owner_;
};

}  // namespace nimbrel
