// The mode decision from the command line. The Windows start-up reads the
// decision once, before any window exists, and keeps it for the life of the
// process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

enum TSaverMode : uint8_t { smSaver = 0, smPreview = 1, smChangePassword = 2, smSetting = 3 };

struct TSaverInit {
    TSaverMode SaverMode = smSetting;
    // The window handle of the second argument, 0 when it is missing or not an
    // integer. A non-zero value makes the saver window a child of it.
    int32_t ParentWindow = 0;
    // The first argument in upper case.
    std::string Switch;
};

// Args are the program arguments without the program name, as UTF-8.
TSaverInit DecideSaverMode(const std::vector<std::string>& Args);

}  // namespace nimbrel
