#!/usr/bin/env bash
# Installs every Debian package Flintcast needs to build, test and run.
# Runs as root on a fresh Debian 12 machine; skips apt-get when all are present.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libfmt-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xorriso
  libusb-1.0-0-dev adb fastboot umockdev
  qt6-base-dev fonts-ipafont-gothic fonts-wqy-microhei xvfb
)
# The Windows cross build and Wine to run its programs (scripts/build-windows.sh); zip for its archive.
PACKAGES+=(g++-mingw-w64-x86-64-posix wine64 zip)
# Manual pages and the Debian package (scripts/package.sh).
PACKAGES+=(scdoc dpkg-dev)
# Named packages instead (scripts/fuzz.sh asks for its compiler this way).
if [ $# -gt 0 ]; then PACKAGES=("$@"); fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: run as root, or install sudo" >&2; exit 1; }
    SUDO="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
