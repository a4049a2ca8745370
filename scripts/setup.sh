#!/usr/bin/env bash
# Sets up a fresh Debian machine (packages, configure, build), then runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh normal
./build/bin/flintcast demo
