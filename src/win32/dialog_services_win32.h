// The system dialogs on Win32: the common file-open, file-save and colour
// dialogs, and the shell's folder browser.
#pragma once

#include <array>
#include <functional>

#include "platform/dialog_services.h"
#include "win32/win32_api.h"

namespace nimbrel {

class TWin32DialogServices : public TDialogServices {
public:
    // Owner answers the window that owns the dialogs (nullptr for none).
    explicit TWin32DialogServices(std::function<HWND()> Owner);
    ~TWin32DialogServices() override;
    TWin32DialogServices(const TWin32DialogServices&) = delete;
    TWin32DialogServices& operator=(const TWin32DialogServices&) = delete;

    bool ExecuteOpenDialog(TOpenDialog& Dialog) override;
    bool ExecuteColorDialog(TColorDialog& Dialog) override;
    bool BrowseForFolder(const TFolderBrowseRequest& Request, std::string& Folder) override;
    // The file-save dialog, with the settings of an open dialog: it asks
    // before a file is replaced, and a name typed without an extension gets
    // DefaultExtension ("png").
    bool ExecuteSaveDialog(TOpenDialog& Dialog, const std::string& DefaultExtension);

private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }
    // The open dialog, or the save dialog when SaveExtension is given.
    bool RunFileDialog(TOpenDialog& Dialog, const std::string* SaveExtension);

    std::function<HWND()> owner_;
    bool comInitialized_ = false;
    // The colour dialog's sixteen custom colours, kept while the program runs.
    std::array<COLORREF, 16> customColors_{};
};

// The folder browser's notification routine: once the browser is ready it
// selects the folder whose UTF-16 path Data points to (when Data is not null).
int CALLBACK BrowseCallback(HWND Window, UINT Message, LPARAM Parameter, LPARAM Data);

}  // namespace nimbrel
