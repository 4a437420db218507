// The memory of the machine, for the budget of a picture.
#pragma once

#include <cstdint>

namespace nimbrel {

// The physical memory the program may use, in bytes: the machine's, or the
// limit of the process's control group when that is smaller (a container);
// 0 when the system does not tell. Asked of the system at every call.
uint64_t PhysicalMemoryBytes();

}  // namespace nimbrel
