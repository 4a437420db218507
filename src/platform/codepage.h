// Conversion between the Shift-JIS bytes of scene and palette files (code page
// 932) and the program's UTF-8: decoding where such a value becomes part of a
// file name or is shown, encoding where the program writes a scene line.
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// Code page 932 bytes to UTF-8. Bytes that are no character of the code page
// (a lead byte without its trail byte, an unassigned code) raise
// EConvertError: a name that cannot be decoded names no file, and a guessed
// replacement could name the wrong one.
std::string DecodeCp932(std::string_view bytes);

// UTF-8 text to code page 932 bytes. Text that is no valid UTF-8, or that
// holds a character without a code of its own in the code page (one that
// would only come out as a look-alike or a "?"), raises EConvertError: the
// bytes always decode to the same text again.
std::string EncodeCp932(std::string_view text);

}  // namespace nimbrel
