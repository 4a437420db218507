#include "shading/UPotentialBrightMethod.h"

#include "platform/exceptions.h"

namespace nimbrel {

namespace {

const char* const kPotentialBrightError = "PotentialBright Error";

}  // namespace

TShadeFunc ShadeFunctionFor(uint8_t ShadingFunction) {
    switch (ShadingFunction) {
        case 0: return &ShadeSignedCosine;
        case 1: return &ShadeOffsetRatio;
        case 2: return &ShadeReciprocal;
        case 3: return &ShadeSine;
        default: RaisePotentialBrightError();
    }
}

void RaisePotentialBrightError() { throw ERangeError(kPotentialBrightError); }

}  // namespace nimbrel
