// The system dialogs the settings dialog opens: the file-open dialog, the
// colour dialog and the shell's folder browser. Each is modal and runs on the
// GUI thread; while it is open the caller's windows take no input.
//
// The Win32 layer shows the real dialogs; the headless twin
// (src/headless/scripted_dialogs.h) records what was asked and answers what a
// test scripted.
#pragma once

#include <string>

#include "platform/bitmap.h"

namespace nimbrel {

// A file-open dialog component: its settings, and the file chosen in it.
struct TOpenDialog {
    // Pairs of a description and a pattern, every part ended by "|":
    // "MRP files|*.mrp|All files|*".
    std::string Filter;
    bool HideReadOnly = false;   // no read-only check box
    bool PathMustExist = false;  // the folder typed must exist
    bool FileMustExist = false;  // the file typed must exist
    // The full path of the file chosen last; the dialog opens on it. Empty at
    // first.
    std::string FileName;
};

// A colour dialog component. It opens on Color, and Color becomes the colour
// the user confirms; a cancel leaves it.
struct TColorDialog {
    TColor Color = 0;  // black at first
};

// What the folder browser is asked to show.
struct TFolderBrowseRequest {
    std::string Title;  // the text above the folder tree
    // The display name of the folder at the top of the tree ("\" is the root of
    // the current drive); empty, or a name that does not parse, shows the
    // whole namespace.
    std::string Root;
    // The folder selected when the browser opens; empty selects none. The
    // caller passes only a folder that exists.
    std::string InitialFolder;
};

class TDialogServices {
public:
    virtual ~TDialogServices() = default;

    // Runs the file-open dialog; when the user confirms a file, sets
    // Dialog.FileName to its full path and answers true.
    virtual bool ExecuteOpenDialog(TOpenDialog& Dialog) = 0;

    // Runs the colour dialog; when the user confirms, sets Dialog.Color (a
    // plain colour: top byte 0) and answers true.
    virtual bool ExecuteColorDialog(TColorDialog& Dialog) = 0;

    // Runs the folder browser, which offers file-system folders only; when the
    // user confirms one, sets Folder to its path and answers true. False, with
    // Folder untouched, on a cancel, and when the browser cannot be shown at
    // all. The application's other windows are disabled while it runs.
    virtual bool BrowseForFolder(const TFolderBrowseRequest& Request, std::string& Folder) = 0;
};

}  // namespace nimbrel
