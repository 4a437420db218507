#include "win32/keys_dialog_win32.h"

#include <algorithm>

#include "win32/win32_dialog_template.h"

namespace nimbrel {

namespace {

// The dialog in dialog units: the text above the OK button.
constexpr short kWidth = 300;
constexpr short kHeight = 230;
constexpr int kMargin = 7;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kTextId = 100;

struct TKeysDialog {
    const std::vector<TExplorerHelpLine>& Lines;
};

// The lines with a tab between the inputs and their text, a heading above the
// mouse's and above the keys'.
std::wstring HelpText(const std::vector<TExplorerHelpLine>& lines) {
    std::wstring text;
    for (const bool mouse : {true, false}) {
        if (!text.empty()) text += L"\r\n";
        text += mouse ? L"Mouse\r\n" : L"Keys\r\n";
        for (const TExplorerHelpLine& line : lines)
            if (line.Mouse == mouse) text += Utf8ToWide(line.Inputs) + L"\t" + Utf8ToWide(line.Text) + L"\r\n";
    }
    return text;
}

HWND AddControl(HWND dialog, const wchar_t* className, const std::wstring& text, DWORD style, RECT rect, int id) {
    MapDialogRect(dialog, &rect);
    const HWND control = CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, rect.left,
                                         rect.top, rect.right - rect.left, rect.bottom - rect.top, dialog,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    if (control) SendMessageW(control, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    return control;
}

// The tab stop after the widest inputs, in the dialog units that
// EM_SETTABSTOPS takes (a quarter of the average character width).
int TabStop(HWND dialog, HWND edit, const std::vector<TExplorerHelpLine>& lines) {
    const HDC dc = GetDC(edit);
    if (!dc) return 64;
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const TExplorerHelpLine& line : lines) {
        const std::wstring inputs = Utf8ToWide(line.Inputs);
        SIZE size{};
        if (GetTextExtentPoint32W(dc, inputs.c_str(), static_cast<int>(inputs.size()), &size))
            widest = std::max<int>(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    RECT unit{0, 0, 4, 8};
    MapDialogRect(dialog, &unit);
    const int baseX = std::max<int>(1, unit.right);
    return (widest + baseX * 3) * 4 / baseX;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto& lines = reinterpret_cast<const TKeysDialog*>(lParam)->Lines;
            const HWND text =
                AddControl(dialog, L"Edit", HelpText(lines),
                           WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                           {kMargin, kMargin, kWidth - kMargin, kHeight - 2 * kMargin - kButtonHeight}, kTextId);
            const HWND ok = AddControl(dialog, L"Button", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON,
                                       {kWidth - kMargin - kButtonWidth, kHeight - kMargin - kButtonHeight,
                                        kWidth - kMargin, kHeight - kMargin},
                                       IDOK);
            if (text) {
                const int stop = TabStop(dialog, text, lines);
                SendMessageW(text, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
                InvalidateRect(text, nullptr, TRUE);
            }
            if (ok) SetFocus(ok);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowKeysDialog(HINSTANCE Instance, HWND Owner, const std::string& Caption,
                    const std::vector<TExplorerHelpLine>& Lines) {
    const std::vector<WORD> dialog = DialogTemplate({Utf8ToWide(Caption), kWidth, kHeight}, DialogFace());
    TKeysDialog state{Lines};
    DialogBoxIndirectParamW(Instance, reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), Owner, DialogProc,
                            reinterpret_cast<LPARAM>(&state));
}

}  // namespace nimbrel
