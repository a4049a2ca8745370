#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole suite twice:
# a normal build and an address + undefined-behaviour sanitizer build; then the threaded tests
# under the thread sanitizer, for which only their test program (and the programs it runs) is built.
# Run it as yourself or as root: only the package installation needs root (sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."
say() { printf '\n==> %s\n' "$*"; }
say "Installing the Debian packages Flintcast needs (skipped when all are present)"
bash scripts/install-deps.sh
jobs=$(nproc)
status=0
for flavour in normal asan; do
  say "$flavour build: configuring and building"
  bash scripts/build.sh "$flavour"
  say "$flavour build: running the test suite"
  dir=build; [ "$flavour" = asan ] && dir=build-asan
  # Every test runs once: a test that needs a second try is a fault to fix, not to hide.
  # The Wine tests run the Windows build's programs: they run after the Windows build.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" -LE wine || status=1
done
# The threaded tests (worker threads, the run controller's event queue, whole runs of the tool
# built with the same sanitizer) once more under the thread sanitizer.
say "tsan build: configuring and building (threaded tests)"
FLINTCAST_BUILD_TARGETS=test_run bash scripts/build.sh tsan
say "tsan build: running the threaded tests"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R '^(UpdateRunTest|RunControllerTest|CommsThreadTest|RunControllerExtrasTest|ResumeControllerTest|ResumeWorkerTest|ResumedRunTest|ProjectRunTest|BackupRoundTripTest|DualPackageRunTest)\.' || status=1
# The Windows build and its test programs under Wine, in a Wine prefix inside the build folder.
say "Windows build (mingw-w64): building the programs and the test programs"
windows_start=$(date +%s)
bash scripts/build-windows.sh tests || status=1
say "Windows build: running its tests under Wine ($(( $(date +%s) - windows_start )) s so far)"
ctest --test-dir build-windows --output-on-failure -j "$jobs" || status=1
say "Wine tests: the Windows programs against the simulator, its ports as COM ports of a Wine prefix"
ctest --test-dir build --output-on-failure -L wine || status=1
say "Windows build and tests took $(( $(date +%s) - windows_start )) s"
if [ $status -eq 0 ]; then say "All tests passed"; else say "Some tests failed (see above)"; fi
exit $status
