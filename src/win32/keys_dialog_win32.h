// The explorer's keys and gestures in a modal dialog of the system's dialog
// fonts: the lines of the input table (shell/explorer_input.h), the inputs
// in one column and what they do in the next.
#pragma once

#include <string>
#include <vector>

#include "shell/explorer_input.h"
#include "win32/win32_api.h"

namespace nimbrel {

// Shows the dialog owned by Owner until the user closes it.
void ShowKeysDialog(HINSTANCE Instance, HWND Owner, const std::string& Caption,
                    const std::vector<TExplorerHelpLine>& Lines);

}  // namespace nimbrel
