# Cross build for 32-bit Windows with MinGW-w64 (Debian g++-mingw-w64-i686).
# Test programs run under Wine through tests/windows/wine-run.sh, with a
# private Wine prefix kept in the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The POSIX thread model: its C++ runtime has std::mutex, which GoogleTest needs.
set(OSTREL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${OSTREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${OSTREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
