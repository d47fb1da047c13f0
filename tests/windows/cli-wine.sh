#!/usr/bin/env bash
# The packaged program's command line under Wine on an X server. It is a window program, so
# --help, --version, --summary and a mistyped option must still reach the user: through its
# console companion (torvane-capture.com, what cmd starts for the bare name), written to
# redirected output, to the console of the shell that started it, or else shown in a message
# box; with the exit codes of the Linux build (0, 1 for a file it cannot read, 2 for a command
# line it cannot read). A session file given as the only argument opens its window as with --open.
#   cli-wine.sh <folder holding torvane-capture.exe> <version>   (WINEPREFIX and DISPLAY set by the caller)
set -euo pipefail
dir="$(cd "$1" && pwd)"
exe="$dir/torvane-capture.exe"
version=$2
fixture="$(cd "$(dirname "$0")/../session/fixtures" && pwd)/session-1.0.0.csv"
summary='car,records,records_per_s,longest_gap_ms,drive_min,drive_max,drive_mean,brake_min,brake_max,lane_change_presses
2,3,2.8,1018,0,100,46.7,0,200,1
7,3,2.8,27,0,255,89.0,0,3,0'
check_csv='car,verdict,findings,records_per_s,rest_drive,start_drive,max_drive,largest_step,largest_step_from,moves_against,presses,bounces,largest_step_to,median_step,full_spread,rises,falls,longest_press_ms,rest_brake,sweep_brake_max,missing
2,cannot_judge,too_few_records,1.9,,,,,,0,1,0,,,,0,0,18,,,
7,cannot_judge,too_few_records,37.7,,,,,,0,0,0,,,,0,0,0,,,'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "cli-wine: FAIL: $*" >&2; failures=$((failures + 1)); }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
unix_text() { tr -d '\r' <"$1"; }
# What the program wrote to standard error, without Wine's own notices (its launcher's note about
# 32-bit support, and the debug channels of a session that is still starting).
program_stderr() {
  tr -d '\r' <"$1" | grep -v -E '^[0-9a-f]{4}:(err|fixme|warn|trace):|wine32|multiarch needs|dpkg --add-architecture|apt-get install wine32' || true
}
export WINEDEBUG=-all
# A new prefix is filled by the first Wine process, which reports that on standard error.
wine cmd /c exit >/dev/null 2>&1 || true

# Redirected: the text goes to the file or pipe, UTF-8, nothing else on the other stream.
status=0; wine "$exe" --version >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] || fail "--version exited with $status"
[ "$(unix_text "$work/out")" = "torvane-capture $version" ] || fail "--version printed: $(unix_text "$work/out")"
[ -z "$(program_stderr "$work/err")" ] || fail "--version wrote to standard error: $(program_stderr "$work/err")"

status=0; wine "$exe" --help 2>/dev/null | tr -d '\r' >"$work/out" || status=$?
grep -q '^Usage: torvane-capture \[options\]' "$work/out" || fail "--help through a pipe printed no usage"
grep -q -- '--capture-dir <dir>' "$work/out" || fail "--help does not list --capture-dir"

status=0; wine "$exe" --bogus >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option exited with $status, not 2"
[ ! -s "$work/out" ] || fail "an unknown option wrote to standard output"
grep -q "torvane-capture: unknown option '--bogus'" "$work/err" || fail "an unknown option said: $(unix_text "$work/err")"

# One file alone opens in a window; a second argument is refused.
status=0; wine "$exe" one.csv stray >/dev/null 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "a stray argument exited with $status, not 2"
grep -q "unexpected argument 'stray'" "$work/err" || fail "a stray argument said: $(unix_text "$work/err")"

status=0; wine "$exe" --summary "$fixture" >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] && [ "$(unix_text "$work/out")" = "$summary" ] || fail "--summary redirected: $status, $(unix_text "$work/out")"

# Typed in cmd by its bare name, the console companion answers: in a console, through a pipe,
# into a file, with the exit codes. (cmd runs in the package folder, which it searches first.)
fixture_win=$(winepath -w "$fixture")
in_console() {  # in_console <output file> <cmd command line>: its exit code
  local rc=0
  (cd "$dir" && script -qec "wine cmd /c $2" /dev/null </dev/null >"$1" 2>&1) || rc=$?
  return $rc
}
status=0; in_console "$work/console" "torvane-capture --summary \"$fixture_win\"" || status=$?
[ "$status" -eq 0 ] || fail "--summary typed in a console exited $status"
# (The console is 80 columns wide: the header line wraps.)
for line in car,records,records_per_s 2,3,2.8,1018,0,100,46.7,0,200,1 7,3,2.8,27,0,255,89.0,0,3,0; do
  grep -qF "$line" "$work/console" || fail "--summary typed in a console lacks $line: $(tr -d '\r\033' <"$work/console")"
done
status=0; in_console "$work/console" "torvane-capture --summary \"$fixture_win.missing\"" || status=$?
[ "$status" -eq 1 ] || fail "--summary of a missing file in a console exited $status, not 1"
# The line wraps at the console's 80 columns wherever the path makes it long enough: read it whole.
tr -d '\r\n' <"$work/console" | grep -qF "no such file" || fail "a missing file in a console said: $(tr -d '\r\033' <"$work/console")"
status=0; in_console "$work/console" "torvane-capture --summary a.csv --summary b.csv" || status=$?
[ "$status" -eq 2 ] && grep -qF -- "--summary given more than once" "$work/console" ||
  fail "a repeated --summary in a console: $status, $(tr -d '\r\033' <"$work/console")"
status=0; in_console "$work/console" "torvane-capture /?" || status=$?
[ "$status" -eq 0 ] && grep -q 'Usage: torvane-capture \[options\]' "$work/console" || fail "/? in a console: $status"
! grep -q 'TORVANE_EXTRA_PORTS' "$work/console" || fail "the help on Windows names the Linux-only TORVANE_EXTRA_PORTS"

status=0; (cd "$dir" && wine cmd /c torvane-capture --summary "$fixture_win" 2>/dev/null | tr -d '\r' >"$work/out") || status=$?
[ "$(cat "$work/out")" = "$summary" ] || fail "--summary through a pipe printed: $(cat "$work/out")"
status=0; (cd "$dir" && wine cmd /c torvane-capture --summary "$fixture_win" ">" summary.csv 2>/dev/null) || status=$?
[ "$status" -eq 0 ] && [ "$(unix_text "$dir/summary.csv")" = "$summary" ] || fail "--summary into a file: $status"
rm -f "$dir/summary.csv"

# --check answers as --summary does: its CSV redirected and typed in a console, a car it does
# not hold refused with exit code 1.
status=0; wine "$exe" --check "$fixture" >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] && [ "$(unix_text "$work/out")" = "$check_csv" ] || fail "--check redirected: $status, $(unix_text "$work/out")"
status=0; in_console "$work/console" "torvane-capture --check \"$fixture_win\" --car 7" || status=$?
[ "$status" -eq 0 ] || fail "--check typed in a console exited $status"
grep -qF "7,cannot_judge,too_few_records,37.7,,,,,,0,0,0,,,,0,0,0,,," "$work/console" ||
  fail "--check typed in a console showed: $(tr -d '\r\033' <"$work/console")"
status=0; in_console "$work/console" "torvane-capture --check \"$fixture_win\" --car 9" || status=$?
[ "$status" -eq 1 ] && tr -d '\r\n' <"$work/console" | grep -qF "car 9 has no status records" ||
  fail "--check of a car not in the file in a console: $status, $(tr -d '\r\033' <"$work/console")"

# start /wait in a console: the window program itself, writing to the console it was started from.
status=0; in_console "$work/console" "start /wait torvane-capture.exe --summary \"$fixture_win\"" || status=$?
[ "$status" -eq 0 ] || fail "start /wait --summary exited $status"
grep -qF "7,3,2.8,27,0,255,89.0,0,3,0" "$work/console" || fail "start /wait --summary showed: $(tr -d '\r\033' <"$work/console")"
status=0; in_console "$work/console" "start /wait torvane-capture.exe --bogus" || status=$?
[ "$status" -eq 2 ] && grep -qF "unknown option '--bogus'" "$work/console" || fail "start /wait --bogus: $status"

# Typed in a console: cmd in a terminal shows the text.
script -qec "wine cmd /c \"$(winepath -w "$exe")\" --version" /dev/null </dev/null >"$work/console" 2>&1 || true
grep -qF "torvane-capture $version" "$work/console" || fail "--version typed in a console showed: $(tr -d '\r\033' <"$work/console")"

# Started as Explorer starts it (no console, no redirection): a message box says it, and the
# exit code is the same once the box is closed.
message_box() {  # message_box <expected exit code> <arguments...>
  local expected=$1; shift
  local box="" status=0
  wine start /wait /unix "$exe" "$@" >/dev/null 2>&1 &
  local pid=$!
  find_box() { box=$(xdotool search --name '^torvane-capture$' 2>/dev/null | head -n1); [ -n "$box" ]; }
  if wait_for 60 find_box; then
    xdotool key --window "$box" Return 2>/dev/null || true
  else
    fail "no message box for $*"
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" || status=$?
  [ "$status" -eq "$expected" ] || fail "$* from a message box exited with $status, not $expected"
}
message_box 0 --version
message_box 2 --bogus
message_box 1 --summary 'C:\no\such\session.csv'

# The bare name without a command-line answer opens the window: the companion returns at once,
# the window stays.
status=0; (cd "$dir" && timeout 120 wine cmd /c torvane-capture >/dev/null 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "the companion starting the window exited $status"
find_window() { xdotool search --name '^Torvane Data Capture on Channel 25$' >/dev/null 2>&1; }
wait_for 60 find_window || fail "no window after the companion returned"
wine taskkill /im torvane-capture.exe >/dev/null 2>&1 || true

# A session file given alone (as "Open with" gives it) opens as with --open: the session's window,
# named after the file, here named outside the ANSI code page.
session_copy="$work/Сессия Prüfung.csv"
cp "$fixture" "$session_copy"
session_title="Session $(basename "$session_copy")"
session_shown() { xdotool search --name '^Session ' getwindowname %@ 2>/dev/null | grep -qxF "$session_title"; }
for form in alone --open; do
  arguments=("$(winepath -w "$session_copy")")
  [ "$form" = alone ] || arguments=(--open "${arguments[@]}")
  wine "$exe" "${arguments[@]}" >/dev/null 2>&1 &
  started=$!
  wait_for 60 session_shown || fail "the session file given $form showed no window \"$session_title\""
  wine taskkill /im torvane-capture.exe >/dev/null 2>&1 || true
  wait "$started" || true
  wait_for 30 bash -c "! xdotool search --name '^Session ' >/dev/null 2>&1" || fail "a session window stayed after the program was closed"
done

[ "$failures" -eq 0 ] || { echo "cli-wine: $failures failure(s)" >&2; exit 1; }
echo "cli-wine: --help, /?, --version, --summary, --check and command-line errors reach pipes, files, a console (through the companion and start /wait) and a message box with exit codes 0, 1 and 2; a session file given alone opens as with --open"
