#!/usr/bin/env python3
"""What the timing and zone helpers print or answer where the output varies with the machine:
the line `clock` prints (value of at most three digits or a whole number of 1000 or more, its
unit, a TAB, the code), the report of `stats/show` against `stats/info`, and `to-local-date`
under zones without summer time given by TZ (the zone is the one of now)."""
import os
import re
import subprocess
import sys
import tempfile

FAILURES = []


def run(tav, code, env=None):
    with tempfile.NamedTemporaryFile("w", suffix=".tav", delete=False, encoding="utf-8") as f:
        f.write("Tav []\n" + code + "\n")
        path = f.name
    try:
        done = subprocess.run([tav, path], capture_output=True, timeout=600,
                              env=dict(os.environ, **(env or {})))
    finally:
        os.unlink(path)
    return done.stdout.decode("utf-8"), done.returncode


def check(name, ok, detail):
    if not ok:
        FAILURES.append(f"{name}: {detail}")


CLOCK_LINE = re.compile(r"^([0-9.]+) (μs|ms)\t(.*)$")


def clock_value_ok(text):
    if "." in text:
        return sum(c.isdigit() for c in text) <= 3
    return len(text) <= 3 or int(text) >= 1000


def clock_cases(tav):
    cases = [
        ("x: clock [1 + 1] print mold x", "[1 + 1]", "2"),
        ("n: 0 clock/times [n: n + 1] 0 print n", "[n: n + 1]", "1"),
        ("n: 0 clock/times [n: n + 1] 3 print n", "[n: n + 1]", "3"),
        ("x: clock [wait 0.05 'done] print mold x", "[wait 0.05 'done]", "done"),
        ("print unset? clock/times [()] 1.0", "[()]", "true"),
        ("clock [" + " ".join(["1"] * 40) + "] print 0", "[" + " ".join(["1"] * 35), "0"),
    ]
    for code, label, result in cases:
        out, status = run(tav, code)
        lines = out.split("\n")
        match = CLOCK_LINE.match(lines[0])
        check(code, status == 0 and match is not None, f"status {status}, output {out!r}")
        if not match:
            continue
        check(code, clock_value_ok(match.group(1)), f"value {match.group(1)!r}")
        check(code, match.group(3) == label, f"label {match.group(3)!r}, expected {label!r}")
        check(code, lines[1:] == [result, ""], f"result lines {lines[1:]!r}")
    # A wait of 0.3 s per pass reads as 300 ms, or a little more.
    out, _ = run(tav, "clock [wait 0.3]")
    match = CLOCK_LINE.match(out.split("\n")[0])
    check("clock [wait 0.3]", match and match.group(2) == "ms" and 300 <= float(match.group(1)) < 2000,
          f"output {out!r}")


def stats_case(tav):
    out, status = run(tav, "stats/show print pick stats/info 4")
    lines = out.rstrip("\n").split("\n")
    check("stats/show", status == 0 and len(lines) > 3, f"status {status}, output {out!r}")
    total = re.match(r"^Total allocated from OS \(virtual\): +([0-9]+)$", lines[-3])
    check("stats/show", total is not None and total.group(1) == lines[-1], f"output {out!r}")
    check("stats/show", lines[1] == "[ Nodes  ] -- Free ----- Used ----- Total --", f"output {out!r}")


def zone_cases(tav):
    cases = [
        ("Asia/Kolkata", "1-Jan-2020/0:00", "1-Jan-2020/5:30:00+05:30"),
        ("Asia/Kolkata", "1-Jan-2020/10:00+2:00", "1-Jan-2020/13:30:00+05:30"),
        ("UTC", "1-Jan-2020/10:00+2:00", "1-Jan-2020/8:00:00"),
        ("Asia/Tokyo", "31-Dec-2019/20:00", "1-Jan-2020/5:00:00+09:00"),
    ]
    for zone, date, expected in cases:
        out, status = run(tav, f"print mold to-local-date {date}", {"TZ": zone})
        check(f"to-local-date {date} in {zone}", status == 0 and out == expected + "\n", f"output {out!r}")


def main():
    tav = sys.argv[1]
    clock_cases(tav)
    stats_case(tav)
    zone_cases(tav)
    for failure in FAILURES:
        print(failure)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
