#!/usr/bin/env bash
# --check end to end: the simulated unit's bench user takes a healthy throttle and one of each
# fault through the check's steps while the program (offscreen) records the session; --check on
# that file then gives each car its verdict, a threshold from the settings file moves one, and a
# bad threshold is named and its default kept.
#   check_session.sh <torvane-capture> <unit-sim>
set -euo pipefail
app=$1 sim=$2
work=$(mktemp -d)
cleanup() { kill "${app_pid:-}" "${sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "check_session: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}

"$sim" --throttle 1:healthy --throttle 2:creep --throttle 3:short --throttle 4:dead_spot --throttle 5:jitter \
  --throttle 6:bounce --throttle 7:stuck --bench-user --rate 1400 --link "$work/unit" >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for 10 test -L "$work/unit" || fail "the simulated unit did not start"

# A round of the bench user takes under 20 s; 40 s of capture after Start hold a whole one.
mkdir -p "$work/config" "$work/captures"
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
  TORVANE_EXTRA_PORTS="$work/unit" TORVANE_CAPTURE_DIR="$work/captures" TORVANE_DEMO_CLICK_START=1 \
  TORVANE_SCREENSHOT="$work/shot.png" TORVANE_SCREENSHOT_AFTER_START=1 TORVANE_SCREENSHOT_AFTER_MS=40000 \
  "$app" >"$work/app.log" 2>&1 &
app_pid=$!
wait "$app_pid" || fail "the program failed: $(cat "$work/app.log")"
app_pid=
session=$(ls "$work"/captures/*.csv | head -n1)
[ -s "$session" ] || fail "no session was recorded: $(cat "$work/app.log")"

run_check() { XDG_CONFIG_HOME="$work/config" "$app" --check "$session" "$@" 2>"$work/err"; }
out=$(run_check) || fail "--check exited $?: $(cat "$work/err")"
expect() {  # expect <car> <start of its row after the car>
  grep -q "^$1,$2" <<<"$out" || fail "car $1: expected '$2', got: $(grep "^$1," <<<"$out")"
}
expect 1 "ok,,"
expect 2 "check,creep,"
expect 3 "check,short_range,"
expect 4 "check,dead_spot,"
expect 5 "check,jitter,"
expect 6 "check,bounce,"
expect 7 "check,stuck,"
# The dead spot is told where: from 110 (rising) or from 150 (falling).
grep -qE '^4,check,dead_spot,[0-9.]+,0,[0-9]*,255,40,(110|150),' <<<"$out" || fail "car 4's dead spot: $(grep '^4,' <<<"$out")"
[ "$(wc -l <<<"$out")" -eq 8 ] || fail "expected a header and 7 cars: $out"

# One car; the bar for full lowered in the settings lets the short throttle pass; a bad value
# is named and the default kept.
mkdir -p "$work/config/torvane"
printf '[Check]\nFullDriveMin=230\nStuckMs=soon\n' >"$work/config/torvane/Torvane Throttle Setup.conf"
out=$(run_check --car 3) || fail "--check --car 3 exited $?: $(cat "$work/err")"
[ "$(wc -l <<<"$out")" -eq 2 ] && expect 3 "ok,," || fail "car 3 with the bar at 230: $out"
grep -q "Check/StuckMs: 'soon' is not a whole number from 100 to 60000; 2000 is used" "$work/err" ||
  fail "the bad threshold was not named: $(cat "$work/err")"
out=$(run_check --car 7) && expect 7 "check,stuck," || fail "car 7 with the default kept: $out"

# The answers for what cannot be read.
rc=0; "$app" --check "$work/none.csv" >"$work/out" 2>"$work/err" || rc=$?
[ "$rc" -eq 1 ] && [ ! -s "$work/out" ] && grep -q "none.csv" "$work/err" || fail "a missing file: $rc, $(cat "$work/err")"
rc=0; run_check --car 9 >"$work/out" || rc=$?
[ "$rc" -eq 1 ] && grep -q "car 9 has no status records" "$work/err" || fail "a car not in the file: $rc"
for args in "--car 3" "--check $session --car 256" "--check $session --car x" "--check $session --summary $session"; do
  rc=0; "$app" $args >"$work/out" 2>"$work/err" || rc=$?
  [ "$rc" -eq 2 ] || fail "'$args' exited $rc, not 2: $(cat "$work/err")"
done
echo "check_session: 7 throttles recorded and judged as expected"
