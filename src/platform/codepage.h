// Conversion of the Shift-JIS bytes of scene and palette files (code page 932)
// to the program's UTF-8, for the one place where such a value becomes part of
// a file name or is shown.
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// Code page 932 bytes to UTF-8. Bytes that are no character of the code page
// (a lead byte without its trail byte, an unassigned code) raise
// EConvertError: a name that cannot be decoded names no file, and a guessed
// replacement could name the wrong one.
std::string DecodeCp932(std::string_view bytes);

}  // namespace nimbrel
