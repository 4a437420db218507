// Writing scenes, the inverse of reading them: the engine's current view as a
// TRecommendation, that entry as one MRP line which the reader gives back
// field for field, and the line appended to a scene file without touching a
// byte that is already there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scene/URecommendation.h"

namespace nimbrel {

class TMandel;

// The scene of the engine's current view: what ApplyRecommendation needs to
// draw the same picture on any engine. Kind, centre, view width, the Julia
// constant of a Julia view, the iteration limit, the colour step (absent when
// it is 1), the power, the draw mode (absent for dmNormal: such a scene is
// drawn in the draw mode of the settings) and, in the shaded modes 5..8 only,
// their six options. Title and McfName are Shift-JIS bytes as the file holds
// them; an empty McfName names no palette.
TRecommendation CaptureRecommendation(const TMandel& Mandel, const std::string& Title, const std::string& McfName);

// One MRP line for Entry, without line end: "T=MANDEL" or "T=JULIA", Title,
// Cr, Ci, W, Jr and Ji for a Julia scene, then each of I, D, Pow, MCF, DM, CM,
// RE, ER, LD, CO, PB and Memo whose value differs from that of an absent key.
// Numbers take the fewest digits that read back to the same double. The line
// is read back by TRecommendationList before it is answered: a text value that
// a line cannot hold, a line the reader refuses, or one that reads back as
// another scene raises EConvertError with the reason.
std::string FormatRecommendation(const TRecommendation& Entry);

// Appends Line and CR LF to the scene file FileName (UTF-8). The bytes already
// in the file stay as they are; when its last line has no line end, CR LF
// comes first. A file that does not exist yet, or is empty, begins with the
// comment line Comment. EInOutError when the file cannot be read or written.
void AppendRecommendation(const std::string& FileName, std::string_view Line, std::string_view Comment);

// The number of lines of an MRP file's bytes that start a scene, as the
// reader tells them ("T=MANDEL," or "T=JULIA," in any case and spacing),
// whether their fields are good or not.
int32_t CountSceneLines(std::string_view Bytes);

}  // namespace nimbrel
