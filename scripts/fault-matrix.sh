#!/usr/bin/env bash
# Runs the whole fault matrix (every point of a run with every fault that applies there) on the
# normal build and writes docs/reliability.md with one row per case.
#   scripts/fault-matrix.sh [JOBS]      JOBS cases at a time (default 2)
# The cases that make the PC's disk full or its backup folder read-only mount a small tmpfs,
# which needs root (or CAP_SYS_ADMIN); without it they are reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
build=${FLINTCAST_BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || FLINTCAST_BUILD_TARGETS=test_matrix bash scripts/build.sh normal
cmake --build "$build" -j 2 --target test_matrix

# The shards' output stays in the build folder: a case that failed its checks prints every run's
# output there.
work="$(cd "$build" && pwd)/fault-matrix"
rm -rf "$work"
mkdir -p "$work"
export FLINTCAST_FAULT_MATRIX=all FLINTCAST_FAULT_MATRIX_REPORT="$work/rows"
started=$(date +%s)
pids=()
for ((i = 0; i < jobs; i++)); do
  GTEST_TOTAL_SHARDS=$jobs GTEST_SHARD_INDEX=$i "$build/tests/test_matrix" >"$work/shard$i.log" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
seconds=$(($(date +%s) - started))
touch "$work/rows"

cases=$(wc -l <"$work/rows")
failed=$(grep -c '| FAILED' "$work/rows" || true)
false_pass=$(grep -c 'false PASS' "$work/rows" || true)
lost=$({ grep -o '[0-9]* backup bytes lost' "$work/rows" || true; } | awk '{s += $1} END {print s + 0}')
broken=$(grep -Ec 'hung|crashed' "$work/rows" || true)
skipped=$({ grep -h '^\[  SKIPPED \] Matrix/' "$work"/shard*.log || true; } | wc -l)

{
  cat <<EOF
# Reliability: the fault matrix

Each case is a whole update of a simulated Android-based unit (project 46: identity, NV and RF NV
items, EFS user files and a WiFi board file, all wiped by the streamed EFS image or the fastboot
flash) with one fault injected at one point of the run. The simulator makes the device's faults
(a reply lost, spoiled, refused or late; the cable pulled; a unit that does not come back or comes
back under new port names); the test makes the PC's: Stop pressed (SIGINT when the run shows the
point's first line), the backup folder read-only (a tmpfs remounted read-only at that line, or
from the start for the first backup file) and the disk full (a tmpfs with exactly the room the
backup files before the point take). Every case is checked the same way:

- no PASS unless the unit's data (identity, NV, RF NV, EFS files, board file) equals what it was before;
- the run ends by itself, without a crash, within 150 s;
- a backup the run completed is, byte for byte, the backup a run without faults makes;
- with the fault cleared and the unit plugged in again, \`flintcast resume\` ends in PASS with the
  unit's data as before (when the run never finished its backup, there is nothing to resume and a
  new \`flintcast run\` must pass instead).

Written by \`scripts/fault-matrix.sh\`, which keeps each shard's output (with every run of a
case that failed a check) in \`build/fault-matrix/\`; the test suite runs a fixed part of the
matrix (\`ctest -R Matrix\`).

| Cases | Failed checks | False PASS | Lost backup bytes | Crashes and hangs | Skipped | Run time |
|---|---|---|---|---|---|---|
| $cases | $failed | $false_pass | $lost | $broken | $skipped | ${seconds} s with $jobs at a time |

| # | Part | Point | Fault | Injection | Outcome of the run | Afterwards | Checks | Run s |
|---|---|---|---|---|---|---|---|---|
EOF
  sort -t'|' -k2,2n "$work/rows"
} >docs/reliability.md

echo "fault matrix: $cases cases, $failed with failed checks, $false_pass false PASS, $lost backup bytes lost," \
     "$broken crashes or hangs, $skipped skipped, $seconds s; docs/reliability.md written"
[ "$status" -eq 0 ] || { cat "$work"/shard*.log | grep -E '^\[  FAILED  \]' || true; exit 1; }
