#include "scene/URecommendation.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>

#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "scene/exact_numbers.h"
#include "values/deep_coordinates.h"

namespace nimbrel {

namespace {

const char* const kNotFound = "\r\nが見つかりません。";  // after the file name
const char* const kLineError = "行目にｴﾗｰがあったので読み込みを中止しました。";  // after the line number

struct TCodeMessage {
    int32_t Code;
    const char* Message;
};
const TCodeMessage kMessages[] = {
    {mrpNoTitle, "タイトル(Title)がありません。"},
    {mrpNoCi, "中心の虚部の値(Ci)がありません。"},
    {mrpNoCr, "中心の実部の値(Cr)がありません。"},
    {mrpNoW, "幅の値(W)がありません。"},
    {mrpBadW, "幅の値(W)は０より大きくなくてはいけません。"},
    {mrpNoJi, "じゅりあ定数の虚部の値(Ji)がありません。"},
    {mrpNoJr, "じゅりあ定数の実部の値(Jr)がありません。"},
    {mrpBadI, "繰り返しの値(I)は０より大きくなくてはいけません。"},
    {mrpBadD, "分解能の値(D)は０より大きくなくてはいけません。"},
    {mrpBadPow, "巾乗の値(POW)は２以上でなくてはいけません。"},
};

const char* MessageOf(int32_t Code) {
    for (const TCodeMessage& m : kMessages)
        if (m.Code == Code) return m.Message;
    return "";
}

// A line whose entry breaks a rule of its own code.
class EValidation : public Exception {
public:
    explicit EValidation(int32_t code) : Exception(MessageOf(code)), Code(code) {}
    int32_t Code;
};

// A field that is not Key=Value.
class ESyntax : public Exception {
public:
    ESyntax() : Exception("Syntax error") {}
};

// Splits Text at every Separator, trims blanks at both ends of each piece and
// joins the pieces again.
std::string TrimAround(std::string_view Text, char Separator) {
    std::string result;
    result.reserve(Text.size());
    for (;;) {
        const std::size_t at = Text.find(Separator);
        result.append(TrimBlanks(Text.substr(0, at)));
        if (at == std::string_view::npos) break;
        result.push_back(Separator);
        Text.remove_prefix(at + 1);
    }
    return result;
}

// The values that are checked after the whole line has been read.
struct TSeen {
    std::optional<double> Cr, Ci, W, Jr, Ji;
    // The texts of the numbers of the view, for every digit of a deep one.
    std::string CrText, CiText, WText, JrText, JiText;
    std::optional<int32_t> I, D, Pow;
    bool Title = false;
};

void ApplyField(std::string_view Field, TRecommendation& Entry, TSeen& Seen) {
    const std::size_t equals = Field.find('=');
    if (equals == std::string_view::npos || equals == 0) throw ESyntax();
    const std::string key = UpperCase(Field.substr(0, equals));
    const std::string_view value = Field.substr(equals + 1);
    if (value.empty()) return;  // as if the key were absent
    if (key == "TITLE") {
        Entry.Title = value;
        Seen.Title = true;
    } else if (key == "CR") {
        Seen.Cr = StrToFloat(value);
        Seen.CrText = value;
    } else if (key == "CI") {
        Seen.Ci = StrToFloat(value);
        Seen.CiText = value;
    } else if (key == "W") {
        Seen.W = StrToFloat(value);
        Seen.WText = value;
    } else if (key == "JR") {
        Seen.Jr = StrToFloat(value);
        Seen.JrText = value;
    } else if (key == "JI") {
        Seen.Ji = StrToFloat(value);
        Seen.JiText = value;
    } else if (key == "I") {
        Seen.I = StrToInt(value);
    } else if (key == "D") {
        Seen.D = StrToInt(value);
    } else if (key == "POW") {
        Seen.Pow = StrToInt(value);
    } else if (key == "MEMO") {
        Entry.Memo = value;
    } else if (key == "MCF") {
        Entry.McfName = value;
    } else if (key == "DM") {
        Entry.DrawMode = StoredToDrawMode(StrToInt(value));
    } else if (key == "CM") {
        Entry.PotentialVariant = value == "1" ? 1 : 0;
    } else if (key == "RE") {
        Entry.BrightnessFold = FlagFromStored(StrToInt(value)) != 0;
    } else if (key == "ER") {
        Entry.EscapeRadius = StrToFloat(value);
    } else if (key == "LD") {
        Entry.InvertBrightness = FlagFromStored(StrToInt(value)) != 0;
    } else if (key == "CO") {
        Entry.ScaleExponent = StrToFloat(value);
    } else if (key == "PB") {
        Entry.ShadingFunction = ShadingFromStored(StrToInt(value));
    }
}

// The digits of a view that doubles cannot hold: a height far below its
// coordinates, or a coordinate of more digits than a double's. The doubles
// stay as the line gives them, so that every view within their reach is
// drawn as it always was.
void KeepDigits(TRecommendation& Entry, const TSeen& Seen, const TFloatExp& Width, bool Julia) {
    const std::string_view zero = "0";
    const std::string_view texts[4] = {Seen.CrText, Seen.CiText, Julia ? std::string_view(Seen.JrText) : zero,
                                       Julia ? std::string_view(Seen.JiText) : zero};
    // The size of the coordinates from their first 64 bits: the very size
    // the writer's view has.
    int64_t magnitude = 0;
    bool many = false;
    for (const std::string_view text : texts) {
        TBigReal probe;
        if (!TBigReal::Parse(text, TBigReal::kMinBits, probe)) return;
        if (!probe.IsZero()) magnitude = std::max<int64_t>(magnitude, probe.Exponent() + 1);
        many = many || HasManyDigits(text);
    }
    if (!many && !WantsDigits(Width, magnitude)) return;
    const int32_t bits = CoordinateBits(Width, magnitude);
    TBigReal exact[4];
    for (int k = 0; k < 4; ++k)
        if (!TBigReal::Parse(texts[k], bits, exact[k])) return;
    TView view = MakeDeepView(static_cast<TFractalKind>(Entry.Position->GetKind()), exact[0], exact[1], Width,
                              exact[2], exact[3], 2);
    Entry.Deep = std::move(view.Deep);
}

// The checks in the order the user is told about them.
void Validate(TRecommendation& Entry, const TSeen& Seen) {
    if (!Seen.Title) throw EValidation(mrpNoTitle);
    if (!Seen.Ci) throw EValidation(mrpNoCi);
    if (!Seen.Cr) throw EValidation(mrpNoCr);
    Entry.Position->Center = {*Seen.Cr, *Seen.Ci};
    if (!Seen.W) throw EValidation(mrpNoW);
    // A height below the doubles' range is still a height.
    TFloatExp width;
    const bool exactWidth = ParseExactWidth(Seen.WText, width);
    if (!(*Seen.W > 0) && !(exactWidth && width > TFloatExp())) throw EValidation(mrpBadW);
    Entry.Position->ViewWidth = *Seen.W > 0 ? *Seen.W : std::ldexp(1.0, -1074);
    const bool julia = Entry.Position->GetKind() == fkJulia;
    if (julia) {
        if (!Seen.Ji) throw EValidation(mrpNoJi);
        if (!Seen.Jr) throw EValidation(mrpNoJr);
        Entry.Position->SetJuliaConstant({*Seen.Jr, *Seen.Ji});
    }
    KeepDigits(Entry, Seen, width, julia);
    if (Seen.I && *Seen.I < 1) throw EValidation(mrpBadI);
    Entry.MaxIter = Seen.I.value_or(-1);
    if (Seen.D && *Seen.D < 1) throw EValidation(mrpBadD);
    Entry.ColorStep = Seen.D.value_or(-1);
    if (Seen.Pow && *Seen.Pow < 2) throw EValidation(mrpBadPow);
    Entry.Power = Seen.Pow.value_or(2);
}

// The entry of one non-empty line, or nothing for a line that is no entry.
std::optional<TRecommendation> ParseLine(std::string_view Line) {
    const std::string text = TRecommendationList::NormalizeLine(Line);
    std::string_view rest = text;
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const std::string header = UpperCase(rest.substr(0, comma));
    rest.remove_prefix(comma + 1);
    uint8_t kind = 0;
    if (header == "T=MANDEL")
        kind = fkMandelbrot;
    else if (header == "T=JULIA")
        kind = fkJulia;
    else
        return std::nullopt;
    TRecommendation entry(kind);
    TSeen seen;
    // Every comma starts another field, so an empty field (a line that ends
    // with a comma) fails like any field without a key.
    for (;;) {
        const std::size_t next = rest.find(',');
        ApplyField(rest.substr(0, next), entry, seen);
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next + 1);
    }
    Validate(entry, seen);
    return entry;
}

}  // namespace

TRecommendation::TRecommendation(uint8_t Kind) {
    switch (Kind) {
        case fkMandelbrot: Position = std::make_unique<TPositionMandelbrot>(); break;
        case fkJulia: Position = std::make_unique<TPositionJulia>(); break;
        default: Position = std::make_unique<TPosition>(); break;
    }
}

TView TRecommendation::View() const {
    TView view;
    view.Kind = static_cast<TFractalKind>(Position->GetKind());
    view.Center = Position->Center;
    view.ViewWidth = Position->ViewWidth;
    if (view.Kind == fkJulia) view.JuliaConstant = Position->GetJuliaConstant();
    view.Power = Power;
    view.Deep = Deep;
    return view;
}

void TRecommendation::SetView(const TView& Value) {
    Position->Center = Value.Center;
    Position->ViewWidth = Value.ViewWidth;
    if (Position->GetKind() == fkJulia) Position->SetJuliaConstant(Value.JuliaConstant);
    Power = Value.Power;
    Deep = Value.Deep;
}

std::string TRecommendationList::NormalizeLine(std::string_view Line) {
    return TrimAround(TrimAround(Line, ','), '=');
}

const TRecommendation& TRecommendationList::Item(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
    return Items_[static_cast<std::size_t>(Index)];
}

void TRecommendationList::LoadFromFile(const std::string& FileName) {
    if (!FileExists(FileName)) {
        ErrorCode = mrpFileNotFound;
        ErrorMessage = FileName + kNotFound;
        Abort();
    }
    std::ifstream file;
    try {
        file = OpenInputFile(FileName);
    } catch (const EInOutError&) {
        // A file that is there but cannot be read: its first line fails, so
        // that the user gets the one message of a file that fails.
        ErrorLine = 1;
        Abort();
    }
    LoadFromStream(*file.rdbuf());
}

void TRecommendationList::LoadScenes(const std::string& FileName) {
    // A file without a scene fails like any other: the scenes there were stay.
    std::vector<TRecommendation> previous = std::move(Items_);
    Items_.clear();
    try {
        LoadFromFile(FileName);
    } catch (...) {
        Items_ = std::move(previous);
        throw;
    }
    if (Count() == 0) {
        Items_ = std::move(previous);
        Abort();
    }
}

std::string TRecommendationList::LoadFailureText(const std::string& FileName) const {
    if (ErrorCode == mrpFileNotFound) return ErrorMessage;
    return FileName + "\r\n" + IntToStr(ErrorLine) + " " + kLineError + "\r\n" + ErrorMessage;
}

void TRecommendationList::LoadFromBytes(std::string_view Bytes) {
    TMemoryStreamBuf input(Bytes);
    LoadFromStream(input);
}

void TRecommendationList::LoadFromStream(std::streambuf& Input) {
    // The entries of the file are gathered apart and replace the list only
    // when the whole file has been read: a failed load leaves nothing behind.
    std::vector<TRecommendation> entries;
    TLineReader reader(Input);
    try {
        std::string line;
        for (;;) {
            const TLineResult read = reader.ReadLine(line);
            if (read == TLineResult::lrEnd) break;
            if (read == TLineResult::lrTooLong) throw EInOutError("Line too long");
            if (line.empty()) continue;
            if (std::optional<TRecommendation> entry = ParseLine(line)) entries.push_back(std::move(*entry));
        }
    } catch (const EValidation& failure) {
        ErrorCode = failure.Code;
        ErrorMessage = failure.Message();
        ErrorLine = reader.LineNumber();
        Abort();
    } catch (const Exception&) {
        ErrorLine = reader.LineNumber();
        Abort();
    }
    Items_ = std::move(entries);
}

}  // namespace nimbrel
