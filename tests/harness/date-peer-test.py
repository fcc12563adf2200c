#!/usr/bin/env python3
"""Epoch seconds to dates beside Python's datetime: for 1,000 random second counts in the
32-bit range (and its edges), `form to date! n` must be the UTC text datetime makes in the
same layout, and `to integer!` of the date must give n back."""
import datetime
import os
import random
import subprocess
import sys
import tempfile

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def expected(n):
    d = datetime.datetime.fromtimestamp(n, datetime.timezone.utc)
    return f"{d.day}-{MONTHS[d.month - 1]}-{d.year:04d}/{d.hour}:{d.minute:02d}:{d.second:02d} {n}"


def main():
    tav = sys.argv[1]
    draw = random.Random(20240305)
    counts = [0, -1, 1, 86399, 86400, -86400, -86401, 2147483647, -2147483648, 951782400, 951868800]
    counts += [draw.randint(-2147483648, 2147483647) for _ in range(1000)]
    lines = ["Tav []", "foreach n [" + " ".join(map(str, counts)) + "] [",
             "    d: to date! n", "    print [form d to integer! d]", "]"]
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "epoch.tav")
        with open(script, "w") as f:
            f.write("\n".join(lines) + "\n")
        run = subprocess.run([tav, script], capture_output=True, text=True, timeout=600)
    got = run.stdout.splitlines()
    if run.returncode != 0 or len(got) != len(counts):
        print(f"tav exited {run.returncode} with {len(got)} lines of {len(counts)}")
        print(run.stdout[-2000:], run.stderr[-2000:])
        return 1
    failed = 0
    for n, line in zip(counts, got):
        if line != expected(n):
            failed += 1
            if failed <= 10:
                print(f"{n}: got {line!r}, datetime gives {expected(n)!r}")
    print(f"{len(counts) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
