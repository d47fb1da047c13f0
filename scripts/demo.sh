#!/usr/bin/env bash
# The main job: build, start the simulated receiver unit on a pseudo-terminal, and start the
# window with that port in its list. With a display the window stays until you close it;
# without one it runs under Xvfb for a few seconds and writes a screenshot of it and of the
# throttle plot beside it. The capture is recorded as a session file, whose path it prints at
# the end.
#   DEMO_SECONDS (headless: seconds of capture after Start, default 5)   DEMO_SCREENSHOT (default build/demo.png)
#   DEMO_CAPTURE_DIR (where the session files go, default build/demo-captures)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target torvane-capture unit-sim

workdir=$(mktemp -d)
cleanup() { kill "${sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$workdir"; }
trap cleanup EXIT

link="$workdir/receiver-unit"
build/default/tools/unit-sim/unit-sim --cars 4 --rate 200 --link "$link" >"$workdir/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
if [ ! -L "$link" ]; then
  echo "demo: the simulated unit did not come up (no $link); its output:" >&2
  sed 's/^/  /' "$workdir/sim.log" >&2
  exit 1
fi
echo "simulated unit: $(head -n1 "$workdir/sim.log") (as $link)"

export TORVANE_EXTRA_PORTS="$link"
export TORVANE_CAPTURE_DIR=${DEMO_CAPTURE_DIR:-$PWD/build/demo-captures}
touch "$workdir/started"
if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_HEADLESS:-}" ]; then
  build/default/app/torvane-capture
else
  shot=${DEMO_SCREENSHOT:-$PWD/build/demo.png}
  seconds=${DEMO_SECONDS:-5}
  plot_shot="${shot%.png}-plot.png"
  # Its own settings, so the plot this run opens stays out of the user's.
  XDG_CONFIG_HOME="$workdir/config" TORVANE_PLOT_SCREENSHOT="$plot_shot" \
    TORVANE_SCREENSHOT="$shot" TORVANE_SCREENSHOT_AFTER_START=1 TORVANE_SCREENSHOT_AFTER_MS=$((seconds * 1000)) \
    TORVANE_DEMO_CLICK_START=1 \
    xvfb-run -a -s "-screen 0 1280x1024x24" build/default/app/torvane-capture
  echo "what the unit saw:"; sed 's/^/  /' "$workdir/sim.log"
  echo "screenshot: $shot"
  echo "plot screenshot: $plot_shot"

  # The throttle check: a person at the bench takes a healthy throttle (car 1) and one with a dead
  # spot (car 2) through the check's steps; the window's picture and PDF report of each go beside
  # the screenshot (<shot>-check-car<N>.png and .pdf).
  check_link="$workdir/check-unit"
  build/default/tools/unit-sim/unit-sim --rate 200 --throttle 1:healthy --throttle 2:dead_spot --bench-user \
    --link "$check_link" >"$workdir/check-sim.log" 2>&1 &
  check_pid=$!
  for _ in $(seq 50); do [ -L "$check_link" ] && break; sleep 0.1; done
  check_shot="${shot%.png}-check.png"
  XDG_CONFIG_HOME="$workdir/config" TORVANE_EXTRA_PORTS="$check_link" TORVANE_CAPTURE_DIR="$workdir/check-captures" \
    TORVANE_CHECK_SCREENSHOT="$check_shot" TORVANE_DEMO_CLICK_START=1 \
    timeout 300 xvfb-run -a -s "-screen 0 1366x768x24" build/default/app/torvane-capture || echo "demo: the check did not finish" >&2
  kill "$check_pid" 2>/dev/null || true
  echo "check pictures and reports: ${check_shot%.png}-car*.png, .pdf"
fi
recorded=$(find "$TORVANE_CAPTURE_DIR" -maxdepth 1 -name '*.csv' -newer "$workdir/started" 2>/dev/null | sort)
if [ -n "$recorded" ]; then
  while IFS= read -r f; do echo "session recorded: $f ($(($(wc -l <"$f") - 1)) records)"; done <<<"$recorded"
else
  echo "no session recorded (\"Record sessions\" is off: Ctrl+R in the window turns it on)"
fi
