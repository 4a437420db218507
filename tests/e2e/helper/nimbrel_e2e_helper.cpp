// nimbrel_e2e_helper: what the end-to-end tests cannot see from outside Wine.
//
//   msgbox TIMEOUT_MS [close|cancel|yes]
//                              waits for a message box (or another dialog of
//                              the system) of any process, prints its caption
//                              and its text (UTF-8, one line each, the text's
//                              line breaks kept) and, with "close", presses its
//                              OK button, with "cancel" its Cancel button, with
//                              "yes" its Yes button; exit 1 when none came
//   host X Y W H               opens a borderless host window at X, Y of W x H
//                              pixels, prints its handle in decimal and runs
//                              until the window is destroyed
//   close HWND                 asks the window to close (WM_CLOSE)
//   exists HWND                exit 0 when the window exists, else 1
//   syscommand HWND COMMAND    sends WM_SYSCOMMAND and prints the answer
//   window CLASS TIMEOUT_MS [move]
//                              waits for a visible top-level window of the
//                              class, prints its handle and, with "move", moves
//                              the mouse over it at once; exit 1 when none came
//   children HWND              lists the child windows: handle, class,
//                              screen rectangle, visibility
//   client HWND                prints the window's client area on the screen:
//                              left, top, width and height, separated by blanks
//   state HWND                 prints whether the window is enabled, whether it
//                              is visible, and its caption, separated by tabs
//   controls HWND              lists a dialog's controls, one a line, fields
//                              separated by tabs: identifier, class, enabled or
//                              disabled, visible or hidden, state (a button's
//                              check "checked"/"unchecked", a list's or tab
//                              control's selected index, else "-"), text
//   settext HWND ID TEXT       sets the text of the dialog's control ID, as
//                              typing would (WM_SETTEXT)
//   click HWND ID              clicks the dialog's button ID (BM_CLICK, posted:
//                              the click may open a modal box)
//   select HWND ID INDEX       selects the item INDEX of the dialog's drop-down
//                              list ID, as the user would (CBN_SELCHANGE)
//   tab HWND ID INDEX          moves the dialog's tab control ID towards the tab
//                              INDEX with the arrow keys, one tab at a time;
//                              prints the tab shown at the end
//   version FILE               prints the version resource of a program as
//                              the system reads it: "FILEVERSION a.b.c.d",
//                              "PRODUCTVERSION a.b.c.d", then NAME=VALUE for
//                              each string of its first translation that the
//                              release files carry
//   shortcut LNK               prints a shortcut's target, arguments and
//                              working folder, separated by tabs
//   shortpath PATH             prints the short form of an existing path
#ifndef UNICODE
#define UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), count, nullptr, nullptr);
    return utf8;
}

// The text a window holds: asked from the window itself, since the system
// keeps no copy of an edit control's text for other processes.
std::wstring WindowText(HWND window) {
    wchar_t buffer[4096] = L"";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                             &length))
        return {};
    return std::wstring(buffer, std::min<std::size_t>(length, 4095));
}

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The first visible dialog window: the system's message box is one.
HWND FindMessageBox() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            wchar_t name[64];
            if (!IsWindowVisible(window) || !GetClassNameW(window, name, 64) || std::wcscmp(name, L"#32770") != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The text of a message box is its static control with the identifier 0xFFFF.
std::wstring MessageBoxText(HWND box) {
    const HWND text = GetDlgItem(box, 0xFFFF);
    if (text) return WindowText(text);
    std::wstring all;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
            wchar_t name[64];
            if (GetClassNameW(child, name, 64) && _wcsicmp(name, L"Static") == 0) {
                auto& text = *reinterpret_cast<std::wstring*>(param);
                text += WindowText(child);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

int WaitForMessageBox(DWORD timeout, int button) {
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindMessageBox())) {
        if (GetTickCount() - start >= timeout) return 1;
        Sleep(50);
    }
    // The box fills in its text while it is being created.
    Sleep(200);
    Print(Utf8(WindowText(box)));
    Print(Utf8(MessageBoxText(box)));
    if (button) PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return 0;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int Host(int x, int y, int width, int height) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"NimbrelE2EHost";
    if (!RegisterClassW(&windowClass)) return 2;
    const HWND window = CreateWindowExW(0, L"NimbrelE2EHost", L"Preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                                        x, y, width, height, nullptr, nullptr, instance, nullptr);
    if (!window) return 2;
    Print(std::to_string(reinterpret_cast<intptr_t>(window)));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// The child windows of Parent with their class, rectangle and visibility.
int ListChildren(HWND parent) {
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM) -> BOOL {
            wchar_t name[64] = L"";
            GetClassNameW(child, name, 64);
            RECT rect{};
            GetWindowRect(child, &rect);
            Print(std::to_string(reinterpret_cast<intptr_t>(child)) + " " + Utf8(name) + " " +
                  std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) +
                  "," + std::to_string(rect.bottom) + (IsWindowVisible(child) ? " visible" : " hidden"));
            return TRUE;
        },
        0);
    return 0;
}

int WaitForWindow(const wchar_t* className, DWORD timeout, bool move) {
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    while (!(window = FindWindowW(className, nullptr)) || !IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeout) return 1;
        Sleep(10);
    }
    if (move) {
        // Real input, as a person moving the mouse would make.
        INPUT inputs[2]{};
        for (INPUT& input : inputs) {
            input.type = INPUT_MOUSE;
            input.mi.dwFlags = MOUSEEVENTF_MOVE;
        }
        inputs[0].mi.dx = 7;
        inputs[0].mi.dy = 5;
        inputs[1].mi.dx = -3;
        inputs[1].mi.dy = 4;
        SendInput(2, inputs, sizeof(INPUT));
    }
    Print(std::to_string(reinterpret_cast<intptr_t>(window)));
    return 0;
}

// The check of a button, the selection of a list or a tab control.
std::string ControlState(HWND control, const std::wstring& className) {
    if (_wcsicmp(className.c_str(), L"Button") == 0) {
        const LONG style = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        if (style == BS_GROUPBOX || style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON) return "-";
        return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "checked" : "unchecked";
    }
    if (_wcsicmp(className.c_str(), L"ComboBox") == 0)
        return std::to_string(SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (_wcsicmp(className.c_str(), L"SysTabControl32") == 0)
        return std::to_string(SendMessageW(control, 0x130B /* TCM_GETCURSEL */, 0, 0));
    return "-";
}

int ListControls(HWND dialog) {
    EnumChildWindows(
        dialog,
        [](HWND control, LPARAM param) -> BOOL {
            // The dialog's own controls only, not the children of a control.
            if (GetParent(control) != reinterpret_cast<HWND>(param)) return TRUE;
            wchar_t name[64] = L"";
            GetClassNameW(control, name, 64);
            Print(std::to_string(GetDlgCtrlID(control)) + "\t" + Utf8(name) + "\t" +
                  (IsWindowEnabled(control) ? "enabled" : "disabled") + "\t" +
                  (IsWindowVisible(control) ? "visible" : "hidden") + "\t" + ControlState(control, name) + "\t" +
                  Utf8(WindowText(control)));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(dialog));
    return 0;
}

int SelectItem(HWND dialog, int id, int index) {
    const HWND list = GetDlgItem(dialog, id);
    if (!list || SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) return 1;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return 0;
}

int ChooseTab(HWND dialog, int id, int index) {
    const HWND tabs = GetDlgItem(dialog, id);
    if (!tabs) return 1;
    constexpr UINT kGetCurSel = 0x130B;  // TCM_GETCURSEL
    for (int step = 0; step < 8; ++step) {
        const auto current = static_cast<int>(SendMessageW(tabs, kGetCurSel, 0, 0));
        if (current == index) break;
        const WPARAM key = current < index ? VK_RIGHT : VK_LEFT;
        PostMessageW(tabs, WM_KEYDOWN, key, 1);
        PostMessageW(tabs, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        // A refused change shows a box; wait for the tab or the box.
        for (int i = 0; i < 40 && SendMessageW(tabs, kGetCurSel, 0, 0) == current && !FindMessageBox(); ++i) Sleep(50);
        if (FindMessageBox()) break;
    }
    Print(std::to_string(SendMessageW(tabs, kGetCurSel, 0, 0)));
    return 0;
}

std::string FourPartVersion(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) +
           "." + std::to_string(LOWORD(low));
}

int PrintVersion(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (!size) return 1;
    std::string data(size, '\0');
    if (!GetFileVersionInfoW(file, 0, size, data.data())) return 1;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) return 1;
    Print("FILEVERSION " + FourPartVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    Print("PRODUCTVERSION " + FourPartVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    WORD* translation = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < 4)
        return 1;
    wchar_t block[64];
    std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    for (const wchar_t* name : {L"ProductName", L"FileDescription", L"CompanyName", L"LegalCopyright", L"FileVersion",
                                L"ProductVersion"}) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(block) + name;
        if (VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value)
            Print(Utf8(name) + "=" + Utf8(value));
    }
    return 0;
}

int PrintShortcut(const wchar_t* file) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkW* link = nullptr;
    int status = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            wchar_t target[MAX_PATH] = L"", arguments[1024] = L"", folder[MAX_PATH] = L"";
            if (SUCCEEDED(persist->Load(file, STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetArguments(arguments, 1024)) &&
                SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH))) {
                Print(Utf8(target) + "\t" + Utf8(arguments) + "\t" + Utf8(folder));
                status = 0;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return status;
}

int PrintShortPath(const wchar_t* path) {
    wchar_t shortPath[1024] = L"";
    const DWORD length = GetShortPathNameW(path, shortPath, 1024);
    if (!length || length >= 1024) return 1;
    Print(Utf8(shortPath));
    return 0;
}

int PrintClientArea(HWND window) {
    RECT client{};
    POINT origin{0, 0};
    if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin)) return 1;
    Print(std::to_string(origin.x) + " " + std::to_string(origin.y) + " " + std::to_string(client.right) + " " +
          std::to_string(client.bottom));
    return 0;
}

HWND ParseHandle(const wchar_t* text) { return reinterpret_cast<HWND>(static_cast<intptr_t>(_wtoi64(text))); }

int Usage() {
    std::fputs(
        "usage: nimbrel_e2e_helper msgbox TIMEOUT_MS [close|cancel|yes] | host X Y W H | close HWND | exists HWND |\n"
        "       window CLASS TIMEOUT_MS [move] | children HWND | client HWND | syscommand HWND COMMAND |\n"
        "       state HWND | controls HWND | settext HWND ID TEXT | click HWND ID | select HWND ID INDEX | tab HWND ID INDEX |\n"
        "       version FILE | shortcut LNK | shortpath PATH\n",
        stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"msgbox" && argc >= 3) {
        const std::wstring action = argc >= 4 ? argv[3] : L"";
        return WaitForMessageBox(static_cast<DWORD>(_wtoi(argv[2])),
                                 action == L"close"    ? IDOK
                                 : action == L"cancel" ? IDCANCEL
                                 : action == L"yes"    ? IDYES
                                                       : 0);
    }
    if (command == L"state" && argc == 3) {
        const HWND window = ParseHandle(argv[2]);
        Print(std::string(IsWindowEnabled(window) ? "enabled" : "disabled") + "\t" +
              (IsWindowVisible(window) ? "visible" : "hidden") + "\t" + Utf8(WindowText(window)));
        return IsWindow(window) ? 0 : 1;
    }
    if (command == L"host" && argc == 6) return Host(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    if (command == L"close" && argc == 3) return PostMessageW(ParseHandle(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"window" && argc >= 4)
        return WaitForWindow(argv[2], static_cast<DWORD>(_wtoi(argv[3])), argc >= 5 && std::wstring(argv[4]) == L"move");
    if (command == L"children" && argc == 3) return ListChildren(ParseHandle(argv[2]));
    if (command == L"client" && argc == 3) return PrintClientArea(ParseHandle(argv[2]));
    if (command == L"syscommand" && argc == 4) {
        const LRESULT result = SendMessageW(ParseHandle(argv[2]), WM_SYSCOMMAND, std::wcstoul(argv[3], nullptr, 0), 0);
        Print(std::to_string(result));
        return 0;
    }
    if (command == L"controls" && argc == 3) return ListControls(ParseHandle(argv[2]));
    if (command == L"settext" && argc == 5) {
        const HWND control = GetDlgItem(ParseHandle(argv[2]), _wtoi(argv[3]));
        return control && SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4])) ? 0 : 1;
    }
    if (command == L"click" && argc == 4) {
        const HWND button = GetDlgItem(ParseHandle(argv[2]), _wtoi(argv[3]));
        return button && PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (command == L"select" && argc == 5) return SelectItem(ParseHandle(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
    if (command == L"tab" && argc == 5) return ChooseTab(ParseHandle(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
    if (command == L"exists" && argc == 3) return IsWindow(ParseHandle(argv[2])) ? 0 : 1;
    if (command == L"version" && argc == 3) return PrintVersion(argv[2]);
    if (command == L"shortcut" && argc == 3) return PrintShortcut(argv[2]);
    if (command == L"shortpath" && argc == 3) return PrintShortPath(argv[2]);
    return Usage();
}
