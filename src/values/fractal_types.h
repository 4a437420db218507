// The small values that the engine, the scene files and the settings share:
// points of the complex plane, the two kinds of fractal, the draw modes with
// their stored numbering, and the colour tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {

// A point of the complex plane: a view's centre, a Julia constant, a corner.
struct TComplexPoint {
    double Re = 0;
    double Im = 0;
};

enum TFractalKind : uint8_t { fkMandelbrot = 1, fkJulia = 2 };

// The draw modes as the engine numbers them: 0..4 colour each pixel by its
// escape count, 5..8 shade the picture from a potential.
enum TDrawMode : uint8_t {
    dmNormal = 0,
    dmSearch = 1,
    dmBoundary = 2,
    dmEmerge = 3,
    dmAntialias = 4,
    dmPotentialCache = 5,
    dmPotentialGreen = 6,
    dmPotentialSmooth = 7,
    dmPotentialCosine = 8,
};

inline bool IsIntegerDrawMode(uint8_t Mode) { return Mode < 5; }
inline bool IsPotentialDrawMode(uint8_t Mode) { return !IsIntegerDrawMode(Mode); }

// Draw-mode numbers as the settings and the MRP "DM" key store them: the
// engine's modes with 3 and 4 exchanged. Numbers outside 0..8 read as 0.
TDrawMode StoredToDrawMode(int32_t Value);
int32_t DrawModeToStored(uint8_t Mode);
// A stored number 0..8 given as integer text (a command line's "-m 6"), as
// the engine's draw mode; false for any other text, and Mode stays.
bool TryStoredDrawMode(std::string_view Text, TDrawMode& Mode);
// The name of a draw mode (the engine's number) in every text a user reads:
// "row by row", "coarse to fine", "boundary trace", "interlaced",
// "anti-aliased", "escape-radius counts", "potential relief", "smooth relief",
// "rings"; "?" for a number outside 0..8.
const char* DrawModeName(uint8_t Mode);
// The draw modes by their stored numbers, three columns of lines for the
// usage texts, each line indented by two blanks and ending in a newline.
std::string DrawModeTable();

// The stored flags of the shaded modes: 1 is on, anything else off; the
// shading function 1..3, anything else 0.
uint8_t FlagFromStored(int32_t Value);
uint8_t ShadingFromStored(int32_t Value);

// Colour values (red in bits 0-7, green 8-15, blue 16-23) indexed from 0.
using TPaletteArray = std::vector<int32_t>;

}  // namespace nimbrel
