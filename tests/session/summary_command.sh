#!/usr/bin/env bash
# torvane-capture --summary as a script meets it, with no display: the CSV on standard output and
# exit 0; a file it cannot read, exit 1 with the reason on standard error and nothing on output.
#   summary_command.sh <torvane-capture> <fixtures dir>
set -euo pipefail
app=$1 fixtures=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail() { echo "summary_command: $*" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$app" --summary "$fixtures/session-1.0.0.csv" >"$dir/out" 2>"$dir/err" || fail "the fixture exited $?: $(cat "$dir/err")"
expected='car,records,records_per_s,longest_gap_ms,drive_min,drive_max,drive_mean,brake_min,brake_max,lane_change_presses
2,3,2.8,1018,0,100,46.7,0,200,1
7,3,2.8,27,0,255,89.0,0,3,0'
[ "$(cat "$dir/out")" = "$expected" ] || fail "the fixture's summary: $(cat "$dir/out")"
[ ! -s "$dir/err" ] || fail "messages for a clean file: $(cat "$dir/err")"

for bad in "$dir/none.csv" /etc/hostname "$dir"; do
  rc=0; "$app" --summary "$bad" >"$dir/out" 2>"$dir/err" || rc=$?
  [ "$rc" -eq 1 ] || fail "$bad exited $rc, not 1"
  [ ! -s "$dir/out" ] || fail "$bad: output on standard output: $(cat "$dir/out")"
  grep -qF "$bad" "$dir/err" || fail "$bad: the message does not name the file: $(cat "$dir/err")"
done

# A missing file and one the user may not read say which it is.
rc=0; "$app" --summary "$dir/none.csv" >"$dir/out" 2>"$dir/err" || rc=$?
grep -qF "$dir/none.csv: no such file" "$dir/err" || fail "a missing file said: $(cat "$dir/err")"
cp "$fixtures/session-1.0.0.csv" "$dir/denied.csv"
chmod 000 "$dir/denied.csv"
chmod 755 "$dir"
as_user=()  # root reads it anyway: asked as nobody
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
rc=0; "${as_user[@]}" "$app" --summary "$dir/denied.csv" >"$dir/out" 2>"$dir/err" || rc=$?
[ "$rc" -eq 1 ] && grep -qF "$dir/denied.csv: cannot be read: permission denied" "$dir/err" ||
  fail "a file that may not be read: $rc, $(cat "$dir/err")"

# Two files, or a window's option beside it: refused, saying why, before anything is printed.
for extra in "--summary $dir/denied.csv" "--open $fixtures/session-1.0.0.csv"; do
  rc=0; "$app" --summary "$fixtures/session-1.0.0.csv" $extra >"$dir/out" 2>"$dir/err" || rc=$?
  [ "$rc" -eq 2 ] || fail "--summary with $extra exited $rc, not 2"
  [ ! -s "$dir/out" ] && grep -qE "given more than once|cannot go with it" "$dir/err" || fail "--summary with $extra: $(cat "$dir/err")"
done

rc=0; "$app" --summary >"$dir/out" 2>"$dir/err" || rc=$?
[ "$rc" -eq 2 ] || fail "--summary without a file exited $rc, not 2"
rc=0; "$app" --summary "$fixtures/session-1.0.0.csv" stray >"$dir/out" 2>"$dir/err" || rc=$?
[ "$rc" -eq 2 ] || fail "--summary with a stray argument exited $rc, not 2"
[ ! -s "$dir/out" ] || fail "a summary printed despite the stray argument"
echo "summary_command: output and exit codes checked"
