#include "values/fractal_types.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "platform/sysutils.h"

namespace nimbrel {

namespace {

// By the engine's numbers.
const char* const kDrawModeNames[] = {"row by row",          "coarse to fine",   "boundary trace",
                                      "interlaced",          "anti-aliased",     "escape-radius counts",
                                      "potential relief",    "smooth relief",    "rings"};

int32_t SwapStoredPair(int32_t value) {
    switch (value) {
        case 0: case 1: case 2: case 5: case 6: case 7: case 8: return value;
        case 3: return 4;
        case 4: return 3;
        default: return 0;
    }
}

}  // namespace

TDrawMode StoredToDrawMode(int32_t Value) { return static_cast<TDrawMode>(SwapStoredPair(Value)); }

int32_t DrawModeToStored(uint8_t Mode) { return SwapStoredPair(Mode & 0x7F); }

bool TryStoredDrawMode(std::string_view Text, TDrawMode& Mode) {
    int32_t stored = 0;
    if (!TryStrToInt(Text, stored) || stored < 0 || stored > 8) return false;
    Mode = StoredToDrawMode(stored);
    return true;
}

const char* DrawModeName(uint8_t Mode) { return Mode < std::size(kDrawModeNames) ? kDrawModeNames[Mode] : "?"; }

std::string DrawModeTable() {
    constexpr int32_t kRows = 3, kColumns = 3;
    std::size_t widths[kColumns] = {};
    for (int32_t stored = 0; stored < kRows * kColumns; ++stored) {
        std::size_t& width = widths[stored / kRows];
        width = std::max(width, std::string_view(DrawModeName(StoredToDrawMode(stored))).size());
    }
    std::string table;
    for (int32_t row = 0; row < kRows; ++row) {
        table.append(" ");
        for (int32_t column = 0; column < kColumns; ++column) {
            const int32_t stored = column * kRows + row;
            const std::string_view name = DrawModeName(StoredToDrawMode(stored));
            table.append(" ").append(1, static_cast<char>('0' + stored)).append(" ").append(name);
            if (column + 1 < kColumns) table.append(widths[column] - name.size() + 1, ' ');
        }
        table.append("\n");
    }
    return table;
}

uint8_t FlagFromStored(int32_t Value) { return Value == 1 ? 1 : 0; }

uint8_t ShadingFromStored(int32_t Value) { return (Value >= 1 && Value <= 3) ? static_cast<uint8_t>(Value) : 0; }

}  // namespace nimbrel
