#include "win32/win32_error_box.h"

namespace nimbrel {

namespace {
const char* const kErrorCaption = "エラー";
}  // namespace

void TWin32ErrorBox::ShowError(const std::string& text) {
    MessageBeep(MB_ICONASTERISK);
    MessageBoxW(Owner(), Utf8ToWide(text).c_str(), Utf8ToWide(kErrorCaption).c_str(), MB_OK | MB_ICONERROR);
}

void TWin32ErrorBox::ShowException(const std::string& title, const std::string& text) {
    MessageBoxW(Owner(), Utf8ToWide(text).c_str(), Utf8ToWide(title).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace nimbrel
