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
# Each X server picks a free display number itself and tells it once it takes connections
# (-displayfd), and each window manager is waited for until it answers a request (wm_ready), so
# that the program starts only once both are up.
#   screen_fit.sh <screen_fit_check> <wm_ready> <session file> <artifact dir>
#   SCREEN_FIT_ONLY=<regex>: only the cases whose picture's name matches (e.g. "two.*openbox")
set -euo pipefail

check=$1 wm_ready=$2 session=$3 artifacts=$4
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # no remembered plot from an earlier run
failures=0 cases=0 skipped=0
readonly wait_seconds=60  # generous: a loaded machine starts a server or a window manager slowly

# start_x <log> <server> <args...>: starts an X server (its pid in server_pids) and points DISPLAY
# at it once it takes connections, which it says by writing its display number.
server_pids=()
start_x() {
  local log=$1 fd num; shift
  exec {fd}< <(exec "$@" -displayfd 1 -nolisten tcp 2>>"$log")
  server_pids+=($!)
  if ! read -r -t $wait_seconds num <&"$fd"; then
    echo "$1 did not start:" >&2
    cat "$log" >&2
    return 1
  fi
  export DISPLAY=":$num"
}

# case_body <size> <wm> <command...>: inside a subshell of its own, whose servers end with it.
# (Run as an "if" condition, where "set -e" does not hold: each step says when it fails.)
case_body() {
  local size=$1 wm=$2; shift 2
  trap 'kill "${server_pids[@]}" ${wm_pid:-} 2>/dev/null; wait' EXIT
  if [ "$size" = two ]; then
    start_x "$work/x.log" Xvfb -screen 0 2732x768x24 || return 1
    # A nested server, since Xvfb keeps one monitor per screen; its RandR monitors are what the
    # toolkit and the window managers take for screens.
    start_x "$work/x.log" Xephyr -screen 2732x768 -ac -br -noreset || return 1
    local output
    output=$(xrandr | awk '/ connected/ {print $1; exit}')
    xrandr --setmonitor left 1366/361x768/203+0+0 "$output" >/dev/null &&
      xrandr --setmonitor right 1366/361x768/203+1366+0 none >/dev/null || return 1
  else
    start_x "$work/x.log" Xvfb -screen 0 "${size}x24" || return 1
  fi
  if [ -n "$wm" ]; then
    case $wm in
      openbox) openbox --config-file "$work/rc.xml" >"$work/wm.log" 2>&1 & ;;
      icewm) icewm >"$work/wm.log" 2>&1 & ;;
    esac
    wm_pid=$!
    if ! "$wm_ready" $wait_seconds $wm_pid; then
      echo "$wm did not start:" >&2
      cat "$work/wm.log" >&2
      return 1
    fi
    export SCREEN_FIT_FRAMED=1
  fi
  "$@"
}

screen() {  # screen <width>x<height>|two <scale> design|inside|scroll [openbox|icewm]
  local size=$1 scale=$2 expect=$3 wm=${4:-}
  local name="screen-fit-${size}"
  [ "$scale" = 1 ] || name="${name}@${scale}"
  [ -z "$wm" ] || name="$name-$wm"
  [[ -z ${SCREEN_FIT_ONLY:-} || $name =~ $SCREEN_FIT_ONLY ]] || return 0
  local env=()
  [ "$size" != two ] || env=(SCREEN_FIT_PLOT_AT=1000,100)  # a remembered place across both screens
  cases=$((cases + 1))
  echo "== $size at scale $scale${wm:+ under $wm}: expect $expect"
  rm -rf "$XDG_CONFIG_HOME" "$work/x.log"
  if ! (case_body "$size" "$wm" env "${env[@]}" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" \
          "$check" "$expect" "$artifacts/$name.png" "$session"); then
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
