#include "values/fractal_types.h"

namespace nimbrel {

namespace {

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

uint8_t FlagFromStored(int32_t Value) { return Value == 1 ? 1 : 0; }

uint8_t ShadingFromStored(int32_t Value) { return (Value >= 1 && Value <= 3) ? static_cast<uint8_t>(Value) : 0; }

}  // namespace nimbrel
