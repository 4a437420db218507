// LoadPalette: an MCF file becomes the engine's colour table.
#include <string>

#include "engine/mandel_class.h"
#include "platform/exceptions.h"
#include "platform/StandardLibrary.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "scene/Hmcfr.h"

namespace nimbrel {

namespace {

const char* const kNoSuchFile = "がありません";  // after the file name
const char* const kLineError = " 行目にｴﾗｰがあります";  // after the line number
const char* const kNoColor = "色が１色も指定してありません";
const char* const kFileVanished = "ﾌｧｲﾙが見つかりません(あり得ないｴﾗｰです)";
const char* const kOneColor = "色が１色しかないです。もっと増やして下さい";

}  // namespace

void LoadPalette(TMandel& Mandel, const std::string& FileName) {
    if (!FileExists(FileName)) {
        ShowError(ExtractFileName(FileName) + kNoSuchFile);
        Abort();
    }
    TPaletteArray colors;
    const int32_t code = ReadMcfFile(FileName, colors);
    if (code > 0) {
        ShowError(IntToStr(code) + kLineError);
        Abort();
    }
    if (code == mcfNoColor) {
        ShowError(kNoColor);
        Abort();
    }
    if (code != 0) {
        ShowError(kFileVanished);
        Abort();
    }
    // One colour would leave the cycle of counts empty: it is doubled, and the
    // user is told, but the picture goes on.
    const bool oneColor = colors.size() == 1;
    if (oneColor) colors.push_back(colors.front());
    Mandel.SetColorTable(colors);
    if (oneColor) ShowError(kOneColor);
    Mandel.MatchPaletteToDevice(Mandel.GetColorCount());
}

}  // namespace nimbrel
