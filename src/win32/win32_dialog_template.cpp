#include "win32/win32_dialog_template.h"

#include <cwchar>
#include <iterator>
#include <string_view>

namespace nimbrel {

namespace {

constexpr WORD kFontPoints = 9;

// Japanese faces first, whichever the system has; Noto Sans CJK JP where none
// of Windows' own is installed (Wine). The last is the system's dialog font.
const wchar_t* const kFaceChoices[] = {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic", L"Noto Sans CJK JP",
                                       L"MS Shell Dlg"};

bool FontExists(const wchar_t* face) {
    const HDC dc = GetDC(nullptr);
    if (!dc) return false;
    LOGFONTW font{};
    font.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(
        dc, &font,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM param) -> int {
            *reinterpret_cast<bool*>(param) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

}  // namespace

const wchar_t* DialogFace() {
    for (const wchar_t* face : kFaceChoices)
        if (FontExists(face)) return face;
    return kFaceChoices[std::size(kFaceChoices) - 1];
}

std::vector<WORD> DialogTemplate(const TDialogFrame& Frame, const wchar_t* Face) {
    std::vector<WORD> data;
    const auto word = [&](WORD w) { data.push_back(w); };
    const auto dword = [&](DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    };
    const auto text = [&](std::wstring_view s) {
        for (const wchar_t c : s) word(static_cast<WORD>(c));
        word(0);
    };
    word(1);       // dlgVer
    word(0xFFFF);  // signature
    dword(0);      // helpID
    dword(Frame.ExStyle | WS_EX_CONTROLPARENT);
    dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    word(0);  // no items
    for (const short v : {short{0}, short{0}, Frame.Width, Frame.Height}) word(static_cast<WORD>(v));
    word(0);  // no menu
    if (Frame.ClassName)
        text(Frame.ClassName);
    else
        word(0);  // the system's dialog class
    text(Frame.Caption);
    word(kFontPoints);
    word(FW_NORMAL);
    word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, then the character set
    text(Face);
    return data;
}

}  // namespace nimbrel
