// Writes a bitmap as an 8-bit RGB PNG file.
#pragma once

#include <string>

#include "platform/bitmap.h"

namespace nimbrel {

// Pixel (x, y) of the bitmap becomes pixel (x, y) of the image: red from bits
// 0-7 of its colour value, green from 8-15, blue from 16-23. Answers false
// and sets `error` when the file cannot be written.
bool WritePng(const std::string& path, const TBitmap& bitmap, std::string& error);

}  // namespace nimbrel
