// MCF palette files: TPalette understands one line at a time, ReadMcfFile
// reads a whole file into colour values.
//
// An MCF file is Shift-JIS text, one item per line: a plain colour "RRGGBB"
// (anything after the sixth character ignored), "#GRAD C1,C2,N", "#LINE
// R0,dR,G0,dG,B0,dB,N", a comment starting with "*", any other "#" directive
// (ignored) or an empty line. Only ASCII characters are significant.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "values/fractal_types.h"

namespace nimbrel {

// An append-only list of colour values. Lives only inside one ReadMcfFile.
class TPalette {
public:
    // The palette refuses to grow past this many entries: a million colours is
    // far more than any picture can show one by one, while "#GRAD" or "#LINE"
    // with an N of two thousand million would otherwise exhaust the memory.
    // The line that would pass the bound fails like any other bad line.
    static constexpr int32_t MaxEntries = int32_t{1} << 20;
    static constexpr int32_t InitialCapacity = 1024;

    TPalette();

    // Index of the last entry; -1 while the palette is empty.
    int32_t LastIndex() const { return LastIndex_; }
    bool HasColors() const { return LastIndex_ >= 0; }
    // Length of the storage; it doubles whenever an append reaches it.
    std::size_t Capacity() const { return Items_.size(); }
    // The silent abort past the last entry; ERangeError for a negative Index.
    int32_t GetItem(int32_t Index) const;
    // ERangeError when the palette already holds MaxEntries colours.
    void Add(int32_t Color);

    // One line that is neither empty nor a comment; appends 0 or more colours.
    // Any exception means that the line fails.
    void ParseLine(std::string_view Line);
    void ParseGradLine(std::string_view Line);
    void ParseLinearLine(std::string_view Line);

private:
    // Fails the line when Count more entries would pass MaxEntries.
    void Reserve(int64_t Count) const;

    int32_t LastIndex_ = -1;
    TPaletteArray Items_;
};

// Removes blanks (code 32 or less) around every comma and at both ends.
std::string TrimCommaFields(std::string_view Text);

// Result codes of the readers: 0 success, a positive value the number of the
// line that failed, or one of these.
constexpr int32_t mcfFileNotFound = -1;
constexpr int32_t mcfNoColor = -2;

// Reads the MCF file FileName (UTF-8). On success Colors holds exactly the
// colours of the file; on any other result Colors is left as it was. An error
// of the system while opening the file raises EInOutError; one while reading
// fails the line being read.
int32_t ReadMcfFile(const std::string& FileName, TPaletteArray& Colors);
// The same for the bytes of a file, and for any stream of them.
int32_t ReadMcfBytes(std::string_view Bytes, TPaletteArray& Colors);
int32_t ReadMcfStream(std::streambuf& Input, TPaletteArray& Colors);

class TMandel;

// Loads the MCF file FileName (UTF-8) into the engine's colour table. A
// missing or bad file shows its message and raises the silent abort, leaving
// the colours as they were; a file of one colour is used with that colour
// twice, after a message.
void LoadPalette(TMandel& Mandel, const std::string& FileName);

}  // namespace nimbrel
