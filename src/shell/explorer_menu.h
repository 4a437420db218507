// The menu bar of a desktop explorer: File, View and Help, made from the
// explorer's state each time a menu opens, with the keys of the input table
// (shell/explorer_input.h) beside the items that a key does too; and what
// each item asks for. A window system only shows the items and hands back the
// identifier of the one chosen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/explorer.h"

namespace nimbrel {

// What an item asks of the front end besides a command of the explorer.
enum class TExplorerRequest : uint8_t {
    None,           // the item posts its command
    OpenSceneFile,  // the file-open dialog, then the file's scenes
    OpenRecent,     // the recent file of the index
    SavePictureAs,  // the file-save dialog, then the complete picture as a PNG file there
    UseInSaver,     // asked first: the scene file S appends to becomes the screen saver's
    ShowKeys,       // the keys and gestures, in a dialog
    About,
};

struct TExplorerMenuChoice {
    TExplorerRequest Request = TExplorerRequest::None;
    TExplorerCommand Command;  // of TExplorerRequest::None
    int32_t Index = 0;         // of TExplorerRequest::OpenRecent
};

struct TExplorerMenuItem {
    // UTF-8; "&" before the access key ("&&" for an "&" of its own), and
    // after a tab the key that does the same ("&Keep this view\tS").
    std::string Text;
    uint32_t Id = 0;  // 0: a separator, or a submenu of Items
    bool Checked = false;
    bool Enabled = true;
    std::vector<TExplorerMenuItem> Items;
};

// What the menus show of the explorer and of the front end.
struct TExplorerMenuState {
    uint8_t DrawMode = 0;  // the engine's number
    int32_t Power = 2;
    std::string PaletteName;            // empty: the built-in one
    std::vector<std::string> Palettes;  // of the palette folder
    bool HasScenes = false;
    bool StatusShown = false;
    bool CanUseInSaver = false;  // the scene file S appends to exists
    std::vector<std::string> RecentFiles;
};

// The state of Explorer, with the front end's part.
TExplorerMenuState ExplorerMenuState(const TExplorer& Explorer, std::vector<std::string> RecentFiles,
                                     bool CanUseInSaver);

// Text shown as it is in a menu: every "&" doubled.
std::string MenuLiteral(std::string_view Text);

class TExplorerMenu {
public:
    // The palette submenu lists at most this many palettes; P reaches the rest.
    static constexpr std::size_t kMaxPalettes = 200;

    // The menu bar for State: File, View and Help. Its identifiers stay
    // valid until the next call.
    std::vector<TExplorerMenuItem> Bar(const TExplorerMenuState& State);
    // What the item Id of the last bar asks for; none for an identifier it
    // does not have, or of an item it shows disabled.
    std::optional<TExplorerMenuChoice> Choice(uint32_t Id) const;

private:
    std::vector<std::string> palettes_;
    std::vector<uint32_t> ids_;  // of the enabled items of the last bar
};

}  // namespace nimbrel
