#!/usr/bin/env python3
"""TAB latency of the console's completion through a pseudo-terminal, beside the same at the
prompt of `python3 -i` (GNU readline with rlcompleter, every candidate listed at the first TAB),
in the same run on an 80x24 terminal:

  - `a` TAB: every defined word starting with "a" (hundreds at the console);
  - a path into the system object (`system/` at the console, `sys.` in Python).

Time from the TAB's byte until the candidates are listed and the prompt is drawn again below
them. Prints the median and the 99th percentile in milliseconds and the number of candidates.

    completion_bench.py [TAV]      (default: build/release/tav, built when missing)
"""
import fcntl
import os
import pty
import select
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import time

COLUMNS, ROWS = 80, 24
ROUNDS = 30


class Session:
    def __init__(self, argv, prompt, env):
        pid, fd = pty.fork()
        if pid == 0:
            os.environ.update(env)
            os.execvp(argv[0], argv)
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
        self.pid, self.fd, self.prompt = pid, fd, prompt
        self.output = b""
        self.wait(lambda text: prompt in text, 0)

    def wait(self, done, start):
        deadline = time.monotonic() + 10
        while not done(self.output[start:]):
            if time.monotonic() > deadline:
                raise SystemExit("timed out; read %r" % self.output[-300:])
            ready, _, _ = select.select([self.fd], [], [], 1)
            if ready:
                self.output += os.read(self.fd, 65536)

    def settle(self):
        while select.select([self.fd], [], [], 0.05)[0]:
            self.output += os.read(self.fd, 65536)

    def type(self, text):
        os.write(self.fd, text)
        self.settle()

    def tab(self, typed, prompts):
        """Seconds from the TAB until the prompt has been drawn `prompts` times after it, the
        last time followed by the typed text; and the bytes written meanwhile."""
        start = len(self.output)
        began = time.perf_counter()
        os.write(self.fd, b"\t")

        def done(text):
            if text.count(self.prompt) < prompts:
                return False
            return typed in text[text.rindex(self.prompt):]
        self.wait(done, start)
        took = time.perf_counter() - began
        self.settle()
        return took, self.output[start:]

    def close(self, ending):
        os.write(self.fd, ending)
        time.sleep(0.2)
        os.close(self.fd)
        os.waitpid(self.pid, 0)


def measure(argv, prompt, env, cases, prompts, clear, ending):
    s = Session(argv, prompt, env)
    s.settle()
    results = []
    for typed, count_of in cases:
        samples, count = [], 0
        for _ in range(ROUNDS):
            s.type(typed)
            took, shown = s.tab(typed, prompts)
            samples.append(took)
            count = count_of(shown)
            start = len(s.output)
            os.write(s.fd, clear)
            if clear == b"\x1b":
                s.wait(lambda text: b"(escape)" in text and s.prompt in text[text.index(b"(escape)"):], start)
            s.settle()
        results.append((samples, count))
    s.close(ending)
    return results


def tav_count(shown):
    """The candidates on the rows between the first prompt and the last."""
    listing = shown[shown.index(b">> ") + 3:shown.rindex(b">> ")]
    return len(listing.replace(b"\r", b"").replace(b"\n", b"").split())


def python_count(shown):
    listing = shown[:shown.rindex(b">>> ")]
    return len(listing.split())


def figures(samples):
    ordered = sorted(samples)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return statistics.median(ordered) * 1e3, p99 * 1e3


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    tav = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(root, "build/release/tav")
    if not os.path.exists(tav):
        subprocess.run(["make", "-C", root, "build"], check=True, stdout=subprocess.DEVNULL)
    folder = tempfile.mkdtemp(prefix="tav-tab-")
    inputrc = os.path.join(folder, "inputrc")
    with open(inputrc, "w") as f:
        f.write("set show-all-if-ambiguous on\nset completion-query-items 0\nset page-completions off\n")
    base = dict(LC_ALL="C.UTF-8", TERM="xterm", HOME=folder)
    # Esc ends the console's line (it drops what was typed and asks again); Ctrl-U has no action
    # there.
    tav_results = measure([tav], b">> ", base, [(b"a", tav_count), (b"system/", tav_count)], 2,
                          b"\x1b", b"\x03")
    python_results = measure(["python3", "-q", "-i", "-c", "import sys"], b">>> ",
                             dict(base, INPUTRC=inputrc, PYTHONSTARTUP=""),
                             [(b"a", python_count), (b"sys.", python_count)], 1, b"\x15", b"\x04")
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            os.remove(path)
    subprocess.run(["rm", "-rf", folder], check=False)
    print("TAB latency on a %dx%d pseudo-terminal, milliseconds (median / 99th percentile), %d rounds"
          % (COLUMNS, ROWS, ROUNDS))
    print("%-12s %-10s %24s %12s" % ("", "typed", "listed and drawn again", "candidates"))
    for name, typed, (samples, count) in [("tav", "a", tav_results[0]), ("tav", "system/", tav_results[1]),
                                          ("python3 -i", "a", python_results[0]),
                                          ("python3 -i", "sys.", python_results[1])]:
        median, p99 = figures(samples)
        print("%-12s %-10s %12.2f / %9.2f %12d" % (name, typed, median, p99, count))


main()
