#include "shell/explorer_input.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace nimbrel {

namespace {

using A = TExplorerAction;
using G = TExplorerGesture;
using K = TExplorerKey;
using R = TShiftRule;

const TExplorerBinding kBindings[] = {
    {G::WheelUp, K::None, K::None, R::Any, A::ZoomIn, "zoom in or out by 2 at the cursor"},
    {G::WheelDown, K::None, K::None, R::Any, A::ZoomOut, nullptr},
    {G::LeftDrag, K::None, K::None, R::Without, A::Pan, "move the picture"},
    {G::RightDrag, K::None, K::None, R::Any, A::ZoomRect, "zoom into the rectangle"},
    {G::LeftDrag, K::None, K::None, R::With, A::ZoomRect, nullptr},
    {G::Key, K::Backspace, K::Backspace, R::Any, A::Back, "back through the views seen"},
    {G::Key, K::Home, K::Home, R::Any, A::Home, "the default view"},
    {G::Key, K::Z, K::Z, R::Any, A::Journey, "fly from the default view to this one, as the show zooms (any input stops)"},
    {G::Key, K::J, K::J, R::Any, A::ToggleJulia, "the Julia set of the point under the cursor, and back"},
    {G::Key, K::Digit0, K::Digit8, R::Without, A::DrawMode, "the draw mode by its DM number (the status names it)"},
    {G::Key, K::Digit2, K::Digit5, R::With, A::Power, "power 2 to 5"},
    {G::Key, K::Plus, K::Plus, R::Any, A::MoreIterations, "iteration limit times or divided by 1.5"},
    {G::Key, K::Minus, K::Minus, R::Any, A::FewerIterations, nullptr},
    {G::Key, K::P, K::P, R::Without, A::NextPalette, "next or previous palette of the palette folder"},
    {G::Key, K::P, K::P, R::With, A::PreviousPalette, nullptr},
    {G::Key, K::PageDown, K::PageDown, R::Any, A::NextScene, "next or previous scene of the scene file"},
    {G::Key, K::PageUp, K::PageUp, R::Any, A::PreviousScene, nullptr},
    {G::Key, K::S, K::S, R::Any, A::Keep, "keep the view: one line appended to the output file"},
    {G::Key, K::F12, K::F12, R::Any, A::WritePicture, "the picture as a PNG file beside the output file"},
    {G::Key, K::Tab, K::Tab, R::Any, A::ToggleStatus, "the status over the picture, on or off"},
    {G::Key, K::F1, K::F1, R::Any, A::ToggleHelp, "this help, on or off"},
    {G::Key, K::Escape, K::Escape, R::Any, A::Quit, "quit"},
};

bool IsDigit(K Key) { return Key >= K::Digit0 && Key <= K::Digit9; }
int32_t DigitOf(K Key) { return static_cast<int32_t>(Key) - static_cast<int32_t>(K::Digit0); }
K DigitKey(int32_t Digit) { return static_cast<K>(static_cast<int32_t>(K::Digit0) + Digit); }

bool Takes(const TExplorerBinding& b, const TExplorerInput& input) {
    if (b.Gesture != input.Gesture) return false;
    if (b.Shift == R::Without && input.Shift) return false;
    if (b.Shift == R::With && !input.Shift) return false;
    if (b.Gesture != G::Key) return true;
    if (input.OtherModifiers) return false;
    if (b.Key == b.LastKey) return input.Key == b.Key;
    return IsDigit(input.Key) && input.Key >= b.Key && input.Key <= b.LastKey;
}

const char* KeyName(K Key) {
    switch (Key) {
        case K::Escape: return "Esc";
        case K::Backspace: return "Backspace";
        case K::Home: return "Home";
        case K::Tab: return "Tab";
        case K::PageDown: return "PageDown";
        case K::PageUp: return "PageUp";
        case K::F1: return "F1";
        case K::F12: return "F12";
        case K::J: return "J";
        case K::P: return "P";
        case K::S: return "S";
        case K::Z: return "Z";
        case K::Plus: return "+";
        case K::Minus: return "-";
        default: break;
    }
    static const char* const digits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    return IsDigit(Key) ? digits[DigitOf(Key)] : "?";
}

// How the help names a binding's input: "Shift+P", "0 - 8", "right drag".
std::string InputName(const TExplorerBinding& b) {
    const std::string shift = b.Shift == R::With ? "Shift+" : "";
    switch (b.Gesture) {
        case G::WheelUp: return shift + "wheel up";
        case G::WheelDown: return shift + "wheel down";
        case G::LeftDrag: return shift + "left drag";
        case G::RightDrag: return shift + "right drag";
        case G::Key: break;
    }
    std::string name = shift + KeyName(b.Key);
    if (b.LastKey != b.Key) name += " - " + shift + KeyName(b.LastKey);
    return name;
}

std::string MakeHelp() {
    const std::vector<TExplorerHelpLine> lines = ExplorerHelpLines();
    std::size_t column = 0;
    for (const TExplorerHelpLine& line : lines) column = std::max(column, line.Inputs.size());
    std::string help;
    for (const bool mouse : {true, false}) {
        help += mouse ? "Mouse\n" : "Keys\n";
        for (const TExplorerHelpLine& line : lines) {
            if (line.Mouse != mouse) continue;
            help += "  " + line.Inputs + std::string(column + 2 - line.Inputs.size(), ' ') + line.Text + "\n";
        }
    }
    return help;
}

}  // namespace

std::span<const TExplorerBinding> ExplorerBindings() { return kBindings; }

const TExplorerBinding* ExplorerBindingOf(const TExplorerInput& Input) {
    for (const TExplorerBinding& b : kBindings)
        if (Takes(b, Input)) return &b;
    return nullptr;
}

std::optional<TExplorerCommand> ExplorerCommandFor(const TExplorerInput& Input, int32_t X, int32_t Y, int32_t X2,
                                                   int32_t Y2) {
    const TExplorerBinding* b = ExplorerBindingOf(Input);
    if (!b) return std::nullopt;
    TExplorerCommand command{b->Action, X, Y, X2, Y2, 0};
    if (b->Action == A::DrawMode || b->Action == A::Power) command.Value = DigitOf(Input.Key);
    if (b->Action == A::Pan) {
        if (X2 == X && Y2 == Y) return std::nullopt;
        const auto moved = [](int32_t to, int32_t from) {
            return static_cast<int32_t>(std::clamp<int64_t>(int64_t{to} - from, INT32_MIN, INT32_MAX));
        };
        command = {A::Pan, moved(X2, X), moved(Y2, Y)};
    }
    return command;
}

std::vector<TExplorerHelpLine> ExplorerHelpLines() {
    std::vector<TExplorerHelpLine> lines;
    for (const TExplorerBinding& b : kBindings) {
        if (b.Help || lines.empty())
            lines.push_back({b.Gesture != G::Key, InputName(b), b.Help ? b.Help : ""});
        else
            lines.back().Inputs += " / " + InputName(b);
    }
    return lines;
}

std::string ExplorerKeyName(TExplorerAction Action, int32_t Value) {
    const bool valued = Action == A::DrawMode || Action == A::Power;
    for (const TExplorerBinding& b : kBindings) {
        if (b.Gesture != G::Key || b.Action != Action) continue;
        if (!valued) return InputName(b);
        if (!IsDigit(b.Key) || Value < DigitOf(b.Key) || Value > DigitOf(b.LastKey)) continue;
        const TExplorerBinding one{b.Gesture, DigitKey(Value), DigitKey(Value), b.Shift, b.Action, nullptr};
        return InputName(one);
    }
    return {};
}

const std::string& ExplorerKeyHelp() {
    static const std::string help = MakeHelp();
    return help;
}

}  // namespace nimbrel
