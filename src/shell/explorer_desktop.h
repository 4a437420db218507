// What a desktop front end of the explorer decides beyond the explorer
// itself (shell/explorer.h): the user's own scene file that S appends to, the
// palette folder of a scene file opened from the desktop, the recent scene
// files, the screen saver's scene file, and the status line in the parts of
// a status bar. Portable; the Win32 front end (src/win32) uses it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

namespace nimbrel {

// The scene file that S appends to without -o: "Nimbrel\scenes.mrp" in the
// user's documents folder Documents (UTF-8). It and its folder are made at
// the first S.
std::string ExplorerDefaultSceneFile(const std::string& Documents);

// Makes the folder of File when it is missing, so that the first S and F12
// can write there; false, with the reason, when it cannot be made.
bool MakeSceneFileFolder(const std::string& File, std::string& Error);

// The palette folder of a scene file opened with no -p: its own folder when
// that holds MCF files, as a scene file made with its palettes does; else
// SaverPalettes, the screen saver's palette folder, which draws the scenes
// of the installed samples as the show draws them; else the scene file's
// folder (the current folder "." for a bare name or none).
std::string ExplorerPaletteFolder(const std::string& SceneFile, const std::string& SaverPalettes);

// A text setting of the screen saver ("McfFolder", "MrpFile") as the settings
// store holds it; empty when it is missing or unreadable, which the screen
// saver reports when it starts.
std::string SaverSetting(TSettingsStore& Store, const std::string& Name);

// Makes File the screen saver's scene file (its "MrpFile" setting); the other
// settings stay as stored. ERegistryException when the store refuses.
void UseInScreenSaver(TSettingsStore& Store, const std::string& File);

// The scene files opened last, the newest first, kept in the settings store
// under "Software\Orv\Nimbrel\Explorer" as "Recent1" ... "Recent8".
class TRecentFiles {
public:
    static constexpr std::size_t kCapacity = 8;

    // IgnoreCase: two names that differ in ASCII case only are the same file
    // (Windows).
    explicit TRecentFiles(bool IgnoreCase) : ignoreCase_(IgnoreCase) {}

    // Reads the list; a value that is no text, or an empty one, is left out.
    void Load(TSettingsStore& Store);
    // Writes the list; ERegistryException when the store refuses.
    void Save(TSettingsStore& Store) const;

    // File goes to the top, and lower down it goes; beyond kCapacity the
    // oldest goes.
    void Add(const std::string& File);
    void Remove(const std::string& File);
    const std::vector<std::string>& Files() const { return files_; }

private:
    bool Same(std::string_view A, std::string_view B) const;

    bool ignoreCase_;
    std::vector<std::string> files_;
};

// The status line of the explorer (TExplorer::StatusText) in the parts of a
// status bar, the width as a power of ten.
struct TExplorerStatusParts {
    std::string Kind;        // "Mandelbrot" or "Julia"
    std::string Centre;      // "Cr=-0.8 Ci=0", and a Julia set's "Jr=-0.8 Ji=0.156"
    std::string Width;       // "W=10^0.48"
    std::string Iterations;  // "I=256 Pow=2", and "D=3" of a colour step
    std::string Mode;        // "DM=4 interlaced"
    std::string Palette;     // "MCF=fire"
    std::string Scene;       // "scene 2/14"; empty off a scene of the file
    std::string Time;        // "0.250 s", "drawing...", "failed"; empty before a picture
    std::string Message;     // the message of the last command, after any part not named above
};
TExplorerStatusParts SplitExplorerStatus(std::string_view StatusText);

// "W=3" as "W=10^0.48": the decimal logarithm of the width to two places.
// Works on the digits, so a width beyond the range of doubles ("W=2e-400")
// has its power too. Text of any other form stays as it is.
std::string WidthAsPowerOfTen(std::string_view WidthPart);

}  // namespace nimbrel
