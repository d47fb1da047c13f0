"""torvane-capture --export-xlsx read back by an independent reader.

Usage: workbook_readback.py PROGRAM WORKDIR

A session of three cars over a minute and a half (a name record, a row that cannot be read, a
change of UTC offset) is written, exported and read back: the sheets, one row per readable record,
times as date-times equal to the rows' local times, numbers as numbers, bytes as text, the summary
equal to --summary, and one chart per car. Then the failures: a missing session, a session named
as its own workbook, a folder. Then the throttle check's checks.csv, told by its header: a Checks
sheet with its times as date-times, figures as numbers and texts as text.
"""
import csv
import datetime
import io
import os
import subprocess
import sys

import openpyxl

program, workdir = sys.argv[1], sys.argv[2]
os.makedirs(workdir, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def iso(local, offset_minutes):
    sign = "+" if offset_minutes >= 0 else "-"
    m = abs(offset_minutes)
    return local.strftime("%Y-%m-%dT%H:%M:%S.") + "%03d" % (local.microsecond // 1000) + "%s%02d:%02d" % (sign, m // 60, m % 60)


header = "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n"
rows = []        # the readable rows as written: (local time, offset text, fields)
lines = [header]
start = datetime.datetime(2026, 12, 7, 9, 43, 51, 123000)
number = 0
for i in range(3000):
    local = start + datetime.timedelta(milliseconds=30 * i)
    offset = 60 if i < 2000 else 120  # a change of offset part way (times stay as recorded)
    car = (7, 8, 12)[i % 3]
    number += 1
    drive, brake = (i * 7) % 256, (i * 3) % 200
    fields = [iso(local, offset), str(number), "status", str(car), "111", "no LB yet", str(drive), str(brake),
              str(i % 2), "5", "SIM-UNIT", "53 00 %02x 6f %02x %02x 00" % (car, drive, brake)]
    lines.append(",".join(fields) + "\n")
    rows.append((local, offset, fields))
    if i == 10:
        number += 1
        name = [iso(local, offset), str(number), "name", "", "", "", "", "", "", "5", "SIM-UNIT", "4e 05 53 49 4d"]
        lines.append(",".join(name) + "\n")
        rows.append((local, offset, name))
    if i == 20:
        lines.append("not,a,row\n")  # unreadable: left out and reported
session = os.path.join(workdir, "session.csv")
with open(session, "w", newline="") as f:
    f.writelines(lines)

workbook = os.path.join(workdir, "session.xlsx")
run = subprocess.run([program, "--export-xlsx", session, workbook], capture_output=True, text=True)
check(run.returncode == 0, "export exits 0 (got %d: %s)" % (run.returncode, run.stderr))
check("1 row could not be read" in run.stderr, "the unreadable row is reported: " + run.stderr)
check(not os.path.exists(workbook + ".partial"), "no partial file is left beside the workbook")

wb = openpyxl.load_workbook(workbook)
check(wb.sheetnames == ["Records", "Summary", "Charts"], "sheet names: %s" % wb.sheetnames)

ws = wb["Records"]
head = [c.value for c in ws[1]]
check(head[:3] == ["time", "utc_offset", "record"] and head[-1] == "bytes_hex", "records header: %s" % head)
check(ws.max_row - 1 == len(rows), "one row per readable record: %d rows, %d records" % (ws.max_row - 1, len(rows)))
check(ws.freeze_panes == "A2", "header row frozen: %s" % ws.freeze_panes)
check(ws.auto_filter.ref is not None and ws.auto_filter.ref.startswith("A1:"), "autofilter: %s" % ws.auto_filter.ref)


def same_ms(cell_value, local):
    if not isinstance(cell_value, datetime.datetime):
        return False
    rounded = cell_value + datetime.timedelta(microseconds=500)
    return rounded.replace(microsecond=rounded.microsecond // 1000 * 1000) == local


for where, (local, offset, fields) in (("first", rows[0]), ("last", rows[-1])):
    row = [c.value for c in ws[2 if where == "first" else ws.max_row]]
    check(same_ms(row[0], local), "%s time cell %r is the date-time %s" % (where, row[0], local))
    sign = "+" if offset >= 0 else "-"
    check(row[1] == "%s%02d:%02d" % (sign, offset // 60, offset % 60), "%s offset %r" % (where, row[1]))
    check(row[2] == int(fields[1]) and isinstance(row[2], (int, float)), "%s record number %r" % (where, row[2]))
    check(row[7] == int(fields[6]) and row[8] == int(fields[7]), "%s drive/brake numbers %r %r" % (where, row[7], row[8]))
    check(row[12] == fields[11] and isinstance(row[12], str), "%s bytes_hex as text %r" % (where, row[12]))
name_row = [c.value for c in ws[13]]
check(name_row[3] == "name" and name_row[4] is None and name_row[11] == "SIM-UNIT", "name record row: %s" % name_row)

summary = subprocess.run([program, "--summary", session], capture_output=True, text=True)
expected = list(csv.reader(io.StringIO(summary.stdout)))
got = [[c.value for c in r] for r in wb["Summary"].iter_rows()]
check(len(got) == len(expected) and got[0] == expected[0], "summary header and rows: %s / %s" % (got[:1], expected[:1]))
for g, e in zip(got[1:], expected[1:]):
    for gv, ev in zip(g, e):
        if ev == "":
            check(gv is None, "empty summary figure stays empty: %r" % gv)
        else:
            check(isinstance(gv, (int, float)) and abs(float(gv) - float(ev)) < 1e-9, "summary figure %r == %s" % (gv, ev))

charts = wb["Charts"]._charts
check(len(charts) == 3, "one chart per car: %d" % len(charts))

# Failures: exit 1 with a reason, nothing left at the destination.
for args, what in (([os.path.join(workdir, "missing.csv"), os.path.join(workdir, "m.xlsx")], "missing session"),
                   ([session, session], "the session as its own workbook"),
                   ([session, workdir], "a folder as the workbook")):
    before = os.path.getsize(session)
    run = subprocess.run([program, "--export-xlsx"] + args, capture_output=True, text=True)
    check(run.returncode == 1 and run.stderr.startswith("torvane-capture: "), "%s: exit 1 with a reason (%d %r)" % (what, run.returncode, run.stderr))
    check(os.path.getsize(session) == before, "%s: the session file is untouched" % what)
check(not os.path.exists(os.path.join(workdir, "m.xlsx")), "no workbook for a missing session")

# The throttle check's record of checks, as the check window appends to it: a sheet of its own.
checks_header = ("time,unit,car,verdict,findings,records_per_s,rest_drive,start_drive,max_drive,largest_step,"
                 "largest_step_from,moves_against,presses,bounces,largest_step_to,median_step,full_spread,rises,falls,"
                 "longest_press_ms,rest_brake,sweep_brake_max,missing\n")
checks_rows = [
    "2026-12-07T09:43:51+01:00,\"Bench, 7\",1,ok,,201.3,0,14,255,6,100,0,5,0,106,3,1,2,2,180,0,3,\n",
    "2026-12-07T10:02:05+01:00,12,1,check,short_range dead_spot,198.0,0,15,238,41,120,1,5,1,161,3,2,2,2,175,0,4,\n",
    "2026-12-08T08:00:00Z,Bench,2,cannot_judge,too_few_records,12.5,,,,,,0,0,0,,,,0,0,0,,,slow_pull lane_change\n",
]
checks = os.path.join(workdir, "checks.csv")
with open(checks, "w", newline="") as f:
    f.write(checks_header)
    f.writelines(checks_rows)
checks_book = os.path.join(workdir, "checks.xlsx")
run = subprocess.run([program, "--export-xlsx", checks, checks_book], capture_output=True, text=True)
check(run.returncode == 0 and run.stderr == "", "checks export exits 0 quietly (got %d: %s)" % (run.returncode, run.stderr))
cb = openpyxl.load_workbook(checks_book)
check(cb.sheetnames == ["Checks"], "checks sheet names: %s" % cb.sheetnames)
cs = cb["Checks"]
names = checks_header.strip().split(",")
head = [c.value for c in cs[1]]
check(head == names[:1] + ["utc_offset"] + names[1:], "checks header: %s" % head)
check(cs.max_row == 1 + len(checks_rows), "one row per check: %d" % (cs.max_row - 1))
check(cs.freeze_panes == "A2", "checks header row frozen: %s" % cs.freeze_panes)
check(cs.auto_filter.ref == "A1:X4", "checks autofilter over the table: %s" % cs.auto_filter.ref)
got = [[c.value for c in r] for r in cs.iter_rows(min_row=2)]
check(got[0][0] == datetime.datetime(2026, 12, 7, 9, 43, 51) and got[0][1] == "+01:00", "first check's time %r %r" % tuple(got[0][:2]))
check(got[2][0] == datetime.datetime(2026, 12, 8, 8, 0, 0) and got[2][1] == "+00:00", "a UTC check's time %r %r" % tuple(got[2][:2]))
check(got[0][2] == "Bench, 7" and got[1][2] == "12", "the unit stays text, a number-like one too: %r %r" % (got[0][2], got[1][2]))
check(got[0][3] == 1 and isinstance(got[0][3], int), "car as a number: %r" % got[0][3])
check(got[1][4] == "check" and got[1][5] == "short_range dead_spot", "verdict and findings as text: %r" % got[1][4:6])
check(got[1][6] == 198 and isinstance(got[1][6], (int, float)) and got[0][6] == 201.3, "records a second as numbers: %r" % got[1][6])
check(got[1][9] == 238, "highest drive as a number: %r" % got[1][9])
check(got[2][9] is None and got[2][23] == "slow_pull lane_change", "empty figures stay empty, missing steps as text: %r" % got[2][7:])

print("workbook read back: %d failed checks" % len(failures))
sys.exit(1 if failures else 0)
