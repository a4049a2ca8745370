# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model, so std::thread and
# std::mutex work). Programs link libgcc, libstdc++ and winpthread statically: the .exe and .dll
# files run on Windows and under Wine without any DLL copied beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FLINTCAST_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${FLINTCAST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLINTCAST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FLINTCAST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FLINTCAST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test programs and build-time helpers (the package generator) run under Wine, in a prefix of
# the build folder's own, quietly. Wine makes the prefix on first use; scripts/build-windows.sh
# makes it beforehand with "wineboot -i".
find_program(FLINTCAST_WINE wine)
if(FLINTCAST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all ${FLINTCAST_WINE})
endif()
