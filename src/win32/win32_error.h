// The system's last error as the program's exception.
#pragma once

namespace nimbrel {

// Raises an Exception with the code and text of GetLastError.
[[noreturn]] void RaiseLastOSError();

}  // namespace nimbrel
