#!/usr/bin/env bash
# Sets up a fresh Debian machine (packages, configure, build), then runs the main job.
# Run it as yourself or as root: only the package installation needs root, and it uses sudo
# for that when you are not root.
set -euo pipefail
cd "$(dirname "$0")/.."
say() { printf '\n==> %s\n' "$*"; }
say "1/3 Installing the Debian packages Flintcast needs (skipped when all are present)"
bash scripts/install-deps.sh
say "2/3 Configuring and building (build/; about 15 minutes on 2 cores the first time)"
bash scripts/build.sh normal
say "3/3 flintcast demo: updating a simulated device with the embedded package"
./build/bin/flintcast demo
