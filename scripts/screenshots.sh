#!/usr/bin/env bash
# Pictures of flintcast-gui for review and for the documentation, on a virtual X display:
# the main window as a run goes by (ready, upgrading, complete, failed) in English and
# Japanese, the branded variants 27 and 28, the compact window of 41, and every dialog.
# Needs a built tree (scripts/build.sh normal) with Qt 6; writes PNGs into build/screenshots/.
# Arguments name the series to take again (en en-fault ja p27 p28 p41 dialogs); none takes all.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FLINTCAST_BUILD_DIR:-build}
bin=$build/bin
out=$build/screenshots
scale=${FLINTCAST_SCREENSHOT_SCALE:-0.05}
for program in flintcast-gui flintcast-devsim; do
  [ -x "$bin/$program" ] || { echo "$bin/$program is missing: build first" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is missing: run scripts/install-deps.sh" >&2; exit 1; }

wanted=("$@")
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
[ $# -eq 0 ] && rm -rf "$out"
mkdir -p "$out"

# A display of its own.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb

# A Config.ini: the embedded default with "Section/Key=value" changes.
make_config() {
  local file=$1; shift
  cp package/Config.ini "$file"
  local change section key value
  for change in "$@"; do
    section=${change%%/*}; key=${change#*/}; key=${key%%=*}; value=${change#*=}
    if grep -qiE "^[[:space:]]*$key[[:space:]]*=" "$file"; then
      sed -i -E "s|^[[:space:]]*$key[[:space:]]*=.*|$key=$value|I" "$file"
    else
      sed -i "/^\[$section\]/a $key=$value" "$file"
    fi
  done
}

# One picture series: NAME, the simulator's extra arguments (quoted as one word), the window's
# extra arguments, then the configuration changes.
shoot() {
  local name=$1 sim_args=$2 gui_args=$3; shift 3
  if [ ${#wanted[@]} -gt 0 ] && [[ " ${wanted[*]} " != *" $name "* ]]; then return; fi
  local case_dir="$work/$name"
  mkdir -p "$case_dir/root" "$case_dir/state" "$case_dir/home"
  make_config "$case_dir/Config.ini" "$@"
  # shellcheck disable=SC2086
  "$bin/flintcast-devsim" --root "$case_dir/root" --state "$case_dir/state" --time-scale "$scale" $sim_args \
    >"$case_dir/devsim.log" 2>&1 &
  local sim=$!
  pids+=("$sim")
  for _ in $(seq 100); do [ -n "$(ls -A "$case_dir/root/dev" 2>/dev/null)" ] && break; sleep 0.1; done
  # shellcheck disable=SC2086
  XDG_CONFIG_HOME="$case_dir/home/config" XDG_STATE_HOME="$case_dir/home/state" XDG_DATA_HOME="$case_dir/home/data" \
  XDG_RUNTIME_DIR="$case_dir/home" TMPDIR="$case_dir/home" \
    timeout 120 "$bin/flintcast-gui" --time-scale "$scale" --device-root "$case_dir/root" \
      --config "$case_dir/Config.ini" --snapshot-dir "$out" --snapshot-prefix "$name-" $gui_args \
      >"$case_dir/gui.log" 2>&1 || echo "$name: flintcast-gui ended with $? (log: $case_dir/gui.log)" >&2
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}

shoot en "" "--snapshot-start"
shoot en-fault "--faults refuse:diag.download@*" "--snapshot-start"
shoot ja "" "--snapshot-start" "Project/Language=Japanese"
shoot p27 "" "" "Project/Project=PRJ27"
shoot p28 "" "" "Project/Project=PRJ28"
shoot p41 "" "" "Project/Project=PRJ41"
shoot dialogs "" "--snapshot-dialogs"

ls "$out"
