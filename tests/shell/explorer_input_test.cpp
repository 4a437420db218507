// The explorer's input table against the README's table of inputs: what each
// key and gesture posts, and the help that names them.
#include "shell/explorer_input.h"

#include <gtest/gtest.h>

#include <string>

namespace nimbrel {
namespace {

using A = TExplorerAction;
using G = TExplorerGesture;
using K = TExplorerKey;

TExplorerInput Key(K key, bool shift = false, bool other = false) { return {G::Key, key, shift, other}; }
TExplorerInput Mouse(G gesture, bool shift = false) { return {gesture, K::None, shift, false}; }

std::string Text(const std::optional<TExplorerCommand>& c) {
    if (!c) return "none";
    return std::to_string(static_cast<int>(c->Action)) + " " + std::to_string(c->X) + "," + std::to_string(c->Y) + " " +
           std::to_string(c->X2) + "," + std::to_string(c->Y2) + " " + std::to_string(c->Value);
}

TEST(ExplorerInput, EachInputPostsItsCommand) {
    const struct {
        TExplorerInput Input;
        std::optional<TExplorerCommand> Command;  // with the cursor at (7, 9), a drag from there to (30, 5)
    } cases[] = {
        {Mouse(G::WheelUp), TExplorerCommand{A::ZoomIn, 7, 9, 30, 5}},
        {Mouse(G::WheelDown, true), TExplorerCommand{A::ZoomOut, 7, 9, 30, 5}},
        {Mouse(G::LeftDrag), TExplorerCommand{A::Pan, 23, -4}},
        {Mouse(G::LeftDrag, true), TExplorerCommand{A::ZoomRect, 7, 9, 30, 5}},
        {Mouse(G::RightDrag), TExplorerCommand{A::ZoomRect, 7, 9, 30, 5}},
        {Mouse(G::RightDrag, true), TExplorerCommand{A::ZoomRect, 7, 9, 30, 5}},
        {Key(K::Backspace, true), TExplorerCommand{A::Back, 7, 9, 30, 5}},
        {Key(K::J), TExplorerCommand{A::ToggleJulia, 7, 9, 30, 5}},
        {Key(K::Digit0), TExplorerCommand{A::DrawMode, 7, 9, 30, 5, 0}},
        {Key(K::Digit8), TExplorerCommand{A::DrawMode, 7, 9, 30, 5, 8}},
        {Key(K::Digit9), std::nullopt},
        {Key(K::Digit5, true), TExplorerCommand{A::Power, 7, 9, 30, 5, 5}},
        {Key(K::Digit1, true), std::nullopt},
        {Key(K::Digit6, true), std::nullopt},
        {Key(K::Plus, true), TExplorerCommand{A::MoreIterations, 7, 9, 30, 5}},
        {Key(K::P), TExplorerCommand{A::NextPalette, 7, 9, 30, 5}},
        {Key(K::P, true), TExplorerCommand{A::PreviousPalette, 7, 9, 30, 5}},
        {Key(K::Tab), TExplorerCommand{A::ToggleStatus, 7, 9, 30, 5}},
        {Key(K::Escape), TExplorerCommand{A::Quit, 7, 9, 30, 5}},
        // Ctrl, Alt and the system key leave every key to the system.
        {Key(K::Escape, false, true), std::nullopt},
        {Key(K::Digit3, false, true), std::nullopt},
        {Key(K::None), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(ExplorerCommandFor(c.Input, 7, 9, 30, 5)), Text(c.Command))
            << int(c.Input.Gesture) << " " << int(c.Input.Key) << (c.Input.Shift ? " shift" : "");
    // A drag that does not move the picture moves nothing; a rectangle of no
    // size is the explorer's to ignore.
    EXPECT_EQ(ExplorerCommandFor(Mouse(G::LeftDrag), 7, 9, 7, 9), std::nullopt);
    EXPECT_TRUE(ExplorerCommandFor(Mouse(G::RightDrag), 7, 9, 7, 9));
    EXPECT_EQ(ExplorerCommandFor(Mouse(G::LeftDrag), INT32_MIN, 0, INT32_MAX, 0)->X, INT32_MAX);
}

// What the help says of the inputs of one line: its text after them, the
// blanks between left out; empty when no line names them.
std::string HelpOf(const std::string& inputs) {
    const std::string& help = ExplorerKeyHelp();
    const std::size_t at = help.find("\n  " + inputs + "  ");
    if (at == std::string::npos) return "";
    const std::size_t text = help.find_first_not_of(' ', at + 3 + inputs.size());
    return help.substr(text, help.find('\n', text) - text);
}

// Every line of the help names its inputs as the user presses them, the
// mouse's first.
TEST(ExplorerInput, TheHelpNamesEveryBinding) {
    EXPECT_EQ(HelpOf("right drag / Shift+left drag"), "zoom into the rectangle");
    EXPECT_EQ(HelpOf("0 - 8"), "the draw mode by its DM number (the status names it)");
    EXPECT_EQ(HelpOf("Shift+2 - Shift+5"), "power 2 to 5");
    EXPECT_EQ(HelpOf("P / Shift+P"), "next or previous palette of the palette folder");
    const std::string& help = ExplorerKeyHelp();
    EXPECT_EQ(help.rfind("Mouse\n", 0), 0u);
    EXPECT_LT(help.find("move the picture"), help.find("Keys\n"));
}

// The keys beside the menu's items: each named as the help names it.
TEST(ExplorerInput, TheKeyOfACommand) {
    const struct {
        A action;
        int32_t value;
        const char* name;
    } cases[] = {
        {A::Keep, 0, "S"},          {A::WritePicture, 0, "F12"},   {A::Quit, 0, "Esc"},
        {A::DrawMode, 0, "0"},      {A::DrawMode, 8, "8"},         {A::DrawMode, 9, ""},
        {A::Power, 2, "Shift+2"},   {A::Power, 5, "Shift+5"},      {A::Power, 6, ""},
        {A::NextPalette, 0, "P"},   {A::PreviousPalette, 0, "Shift+P"}, {A::MoreIterations, 0, "+"},
        {A::PreviousScene, 0, "PageUp"}, {A::ToggleHelp, 0, "F1"},  {A::Journey, 0, "Z"},
        {A::ZoomIn, 0, ""},         {A::OpenScenes, 0, ""},        {A::ChoosePalette, 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExplorerKeyName(c.action, c.value), c.name) << int(c.action) << " " << c.value;
    // The help's lines are the table's.
    const std::vector<TExplorerHelpLine> lines = ExplorerHelpLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.front().Mouse);
    EXPECT_EQ(lines.back().Inputs, "Esc");
    EXPECT_EQ(lines.back().Text, "quit");
}

}  // namespace
}  // namespace nimbrel
