#include "platform/exceptions.h"

namespace nimbrel {

void Abort() { throw EAbort(); }

}  // namespace nimbrel
