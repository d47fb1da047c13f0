#!/usr/bin/env bash
# The packaged Windows program's --export-xlsx under Wine writes the same workbook as the Linux
# build for the same session: every part of the two workbooks equal byte for byte, but for the
# creation time in docProps/core.xml. The session and the workbook lie in a folder named outside
# the ANSI code page, the workbook's own name too; the session has three cars, a change of UTC
# offset, a unit name outside ASCII and a row that cannot be read. The same for a throttle check's
# checks.csv.
#   workbook-wine.sh <folder holding torvane-capture.exe> <the Linux torvane-capture> <work dir>
#   (WINEPREFIX set by the caller)
set -euo pipefail
dir="$(cd "$1" && pwd)"
exe="$dir/torvane-capture.exe"
linux=$2
mkdir -p "$3"
work="$(cd "$3" && pwd)"
failures=0
fail() { echo "workbook-wine: FAIL: $*" >&2; failures=$((failures + 1)); }
export WINEDEBUG=-all
wine cmd /c exit >/dev/null 2>&1 || true  # a new prefix is filled by its first process

folder="$work/Prüfstand Ωmega/測定 данные"
mkdir -p "$folder"
session="$folder/sëssion Ж.csv"
/usr/bin/python3 - "$session" <<'PY'
import datetime, sys
header = "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n"
lines = [header]
start = datetime.datetime(2026, 3, 29, 1, 59, 58, 7000)
number = 0
for i in range(6000):
    local = start + datetime.timedelta(milliseconds=37 * i + i % 7)
    offset = "+01:00" if i < 2500 else "+02:00"
    car = (2, 7, 12)[i % 3]
    number += 1
    drive, brake = (i * 7) % 256, (i * 13) % 256
    time = local.strftime("%Y-%m-%dT%H:%M:%S.") + "%03d" % (local.microsecond // 1000) + offset
    lines.append("%s,%d,status,%d,%d,no LB yet,%d,%d,%d,5,Prüfstand Ω,53 %02x %02x %02x\n"
                 % (time, number, car, 111, drive, brake, i % 2, car, drive, brake))
    if i == 100:
        number += 1
        lines.append("%s,%d,name,,,,,,,5,Prüfstand Ω,4e 05 50 72\n" % (time, number))
    if i == 200:
        lines.append("not,a,row\n")
open(sys.argv[1], "w", encoding="utf-8", newline="").write("".join(lines))
PY

linux_book="$work/linux.xlsx"
windows_book="$folder/Auswertung – März 測定.xlsx"
rm -f "$linux_book" "$windows_book"
"$linux" --export-xlsx "$session" "$linux_book" 2>"$work/linux.err" || fail "the Linux build's export exited with $?: $(cat "$work/linux.err")"
status=0
wine "$exe" --export-xlsx "$(winepath -w "$session")" "$(winepath -w "$windows_book")" >"$work/windows.out" 2>"$work/windows.err" ||
  status=$?
[ "$status" -eq 0 ] || fail "the Windows build's export exited with $status: $(tr -d '\r' <"$work/windows.err")"
[ -f "$windows_book" ] || fail "no workbook at the name outside the ANSI code page: $(ls "$folder")"
[ "$(find "$folder" -type f | wc -l)" -eq 2 ] || fail "other files beside the workbook: $(ls "$folder")"  # the session and it
grep -q "1 row could not be read" "$work/windows.err" || fail "the unreadable row was not reported: $(tr -d '\r' <"$work/windows.err")"

# Every part of the two workbooks equal byte for byte, but the creation time in docProps/core.xml.
# same_workbook <linux workbook> <windows workbook> <name>: sets parts
same_workbook() {
  local linux_dir="$work/$3-linux" windows_dir="$work/$3-windows" part
  rm -rf "$linux_dir" "$windows_dir"
  unzip -q "$1" -d "$linux_dir"
  unzip -q "$2" -d "$windows_dir"
  [ "$(zipinfo -1 "$1")" = "$(zipinfo -1 "$2")" ] || fail "$3: the parts or their order differ"
  parts=0
  created() { sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z/CREATED/g' "$1"; }
  while IFS= read -r part; do
    parts=$((parts + 1))
    if [ "$part" = docProps/core.xml ]; then
      [ "$(created "$linux_dir/$part")" = "$(created "$windows_dir/$part")" ] || fail "$3: $part differs beyond the creation time"
    else
      cmp -s "$linux_dir/$part" "$windows_dir/$part" || fail "$3: $part differs: $(cmp "$linux_dir/$part" "$windows_dir/$part" 2>&1 | head -n1)"
    fi
  done < <(cd "$linux_dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}
rows=0
if [ -f "$linux_book" ] && [ -f "$windows_book" ]; then
  same_workbook "$linux_book" "$windows_book" session
  session_parts=$parts
  rows=$(grep -o '<row ' "$work/session-windows/xl/worksheets/sheet1.xml" | wc -l)
  [ "$rows" -eq 6002 ] || fail "the Records sheet has $rows rows, not a header and 6001 records"
fi

# The throttle check's checks.csv, told by its header: the Checks sheet the same on both.
checks="$folder/checks.csv"
printf '%s\n' 'time,unit,car,verdict,max_drive,mean_gap_ms,findings' \
  '2026-12-07T09:43:51+01:00,Prüfstand Ω,2,ok,255,41.5,' \
  '2026-12-07T10:02:07.250+01:00,"Bench, 7",12,check,238,17.25,dead spot 40..52' \
  '2026-12-08T06:00:00Z,SIM,7,ok,250,3,' >"$checks"
"$linux" --export-xlsx "$checks" "$work/checks-linux.xlsx" 2>"$work/checks-linux.err" ||
  fail "the Linux build's checks export exited with $?: $(cat "$work/checks-linux.err")"
status=0
wine "$exe" --export-xlsx "$(winepath -w "$checks")" "$(winepath -w "$folder/Prüfungen.xlsx")" >/dev/null 2>"$work/checks-windows.err" ||
  status=$?
[ "$status" -eq 0 ] || fail "the Windows build's checks export exited with $status: $(tr -d '\r' <"$work/checks-windows.err")"
if [ -f "$work/checks-linux.xlsx" ] && [ -f "$folder/Prüfungen.xlsx" ]; then
  same_workbook "$work/checks-linux.xlsx" "$folder/Prüfungen.xlsx" checks
  grep -q '<v>41.5</v>' "$work/checks-windows/xl/worksheets/sheet1.xml" || fail "the Checks sheet lacks the number 41.5"
fi

# A session that is not there: exit 1 with the reason, nothing written.
status=0
wine "$exe" --export-xlsx "$(winepath -w "$folder/missing.csv")" "$(winepath -w "$folder/missing.xlsx")" >/dev/null 2>"$work/missing.err" ||
  status=$?
[ "$status" -eq 1 ] || fail "exporting a missing session exited with $status, not 1"
grep -q "no such file" "$work/missing.err" || fail "exporting a missing session said: $(tr -d '\r' <"$work/missing.err")"
[ ! -e "$folder/missing.xlsx" ] && [ ! -e "$folder/missing.xlsx.partial" ] || fail "a failed export left a file"

[ "$failures" -eq 0 ] || { echo "workbook-wine: $failures failure(s)" >&2; exit 1; }
echo "workbook-wine: the Windows build's workbooks of a session ($session_parts parts, $rows rows on Records) and of checks.csv equal the Linux build's but for their creation time, written to names outside the ANSI code page"
