"""A session just longer than a sheet, exported and read back by an independent reader.

Usage: workbook_row_limit.py PROGRAM WORKDIR

A session of 1,048,575 + 1,234 status records (a millisecond apart, so every time differs) is
written and exported with --export-xlsx; Records must hold exactly a sheet's 1,048,575 data rows
under its header and Records 2 the rest, every record once and in order (its record number), the
first and last time cells of each sheet date-times equal to the records' local times, and the
numbers numbers. Slow (about a minute to write and as long to read), so outside the default run.
"""
import datetime
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


SHEET_ROWS = 1048575
TOTAL = SHEET_ROWS + 1234
start = datetime.datetime(2026, 12, 7, 23, 59, 0, 0)  # the date changes on the way


def local(i):
    return start + datetime.timedelta(milliseconds=i)


session = os.path.join(workdir, "long.csv")
with open(session, "w", newline="") as f:
    f.write("time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n")
    step = datetime.timedelta(milliseconds=1)
    t = start
    lines = []
    for i in range(TOTAL):
        car, drive = 1 + i % 4, i % 256
        lines.append("%s.%03d+01:00,%d,status,%d,111,no LB yet,%d,0,0,,,53 00 %02x 6f %02x 00 00\n"
                     % (t.strftime("%Y-%m-%dT%H:%M:%S"), t.microsecond // 1000, i + 1, car, drive, car, drive))
        t += step
        if len(lines) == 100000:
            f.writelines(lines)
            lines = []
    f.writelines(lines)

workbook = os.path.join(workdir, "long.xlsx")
run = subprocess.run([program, "--export-xlsx", session, workbook], capture_output=True, text=True)
check(run.returncode == 0 and run.stderr == "", "export exits 0 quietly (got %d: %s)" % (run.returncode, run.stderr))
os.remove(session)

wb = openpyxl.load_workbook(workbook, read_only=True)
check(wb.sheetnames == ["Records", "Records 2", "Summary", "Charts"], "sheet names: %s" % wb.sheetnames)


def same_ms(value, expected):
    if not isinstance(value, datetime.datetime):
        return False
    rounded = value + datetime.timedelta(microseconds=500)
    return rounded.replace(microsecond=rounded.microsecond // 1000 * 1000) == expected


seen = 0  # records read so far, over both sheets
for name, expected_rows in (("Records", SHEET_ROWS), ("Records 2", TOTAL - SHEET_ROWS)):
    rows = wb[name].iter_rows(values_only=True)
    header = next(rows, None)
    check(header is not None and header[0] == "time" and header[2] == "record", "%s header: %r" % (name, header))
    first = last = None
    count = 0
    out_of_order = 0
    for row in rows:
        if first is None:
            first = row
        last = row
        if row[2] != seen + count + 1 or not isinstance(row[7], int):
            out_of_order += 1
        count += 1
    check(count == expected_rows, "%s holds %d data rows, expected %d" % (name, count, expected_rows))
    check(out_of_order == 0, "%s: %d rows not the next record or with a drive that is not a number" % (name, out_of_order))
    if first is not None:
        check(same_ms(first[0], local(seen)), "%s first time %r is %s" % (name, first[0], local(seen)))
        check(same_ms(last[0], local(seen + count - 1)), "%s last time %r is %s" % (name, last[0], local(seen + count - 1)))
        check(first[1] == "+01:00" and last[12].startswith("53 00"), "%s offset and bytes as text: %r %r" % (name, first[1], last[12]))
    seen += count
check(seen == TOTAL, "every record once: %d of %d" % (seen, TOTAL))
wb.close()
os.remove(workbook)

print("long workbook read back: %d failed checks" % len(failures))
sys.exit(1 if failures else 0)
