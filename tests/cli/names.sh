#!/usr/bin/env bash
# File and port names that are not UTF-8 (made under a Latin-1 locale, copied from an old disk)
# are kept as their bytes by the real program in a UTF-8 locale: a unit behind such a port name in
# TORVANE_EXTRA_PORTS is found, a capture folder named so on the command line or in
# TORVANE_CAPTURE_DIR is recorded into (no look-alike folder is made), and the session file it
# holds is summarised.
#   names.sh <torvane-capture> <unit-sim>
set -euo pipefail
app=$1 sim=$2
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
fail() { echo "names: $*" >&2; exit 1; }
dir=$(mktemp -d)
sim_pid=
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT
latin1=$(printf 'caf\351')  # "café" in Latin-1: the byte E9 alone is no UTF-8
port="$dir/unit-$latin1"

"$sim" --link "$port" --rate 200 --name NAMES >"$dir/sim.out" 2>&1 &
sim_pid=$!
until [ -L "$port" ]; do kill -0 "$sim_pid" 2>/dev/null || fail "unit-sim ended: $(cat "$dir/sim.out")"; sleep 0.05; done

# The window finds the unit, Start is clicked as soon as it is enabled, and the window quits
# after a moment of capture.
capture() {  # capture <folder it must record into> <arguments...>
  local folder=$1; shift
  rc=0
  TORVANE_EXTRA_PORTS="$port" TORVANE_DEMO_CLICK_START=1 TORVANE_SCREENSHOT="$dir/shot.png" \
    TORVANE_SCREENSHOT_AFTER_START=1 TORVANE_SCREENSHOT_AFTER_MS=300 \
    XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir" \
    timeout 60 "$app" -platform offscreen "$@" >"$dir/out" 2>"$dir/err" || rc=$?
  [ "$rc" -eq 0 ] || fail "the window exited $rc: $(cat "$dir/err")"
  [ -d "$folder" ] || fail "no folder under the name given; $dir holds: $(ls "$dir" | od -c | head -3)"
  session=$(find "$folder" -maxdepth 1 -name '*.csv' | head -n1)
  [ -n "$session" ] || fail "nothing recorded in the folder given"
  if find "$dir" -maxdepth 1 -name "*$(printf '\357\277\275')*" | grep -q .; then
    fail "a folder with U+FFFD in its name was made"
  fi
}

capture "$dir/from-option-$latin1" --capture-dir "$dir/from-option-$latin1"
TORVANE_CAPTURE_DIR="$dir/from-env-$latin1" capture "$dir/from-env-$latin1"
export -n TORVANE_CAPTURE_DIR 2>/dev/null || true

# Its session file, under a name that is not UTF-8 either, is summarised; an answer naming a
# file gives its bytes back as they were.
cp "$session" "$dir/from-env-$latin1/session-$latin1.csv"
"$app" --summary "$dir/from-env-$latin1/session-$latin1.csv" >"$dir/out" 2>"$dir/err" || fail "--summary: $(cat "$dir/err")"
head -n1 "$dir/out" | grep -q '^car,records,' || fail "--summary printed: $(cat "$dir/out")"
rc=0; "$app" --summary "$dir/none-$latin1.csv" >"$dir/out" 2>"$dir/err" || rc=$?
[ "$rc" -eq 1 ] && grep -qF "$dir/none-$latin1.csv: no such file" "$dir/err" || fail "a missing file: $rc, $(cat "$dir/err")"
echo "names: a Latin-1 port, capture folders from the command line and the environment, and --summary keep their bytes"
