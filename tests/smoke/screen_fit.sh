#!/usr/bin/env bash
# The tool's windows on the screens people have, each on its own Xvfb with the real X11 platform
# (so the screen's available area is a real one): the capture window opens inside the screen with
# every row of the table in view, and where the design fits, exactly as designed; the plot, a
# session window, a message box and a file dialog open inside the screen's free area too, their
# frames measured as the X server has them. A screen too low even for rows at the height of their
# text (1024 x 600 at 150 %) shows the header and the latest row. Then the same under two window
# managers (openbox with a 40-pixel panel kept free, and icewm with its task bar), on 800 x 600,
# 1024 x 768, 1366 x 768, 1920 x 1080 at 150 %, and two 1366 x 768 screens side by side (a nested
# X server split into two monitors), where the plot's remembered place straddles both. Keeps a
# picture of each case.
#   screen_fit.sh <screen_fit_check> <session file> <artifact dir>
set -euo pipefail

if [ "${1:-}" = "--under-wm" ]; then  # --under-wm <wm> <openbox config> <command...>: inside an X server
  wm=$2 config=$3; shift 3
  log=$(mktemp)
  case $wm in
    openbox) openbox --config-file "$config" >"$log" 2>&1 & ;;
    icewm) icewm >"$log" 2>&1 & ;;
  esac
  pid=$!
  trap 'kill $pid 2>/dev/null || true; rm -f "$log"' EXIT
  deadline=$((SECONDS + 60))  # generous: a loaded machine starts it slowly
  until xprop -root _NET_WORKAREA 2>/dev/null | grep -q '='; do
    kill -0 $pid 2>/dev/null || { echo "$wm ended at its start:" >&2; cat "$log" >&2; exit 1; }
    [ $SECONDS -lt $deadline ] || { echo "$wm did not start" >&2; cat "$log" >&2; exit 1; }
    sleep 0.1
  done
  SCREEN_FIT_FRAMED=1 "$@"
  exit
fi

if [ "${1:-}" = "--two-screens" ]; then  # --two-screens <command...>: inside Xvfb, two monitors side by side
  shift
  numfile=$(mktemp)
  # A nested server, since Xvfb keeps one monitor per screen; its RandR monitors are what the
  # toolkit and the window managers take for screens.
  Xephyr -displayfd 5 -screen 2732x768 -ac -br -noreset 5>"$numfile" >/dev/null 2>&1 &
  pid=$!
  trap 'kill $pid 2>/dev/null || true; rm -f "$numfile"' EXIT
  deadline=$((SECONDS + 60))
  until [ -s "$numfile" ]; do
    kill -0 $pid 2>/dev/null || { echo "the nested X server ended at its start" >&2; exit 1; }
    [ $SECONDS -lt $deadline ] || { echo "the nested X server did not start" >&2; exit 1; }
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$numfile")"
  output=$(xrandr 2>/dev/null | awk '/ connected/ {print $1; exit}')
  xrandr --setmonitor left 1366/361x768/203+0+0 "$output" 2>/dev/null
  xrandr --setmonitor right 1366/361x768/203+1366+0 none 2>/dev/null
  "$@"
  exit
fi

check=$1 session=$2 artifacts=$3
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # no remembered plot from an earlier run
failures=0 cases=0 skipped=0

screen() {  # screen <width>x<height>|two <scale> design|inside|scroll [openbox|icewm]
  local size=$1 scale=$2 expect=$3 wm=${4:-}
  local name="screen-fit-${size}" server="-screen 0 ${size}x24"
  [ "$scale" = 1 ] || name="${name}@${scale}"
  local run=("$check" "$expect")
  local env=()
  if [ -n "$wm" ]; then
    name="$name-$wm"
    run=(bash "$0" --under-wm "$wm" "$work/rc.xml" "${run[@]}")
  fi
  if [ "$size" = two ]; then
    server="-screen 0 2732x768x24"
    run=(bash "$0" --two-screens "${run[@]}")
    env=(SCREEN_FIT_PLOT_AT=1000,100)  # a remembered place across both screens
  fi
  cases=$((cases + 1))
  # From a display number of its own: "xvfb-run -a" started elsewhere at the same moment from
  # the same number could take the same display.
  echo "== $size at scale $scale${wm:+ under $wm}: expect $expect"
  rm -rf "$XDG_CONFIG_HOME"
  if ! env "${env[@]}" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
       xvfb-run -a -n $((200 + RANDOM % 3000)) -s "$server" "${run[@]}" "$artifacts/$name.png" "$session"; then
    failures=$((failures + 1))
  fi
}

screen 1366x768 1 inside
screen 1920x1080 1.5 inside
screen 1280x800 1 inside
screen 1920x1200 1 design
screen 1024x600 1.5 scroll

sed 's|<bottom>0</bottom>|<bottom>40</bottom>|' /etc/xdg/openbox/rc.xml >"$work/rc.xml" 2>/dev/null || true
for wm in openbox icewm; do
  if ! command -v $wm >/dev/null || { [ $wm = openbox ] && [ ! -s "$work/rc.xml" ]; }; then
    echo "skipped: the cases under $wm (not installed)"
    skipped=$((skipped + 6))
    continue
  fi
  screen 800x600 1 inside $wm
  screen 1024x768 1 inside $wm
  screen 1366x768 1 inside $wm
  screen 1920x1080 1.5 inside $wm
  screen 1920x1200 1 design $wm
  if command -v Xephyr >/dev/null && command -v xrandr >/dev/null; then
    screen two 1 inside $wm
  else
    echo "skipped: two screens under $wm (Xephyr or xrandr is not installed)"
    skipped=$((skipped + 1))
  fi
done

echo "screen fit: $((cases - failures)) passed, $failures failed, $skipped skipped (pictures in $artifacts)"
[ "$failures" -eq 0 ]
