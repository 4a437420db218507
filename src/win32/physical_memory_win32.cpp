// PhysicalMemoryBytes on Windows.
#include "platform/physical_memory.h"

#include "win32/win32_api.h"

namespace nimbrel {

uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return status.ullTotalPhys;
}

}  // namespace nimbrel
