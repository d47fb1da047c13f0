#!/usr/bin/env bash
# The packaged program under Wine on an X server, run by unit-on-com5.sh (the simulated unit on
# COM5): the window appears with its caption, finds the unit (which logs the setup command it
# received), Start is clicked and live rows fill the table; the screenshot is kept.
#   smoke-wine.sh <folder holding torvane-capture.exe> <artifact dir>
set -euo pipefail
app_dir=$1 artifacts=$2
mkdir -p "$artifacts"
artifacts=$(cd "$artifacts" && pwd)
caption="Torvane Data Capture on Channel 25"
fail() { echo "smoke-wine: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}

shot="$artifacts/smoke-wine.png"
rm -f "$shot" "$shot.txt"
# Wine drops variables named QT_*; these are the program's own.
TORVANE_SCREENSHOT="$(winepath -w "$shot")" TORVANE_SCREENSHOT_AFTER_START=1 TORVANE_SCREENSHOT_AFTER_MS=3000 \
  TORVANE_DEMO_CLICK_START=1 wine "$app_dir/torvane-capture.exe" &
app_pid=$!
trap 'kill $app_pid 2>/dev/null || true' EXIT

wait_for 60 bash -c "xdotool search --name '$caption' >/dev/null 2>&1" || fail "no window captioned \"$caption\""
wait_for 60 grep -q '^setup-ok' "$TORVANE_UNIT_LOG" || fail "the unit never received a correct setup command"
wait_for 60 test -s "$shot.txt" || fail "no screenshot"
wait "$app_pid" || true
trap - EXIT

tr -d '\r' <"$shot.txt" >"$shot.txt.unix" && mv "$shot.txt.unix" "$shot.txt"
grep -q '^caption: Close$' "$shot.txt" || fail "Start was not clicked: $(head -n1 "$shot.txt")"
grep -q '^port: COM5$' "$shot.txt" || fail "the unit was found elsewhere: $(grep '^port:' "$shot.txt")"
rows=$(grep -cE '^row ([1-9]|[12][0-9]|3[01]): [0-9]+\|[0-9]+[^|]*[0-9]{2}\.[0-9]{3}\|' "$shot.txt" || true)
[ "$rows" -ge 5 ] || fail "only $rows live rows in the table"
echo "smoke-wine: window \"$caption\" found the unit on COM5, $rows live rows; screenshot $shot"
