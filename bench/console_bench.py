#!/usr/bin/env python3
"""Time to a usable console, beside Python 3 in the same run:

  - in a pseudo-terminal, from the start of `tav` until its prompt ">> " shows, beside
    `python3 -i` until ">>> ";
  - with piped input, `printf 'q\\n' | tav` from start to end, beside `python3 -c pass`.

Each is the median of 50 runs, in milliseconds. Every run has a fresh HOME, so the settings
folder is made each time, as at a first start.

    console_bench.py [TAV]      (default: build/release/tav, built when missing)
"""
import os
import pty
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 50


def until_prompt(argv, prompt, ending, home):
    began = time.perf_counter()
    pid, fd = pty.fork()
    if pid == 0:
        os.environ.update(LC_ALL="C.UTF-8", TERM="xterm", INPUTRC="/dev/null", PYTHONSTARTUP="", HOME=home)
        os.execvp(argv[0], argv)
    output = b""
    deadline = time.monotonic() + 10
    while prompt not in output:
        if time.monotonic() > deadline:
            raise SystemExit("waited for %r; read %r" % (prompt, output[-300:]))
        if select.select([fd], [], [], 1)[0]:
            output += os.read(fd, 65536)
    elapsed = time.perf_counter() - began
    os.write(fd, ending)
    try:
        while select.select([fd], [], [], 1)[0] and os.read(fd, 65536):
            pass
    except OSError:
        pass
    os.close(fd)
    os.waitpid(pid, 0)
    return elapsed


def piped(argv, given, home):
    began = time.perf_counter()
    subprocess.run(argv, input=given, stdout=subprocess.DEVNULL, env=dict(os.environ, HOME=home), check=True)
    return time.perf_counter() - began


def median_ms(measure):
    times = []
    for _ in range(RUNS):
        home = tempfile.mkdtemp()
        try:
            times.append(measure(home))
        finally:
            shutil.rmtree(home)
    return statistics.median(times) * 1000


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    tav = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/release/tav")
    if not os.access(tav, os.X_OK):
        subprocess.run(["make", "-C", root, "build"], check=True, stdout=subprocess.DEVNULL)
    rows = [
        ("prompt in a terminal",
         lambda h: until_prompt([tav], b">> ", b"\x04", h),
         lambda h: until_prompt(["python3", "-i", "-q"], b">>> ", b"\x04", h)),
        ("piped q / python3 -c pass",
         lambda h: piped([tav], b"q\n", h),
         lambda h: piped(["python3", "-c", "pass"], b"", h)),
    ]
    print("%-28s %10s %10s %8s" % ("median of %d runs" % RUNS, "tav ms", "python ms", "ratio"))
    for name, ours, theirs in rows:
        a, b = median_ms(ours), median_ms(theirs)
        print("%-28s %10.2f %10.2f %8.2f" % (name, a, b, a / b))


main()
