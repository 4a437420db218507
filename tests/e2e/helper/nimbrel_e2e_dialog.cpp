// nimbrel_e2e_dialog: the settings dialog of Nimbrel.scr made and unmade in
// this process, once whole and then with the N-th window, DC or GDI object it
// asks the system for refused, for every N up to what a whole dialog asks for.
// After each attempt, failed or not:
//   - no window made during the attempt exists any more,
//   - every DC taken is released and every GDI object made is deleted,
//   - the dialog window was untied from its object (DWLP_USER 0) before it
//     was destroyed, so no message of the destruction, and none after it,
//     reached an object that was going or never finished.
// Prints a line per attempt; exit status 0 when every attempt passed, 1
// otherwise.
//
// Windows are seen through a CBT hook of the thread; the DCs and GDI objects
// through the program's own import table (the dialog's code is linked into
// this program), so the figures are the system's own calls, not the owners'
// bookkeeping: GetGuiResources is no help under Wine, where it answers 0.
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "platform/application.h"
#include "win32/setting_dialog_win32.h"
#include "win32/win32_api.h"
#include "win32/win32_message_loop.h"

namespace {

using namespace nimbrel;

// What the attempt asked for, and what of it is still alive.
struct TLedger {
    int Requests = 0;
    int RefuseAt = 0;  // 0: refuse nothing
    std::string Refused;
    std::set<HWND> Windows;
    std::set<HGDIOBJ> Objects;
    std::set<HDC> Dcs;
    int TiedAtDestruction = 0;

    // Counts a request; true when it is the one to refuse.
    bool Refuse(const char* what) {
        if (++Requests != RefuseAt) return false;
        Refused = what;
        return true;
    }
};

TLedger ledger;

// --- windows -----------------------------------------------------------------

const wchar_t* const kDialogClass = L"NimbrelSettingDialog";

bool IsDialogWindow(HWND window) {
    wchar_t name[64] = L"";
    return GetClassNameW(window, name, 64) && std::wcscmp(name, kDialogClass) == 0;
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND) {
        // A nonzero answer makes the creation fail.
        if (ledger.Refuse("window")) return 1;
        ledger.Windows.insert(window);
    } else if (code == HCBT_DESTROYWND) {
        if (IsDialogWindow(window) && GetWindowLongPtrW(window, DWLP_USER) != 0) ++ledger.TiedAtDestruction;
        ledger.Windows.erase(window);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// --- DCs and GDI objects, through the import table ----------------------------

decltype(&GetDC) realGetDC;
decltype(&ReleaseDC) realReleaseDC;
decltype(&CreateFontIndirectW) realCreateFontIndirectW;
decltype(&CreateDIBSection) realCreateDIBSection;
decltype(&CreateSolidBrush) realCreateSolidBrush;
decltype(&DeleteObject) realDeleteObject;

HDC WINAPI CountedGetDC(HWND window) {
    if (ledger.Refuse("DC")) return nullptr;
    const HDC dc = realGetDC(window);
    if (dc) ledger.Dcs.insert(dc);
    return dc;
}

int WINAPI CountedReleaseDC(HWND window, HDC dc) {
    ledger.Dcs.erase(dc);
    return realReleaseDC(window, dc);
}

template <typename THandle>
THandle Track(THandle object) {
    if (object) ledger.Objects.insert(object);
    return object;
}

HFONT WINAPI CountedCreateFontIndirectW(const LOGFONTW* font) {
    if (ledger.Refuse("font")) return nullptr;
    return Track(realCreateFontIndirectW(font));
}

HBITMAP WINAPI CountedCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                       DWORD offset) {
    if (ledger.Refuse("DIB section")) {
        if (bits) *bits = nullptr;
        return nullptr;
    }
    return Track(realCreateDIBSection(dc, info, usage, bits, section, offset));
}

HBRUSH WINAPI CountedCreateSolidBrush(COLORREF color) {
    if (ledger.Refuse("brush")) return nullptr;
    return Track(realCreateSolidBrush(color));
}

BOOL WINAPI CountedDeleteObject(HGDIOBJ object) {
    ledger.Objects.erase(object);
    return realDeleteObject(object);
}

// Points the program's import of Dll!Name at Replacement; answers the
// routine it pointed at, or null when the program does not import it.
template <typename TFunction>
bool Intercept(const char* dll, const char* name, TFunction replacement, TFunction& original) {
    auto* const base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                return false;
            original = reinterpret_cast<TFunction>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

bool InterceptAll() {
    return Intercept("user32.dll", "GetDC", &CountedGetDC, realGetDC) &&
           Intercept("user32.dll", "ReleaseDC", &CountedReleaseDC, realReleaseDC) &&
           Intercept("gdi32.dll", "CreateFontIndirectW", &CountedCreateFontIndirectW, realCreateFontIndirectW) &&
           Intercept("gdi32.dll", "CreateDIBSection", &CountedCreateDIBSection, realCreateDIBSection) &&
           Intercept("gdi32.dll", "CreateSolidBrush", &CountedCreateSolidBrush, realCreateSolidBrush) &&
           Intercept("gdi32.dll", "DeleteObject", &CountedDeleteObject, realDeleteObject);
}

// --- the attempts --------------------------------------------------------------

// One line of the report; printf, since GCC 12 warns wrongly about strings
// joined with operator+ at -O3.
template <typename... TArgs>
void Print(const char* format, TArgs... args) {
    std::printf(format, args...);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct TOutcome {
    bool Made = false;
    std::string Error;
};

// Makes the dialog, shows a colour on its panel (its brush) and unmakes it.
TOutcome Attempt(HINSTANCE instance, TWin32MessageLoop& loop) {
    TOutcome outcome;
    try {
        auto dialog = std::make_unique<TWin32SettingDialog>(instance, loop);
        TSettingControls controls;
        controls.pnlBgcolor.Color = 0x336699;
        dialog->ShowControls(controls);
        loop.ProcessMessages();
        outcome.Made = true;
    } catch (const std::exception& error) {
        outcome.Error = error.what();
        const std::size_t end = outcome.Error.find_first_of("\r\n");
        if (end != std::string::npos) outcome.Error.resize(end);
    }
    return outcome;
}

// The faults of the attempt just made; empty when it left nothing behind.
std::string Leftovers() {
    std::string faults;
    const auto note = [&faults](std::size_t count, const char* what) {
        if (count == 0) return;
        char text[80];
        std::snprintf(text, sizeof text, " %u %s;", static_cast<unsigned>(count), what);
        faults += text;
    };
    std::size_t windows = 0;
    for (const HWND window : ledger.Windows)
        if (IsWindow(window)) ++windows;
    note(windows, "window(s) left");
    note(ledger.Dcs.size(), "DC(s) not released");
    note(ledger.Objects.size(), "GDI object(s) left");
    note(static_cast<std::size_t>(ledger.TiedAtDestruction), "dialog window(s) destroyed while tied to their object");
    // What a window left behind would do with its messages, it does now.
    nimbrel::Application().ProcessMessages();
    return faults;
}

}  // namespace

int wmain() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!InterceptAll()) {
        Print("%s", "the program's imports could not be intercepted");
        return 2;
    }
    TWin32MessageLoop loop;
    // As in Nimbrel.scr: long work processes the thread's messages.
    const TScopedMessagePump pump([&loop] { loop.ProcessMessages(); });
    const HHOOK hook = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
    if (!hook) {
        Print("%s", "no CBT hook");
        return 2;
    }

    // The first dialog of the process also registers its class and makes what
    // the system keeps per thread; it is not counted.
    Attempt(instance, loop);

    ledger = TLedger{};
    const TOutcome whole = Attempt(instance, loop);
    const int requests = ledger.Requests;
    std::string faults = Leftovers();
    Print("whole dialog: %s%s, %d requests;%s", whole.Made ? "made" : "failed: ", whole.Error.c_str(), requests,
          faults.empty() ? " nothing left" : faults.c_str());
    bool passed = whole.Made && faults.empty() && requests > 0;

    int failures = 0;
    for (int n = 1; n <= requests; ++n) {
        ledger = TLedger{};
        ledger.RefuseAt = n;
        const TOutcome outcome = Attempt(instance, loop);
        faults = Leftovers();
        if (!outcome.Made) ++failures;
        Print("request %d (%s) refused: %s%s;%s", n, ledger.Refused.empty() ? "not asked this time" : ledger.Refused.c_str(),
              outcome.Made ? "made without it" : "failed: ", outcome.Error.c_str(),
              faults.empty() ? " nothing left" : faults.c_str());
        passed = passed && faults.empty();
    }
    UnhookWindowsHookEx(hook);
    // Refused windows must make the construction fail part-way.
    if (failures == 0) passed = false;
    Print("%d of %d refusals failed the construction; %s", failures, requests, passed ? "passed" : "FAILED");
    return passed ? 0 : 1;
}
