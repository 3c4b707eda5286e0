# Cross toolchain: 64-bit Windows binaries from Debian's mingw-w64 (posix threads,
# which GoogleTest needs for std::mutex).  A 64-bit Explorer loads only 64-bit
# shell extensions, so this build is a deliverable beside the 32-bit one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every test executable runs under the 64-bit Wine loader in a 64-bit prefix
# (tools/wine-env.sh with TESSEL_ARCH=x86_64 prepares it).  The loader is
# named directly: Debian's "wine" script prefers the 32-bit loader, which
# cannot start on hosts without IA-32 emulation.
find_program(WINE_PROGRAM NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE_PROGRAM NAMES wine64)
if(NOT WINE_PROGRAM)
  message(WARNING "wine64 not found (Debian package wine64): the x86_64 tests cannot run")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
