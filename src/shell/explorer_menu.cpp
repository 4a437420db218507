#include "shell/explorer_menu.h"

#include <algorithm>

#include "platform/sysutils.h"
#include "shell/explorer_input.h"
#include "values/fractal_types.h"

namespace nimbrel {

namespace {

using A = TExplorerAction;
using R = TExplorerRequest;

// The identifiers: the requests, the recent files, the commands by action
// and value, the palettes by their place in the list. All below the system's
// own (0xF000).
constexpr uint32_t kRecentBase = 0x40;
constexpr uint32_t kCommandBase = 0x100;
constexpr uint32_t kPaletteBase = 0x1000;

constexpr uint32_t RequestId(R Request) { return static_cast<uint32_t>(Request); }
constexpr uint32_t CommandId(A Action, int32_t Value = 0) {
    return kCommandBase + static_cast<uint32_t>(Action) * 16 + static_cast<uint32_t>(Value);
}

TExplorerMenuItem Item(std::string Text, uint32_t Id, bool Enabled = true, bool Checked = false) {
    return {std::move(Text), Id, Checked, Enabled, {}};
}
TExplorerMenuItem Separator() { return {}; }
TExplorerMenuItem Submenu(std::string Text, std::vector<TExplorerMenuItem> Items, bool Enabled = true) {
    return {std::move(Text), 0, false, Enabled, std::move(Items)};
}

// An item of a command, with the key that posts the command too.
TExplorerMenuItem CommandItem(std::string Text, A Action, int32_t Value = 0, bool Enabled = true,
                              bool Checked = false) {
    const std::string key = ExplorerKeyName(Action, Value);
    if (!key.empty()) Text += "\t" + key;
    return Item(std::move(Text), CommandId(Action, Value), Enabled, Checked);
}

// "&N Text", the number N its access key.
std::string Numbered(int64_t N, std::string_view Text) {
    std::string numbered(1, '&');
    numbered += IntToStr(N);
    numbered += ' ';
    numbered += Text;
    return numbered;
}

TExplorerMenuItem RecentMenu(const std::vector<std::string>& Files) {
    std::vector<TExplorerMenuItem> items;
    for (std::size_t i = 0; i < Files.size(); ++i)
        items.push_back(Item(Numbered(static_cast<int64_t>(i) + 1, MenuLiteral(Files[i])),
                             kRecentBase + static_cast<uint32_t>(i)));
    if (items.empty()) items.push_back(Item("(none)", kRecentBase, false));
    return Submenu("Open &recent", std::move(items));
}

TExplorerMenuItem FileMenu(const TExplorerMenuState& State) {
    return Submenu("&File", {
        Item("&Open scene file...", RequestId(R::OpenSceneFile)),
        RecentMenu(State.RecentFiles),
        Separator(),
        CommandItem("&Keep this view", A::Keep),
        CommandItem("&Save the picture", A::WritePicture),
        Item("Save the picture &as...", RequestId(R::SavePictureAs)),
        Separator(),
        Item("&Use my scenes in the screen saver...", RequestId(R::UseInSaver), State.CanUseInSaver),
        Separator(),
        CommandItem("E&xit", A::Quit),
    });
}

TExplorerMenuItem PaletteMenu(const TExplorerMenuState& State, std::size_t Shown) {
    std::vector<TExplorerMenuItem> items{
        CommandItem("&Next palette", A::NextPalette),
        CommandItem("&Previous palette", A::PreviousPalette),
        Separator(),
        Item("(built-in)", kPaletteBase, true, State.PaletteName.empty()),
    };
    for (std::size_t i = 0; i < Shown; ++i) {
        const std::string& name = State.Palettes[i];
        items.push_back(Item(MenuLiteral(name), kPaletteBase + 1 + static_cast<uint32_t>(i), true,
                             name == State.PaletteName));
    }
    return Submenu("&Palette", std::move(items));
}

TExplorerMenuItem ViewMenu(const TExplorerMenuState& State, std::size_t PalettesShown) {
    std::vector<TExplorerMenuItem> modes;
    for (int32_t stored = 0; stored <= 8; ++stored) {
        const TDrawMode mode = StoredToDrawMode(stored);
        modes.push_back(CommandItem(Numbered(stored, DrawModeName(mode)), A::DrawMode, stored, true,
                                    mode == State.DrawMode));
    }
    std::vector<TExplorerMenuItem> powers;
    for (int32_t power = 2; power <= 5; ++power)
        powers.push_back(CommandItem("Power &" + IntToStr(power), A::Power, power, true, power == State.Power));
    return Submenu("&View", {
        Submenu("&Draw mode", std::move(modes)),
        PaletteMenu(State, PalettesShown),
        Submenu("Po&wer", std::move(powers)),
        CommandItem("&More iterations", A::MoreIterations),
        CommandItem("&Fewer iterations", A::FewerIterations),
        Separator(),
        CommandItem("&Next scene", A::NextScene, 0, State.HasScenes),
        CommandItem("P&revious scene", A::PreviousScene, 0, State.HasScenes),
        CommandItem("&Back", A::Back),
        CommandItem("Default &view", A::Home),
        CommandItem("&Zoom from the default view", A::Journey),
        Separator(),
        CommandItem("&Status over the picture", A::ToggleStatus, 0, true, State.StatusShown),
    });
}

void CollectIds(const std::vector<TExplorerMenuItem>& Items, std::vector<uint32_t>& Ids) {
    for (const TExplorerMenuItem& item : Items) {
        if (item.Id != 0 && item.Enabled) Ids.push_back(item.Id);
        CollectIds(item.Items, Ids);
    }
}

TExplorerMenuItem HelpMenu() {
    std::string keys = "&Keys";
    const std::string key = ExplorerKeyName(A::ToggleHelp);
    if (!key.empty()) keys += "\t" + key;
    return Submenu("&Help", {
        Item(std::move(keys), RequestId(R::ShowKeys)),
        Item("&About Nimbrel explorer", RequestId(R::About)),
    });
}

}  // namespace

TExplorerMenuState ExplorerMenuState(const TExplorer& Explorer, std::vector<std::string> RecentFiles,
                                     bool CanUseInSaver) {
    TExplorerMenuState state;
    const TExplorerView& view = Explorer.View();
    state.DrawMode = view.DrawMode;
    state.Power = view.Power;
    state.PaletteName = view.PaletteName;
    state.Palettes = Explorer.PaletteNames();
    state.HasScenes = Explorer.SceneCount() > 0;
    state.StatusShown = Explorer.StatusShown();
    state.CanUseInSaver = CanUseInSaver;
    state.RecentFiles = std::move(RecentFiles);
    return state;
}

std::string MenuLiteral(std::string_view Text) {
    std::string literal;
    for (const char c : Text) {
        if (c == '&') literal += '&';
        literal += c;
    }
    return literal;
}

std::vector<TExplorerMenuItem> TExplorerMenu::Bar(const TExplorerMenuState& State) {
    const std::size_t shown = std::min(State.Palettes.size(), kMaxPalettes);
    palettes_.assign(State.Palettes.begin(), State.Palettes.begin() + static_cast<std::ptrdiff_t>(shown));
    std::vector<TExplorerMenuItem> bar{FileMenu(State), ViewMenu(State, shown), HelpMenu()};
    ids_.clear();
    CollectIds(bar, ids_);
    return bar;
}

std::optional<TExplorerMenuChoice> TExplorerMenu::Choice(uint32_t Id) const {
    if (Id == 0 || std::find(ids_.begin(), ids_.end(), Id) == ids_.end()) return std::nullopt;
    TExplorerMenuChoice choice;
    if (Id >= kPaletteBase) {
        const uint32_t index = Id - kPaletteBase;
        choice.Command.Action = A::ChoosePalette;
        if (index > 0) choice.Command.Path = palettes_[index - 1];
        return choice;
    }
    if (Id >= kCommandBase) {
        choice.Command.Action = static_cast<A>((Id - kCommandBase) / 16);
        choice.Command.Value = static_cast<int32_t>((Id - kCommandBase) % 16);
        return choice;
    }
    if (Id >= kRecentBase) {
        choice.Request = R::OpenRecent;
        choice.Index = static_cast<int32_t>(Id - kRecentBase);
        return choice;
    }
    choice.Request = static_cast<R>(Id);
    return choice;
}

}  // namespace nimbrel
