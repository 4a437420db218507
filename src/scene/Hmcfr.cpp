#include "scene/Hmcfr.h"

#include <fstream>
#include <limits>

#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "values/Rgblib.h"

namespace nimbrel {

namespace {

// Removes and answers the first Count characters (fewer when Text is shorter).
std::string_view TakeFront(std::string_view& Text, std::size_t Count) {
    const std::string_view front = Text.substr(0, Count);
    Text.remove_prefix(front.size());
    return front;
}

// Removes the comma that must come next.
void TakeComma(std::string_view& Text) {
    if (Text.empty() || Text.front() != ',') Abort();
    Text.remove_prefix(1);
}

// Removes and answers the text before the next comma, and the comma.
std::string_view TakeField(std::string_view& Text) {
    const std::size_t comma = Text.find(',');
    if (comma == std::string_view::npos) Abort();
    const std::string_view field = Text.substr(0, comma);
    Text.remove_prefix(comma + 1);
    return field;
}

// The part after the five-character keyword of a directive, which must begin
// with a space.
std::string_view DirectiveArguments(std::string_view Line) {
    if (Line.size() <= 5 || Line[5] != ' ') Abort();
    return Line.substr(5);
}

int64_t CheckedAdd(int64_t a, int64_t b) {
    if ((b > 0 && a > std::numeric_limits<int64_t>::max() - b) || (b < 0 && a < std::numeric_limits<int64_t>::min() - b))
        throw ERangeError();
    return a + b;
}

}  // namespace

TPalette::TPalette() : Items_(InitialCapacity, 0) {}

int32_t TPalette::GetItem(int32_t Index) const {
    if (Index < 0) throw ERangeError();
    if (Index > LastIndex_) Abort();
    return Items_[static_cast<std::size_t>(Index)];
}

void TPalette::Add(int32_t Color) {
    Reserve(1);
    ++LastIndex_;
    if (static_cast<std::size_t>(LastIndex_) >= Items_.size()) Items_.resize(Items_.size() * 2, 0);
    Items_[static_cast<std::size_t>(LastIndex_)] = Color;
}

void TPalette::Reserve(int64_t Count) const {
    if (Count > int64_t{MaxEntries} - (int64_t{LastIndex_} + 1)) throw ERangeError();
}

void TPalette::ParseLine(std::string_view Line) {
    if (!Line.empty() && Line.front() == '#') {
        const std::string keyword = UpperCase(Line.substr(0, 5));
        if (keyword == "#GRAD")
            ParseGradLine(Line);
        else if (keyword == "#LINE")
            ParseLinearLine(Line);
        return;
    }
    TRgb color;
    try {
        color.SetHex(Line.substr(0, 6));
    } catch (const Exception&) {
        Abort();
    }
    Add(color.GetColor());
}

void TPalette::ParseGradLine(std::string_view Line) {
    const std::string text = TrimCommaFields(DirectiveArguments(Line));
    try {
        std::string_view rest = text;
        TRgb from;
        from.SetHex(TakeFront(rest, 6));
        TakeComma(rest);
        TRgb to;
        to.SetHex(TakeFront(rest, 6));
        TakeComma(rest);
        const int32_t n = StrToInt(rest);
        if (n == 0) throw EDivByZero();
        const double dr = static_cast<double>(to.R() - from.R()) / n;
        const double dg = static_cast<double>(to.G() - from.G()) / n;
        const double db = static_cast<double>(to.B() - from.B()) / n;
        Reserve(n);
        TRgb entry;
        for (int32_t i = 0; i < n; ++i) {
            entry.SetR(from.R() + Round(i * dr));
            entry.SetG(from.G() + Round(i * dg));
            entry.SetB(from.B() + Round(i * db));
            Add(entry.GetColor());
        }
    } catch (const EAbort&) {
        throw;
    } catch (const Exception&) {
        Abort();
    }
}

void TPalette::ParseLinearLine(std::string_view Line) {
    const std::string text = TrimCommaFields(DirectiveArguments(Line));
    try {
        std::string_view rest = text;
        const int32_t r0 = StrToInt(TakeField(rest));
        const double dr = StrToFloat(TakeField(rest));
        const int32_t g0 = StrToInt(TakeField(rest));
        const double dg = StrToFloat(TakeField(rest));
        const int32_t b0 = StrToInt(TakeField(rest));
        const double db = StrToFloat(TakeField(rest));
        const int32_t n = StrToInt(rest);
        Reserve(n);
        // Each channel wraps at 256; what stays negative clamps to 0.
        const auto channel = [](int32_t start, double slope, int32_t i) {
            const int64_t v = CheckedAdd(start, Round64(i * slope));
            return static_cast<int32_t>(Mod64(v, 256));
        };
        TRgb entry;
        for (int32_t i = 0; i < n; ++i) {
            entry.SetR(channel(r0, dr, i));
            entry.SetG(channel(g0, dg, i));
            entry.SetB(channel(b0, db, i));
            Add(entry.GetColor());
        }
    } catch (const EAbort&) {
        throw;
    } catch (const Exception&) {
        Abort();
    }
}

std::string TrimCommaFields(std::string_view Text) {
    std::string result;
    result.reserve(Text.size());
    for (;;) {
        const std::size_t comma = Text.find(',');
        result.append(TrimBlanks(Text.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        result.push_back(',');
        Text.remove_prefix(comma + 1);
    }
    return result;
}

int32_t ReadMcfStream(std::streambuf& Input, TPaletteArray& Colors) {
    TPalette palette;
    TLineReader reader(Input);
    std::string line;
    for (;;) {
        TLineResult read;
        try {
            read = reader.ReadLine(line);
        } catch (const EInOutError&) {
            return reader.LineNumber();  // a read error fails the line being read
        }
        if (read == TLineResult::lrEnd) break;
        if (read == TLineResult::lrTooLong) return reader.LineNumber();
        if (line.empty() || line.front() == '*') continue;
        try {
            palette.ParseLine(line);
        } catch (const Exception&) {
            return reader.LineNumber();
        }
    }
    if (!palette.HasColors()) return mcfNoColor;
    TPaletteArray colors(static_cast<std::size_t>(palette.LastIndex()) + 1);
    for (int32_t i = 0; i <= palette.LastIndex(); ++i) colors[static_cast<std::size_t>(i)] = palette.GetItem(i);
    Colors = std::move(colors);
    return 0;
}

int32_t ReadMcfBytes(std::string_view Bytes, TPaletteArray& Colors) {
    TMemoryStreamBuf input(Bytes);
    return ReadMcfStream(input, Colors);
}

int32_t ReadMcfFile(const std::string& FileName, TPaletteArray& Colors) {
    if (!FileExists(FileName)) return mcfFileNotFound;
    std::ifstream file = OpenInputFile(FileName);
    return ReadMcfStream(*file.rdbuf(), Colors);
}

}  // namespace nimbrel
