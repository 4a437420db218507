// PNG files through Windows' imaging component (WIC), which every Windows
// has: the explorer's pictures, pixel for pixel as nimbrel-render writes them
// with libpng. COM must be initialised on the calling thread.
#pragma once

#include <string>

#include "platform/bitmap.h"

namespace nimbrel {

// Writes Picture as an 8-bit RGB PNG file at Path (UTF-8): pixel (x, y) of
// the bitmap is pixel (x, y) of the image. Answers false with the reason, and
// leaves no file behind, when it cannot.
bool WriteWicPng(const std::string& Path, const TBitmap& Picture, std::string& Error);

}  // namespace nimbrel
