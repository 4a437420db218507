// The error box, the folder test and the hexadecimal conversion that every
// part of the program shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

// Shows Msg in the application's error box and returns when it is closed.
void ShowError(const std::string& Msg);

// Whether Path can be made the current directory; the current directory is the
// same afterwards whatever the answer. An empty Path, or one holding a NUL, fails.
bool FolderExists(const std::string& Path);

// "$" + Text through the integer conversion: hexadecimal digits of either
// case. Anything else raises EConvertError.
int32_t HexToInt(std::string_view Text);

}  // namespace nimbrel
