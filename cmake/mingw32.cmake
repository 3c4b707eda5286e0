# Cross toolchain: 32-bit Windows binaries from Debian's mingw-w64 (posix threads,
# which GoogleTest needs for std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every test executable runs under Wine; tools/wine-env.sh prepares the prefix.
# The 32-bit loader by its own path: Debian's "wine" script would fall back
# to the 64-bit loader, which cannot run these programs in a 32-bit prefix.
find_program(WINE_PROGRAM NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT WINE_PROGRAM)
  message(WARNING "the 32-bit Wine loader /usr/lib/wine/wine is missing (Debian package wine32:i386): the i686 tests cannot run")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
