#!/usr/bin/env python3
"""The calendar fields of every day from 1-Jan-1900 to 31-Dec-2100 beside Python's datetime:
`weekday`, `yearday` and `isoweek` must be isoweekday(), timetuple().tm_yday and
isocalendar()[1]; `week` (weeks start on Sunday, week 1 holds 1 January) must be
strftime("%U"), plus 1 when 1 January of the year is not a Sunday. The table is handed to the
script, which walks the days with `d + 1` and prints the days that differ and a count."""
import datetime
import os
import subprocess
import sys
import tempfile


def fields(day):
    week = int(day.strftime("%U"))
    if datetime.date(day.year, 1, 1).isoweekday() != 7:
        week += 1
    return [day.isoweekday(), day.timetuple().tm_yday, day.isocalendar()[1], week]


def main():
    tav = sys.argv[1]
    day, last = datetime.date(1900, 1, 1), datetime.date(2100, 12, 31)
    table, count = [], 0
    while day <= last:
        table.append(" ".join(map(str, fields(day))))
        day += datetime.timedelta(days=1)
        count += 1
    lines = ["Tav []", "table: [", *table, "]",
             "d: 1-Jan-1900 days: 0 wrong: 0",
             "foreach [weekday yearday isoweek week] table [",
             "    if any [d/weekday <> weekday d/yearday <> yearday d/isoweek <> isoweek d/week <> week] [",
             "        wrong: wrong + 1",
             "        if wrong <= 10 [print [d d/weekday d/yearday d/isoweek d/week]]",
             "    ]",
             "    d: d + 1 days: days + 1",
             "]",
             "print [days wrong d]"]
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "calendar.tav")
        with open(script, "w") as f:
            f.write("\n".join(lines) + "\n")
        run = subprocess.run([tav, script], capture_output=True, text=True, timeout=600)
    expected = f"{count} 0 1-Jan-2101"
    got = run.stdout.splitlines()
    if run.returncode != 0 or not got or got[-1] != expected:
        print(f"tav exited {run.returncode}; expected last line {expected!r}")
        print(run.stdout[-2000:], run.stderr[-2000:])
        return 1
    print(f"{count} days agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
