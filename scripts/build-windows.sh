#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 into build-windows/ and packs them as
# build-windows/flintcast-windows-<version>.zip: flintcast.exe, ravelin.dll,
# flintcast-gearswap.exe, drivset.exe and a short readme.
#   scripts/build-windows.sh          the programs and the zip
#   scripts/build-windows.sh tests    also the test programs (ctest runs them under Wine) and the
#                                     Windows programs the Linux build's Wine tests run
# Build-time helpers (the package generator) run under Wine, in a prefix inside the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-programs}
dir=${FLINTCAST_WINDOWS_BUILD_DIR:-build-windows}
bash scripts/install-deps.sh
export WINEPREFIX="$PWD/$dir/wine" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  start=$(date +%s)
  wineboot -i >/dev/null 2>&1
  # Windows and dialogs without a display: Wine's null graphics driver, set before any program
  # of the prefix starts its desktop with another one.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  echo "Wine prefix made in $(( $(date +%s) - start )) s"
fi
flags=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
       -DFLINTCAST_WERROR=ON)
# ccache caches files built with a precompiled header only with this sloppiness.
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_SLOPPINESS=pch_defines,time_macros
fi
if [ "$what" = tests ]; then flags+=(-DFLINTCAST_BUILD_TESTS=ON); else flags+=(-DFLINTCAST_BUILD_TESTS=OFF); fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
targets=(flintcast_windows_zip)
if [ "$what" = tests ]; then targets+=(test_config test_controller test_platform com_probe port_list port_registrar); fi
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
ls "$dir"/flintcast-windows-*.zip
