#!/usr/bin/env bash
# Builds the Debian package of Flintcast into build/package-out/ and checks it: the package is
# unpacked into a scratch root (dpkg -x) and its own `flintcast --version` and `flintcast demo`
# run from there. scripts/package.sh [--no-check]
set -euo pipefail
cd "$(dirname "$0")/.."
say() { printf '\n==> %s\n' "$*"; }
check=1
[[ ${1:-} == --no-check ]] && check=0
dir=${FLINTCAST_BUILD_DIR:-build}

say "Building the programs ($dir)"
if [[ ! -f $dir/build.ninja ]]; then bash scripts/build.sh normal; fi
cmake -S . -B "$dir" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
targets=(flintcast flintcast-devsim drivset modemkick ravelin flintcast_default_images flintcast_man_pages)
for optional in flintcast-gearswap flintcast-gui; do
  if ninja -C "$dir" -t targets all 2>/dev/null | grep -q "^$optional:"; then targets+=("$optional"); fi
done
ninja -C "$dir" "${targets[@]}"

say "Making the .deb"
rm -rf "$dir/package-out"
(cd "$dir" && cpack -G DEB --config CPackConfig.cmake >/dev/null)
deb=$(ls "$dir"/package-out/*.deb)
echo "$deb"
dpkg-deb --field "$deb" Package Version Depends Recommends

[[ $check == 1 ]] || exit 0
say "Checking the package in a scratch root"
scratch=$(mktemp -d /tmp/flintcast-package-check-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
for path in usr/bin/flintcast usr/bin/flintcast-devsim usr/lib/flintcast/drivset usr/lib/flintcast/modemkick \
            usr/lib/flintcast/libravelin.so usr/share/flintcast/package/Config.ini usr/share/man/man1/flintcast.1 \
            usr/share/bash-completion/completions/flintcast; do
  [[ -e $scratch/root/$path ]] || { echo "missing in the package: /$path" >&2; exit 1; }
done
ls "$scratch"/root/usr/lib/udev/rules.d/*.rules >/dev/null || { echo "no udev rules in the package" >&2; exit 1; }
"$scratch/root/usr/bin/flintcast" --version
# The demo from the package, in a home of its own that must stay empty: the demo keeps its
# settings, logs and backups in its own folder.
mkdir -p "$scratch/home"
env -u XDG_CONFIG_HOME -u XDG_STATE_HOME -u XDG_DATA_HOME HOME="$scratch/home" FLINTCAST_TIME_SCALE=0.05 \
  "$scratch/root/usr/bin/flintcast" demo > "$scratch/demo.log" 2>&1 || { cat "$scratch/demo.log"; exit 1; }
tail -n 3 "$scratch/demo.log"
if [[ -n $(ls -A "$scratch/home") ]]; then echo "the demo wrote into the user's home:" >&2; find "$scratch/home" >&2; exit 1; fi
# A demo whose reader goes away (a closed pipe) stops, and its simulator ends with it.
env HOME="$scratch/home" FLINTCAST_TIME_SCALE=0.05 "$scratch/root/usr/bin/flintcast" demo 2>/dev/null | head -n 3 || true
for _ in $(seq 100); do
  pgrep -f "$scratch/root/usr/lib/flintcast/flintcast" >/dev/null || break
  sleep 0.2
done
if pgrep -af "$scratch/root/usr/lib/flintcast/flintcast"; then echo "the demo or its simulator outlived a closed pipe" >&2; exit 1; fi
say "Package checked: $deb"
