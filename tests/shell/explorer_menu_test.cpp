// The explorer's menu bar: what each item asks for, the key it names beside
// it, and what it shows of the explorer's state.
#include "shell/explorer_menu.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "shell/explorer_input.h"

namespace nimbrel {
namespace {

using A = TExplorerAction;
using K = TExplorerKey;
using R = TExplorerRequest;

// Visits every item of the bar with its path of texts ("View/Palette/fire").
void Walk(const std::vector<TExplorerMenuItem>& items, const std::string& path,
          const std::function<void(const TExplorerMenuItem&, const std::string&)>& visit) {
    for (const TExplorerMenuItem& item : items) {
        const std::string here = path + "/" + item.Text.substr(0, item.Text.find('\t'));
        visit(item, here);
        Walk(item.Items, here, visit);
    }
}

// Text without its "&" marks ("&&" is an "&" of its own).
std::string Plain(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

// The item whose path, without the "&" marks, is Path.
const TExplorerMenuItem* Find(const std::vector<TExplorerMenuItem>& bar, const std::string& path) {
    const TExplorerMenuItem* found = nullptr;
    Walk(bar, "", [&](const TExplorerMenuItem& item, const std::string& here) {
        if (Plain(here) == path) found = &item;
    });
    return found;
}

TExplorerMenuState State() {
    TExplorerMenuState s;
    s.DrawMode = dmBoundary;
    s.Power = 3;
    s.PaletteName = "R&D";
    s.Palettes = {"fire", "R&D", "夕焼け"};
    s.HasScenes = true;
    s.RecentFiles = {"C:\\tours\\A&B.mrp", "C:\\x.mrp"};
    return s;
}

// The key that posts an item's command is the one named beside it: for every
// key of the table, each item that asks for its command names that key, as
// the user presses it.
TEST(ExplorerMenu, ItemsNameTheKeysThatDoTheSame) {
    const std::map<K, std::string> names{
        {K::Escape, "Esc"},     {K::Backspace, "Backspace"}, {K::Home, "Home"},   {K::Tab, "Tab"},
        {K::PageDown, "PageDown"}, {K::PageUp, "PageUp"},    {K::F1, "F1"},       {K::F12, "F12"},
        {K::J, "J"},            {K::P, "P"},                 {K::S, "S"},         {K::Z, "Z"},     {K::Plus, "+"},
        {K::Minus, "-"},        {K::Digit0, "0"},            {K::Digit1, "1"},    {K::Digit2, "2"},
        {K::Digit3, "3"},       {K::Digit4, "4"},            {K::Digit5, "5"},    {K::Digit6, "6"},
        {K::Digit7, "7"},       {K::Digit8, "8"},            {K::Digit9, "9"},
    };
    TExplorerMenu menu;
    const std::vector<TExplorerMenuItem> bar = menu.Bar(State());
    int named = 0;
    for (const auto& [key, name] : names) {
        for (const bool shift : {false, true}) {
            const auto command = ExplorerCommandFor({TExplorerGesture::Key, key, shift, false}, 0, 0);
            if (!command) continue;
            // Shift is named where it makes another command.
            const auto unshifted = ExplorerCommandFor({TExplorerGesture::Key, key, false, false}, 0, 0);
            const bool same = shift && unshifted && unshifted->Action == command->Action &&
                              unshifted->Value == command->Value;
            if (same) continue;
            const std::string shown = (shift ? "Shift+" : "") + name;
            Walk(bar, "", [&](const TExplorerMenuItem& item, const std::string& path) {
                const auto choice = menu.Choice(item.Id);
                if (!choice || choice->Request != R::None || choice->Command.Action != command->Action ||
                    choice->Command.Value != command->Value)
                    return;
                const std::size_t tab = item.Text.find('\t');
                EXPECT_NE(tab, std::string::npos) << path;
                if (tab != std::string::npos) {
                    EXPECT_EQ(item.Text.substr(tab + 1), shown) << path;
                }
                ++named;
            });
        }
    }
    // Keep, F12, exit, 9 draw modes, 4 powers, both palettes and iterations,
    // both scenes, back, home, the journey and the status.
    EXPECT_EQ(named, 3 + 9 + 4 + 2 + 2 + 2 + 4);
    EXPECT_EQ(Find(bar, "/Help/Keys")->Text, "&Keys\tF1");
    EXPECT_EQ(menu.Choice(Find(bar, "/Help/Keys")->Id)->Request, R::ShowKeys);
}

TEST(ExplorerMenu, WhatEachItemAsksFor) {
    TExplorerMenu menu;
    const std::vector<TExplorerMenuItem> bar = menu.Bar(State());
    const struct {
        const char* path;
        R request;
        A action;
        int32_t value;
        const char* name;  // the palette, or the recent file's index
    } cases[] = {
        {"/File/Open scene file...", R::OpenSceneFile, A::Home, 0, ""},
        {"/File/Open recent/1 C:\\tours\\A&B.mrp", R::OpenRecent, A::Home, 0, "0"},
        {"/File/Open recent/2 C:\\x.mrp", R::OpenRecent, A::Home, 0, "1"},
        {"/File/Keep this view", R::None, A::Keep, 0, ""},
        {"/File/Save the picture", R::None, A::WritePicture, 0, ""},
        {"/File/Save the picture as...", R::SavePictureAs, A::Home, 0, ""},
        {"/File/Exit", R::None, A::Quit, 0, ""},
        {"/View/Draw mode/3 anti-aliased", R::None, A::DrawMode, 3, ""},
        {"/View/Draw mode/4 interlaced", R::None, A::DrawMode, 4, ""},
        {"/View/Draw mode/8 rings", R::None, A::DrawMode, 8, ""},
        {"/View/Palette/Next palette", R::None, A::NextPalette, 0, ""},
        {"/View/Palette/(built-in)", R::None, A::ChoosePalette, 0, ""},
        {"/View/Palette/R&D", R::None, A::ChoosePalette, 0, "R&D"},
        {"/View/Palette/夕焼け", R::None, A::ChoosePalette, 0, "夕焼け"},
        {"/View/Power/Power 5", R::None, A::Power, 5, ""},
        {"/View/Next scene", R::None, A::NextScene, 0, ""},
        {"/View/Default view", R::None, A::Home, 0, ""},
        {"/View/Zoom from the default view", R::None, A::Journey, 0, ""},
        {"/Help/About Nimbrel explorer", R::About, A::Home, 0, ""},
    };
    for (const auto& c : cases) {
        const TExplorerMenuItem* item = Find(bar, c.path);
        ASSERT_TRUE(item) << c.path;
        const auto choice = menu.Choice(item->Id);
        ASSERT_TRUE(choice) << c.path;
        EXPECT_EQ(choice->Request, c.request) << c.path;
        if (c.request == R::None) {
            EXPECT_EQ(choice->Command.Action, c.action) << c.path;
            EXPECT_EQ(choice->Command.Value, c.value) << c.path;
            EXPECT_EQ(choice->Command.Path, c.name) << c.path;
        }
        if (c.request == R::OpenRecent) {
            EXPECT_EQ(std::to_string(choice->Index), c.name) << c.path;
        }
    }
    // Every identifier is one of its own, below the system's.
    std::set<uint32_t> ids;
    Walk(bar, "", [&](const TExplorerMenuItem& item, const std::string& path) {
        if (item.Id == 0) return;
        EXPECT_TRUE(ids.insert(item.Id).second) << path;
        EXPECT_LT(item.Id, 0xF000u) << path;
    });
    EXPECT_FALSE(menu.Choice(0));
    EXPECT_FALSE(menu.Choice(0xFFFF));
}

TEST(ExplorerMenu, TheMenusShowTheState) {
    TExplorerMenu menu;
    TExplorerMenuState state = State();
    std::vector<TExplorerMenuItem> bar = menu.Bar(state);
    // One mark in each list: the draw mode, the power, the palette.
    for (const char* list : {"/View/Draw mode", "/View/Power", "/View/Palette"}) {
        int checked = 0;
        for (const TExplorerMenuItem& item : Find(bar, list)->Items) checked += item.Checked;
        EXPECT_EQ(checked, 1) << list;
    }
    EXPECT_TRUE(Find(bar, "/View/Draw mode/2 boundary trace")->Checked);
    EXPECT_TRUE(Find(bar, "/View/Power/Power 3")->Checked);
    EXPECT_TRUE(Find(bar, "/View/Palette/R&D")->Checked);
    EXPECT_EQ(Find(bar, "/View/Palette/R&D")->Text, "R&&D");
    EXPECT_FALSE(Find(bar, "/View/Status over the picture")->Checked);
    // What cannot be done is shown disabled, and chosen does nothing.
    const uint32_t useInSaver = Find(bar, "/File/Use my scenes in the screen saver...")->Id;
    EXPECT_FALSE(Find(bar, "/File/Use my scenes in the screen saver...")->Enabled);
    EXPECT_FALSE(menu.Choice(useInSaver));

    state.CanUseInSaver = true;
    state.StatusShown = true;
    state.HasScenes = false;
    state.PaletteName = "";
    state.RecentFiles.clear();
    state.Palettes.assign(TExplorerMenu::kMaxPalettes + 5, "p");
    bar = menu.Bar(state);
    EXPECT_EQ(menu.Choice(useInSaver)->Request, R::UseInSaver);
    EXPECT_TRUE(Find(bar, "/View/Status over the picture")->Checked);
    EXPECT_FALSE(Find(bar, "/View/Next scene")->Enabled);
    EXPECT_TRUE(Find(bar, "/View/Palette/(built-in)")->Checked);
    EXPECT_EQ(Find(bar, "/View/Palette")->Items.size(), 4 + TExplorerMenu::kMaxPalettes);
    const TExplorerMenuItem* none = Find(bar, "/File/Open recent/(none)");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->Enabled);
    EXPECT_FALSE(menu.Choice(none->Id));
}

}  // namespace
}  // namespace nimbrel
