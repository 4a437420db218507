// Reading the program's text files (MRP scenes, MCF palettes): the existence
// test, opening, and the split into physical lines.
//
// The files are bytes (Shift-JIS); nothing here decodes them. A line ends with
// LF, and a CR right before the LF belongs to the line end, so CR LF and bare
// LF files read alike; a last line without a line end still counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <streambuf>
#include <string>
#include <string_view>

namespace nimbrel {

// Whether Path holds a NUL. The system reads a path only up to its first NUL,
// so such a path names no file and must never reach a system call.
bool HoldsNul(std::string_view Path);

// Whether FileName (UTF-8) names a regular file, following links. A folder, a
// pipe or a device is no file: reading a pipe could block the show. A name
// holding a NUL names none.
bool FileExists(const std::string& FileName);

// A path as the program's UTF-8 text.
std::string PathToUtf8(const std::filesystem::path& Path);

// FileName without its folder: the text after the last "\" or "/".
std::string ExtractFileName(const std::string& FileName);

// Opens FileName (UTF-8) for reading bytes; EInOutError when it cannot (a
// name holding a NUL included).
std::ifstream OpenInputFile(const std::string& FileName);

// A read-only stream buffer over bytes that the caller keeps alive, so that
// the readers take the same road from memory as from a file.
class TMemoryStreamBuf : public std::streambuf {
public:
    explicit TMemoryStreamBuf(std::string_view bytes) {
        // The get area is only read: putting back a different character fails.
        char* first = const_cast<char*>(bytes.data());
        setg(first, first, first + bytes.size());
    }
};

enum class TLineResult : uint8_t {
    lrLine,     // a line was read
    lrTooLong,  // a line longer than MaxLineBytes: its start was kept, the rest skipped
    lrEnd,      // no more lines
};

// Splits a stream into physical lines and counts them. Memory stays bounded
// by MaxLineBytes whatever the file holds.
class TLineReader {
public:
    // Far beyond any line of a scene or palette file.
    static constexpr std::size_t MaxLineBytes = std::size_t{1} << 20;

    explicit TLineReader(std::streambuf& input) : input_(input) {}

    // The next line without its line end. Counts the line (lrLine and
    // lrTooLong); a line number past the 32-bit range raises ERangeError.
    // A read error of the system raises EInOutError with the line that was
    // being read counted, so that LineNumber names it.
    TLineResult ReadLine(std::string& line);
    // Number of the line read last; 0 before the first.
    int32_t LineNumber() const { return lineNumber_; }

private:
    int NextByte(bool firstOfLine);
    void CountLine();

    std::streambuf& input_;
    int32_t lineNumber_ = 0;
};

}  // namespace nimbrel
