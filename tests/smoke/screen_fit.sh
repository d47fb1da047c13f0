#!/usr/bin/env bash
# The capture window on the screens people have, each on its own Xvfb with the real X11
# platform (so the screen's available area is a real one): it opens inside the screen with every
# row of the table in view, and where the design fits, exactly as designed. Keeps a picture of
# each screen. A screen too low even for rows at the height of their text (1024 x 600 at 150 %)
# shows the header and the latest row. Where openbox is installed, the same again under it with a 40-pixel panel: the
# title bar and the panel come out of the room the window has.
#   screen_fit.sh <screen_fit_check> <artifact dir>
set -euo pipefail

if [ "${1:-}" = "--under-wm" ]; then  # --under-wm <openbox config> <command...>: inside Xvfb
  config=$2; shift 2
  log=$(mktemp)
  openbox --config-file "$config" >"$log" 2>&1 &
  wm=$!
  trap 'kill $wm 2>/dev/null || true; rm -f "$log"' EXIT
  deadline=$((SECONDS + 60))  # generous: a loaded machine starts it slowly
  until xprop -root _NET_WORKAREA 2>/dev/null | grep -q '='; do
    kill -0 $wm 2>/dev/null || { echo "openbox ended at its start:" >&2; cat "$log" >&2; exit 1; }
    [ $SECONDS -lt $deadline ] || { echo "openbox did not start" >&2; cat "$log" >&2; exit 1; }
    sleep 0.1
  done
  SCREEN_FIT_FRAMED=1 "$@"
  exit
fi

check=$1 artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 cases=0

screen() {  # screen <width>x<height> <scale> design|inside|scroll [wm]
  local size=$1 scale=$2 expect=$3 wm=${4:-}
  local name="screen-fit-${size}"
  [ "$scale" = 1 ] || name="${name}@${scale}"
  local run=("$check" "$expect")
  if [ -n "$wm" ]; then
    name="$name-wm"
    run=(bash "$0" --under-wm "$work/rc.xml" "${run[@]}")
  fi
  cases=$((cases + 1))
  echo "== $size at scale $scale${wm:+ under a window manager with a panel}: expect $expect"
  if ! QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
       xvfb-run -a -s "-screen 0 ${size}x24" "${run[@]}" "$artifacts/$name.png"; then
    failures=$((failures + 1))
  fi
}

screen 1366x768 1 inside
screen 1920x1080 1.5 inside
screen 1280x800 1 inside
screen 1920x1200 1 design
screen 1024x600 1.5 scroll

skipped=0
if command -v openbox >/dev/null && [ -f /etc/xdg/openbox/rc.xml ]; then
  sed 's|<bottom>0</bottom>|<bottom>40</bottom>|' /etc/xdg/openbox/rc.xml >"$work/rc.xml"
  screen 1366x768 1 inside wm
  screen 1920x1080 1.5 inside wm
  screen 1280x800 1 inside wm
  screen 1920x1200 1 design wm
else
  skipped=4
fi

echo "screen fit: $((cases - failures)) passed, $failures failed, $skipped skipped (pictures in $artifacts)"
[ "$skipped" -eq 0 ] || echo "skipped: the cases under a window manager (openbox is not installed)"
[ "$failures" -eq 0 ]
