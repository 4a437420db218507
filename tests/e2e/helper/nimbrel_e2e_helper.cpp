// nimbrel_e2e_helper: what the end-to-end tests cannot see from outside Wine.
//
//   msgbox TIMEOUT_MS [close]  waits for a message box of any process, prints
//                              its caption and its text (UTF-8, one line each,
//                              the text's line breaks kept) and, with "close",
//                              presses its OK button; exit 1 when none came
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
#ifndef UNICODE
#define UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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

std::wstring WindowText(HWND window) {
    wchar_t buffer[4096];
    const int length = GetWindowTextW(window, buffer, 4096);
    return std::wstring(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
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

int WaitForMessageBox(DWORD timeout, bool close) {
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
    if (close) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
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

HWND ParseHandle(const wchar_t* text) { return reinterpret_cast<HWND>(static_cast<intptr_t>(_wtoi64(text))); }

int Usage() {
    std::fputs(
        "usage: nimbrel_e2e_helper msgbox TIMEOUT_MS [close] | host X Y W H | close HWND | exists HWND |\n"
        "       window CLASS TIMEOUT_MS [move] | children HWND | syscommand HWND COMMAND\n",
        stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"msgbox" && argc >= 3)
        return WaitForMessageBox(static_cast<DWORD>(_wtoi(argv[2])), argc >= 4 && std::wstring(argv[3]) == L"close");
    if (command == L"host" && argc == 6) return Host(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    if (command == L"close" && argc == 3) return PostMessageW(ParseHandle(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"window" && argc >= 4)
        return WaitForWindow(argv[2], static_cast<DWORD>(_wtoi(argv[3])), argc >= 5 && std::wstring(argv[4]) == L"move");
    if (command == L"children" && argc == 3) return ListChildren(ParseHandle(argv[2]));
    if (command == L"syscommand" && argc == 4) {
        const LRESULT result = SendMessageW(ParseHandle(argv[2]), WM_SYSCOMMAND, std::wcstoul(argv[3], nullptr, 0), 0);
        Print(std::to_string(result));
        return 0;
    }
    if (command == L"exists" && argc == 3) return IsWindow(ParseHandle(argv[2])) ? 0 : 1;
    return Usage();
}
