// PhysicalMemoryBytes on POSIX systems; Windows has its own (win32/).
#ifndef _WIN32

#include "platform/physical_memory.h"

#include <unistd.h>

#include <fstream>
#include <string>

namespace nimbrel {

namespace {

// A control group's limit in bytes, or 0 for none ("max", a missing file, or
// the huge number cgroup v1 uses for no limit, which exceeds any machine).
uint64_t GroupLimit(const char* file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 20) return 0;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    uint64_t bytes = 0;
    if (pages > 0 && pageSize > 0 && static_cast<uint64_t>(pages) <= UINT64_MAX / static_cast<uint64_t>(pageSize))
        bytes = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    // The limit of the process's group is what the system's out-of-memory
    // killer enforces inside a container.
    for (const char* file : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        const uint64_t limit = GroupLimit(file);
        if (limit > 0 && (bytes == 0 || limit < bytes)) bytes = limit;
    }
    return bytes;
}

}  // namespace nimbrel

#endif
