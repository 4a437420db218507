// How a scene of the scene list reaches the engine: the one routine the show
// window and nimbrel-render share, so that both draw the same picture.
#pragma once

#include <cstdint>
#include <string>

#include "values/fractal_types.h"

namespace nimbrel {

class TMandel;
class TRecommendationList;

// The palette file of a scene: the palette folder, the platform's path
// separator ("\" on Windows), the MCF name decoded from Shift-JIS, ".mcf".
// A name that is no Shift-JIS text, or that holds a character below 32,
// names no file: EConvertError.
std::string McfPath(const std::string& McfFolder, const std::string& McfName);

// Applies scene Index to the engine, in the order of each picture step of the
// show: the view (kind, centre, width, Julia constant, power), the iteration
// limit (only when the scene gives one), the colour step (1 when absent), the
// palette (only when the scene names one and its file exists; a name that
// names no file keeps the palette silently; a bad file shows its message and
// aborts silently), then the draw mode with the six potential options, or
// DefaultDrawMode alone when the scene names no draw mode.
void ApplyRecommendation(TMandel& Mandel, const TRecommendationList& List, int32_t Index,
                         const std::string& McfFolder, TDrawMode DefaultDrawMode);

}  // namespace nimbrel
