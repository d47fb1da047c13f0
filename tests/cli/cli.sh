#!/usr/bin/env bash
# The programs' command lines as a user meets them in a terminal, with no display: --version,
# a mistyped option, and help texts and manual pages that list the same options.
#   cli.sh <torvane-capture> <unit-sim> <source dir>
set -euo pipefail
app=$1 sim=$2 src=$3
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail() { echo "cli: $*" >&2; exit 1; }
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

"$app" --version >"$out" 2>"$err" || fail "--version failed: $(cat "$err")"
grep -qE '^torvane-capture [0-9]+\.[0-9]+\.[0-9]+$' "$out" || fail "--version printed: $(cat "$out")"

rc=0; "$app" --no-such-option >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 2 ] || fail "an unknown option exited $rc, not 2"
grep -q "unknown option '--no-such-option'" "$err" || fail "no message for an unknown option: $(cat "$err")"
[ ! -s "$out" ] || fail "the message went to standard output"
rc=0; "$app" -platfrom offscreen >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 2 ] && grep -q "unknown option '-platfrom'" "$err" || fail "a mistyped option is not named as typed: $(cat "$err")"

# The window toolkit's own options reach it: the window comes up offscreen, grabs itself and quits.
shot=$(mktemp -d)
rc=0; TORVANE_SCREENSHOT="$shot/w.png" TORVANE_SCREENSHOT_AFTER_MS=0 TORVANE_EXTRA_PORTS= \
  XDG_CONFIG_HOME="$shot" XDG_DATA_HOME="$shot" XDG_RUNTIME_DIR="$shot" \
  "$app" -platform offscreen -style fusion -reverse >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 0 ] && [ -s "$shot/w.png" ] || fail "-platform offscreen: exit $rc, $(cat "$err")"
rm -rf "$shot"

# A window system that cannot start (no such platform, no such display): exit 2 and one line why.
for args in "-platform bogus" "-platform xcb -display :987"; do
  rc=0; env -u XDG_RUNTIME_DIR timeout 60 "$app" $args >"$out" 2>"$err" || rc=$?
  [ "$rc" -eq 2 ] || fail "$args exited $rc, not 2: $(cat "$err")"
  [ "$(wc -l <"$err")" -eq 1 ] && grep -q '^torvane-capture: the window system could not be started: .' "$err" ||
    fail "$args said: $(cat "$err")"
done
grep -q 'could not connect to display :987' "$err" || fail "the display is not named: $(cat "$err")"

# --open of a FIFO: refused by its kind on a thread of its own, the window coming up all the same
# (an open that waited for the FIFO's writer would never let it grab itself and quit).
shot=$(mktemp -d)
mkfifo "$shot/pipe.csv"
rc=0; TORVANE_SCREENSHOT="$shot/w.png" TORVANE_SCREENSHOT_AFTER_MS=0 TORVANE_EXTRA_PORTS= \
  XDG_CONFIG_HOME="$shot" XDG_DATA_HOME="$shot" XDG_RUNTIME_DIR="$shot" \
  "$app" -platform offscreen --open "$shot/pipe.csv" >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 0 ] && [ -s "$shot/w.png" ] && [ -p "$shot/pipe.csv" ] || fail "--open of a FIFO: exit $rc, $(cat "$err")"
rm -rf "$shot"

rc=0; "$sim" --no-such-option >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 2 ] || fail "unit-sim: an unknown option exited $rc, not 2"
for speed in 0 1e-300 20000 fast; do
  rc=0; "$sim" --speed "$speed" >"$out" 2>"$err" || rc=$?
  [ "$rc" -eq 2 ] && grep -q "'$speed' is not a number from 0.01 to 10000" "$err" || fail "unit-sim --speed $speed: $rc, $(cat "$err")"
done
"$sim" --help | grep -q -- "--speed X .*0.01 to 10000" || fail "unit-sim --help does not give the speed's range"
# Throttle cars: a car and a known model, each car once; the bench user needs cars to check.
for throttle in 0:healthy 256:creep 3:sticky 3 :jitter; do
  rc=0; "$sim" --throttle "$throttle" >"$out" 2>"$err" || rc=$?
  [ "$rc" -eq 2 ] && grep -q "'$throttle' is not CAR:MODEL .*dead_spot" "$err" || fail "unit-sim --throttle $throttle: $rc, $(cat "$err")"
done
rc=0; "$sim" --throttle 3:short --throttle 3:stuck >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 2 ] && grep -q "car 3 is given twice" "$err" || fail "unit-sim: a car given twice: $rc, $(cat "$err")"
rc=0; "$sim" --bench-user >"$out" 2>"$err" || rc=$?
[ "$rc" -eq 2 ] && grep -q -- "--bench-user needs" "$err" || fail "unit-sim --bench-user alone: $rc, $(cat "$err")"
# A session file with nothing to play is refused at the start, saying why.
header=$(mktemp)
echo "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex" >"$header"
rc=0; "$sim" --replay "$header" >"$out" 2>"$err" || rc=$?
rm -f "$header"
[ "$rc" -eq 1 ] && grep -q "has no record that can be played: no rows after the header" "$err" || fail "unit-sim --replay of a header alone: $rc, $(cat "$err")"

# Every option either program reads is in its --help and in its manual page.
"$app" --help >"$out" || fail "--help failed"
man_app=$(sed 's/\\-/-/g' "$src/packaging/torvane-capture.1.in")
for option in $(grep -oE -- '--[a-z][a-z-]*' "$out" | sort -u); do
  grep -qF -- "$option" <<<"$man_app" || fail "torvane-capture(1) does not list $option"
done
# The simulated unit's options as its --help lists them, and as its manual page's OPTIONS
# section does: the same set both ways.
"$sim" --help >"$out" || fail "unit-sim --help failed"
help_sim=$(grep -oE -- '^  --[a-z][a-z-]*' "$out" | sed 's/^ *//' | sort -u)
[ "$(wc -l <<<"$help_sim")" -ge 10 ] || fail "unit-sim --help lists too few options: $help_sim"
man_sim=$(sed 's/\\-/-/g' "$src/packaging/torvane-unit-sim.1.in" |
          awk '/^\.SH/ { section = $2 } section == "OPTIONS" && after_tp { print } { after_tp = /^\.TP/ }' |
          grep -oE -- '--[a-z][a-z-]*' | sort -u)
[ "$help_sim" = "$man_sim" ] ||
  fail "unit-sim --help and torvane-unit-sim(1) list different options: $(diff <(echo "$help_sim") <(echo "$man_sim") | grep '^[<>]' | tr '\n' ' ')"
echo "cli: --version, unknown options and every option's help and manual entry checked"
