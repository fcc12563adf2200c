#!/usr/bin/env python3
"""Keystroke latency of the line editor through a pseudo-terminal, beside the same typing at the
prompt of `python3 -i` (GNU readline), in the same run and on a terminal of the same size:

  - 2,000 characters typed one at a time at the end of a line: time from the key's byte to its
    echo;
  - 200 characters typed at the start of a 1,000-character line (after Ctrl-A): time from the
    key's byte until the line's last character has been written again (the redraw is complete).

Prints the median and the 99th percentile of each, in microseconds.

    keystroke_bench.py [TAV]      (default: build/release/tav, built when missing)
"""
import os
import pty
import select
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import fcntl
import time

COLUMNS, ROWS = 200, 50
SCRIPT = b'Tav [] forever [s: ask ">> " if s = "q" [break]]\n'


class Session:
    def __init__(self, argv, prompt):
        pid, fd = pty.fork()
        if pid == 0:
            os.environ.update(LC_ALL="C.UTF-8", TERM="xterm", INPUTRC="/dev/null", PYTHONSTARTUP="")
            os.execvp(argv[0], argv)
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
        self.pid, self.fd, self.prompt = pid, fd, prompt
        self.output = b""
        self.wait_for(prompt, 0)

    def wait_for(self, wanted, start):
        deadline = time.monotonic() + 10
        while wanted not in self.output[start:]:
            if time.monotonic() > deadline:
                raise SystemExit("waited for %r; read %r" % (wanted, self.output[-300:]))
            ready, _, _ = select.select([self.fd], [], [], 1)
            if ready:
                self.output += os.read(self.fd, 65536)

    def key(self, byte, wanted):
        """Seconds from writing the key until `wanted` comes after it."""
        start = len(self.output)
        began = time.perf_counter()
        os.write(self.fd, byte)
        self.wait_for(wanted, start)
        return time.perf_counter() - began

    def settle(self):
        while select.select([self.fd], [], [], 0.05)[0]:
            self.output += os.read(self.fd, 65536)

    def new_line(self):
        start = len(self.output)
        os.write(self.fd, b"\r")
        self.wait_for(self.prompt, start)
        self.settle()

    def close(self, ending):
        os.write(self.fd, ending)
        time.sleep(0.2)
        os.close(self.fd)
        os.waitpid(self.pid, 0)


def measure(argv, prompt, ending):
    s = Session(argv, prompt)
    s.settle()
    at_end = [s.key(b"x", b"x") for _ in range(2000)]
    s.new_line()
    # 999 characters and a last one that the redraws show.
    for chunk in range(0, 999, 100):
        os.write(s.fd, b"x" * min(100, 999 - chunk))
        s.settle()
    start = len(s.output)
    os.write(s.fd, b"Z")
    s.wait_for(b"Z", start)
    s.settle()
    os.write(s.fd, b"\x01")  # Ctrl-A: the caret to the start
    s.settle()
    at_start = [s.key(b"y", b"Z") for _ in range(200)]
    s.settle()
    s.new_line()
    s.close(ending)
    return at_end, at_start


def figures(samples):
    ordered = sorted(samples)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return statistics.median(ordered) * 1e6, p99 * 1e6


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    tav = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(root, "build/release/tav")
    if not os.path.exists(tav):
        subprocess.run(["make", "-C", root, "build"], check=True, stdout=subprocess.DEVNULL)
    folder = tempfile.mkdtemp(prefix="tav-keys-")
    script = os.path.join(folder, "ask.tav")
    with open(script, "wb") as f:
        f.write(SCRIPT)
    results = {
        "tav": measure([tav, script], b">> ", b"\x03"),
        "python3 -i": measure(["python3", "-q", "-i"], b">>> ", b"\x04"),
    }
    os.remove(script)
    os.rmdir(folder)
    print("Keystroke latency on a %dx%d pseudo-terminal, microseconds (median / 99th percentile)" % (COLUMNS, ROWS))
    print("%-12s %26s %34s" % ("", "2,000 typed at the end", "200 inserted before 1,000 chars"))
    for name, (at_end, at_start) in results.items():
        e, s = figures(at_end), figures(at_start)
        print("%-12s %14.0f / %9.0f %22.0f / %9.0f" % (name, e[0], e[1], s[0], s[1]))


main()
