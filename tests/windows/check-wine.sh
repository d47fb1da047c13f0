#!/usr/bin/env bash
# The throttle check of the packaged program under Wine on an X server, run by unit-on-com5.sh
# with the simulated unit's bench user taking a throttle with a dead spot through the check's
# steps: the check window judges the car and keeps the check in the checks folder beside the
# captures (a one-page PDF naming the finding, a row appended to checks.csv; a second run appends
# a second row and shows the first as history). --check on the recorded session then finds the
# same fault, through the console companion and redirected.
#   check-wine.sh <folder holding torvane-capture.exe> <artifact dir>
set -euo pipefail
dir="$(cd "$1" && pwd)"
exe="$dir/torvane-capture.exe"
mkdir -p "$2"
base="$(cd "$2" && pwd)/check-wine"
rm -rf "$base"
mkdir -p "$base/captures"
fail() { echo "check-wine: $*" >&2; exit 1; }
unix_text() { tr -d '\r' <"$1"; }

# One check: the program clicks Start once it finds the unit, the check window follows the car
# that moves, and the program ends once that car's check is kept (the demo's hook).
run_check() {  # run_check <n>
  local status=0
  # Wine drops variables named QT_*; these are the program's own.
  TORVANE_CHECK_SCREENSHOT="$(winepath -w "$base/window-$1.png")" TORVANE_DEMO_CLICK_START=1 \
    timeout 300 wine "$exe" --capture-dir "$(winepath -w "$base/captures")" >"$base/run-$1.log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "run $1 exited $status: $(unix_text "$base/run-$1.log")"
  # (A window program's standard error does not reach the log under Wine; the hook's files do.)
  [ -s "$base/window-$1-car1.png" ] && [ -s "$base/window-$1-car1.pdf" ] || fail "run $1 kept no check of car 1: $(ls "$base")"
}

run_check 1
checks="$base/checks"
[ -d "$checks" ] || fail "no checks folder beside the captures: $(ls "$base")"
pdfs=("$checks"/check-*-car1.pdf)
[ -f "${pdfs[0]}" ] || fail "no PDF report in $checks: $(ls "$checks")"
pages=$(pdfinfo "${pdfs[0]}" | sed -n 's/^Pages: *//p')
[ "$pages" = 1 ] || fail "the report has $pages pages"
pdftotext "${pdfs[0]}" - | grep -q "dead_spot" || fail "the report does not name the dead spot"
[ "$(unix_text "$checks/checks.csv" | wc -l)" -eq 2 ] || fail "checks.csv after one check: $(unix_text "$checks/checks.csv")"
unix_text "$checks/checks.csv" | head -n1 | grep -q '^time,unit,car,verdict,findings' ||
  fail "checks.csv header: $(unix_text "$checks/checks.csv" | head -n1)"
unix_text "$checks/checks.csv" | sed -n 2p | grep -q ',1,check,dead_spot,' || fail "checks.csv row: $(unix_text "$checks/checks.csv")"

run_check 2
[ "$(unix_text "$checks/checks.csv" | wc -l)" -eq 3 ] || fail "checks.csv after two checks: $(unix_text "$checks/checks.csv")"
[ "$(ls "$checks"/check-*-car1.pdf | wc -l)" -eq 2 ] || fail "two checks, PDFs: $(ls "$checks")"

# --check on a recorded session: redirected, and typed in a console through the companion.
sessions=("$base"/captures/*.csv)
[ -s "${sessions[0]}" ] || fail "no session recorded in $base/captures"
session_win=$(winepath -w "${sessions[0]}")
status=0; wine "$exe" --check "$session_win" --car 1 >"$base/check.csv" 2>"$base/check.err" || status=$?
[ "$status" -eq 0 ] || fail "--check exited $status: $(unix_text "$base/check.err")"
unix_text "$base/check.csv" | head -n1 | grep -q '^car,verdict,findings,records_per_s,' || fail "--check header: $(unix_text "$base/check.csv")"
# (Records are stamped when the program handles them, so a stall of Wine's on a loaded machine can
# stretch a press into another finding beside the dead spot.)
unix_text "$base/check.csv" | sed -n 2p | grep -qE '^1,check,([a-z_]+ )*dead_spot[ ,]' || fail "--check row: $(unix_text "$base/check.csv")"
status=0; (cd "$dir" && script -qec "wine cmd /c torvane-capture --check \"$session_win\" --car 1" /dev/null </dev/null \
  >"$base/console" 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "--check typed in a console exited $status"
tr -d '\r\n' <"$base/console" | grep -qE "1,check,([a-z_]+ )*dead_spot[ ,]" || fail "--check typed in a console showed: $(tr -d '\r\033' <"$base/console")"
echo "check-wine: two checks of a dead spot kept as one-page PDFs and two rows of checks.csv in $checks; --check found it through the companion"
