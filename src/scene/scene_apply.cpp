#include "scene/scene_apply.h"

#include "engine/mandel_class.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/text_file.h"
#include "scene/Hmcfr.h"
#include "scene/URecommendation.h"

namespace nimbrel {

namespace {

#ifdef _WIN32
const char* const kPathSeparator = "\\";
#else
const char* const kPathSeparator = "/";
#endif

}  // namespace

std::string McfPath(const std::string& McfFolder, const std::string& McfName) {
    // A control character is no part of a palette's name; a NUL would even cut
    // the path short at the system call and name another file.
    for (const char c : McfName)
        if (static_cast<unsigned char>(c) < 32) throw EConvertError("A palette name holds a control character");
    return McfFolder + kPathSeparator + DecodeCp932(McfName) + ".mcf";
}

void ApplyRecommendation(TMandel& Mandel, const TRecommendationList& List, int32_t Index,
                         const std::string& McfFolder, TDrawMode DefaultDrawMode) {
    Mandel.SetView(List.GetView(Index));
    if (List.GetMaxIter(Index) != -1) Mandel.SetMaxIter(List.GetMaxIter(Index));
    Mandel.SetColorStep(List.GetColorStep(Index) == -1 ? 1 : List.GetColorStep(Index));
    const std::string& name = List.GetMcfName(Index);
    if (!name.empty()) {
        // A name that is no Shift-JIS text or holds a control character names
        // no file: the palette stays, as for any palette that is not there.
        std::string path;
        try {
            path = McfPath(McfFolder, name);
        } catch (const EConvertError&) {
        }
        if (!path.empty() && FileExists(path)) LoadPalette(Mandel, path);
    }
    const TDrawMode mode = List.GetDrawMode(Index);
    if (mode != dmNormal) {
        Mandel.DrawMode = mode;
        Mandel.PotentialVariant = List.GetPotentialVariant(Index);
        Mandel.BrightnessFold = List.GetBrightnessFold(Index) ? 1 : 0;
        Mandel.SetEscapeRadius(List.GetEscapeRadius(Index));
        Mandel.InvertBrightness = List.GetInvertBrightness(Index) ? 1 : 0;
        Mandel.SetScaleExponent(List.GetScaleExponent(Index));
        Mandel.ShadingFunction = List.GetShadingFunction(Index);
    } else {
        Mandel.DrawMode = DefaultDrawMode;
    }
}

}  // namespace nimbrel
