// The two small pictures of the settings dialog's version page: the
// Mandelbrot set on the left and the Julia set of c = -0.123 + 0.745i on the
// right, coloured from deep blue through orange to white. The engine draws
// them, so they are the same pictures in every front end.
#pragma once

#include <cstdint>

#include "engine/mandel_class.h"
#include "platform/bitmap.h"

namespace nimbrel {

enum class TAboutPicture : uint8_t { Mandelbrot, Julia };

// Sets up an engine for the picture at Width x Height pixels: kind, view,
// Julia constant, iteration limit, colour step and colour table. The whole
// set stays in view whatever the proportions: its 3 units span the shorter
// side. A size of 0 or less raises the silent abort.
void SetUpAboutPicture(TMandel& Mandel, TAboutPicture Picture, int32_t Width, int32_t Height);

// Draws the picture with an engine of its own and answers its pixels; a size
// of 0 or less gives an empty bitmap. No message is processed while it draws:
// the dialog makes its pictures while its window is being built, and no
// handler may run on a window that is half made.
TBitmap MakeAboutPicture(TAboutPicture Picture, int32_t Width, int32_t Height);

}  // namespace nimbrel
