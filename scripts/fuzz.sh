#!/usr/bin/env bash
# Runs every fuzz target with libFuzzer, the address and the undefined-behaviour sanitizers:
#   scripts/fuzz.sh SECONDS [TARGET...]      (targets by name: hdlc_frames, ini_file, ...)
# Builds the targets with clang into build-fuzz/ (a configure of its own: no tests, benchmarks
# or window), runs each for SECONDS on a copy of its seed corpus (fuzz/corpus/<target>) and
# prints per target the executions and the coverage of libFuzzer's final statistics. A crash,
# hang or sanitizer report leaves its input under build-fuzz/artifacts/<target>/ and makes the
# script exit 1; copy the input into fuzz/corpus/<target>/ with the fix so the test suite's
# corpus replay keeps checking it. clang and its fuzzer runtime are installed only when fuzzing
# (the test suite replays the corpora with the normal build alone).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}; shift || true
case "$seconds" in ''|*[!0-9]*) echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2; exit 2 ;; esac

bash scripts/install-deps.sh clang libfuzzer-14-dev libclang-rt-14-dev

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in fuzz/*.cpp; do
    name=$(basename "$f" .cpp)
    [ "$name" = replay_main ] || targets+=("$name")
  done
fi

dir=build-fuzz
flags=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFLINTCAST_FUZZ=ON
       -DFLINTCAST_BUILD_TESTS=OFF -DFLINTCAST_BUILD_BENCH=OFF -DFLINTCAST_BUILD_GUI=OFF)
if command -v ccache >/dev/null; then flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
cmake --build "$dir" -j "${FLINTCAST_FUZZ_JOBS:-2}" --target "${build_targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# FLINTCAST_FUZZ_PARALLEL=N runs N targets at a time (each libFuzzer process uses one core).
parallel=${FLINTCAST_FUZZ_PARALLEL:-1}
fuzz_one() {
  local t=$1 work="$dir/corpus/$1" artifacts="$dir/artifacts/$1/" log="$dir/logs/$1.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  echo "== $t: ${seconds}s"
  "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "fuzz/corpus/$t" >"$log" 2>&1
  echo $? >"$log.rc"
}
running=0
for t in "${targets[@]}"; do
  fuzz_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then wait -n || true; running=$((running - 1)); fi
done
wait || true
status=0
summary=()
for t in "${targets[@]}"; do
  log="$dir/logs/$t.log"
  artifacts="$dir/artifacts/$t/"
  rc=$(cat "$log.rc" 2>/dev/null || echo 1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  if [ "$rc" -eq 0 ]; then verdict=clean; else verdict="FAILED (exit $rc, see $log and $artifacts)"; status=1; fi
  summary+=("$(printf '%-18s execs %-10s cov %-6s ft %-6s %s' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$verdict")")
  [ "$rc" -eq 0 ] || grep -E 'ERROR|SUMMARY|invariant broken|runtime error|Test unit written' "$log" | head -8 || true
done
echo "== summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
exit $status
