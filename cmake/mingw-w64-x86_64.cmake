# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NIMBREL_MINGW_PREFIX x86_64-w64-mingw32)

# The POSIX thread model gives the whole C++ thread library; it is linked
# statically like the rest of the runtime.
find_program(CMAKE_CXX_COMPILER NAMES ${NIMBREL_MINGW_PREFIX}-g++-posix ${NIMBREL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${NIMBREL_MINGW_PREFIX}-gcc-posix ${NIMBREL_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NIMBREL_MINGW_PREFIX}-windres REQUIRED)

# Headers and libraries only from the MinGW sysroot, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${NIMBREL_MINGW_PREFIX})
# Libraries built for Windows outside the sysroot (libpng of nimbrel-render):
# each prefix of CMAKE_PREFIX_PATH is a root as well.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
