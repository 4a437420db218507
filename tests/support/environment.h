// Sets or (with nullptr) removes an environment variable of the test process.
#pragma once

#include <cstdlib>

namespace nimbrel::testing {

inline void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

}  // namespace nimbrel::testing
