// The explorer's input: one table of what each key and mouse gesture does, in
// the window system's terms of no front end. The front ends dispatch by it
// and the help (F1) is written from it: a front end names its keys and
// gestures as TExplorerInput and posts the command ExplorerCommandFor answers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shell/explorer.h"

namespace nimbrel {

// The keys the explorer knows, by what they show (the digits by their place
// on the keyboard, the main row's and the keypad's alike).
enum class TExplorerKey : uint8_t {
    None,
    Escape, Backspace, Home, Tab, PageDown, PageUp, F1, F12,
    J, P, S, Z,
    Plus, Minus,  // "+" and "=" (the key of "+"), "-"; the keypad's as well
    Digit0, Digit1, Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8, Digit9,
};

enum class TExplorerGesture : uint8_t {
    Key,        // a key pressed
    WheelUp,    // one notch of the wheel away from the user
    WheelDown,  // one notch towards the user
    LeftDrag,   // a button pressed, moved (or not) and released
    RightDrag,
};

struct TExplorerInput {
    TExplorerGesture Gesture = TExplorerGesture::Key;
    TExplorerKey Key = TExplorerKey::None;  // TExplorerGesture::Key
    bool Shift = false;                     // at the press, for a drag
    bool OtherModifiers = false;            // Ctrl, Alt or the system key: a key then means nothing
};

// How a binding takes the Shift key.
enum class TShiftRule : uint8_t { Any, Without, With };

struct TExplorerBinding {
    TExplorerGesture Gesture;
    TExplorerKey Key;      // TExplorerGesture::Key: the key, or the first of a run of digits
    TExplorerKey LastKey;  // the last digit of a run; Key otherwise
    TShiftRule Shift;
    TExplorerAction Action;  // DrawMode and Power take the digit as their value
    // The help line's text; null: the binding shares the line above.
    const char* Help;
};

// The table, in the order of the help.
std::span<const TExplorerBinding> ExplorerBindings();
// The first binding of the table that takes Input; null for none.
const TExplorerBinding* ExplorerBindingOf(const TExplorerInput& Input);
// The command Input posts: a key or a wheel notch with the cursor at picture
// pixel (X, Y), a drag from (X, Y) to (X2, Y2). None for an input without a
// binding, or a move of the picture that did not move.
std::optional<TExplorerCommand> ExplorerCommandFor(const TExplorerInput& Input, int32_t X, int32_t Y, int32_t X2 = 0,
                                                   int32_t Y2 = 0);
// One line of the help: the inputs of one or more bindings and what they do.
struct TExplorerHelpLine {
    bool Mouse = false;  // a gesture of the mouse, not a key
    std::string Inputs;  // "P / Shift+P", "0 - 8", "right drag / Shift+left drag"
    std::string Text;
};
// Every line of the table, in its order.
std::vector<TExplorerHelpLine> ExplorerHelpLines();
// The help: every line of the table, the mouse's first, then the keys'.
const std::string& ExplorerKeyHelp();
// How the help names the key that posts Action (with Value, for DrawMode and
// Power): "S", "Shift+P", "3", "Shift+2"; empty when no key does.
std::string ExplorerKeyName(TExplorerAction Action, int32_t Value = 0);

}  // namespace nimbrel
