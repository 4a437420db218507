#include "win32/dialog_services_win32.h"

#include <vector>

#include "win32/win32_handles.h"

// After the system header they need.
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

namespace nimbrel {

namespace {

// The longest path the file-open dialog may hand back, in UTF-16 units.
constexpr DWORD kFileNameCapacity = 32768;

// "Description|pattern|..." as the system wants it: every part ended by a NUL,
// the list ended by one more.
std::wstring FilterToSystem(const std::string& filter) {
    std::wstring wide = Utf8ToWide(filter);
    for (wchar_t& c : wide)
        if (c == L'|') c = L'\0';
    if (wide.empty() || wide.back() != L'\0') wide.push_back(L'\0');
    wide.push_back(L'\0');
    return wide;
}

// Memory of the shell's allocator, freed through it.
class TShellMemory {
public:
    TShellMemory(IMalloc& allocator, void* memory) : allocator_(allocator), memory_(memory) {}
    ~TShellMemory() {
        if (memory_) allocator_.Free(memory_);
    }
    TShellMemory(const TShellMemory&) = delete;
    TShellMemory& operator=(const TShellMemory&) = delete;
    void* Get() const { return memory_; }

private:
    IMalloc& allocator_;
    void* memory_;
};

// Disables the thread's enabled windows and enables them again when it leaves
// scope, whatever happened in between.
class TDisabledWindows {
public:
    TDisabledWindows() {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM param) -> BOOL {
                if (IsWindowEnabled(window)) {
                    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
                    EnableWindow(window, FALSE);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows_));
    }
    ~TDisabledWindows() {
        for (const HWND window : windows_)
            if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    TDisabledWindows(const TDisabledWindows&) = delete;
    TDisabledWindows& operator=(const TDisabledWindows&) = delete;

private:
    std::vector<HWND> windows_;
};

}  // namespace

int CALLBACK BrowseCallback(HWND Window, UINT Message, LPARAM, LPARAM Data) {
    if (Message == BFFM_INITIALIZED && Data != 0) SendMessageW(Window, BFFM_SETSELECTIONW, TRUE, Data);
    return 0;
}

TWin32DialogServices::TWin32DialogServices(std::function<HWND()> Owner) : owner_(std::move(Owner)) {
    // The shell's browser works in a single-threaded apartment.
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

TWin32DialogServices::~TWin32DialogServices() {
    if (comInitialized_) CoUninitialize();
}

bool TWin32DialogServices::ExecuteOpenDialog(TOpenDialog& Dialog) { return RunFileDialog(Dialog, nullptr); }

bool TWin32DialogServices::ExecuteSaveDialog(TOpenDialog& Dialog, const std::string& DefaultExtension) {
    return RunFileDialog(Dialog, &DefaultExtension);
}

bool TWin32DialogServices::RunFileDialog(TOpenDialog& Dialog, const std::string* SaveExtension) {
    const std::wstring filter = FilterToSystem(Dialog.Filter);
    std::vector<wchar_t> file(kFileNameCapacity, L'\0');
    const std::wstring initial = Utf8ToWide(Dialog.FileName);
    if (initial.size() < file.size()) std::copy(initial.begin(), initial.end(), file.begin());
    const std::wstring extension = SaveExtension ? Utf8ToWide(*SaveExtension) : std::wstring();
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Owner();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileNameCapacity;
    ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING;
    if (Dialog.HideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
    if (Dialog.PathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
    if (Dialog.FileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
    if (SaveExtension) {
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        ofn.lpstrDefExt = extension.c_str();
    }
    if (!(SaveExtension ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
    Dialog.FileName = WideToUtf8(file.data());
    return true;
}

bool TWin32DialogServices::ExecuteColorDialog(TColorDialog& Dialog) {
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = Owner();
    cc.rgbResult = static_cast<COLORREF>(Dialog.Color) & 0x00FFFFFFu;
    cc.lpCustColors = customColors_.data();
    cc.Flags = CC_RGBINIT;
    if (!ChooseColorW(&cc)) return false;
    Dialog.Color = static_cast<TColor>(cc.rgbResult & 0x00FFFFFFu);
    return true;
}

bool TWin32DialogServices::BrowseForFolder(const TFolderBrowseRequest& Request, std::string& Folder) {
    TComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Out())) || !allocator) return false;
    // Receives the chosen folder's display name, then its path.
    const TShellMemory buffer(*allocator.operator->(), allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
    if (!buffer.Get()) return false;
    auto* const text = static_cast<wchar_t*>(buffer.Get());
    text[0] = L'\0';
    const HWND owner = Owner();

    // The top of the tree; a root that does not parse shows the whole
    // namespace.
    PIDLIST_ABSOLUTE rootList = nullptr;
    if (!Request.Root.empty()) {
        TComPtr<IShellFolder> desktop;
        if (SUCCEEDED(SHGetDesktopFolder(desktop.Out())) && desktop) {
            std::wstring root = Utf8ToWide(Request.Root);
            PIDLIST_RELATIVE parsed = nullptr;
            if (SUCCEEDED(desktop->ParseDisplayName(owner, nullptr, root.data(), nullptr, &parsed, nullptr)))
                rootList = reinterpret_cast<PIDLIST_ABSOLUTE>(parsed);
        }
    }
    const TShellMemory root(*allocator.operator->(), rootList);

    const std::wstring title = Utf8ToWide(Request.Title);
    const std::wstring initial = Utf8ToWide(Request.InitialFolder);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = rootList;
    info.pszDisplayName = text;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!initial.empty()) {
        info.lpfn = BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    }

    PIDLIST_ABSOLUTE chosen = nullptr;
    {
        const TDisabledWindows disabled;
        chosen = SHBrowseForFolderW(&info);
    }
    // The browser went while its owner was still disabled, so the system gave
    // the activation to no window of ours: hand it back.
    if (owner && IsWindow(owner)) SetActiveWindow(owner);
    if (!chosen) return false;
    const TShellMemory chosenList(*allocator.operator->(), chosen);
    text[0] = L'\0';
    if (!SHGetPathFromIDListW(chosen, text)) return false;
    Folder = WideToUtf8(text);
    return true;
}

}  // namespace nimbrel
