#include "scene/UPosition.h"

#include "platform/exceptions.h"

namespace nimbrel {

TComplexPoint TPosition::GetJuliaConstant() const { Abort(); }

void TPosition::SetJuliaConstant(const TComplexPoint&) { Abort(); }

}  // namespace nimbrel
