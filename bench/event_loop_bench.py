#!/usr/bin/env python3
"""A shown window's event loop through a pseudo-terminal, beside a Python curses program that
waits for keys in 33 ms steps as the loop does, in the same run and on a terminal of the same
size:

  - input to screen: a field echoes each of 200 typed characters, typed after pauses of 0 to
    33 ms; time from the key's byte written until the character has come back in the redrawn
    frame;
  - idle: processor time of the program while its window is shown and nothing happens, as a
    share of the wall time.

Prints the median and the 95th percentile of the latency in milliseconds and the idle share in
per cent.

    event_loop_bench.py [TAV]      (default: build/release/tav, built when missing)
"""
import fcntl
import os
import pty
import random
import select
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import time

COLUMNS, ROWS = 240, 30
KEYS = 200
IDLE_SECONDS = 10.0

TAV_SCRIPT = b"""Tav []
p: system/view/platform
scr: system/view/screens/1
w: make face! [type: 'window offset: 0x0 size: 220x2 text: "w"]
f: make face! [type: 'field offset: 0x1 size: 210x1 text: copy "" flags: 'focusable]
w/pane: reduce [f]
f/parent: w
w/parent: scr
w/state: reduce [p/make-view w p/make-null-handle 0 none false]
f/state: reduce [p/make-view f w/state/1 0 none false]
append scr/pane w
p/show-window w/state/1
w/state/4: true
print "shown"
p/do-event-loop false
"""

CURSES_SCRIPT = b"""import curses
def main(screen):
    curses.curs_set(0)
    screen.timeout(33)
    screen.addstr(0, 0, "shown")
    text = ""
    while True:
        key = screen.getch()
        if key >= 32:
            text += chr(key)
            screen.addstr(1, 0, text)
curses.wrapper(main)
"""


class Session:
    def __init__(self, argv):
        pid, fd = pty.fork()
        if pid == 0:
            os.environ.update(LC_ALL="C.UTF-8", TERM="xterm")
            os.execvp(argv[0], argv)
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
        self.pid, self.fd = pid, fd
        self.output = b""
        self.queries = 0

    def read(self, timeout):
        if select.select([self.fd], [], [], timeout)[0]:
            self.output += os.read(self.fd, 65536)
            # Answers the cursor position queries as a terminal would: the top line.
            asked = self.output.count(b"\x1b[6n")
            for _ in range(asked - self.queries):
                os.write(self.fd, b"\x1b[1;1R")
            self.queries = asked

    def wait_for(self, wanted, start):
        deadline = time.monotonic() + 10
        while wanted not in self.output[start:]:
            if time.monotonic() > deadline:
                raise SystemExit("waited for %r; read %r" % (wanted, self.output[-300:]))
            self.read(0.5)

    def settle(self):
        quiet_until = time.monotonic() + 0.2
        while time.monotonic() < quiet_until:
            before = len(self.output)
            self.read(0.05)
            if len(self.output) != before:
                quiet_until = time.monotonic() + 0.2

    def key(self, byte):
        """Seconds from writing the key until it comes back."""
        start = len(self.output)
        began = time.perf_counter()
        os.write(self.fd, byte)
        self.wait_for(byte, start)
        return time.perf_counter() - began

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def close(self):
        os.kill(self.pid, signal.SIGTERM)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                self.read(0.05)
            except OSError:
                break
            if os.waitpid(self.pid, os.WNOHANG)[0]:
                break
        else:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)


def measure(argv):
    s = Session(argv)
    s.wait_for(b"shown", 0)
    s.settle()
    # Letters in turn; between keys the window is idle, so whatever comes after one is its echo.
    # A pause of 0 to 33 ms before each key lets keys fall anywhere in a frame, as typing does,
    # instead of just after the frame that drew the last one.
    pauses = random.Random(7)
    latencies = []
    for i in range(KEYS):
        time.sleep(pauses.uniform(0, 0.033))
        latencies.append(s.key(bytes([ord("a") + i % 26])))
    s.settle()
    cpu_before, wall_before = s.cpu_seconds(), time.monotonic()
    time.sleep(IDLE_SECONDS)
    idle = (s.cpu_seconds() - cpu_before) / (time.monotonic() - wall_before)
    s.close()
    return latencies, idle


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    tav = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(root, "build/release/tav")
    if not os.path.exists(tav):
        subprocess.run(["make", "-C", root, "build"], check=True, stdout=subprocess.DEVNULL)
    folder = tempfile.mkdtemp(prefix="tav-loop-")
    tav_script = os.path.join(folder, "field.tav")
    curses_script = os.path.join(folder, "field.py")
    with open(tav_script, "wb") as f:
        f.write(TAV_SCRIPT)
    with open(curses_script, "wb") as f:
        f.write(CURSES_SCRIPT)
    try:
        results = {
            "tav": measure([tav, tav_script]),
            "python3 curses": measure([sys.executable, curses_script]),
        }
    finally:
        os.remove(tav_script)
        os.remove(curses_script)
        os.rmdir(folder)
    print("A shown window on a %dx%d pseudo-terminal: %d keys echoed by a field, then %.0f s idle"
          % (COLUMNS, ROWS, KEYS, IDLE_SECONDS))
    print("%-16s %12s %12s %10s" % ("", "median ms", "95th ms", "idle CPU"))
    for name, (latencies, idle) in results.items():
        ordered = sorted(latencies)
        p95 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.95))]
        print("%-16s %12.2f %12.2f %9.2f%%" % (name, statistics.median(ordered) * 1e3, p95 * 1e3, idle * 100))
    return 0


sys.exit(main())
