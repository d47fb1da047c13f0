#!/usr/bin/env bash
# Smoke test of the real program on a real X server (Xvfb): the simulated unit on a
# pseudo-terminal, the window finds it, the unit receives the setup command, xdotool clicks
# Start, and a few seconds later the table shows live rows. Keeps the screenshot as an artifact.
#   smoke.sh <torvane-capture> <unit-sim> <artifact dir>
set -euo pipefail
app=$1 sim=$2 artifacts=$3
mkdir -p "$artifacts"
work=$(mktemp -d)
cleanup() { kill "${app_pid:-}" "${sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

fail() { echo "smoke: $*" >&2; echo "--- unit log"; cat "$work/sim.log" >&2 || true; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}

"$sim" --rate 50 --link "$work/unit" >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for 10 test -L "$work/unit" || fail "the simulated unit did not start"

shot="$artifacts/smoke.png"
rm -f "$shot" "$shot.txt"
TORVANE_EXTRA_PORTS="$work/unit" TORVANE_SCREENSHOT="$shot" TORVANE_SCREENSHOT_AFTER_START=1 \
  TORVANE_SCREENSHOT_AFTER_MS=3000 "$app" &
app_pid=$!

wait_for 30 grep -q '^setup-ok' "$work/sim.log" || fail "the unit never received a correct setup command"
wait_for 60 bash -c 'xdotool search --name "Torvane Data Capture on Channel 25" >/dev/null' || fail "no window"
wid=$(xdotool search --name "Torvane Data Capture on Channel 25" | head -n1)
# Start lies at (112, 8) in the client area, 73 x 27.
xdotool mousemove --window "$wid" 148 21 click 1
wait_for 20 test -s "$shot.txt" || fail "no screenshot: was Start clicked?"
wait "$app_pid" || true
app_pid=

grep -q '^caption: Close$' "$shot.txt" || fail "Start was not clicked: $(head -n1 "$shot.txt")"
rows=$(grep -cE '^row ([1-9]|[12][0-9]|3[01]): [0-9]+\|[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]{3}\|' "$shot.txt" || true)
[ "$rows" -ge 5 ] || fail "only $rows live rows in the table"
echo "smoke: unit found, Start clicked, $rows live rows; screenshot $shot"
