#include "scene/scene_writer.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/mandel_class.h"
#include "platform/bit_cast.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "scene/exact_numbers.h"
#include "values/deep_coordinates.h"

namespace nimbrel {

namespace {

const char* const kLineEnd = "\r\n";

// A text value stands between "=" and the next ",", the reader trims blanks
// around both, and a line feed ends the line: a value can hold neither a
// comma nor a line feed, nor begin or end with a blank. Every value the
// reader gives is such a text.
void CheckText(const char* Key, std::string_view Value) {
    const bool fits = Value.find_first_of(",\n") == std::string_view::npos &&
                      (Value.empty() || (!IsBlank(Value.front()) && !IsBlank(Value.back())));
    if (!fits)
        throw EConvertError(std::string("The ") + Key +
                            " of a scene cannot hold a comma or a line break, nor begin or end with a blank");
}

bool SameDouble(double a, double b) { return BitCast<uint64_t>(a) == BitCast<uint64_t>(b); }

bool SamePoint(const TComplexPoint& a, const TComplexPoint& b) {
    return SameDouble(a.Re, b.Re) && SameDouble(a.Im, b.Im);
}

// a: the entry read back, b: the entry written.
bool SameEntry(const TRecommendation& a, const TRecommendation& b) {
    const uint8_t kind = a.Position->GetKind();
    if (kind != b.Position->GetKind()) return false;
    // A deep view by its every digit (its doubles are the nearest ones); a
    // view of doubles by its doubles, whatever digits a reader keeps of it.
    const bool deep = b.Deep != nullptr;
    if (deep && !(a.View() == b.View())) return false;
    if (!deep && kind == fkJulia && !SamePoint(a.Position->GetJuliaConstant(), b.Position->GetJuliaConstant()))
        return false;
    if (!deep && !(SamePoint(a.Position->Center, b.Position->Center) &&
                   SameDouble(a.Position->ViewWidth, b.Position->ViewWidth)))
        return false;
    return a.Title == b.Title &&
           a.MaxIter == b.MaxIter && a.ColorStep == b.ColorStep && a.Power == b.Power && a.McfName == b.McfName &&
           a.Memo == b.Memo && a.DrawMode == b.DrawMode && a.PotentialVariant == b.PotentialVariant &&
           a.BrightnessFold == b.BrightnessFold && SameDouble(a.EscapeRadius, b.EscapeRadius) &&
           a.InvertBrightness == b.InvertBrightness && SameDouble(a.ScaleExponent, b.ScaleExponent) &&
           a.ShadingFunction == b.ShadingFunction;
}

class TLine {
public:
    explicit TLine(std::string_view Header) : Text_(Header) {}
    void Add(const char* Key, std::string_view Value) {
        Text_ += ", ";
        Text_ += Key;
        Text_ += '=';
        Text_ += Value;
    }
    void AddNumber(const char* Key, double Value) { Add(Key, FloatToShortestStr(Value)); }
    void AddInteger(const char* Key, int64_t Value) { Add(Key, IntToStr(Value)); }
    const std::string& Text() const { return Text_; }

private:
    std::string Text_;
};

// A deep view at the precision the reader keeps for it, its doubles as the
// view had them.
TView KeptDigits(const TView& View) {
    const int32_t bits = CoordinateBits(View);
    TDeepView d = *View.Deep;
    for (TBigReal* x : {&d.CenterRe, &d.CenterIm, &d.JuliaRe, &d.JuliaIm}) x->SetPrecision(bits);
    if (View.Kind != fkJulia) d.JuliaRe = d.JuliaIm = TBigReal(int64_t{0}, bits);
    TView kept = View;
    kept.Deep = std::make_shared<const TDeepView>(std::move(d));
    return kept;
}

}  // namespace

TRecommendation CaptureRecommendation(const TMandel& Mandel, const std::string& Title, const std::string& McfName) {
    TRecommendation entry(Mandel.GetKind());
    entry.Title = Title;
    entry.SetView(Mandel.GetView());
    entry.MaxIter = Mandel.GetMaxIter();
    entry.ColorStep = Mandel.GetColorStep() == 1 ? -1 : Mandel.GetColorStep();
    entry.McfName = McfName;
    entry.DrawMode = Mandel.DrawMode;
    if (IsPotentialDrawMode(Mandel.DrawMode)) {
        // The engine reads each flag as "is it 1".
        entry.PotentialVariant = Mandel.PotentialVariant == 1 ? 1 : 0;
        entry.BrightnessFold = Mandel.BrightnessFold == 1;
        entry.EscapeRadius = Mandel.GetEscapeRadius();
        entry.InvertBrightness = Mandel.InvertBrightness == 1;
        entry.ScaleExponent = Mandel.GetScaleExponent();
        entry.ShadingFunction = Mandel.ShadingFunction;
    }
    return entry;
}

std::string FormatRecommendation(const TRecommendation& Entry) {
    CheckText("title", Entry.Title);
    CheckText("palette name", Entry.McfName);
    CheckText("memo", Entry.Memo);
    const TPosition& position = *Entry.Position;
    const uint8_t kind = position.GetKind();
    if (kind != fkMandelbrot && kind != fkJulia) throw EConvertError("A scene is a Mandelbrot or a Julia view");
    TLine line(kind == fkJulia ? "T=JULIA" : "T=MANDEL");
    line.Add("Title", Entry.Title);
    // A deep view with the digits the reader keeps for its height.
    TRecommendation exact(kind);
    const TRecommendation* written = &Entry;
    if (Entry.Deep) {
        exact.SetView(KeptDigits(Entry.View()));
        exact.Title = Entry.Title;
        exact.MaxIter = Entry.MaxIter;
        exact.ColorStep = Entry.ColorStep;
        exact.McfName = Entry.McfName;
        exact.Memo = Entry.Memo;
        exact.DrawMode = Entry.DrawMode;
        exact.PotentialVariant = Entry.PotentialVariant;
        exact.BrightnessFold = Entry.BrightnessFold;
        exact.EscapeRadius = Entry.EscapeRadius;
        exact.InvertBrightness = Entry.InvertBrightness;
        exact.ScaleExponent = Entry.ScaleExponent;
        exact.ShadingFunction = Entry.ShadingFunction;
        written = &exact;
        const TDeepView& d = *exact.Deep;
        line.Add("Cr", ExactText(d.CenterRe));
        line.Add("Ci", ExactText(d.CenterIm));
        line.Add("W", WidthText(d.Width));
        if (kind == fkJulia) {
            line.Add("Jr", ExactText(d.JuliaRe));
            line.Add("Ji", ExactText(d.JuliaIm));
        }
    } else {
        line.AddNumber("Cr", position.Center.Re);
        line.AddNumber("Ci", position.Center.Im);
        line.AddNumber("W", position.ViewWidth);
        if (kind == fkJulia) {
            line.AddNumber("Jr", position.GetJuliaConstant().Re);
            line.AddNumber("Ji", position.GetJuliaConstant().Im);
        }
    }
    if (Entry.MaxIter != -1) line.AddInteger("I", Entry.MaxIter);
    if (Entry.ColorStep != -1) line.AddInteger("D", Entry.ColorStep);
    if (Entry.Power != 2) line.AddInteger("Pow", Entry.Power);
    if (!Entry.McfName.empty()) line.Add("MCF", Entry.McfName);
    if (Entry.DrawMode != dmNormal) line.AddInteger("DM", DrawModeToStored(Entry.DrawMode));
    if (Entry.PotentialVariant != 0) line.AddInteger("CM", Entry.PotentialVariant);
    if (Entry.BrightnessFold) line.AddInteger("RE", 1);
    // Bit for bit: "CO=-0" is a value of its own.
    if (!SameDouble(Entry.EscapeRadius, 2.0)) line.AddNumber("ER", Entry.EscapeRadius);
    if (Entry.InvertBrightness) line.AddInteger("LD", 1);
    if (!SameDouble(Entry.ScaleExponent, 0.0)) line.AddNumber("CO", Entry.ScaleExponent);
    if (Entry.ShadingFunction != 0) line.AddInteger("PB", Entry.ShadingFunction);
    if (!Entry.Memo.empty()) line.Add("Memo", Entry.Memo);

    // The show reads the line with this reader: it must take the line, and
    // give back the very scene.
    TRecommendationList check;
    try {
        check.LoadFromBytes(line.Text());
    } catch (const EAbort&) {
        throw EConvertError("The scene line would be refused: " +
                            (check.ErrorMessage.empty() ? std::string("a value does not convert") : check.ErrorMessage));
    }
    if (check.Count() != 1 || !SameEntry(check.Item(0), *written))
        throw EConvertError("The scene has no line that reads back as the same scene");
    return line.Text();
}

void AppendRecommendation(const std::string& FileName, std::string_view Line, std::string_view Comment) {
    namespace fs = std::filesystem;
    if (HoldsNul(FileName)) throw EInOutError("Cannot open file \"" + FileName + "\". Invalid file name");
    const fs::path path = fs::u8path(FileName);
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (error) throw EInOutError("Cannot open file \"" + FileName + "\". " + error.message());
    std::string text;
    if (exists) {
        if (!FileExists(FileName)) throw EInOutError("Cannot open file \"" + FileName + "\". It is not a file");
        // Only the last byte matters: does the last line have its end?
        std::ifstream in = OpenInputFile(FileName);
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size < 0) throw EInOutError("Cannot read file \"" + FileName + "\"");
        if (size > 0) {
            char last = 0;
            in.seekg(-1, std::ios::end);
            if (!in.get(last)) throw EInOutError("Cannot read file \"" + FileName + "\"");
            if (last != '\n') text += kLineEnd;
        } else {
            text.append(Comment).append(kLineEnd);
        }
    } else {
        text.append(Comment).append(kLineEnd);
    }
    text.append(Line).append(kLineEnd);
    errno = 0;
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::app);
    if (!out.is_open()) {
        const int code = errno;
        throw EInOutError("Cannot open file \"" + FileName + "\" for writing. " +
                          (code ? std::strerror(code) : "Access is denied"));
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) throw EInOutError("Cannot write file \"" + FileName + "\"");
}

int32_t CountSceneLines(std::string_view Bytes) {
    int32_t count = 0;
    while (!Bytes.empty()) {
        const std::size_t end = Bytes.find('\n');
        const std::string line = TRecommendationList::NormalizeLine(Bytes.substr(0, end));
        const std::size_t comma = line.find(',');
        if (comma != std::string::npos) {
            const std::string header = UpperCase(std::string_view(line).substr(0, comma));
            if ((header == "T=MANDEL" || header == "T=JULIA") && count < INT32_MAX) ++count;
        }
        if (end == std::string_view::npos) break;
        Bytes.remove_prefix(end + 1);
    }
    return count;
}

}  // namespace nimbrel
