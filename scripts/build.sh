#!/usr/bin/env bash
# Configures and builds one flavour: scripts/build.sh [normal|asan|tsan] [extra cmake args...]
# FLINTCAST_BUILD_DIR names another build folder; FLINTCAST_BUILD_TARGETS (space-separated) builds
# only those targets and what they need; ccache is used when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-normal}; shift || true
case "$flavour" in
  normal) dir=build; flags=() ;;
  asan)   dir=build-asan; flags=(-DFLINTCAST_SANITIZE=ON -DFLINTCAST_BUILD_BENCH=OFF) ;;
  tsan)   dir=build-tsan; flags=(-DFLINTCAST_TSAN=ON -DFLINTCAST_BUILD_BENCH=OFF) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
dir=${FLINTCAST_BUILD_DIR:-$dir}
if command -v ccache >/dev/null; then flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLINTCAST_WERROR=ON "${flags[@]}" "$@" >/dev/null
read -r -a targets <<< "${FLINTCAST_BUILD_TARGETS:-}"
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" -j "$(nproc)"
fi
