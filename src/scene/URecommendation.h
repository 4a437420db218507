// The recommendation list: the scenes of an MRP file, each a view of the
// Mandelbrot set or of a Julia set with its own drawing parameters.
//
// An MRP file is Shift-JIS text, one entry per line:
//   T=MANDEL, Title=..., Cr=..., Ci=..., W=..., [I=, D=, Pow=, MCF=, DM=, ...]
//   T=JULIA,  Title=..., Cr=..., Ci=..., W=..., Jr=..., Ji=..., [...]
// Blanks around "," and "=" are free, keys are matched in any case, and every
// other line is a comment. Text values (Title, Memo, MCF) are kept as the
// file's bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "scene/UPosition.h"
#include "values/fractal_types.h"
#include "values/view.h"

namespace nimbrel {

// Error codes of a failed load; a syntax failure (a field without a key, a
// value that does not convert) keeps the code and message it had.
enum : int32_t {
    mrpFileNotFound = 100,
    mrpNoTitle = 110,
    mrpNoCi = 120,
    mrpNoCr = 130,
    mrpNoW = 140,
    mrpBadW = 150,
    mrpNoJi = 160,
    mrpNoJr = 170,
    mrpBadI = 180,
    mrpBadD = 190,
    mrpBadPow = 200,
};

// One scene. Owns its position, whose class is the scene's kind.
class TRecommendation {
public:
    // Kind 1 makes a Mandelbrot position, 2 a Julia position, anything else
    // the plain base.
    explicit TRecommendation(uint8_t Kind);

    // The scene's view: the position's kind, centre, width and Julia
    // constant, and the power. SetView stores them; the kind stays the
    // position's.
    TView View() const;
    void SetView(const TView& Value);

    double ScaleExponent = 0;
    int32_t ColorStep = 0;         // -1 when the file does not give it
    uint8_t PotentialVariant = 0;
    uint8_t DrawMode = dmNormal;   // 0 when the file does not give it
    double EscapeRadius = 2.0;
    int32_t MaxIter = 0;           // -1 when the file does not give it
    bool InvertBrightness = false;
    std::string Memo;
    std::unique_ptr<TPosition> Position;
    int32_t Power = 0;
    bool BrightnessFold = false;
    uint8_t ShadingFunction = 0;
    std::string Title;
    std::string McfName;           // palette name without folder and extension
    // Every digit of a deep view (values/view.h), or none: the position's
    // doubles are the whole view.
    std::shared_ptr<const TDeepView> Deep;
};

class TRecommendationList {
public:
    int32_t Count() const { return static_cast<int32_t>(Items_.size()); }

    // Reads the MRP file FileName (UTF-8). On success its entries replace the
    // previous ones; on failure the error fields are set, the previous entries
    // stay and the silent abort is raised. An error of the system while
    // reading fails the line being read, and one while opening the file fails
    // its first line.
    void LoadFromFile(const std::string& FileName);
    // LoadFromFile as the show takes a scene file up: a file without any
    // scene fails too (the silent abort, the error fields as they were), and
    // any failure keeps the previous entries.
    void LoadScenes(const std::string& FileName);
    // The same for the bytes of a file (no existence test).
    void LoadFromBytes(std::string_view Bytes);

    // Removes blanks (code 32 or less) around every "," and "=" and at both
    // ends.
    static std::string NormalizeLine(std::string_view Line);

    // The accessors take an index 0..Count-1; any other raises EListError.
    const TRecommendation& Item(int32_t Index) const;
    TView GetView(int32_t Index) const { return Item(Index).View(); }
    TComplexPoint GetCenter(int32_t Index) const { return Item(Index).Position->Center; }
    int32_t GetColorStep(int32_t Index) const { return Item(Index).ColorStep; }
    int32_t GetMaxIter(int32_t Index) const { return Item(Index).MaxIter; }
    const std::string& GetMcfName(int32_t Index) const { return Item(Index).McfName; }
    // The silent abort for a Mandelbrot entry.
    TComplexPoint GetJuliaConstant(int32_t Index) const { return Item(Index).Position->GetJuliaConstant(); }
    uint8_t GetKind(int32_t Index) const { return Item(Index).Position->GetKind(); }
    double GetViewWidth(int32_t Index) const { return Item(Index).Position->ViewWidth; }
    int32_t GetPower(int32_t Index) const { return Item(Index).Power; }
    uint8_t GetPotentialVariant(int32_t Index) const { return Item(Index).PotentialVariant; }
    TDrawMode GetDrawMode(int32_t Index) const { return static_cast<TDrawMode>(Item(Index).DrawMode); }
    double GetEscapeRadius(int32_t Index) const { return Item(Index).EscapeRadius; }
    bool GetInvertBrightness(int32_t Index) const { return Item(Index).InvertBrightness; }
    bool GetBrightnessFold(int32_t Index) const { return Item(Index).BrightnessFold; }
    double GetScaleExponent(int32_t Index) const { return Item(Index).ScaleExponent; }
    uint8_t GetShadingFunction(int32_t Index) const { return Item(Index).ShadingFunction; }

    // The text the user is shown when a load has failed (or left no scene):
    // for a missing file the message alone, else FileName (the scene file as
    // the settings hold it), the line and the message, with CR LF between.
    std::string LoadFailureText(const std::string& FileName) const;

    // The last failure; a later success does not reset them.
    int32_t ErrorCode = 0;
    int32_t ErrorLine = 0;
    std::string ErrorMessage;

private:
    void LoadFromStream(std::streambuf& Input);

    std::vector<TRecommendation> Items_;
};

}  // namespace nimbrel
