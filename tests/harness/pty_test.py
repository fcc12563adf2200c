#!/usr/bin/env python3
"""The console's terminal layer driven through a pseudo-terminal of Python's pty module: the
title written only when standard output is the terminal, the size set with TIOCSWINSZ and
followed after SIGWINCH, the Esc key told from Alt+key by the time between bytes, the bytes the
line editor writes for a key typed at the end of the line, the editor's end when the terminal
goes away, and a window's event loop that keeps off a terminal it does not read.

    pty_test.py TAV PROBE
"""
import fcntl
import os
import pty
import select
import signal
import shutil
import struct
import sys
import tempfile
import termios
import time

SCALE = float(os.environ.get("TAV_TTY_TIME_SCALE", "1"))
TIMEOUT = 10.0 * SCALE
TITLE = b"\x1b]0;t\x07"


class Failed(Exception):
    pass


def set_size(fd, columns, rows):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))


class Child:
    """A program on a new terminal of the given size; `stdout` names a file to redirect to."""

    def __init__(self, argv, columns=100, rows=30, stdout=None, folder=None, ignore_hup=False, stdin=None):
        self.output = b""
        pid, fd = pty.fork()
        if pid == 0:
            if stdin is not None:
                os.dup2(stdin, 0)
            if ignore_hup:
                signal.signal(signal.SIGHUP, signal.SIG_IGN)
            if stdout:
                out = os.open(stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                os.dup2(out, 1)
            if folder:
                os.chdir(folder)
            os.environ["LC_ALL"] = "C.UTF-8"
            os.execv(argv[0], argv)
        self.pid, self.fd = pid, fd
        set_size(fd, columns, rows)

    def expect(self, wanted, what):
        """Reads until `wanted` has come; fails after the time-out, naming what it waited for."""
        deadline = time.monotonic() + TIMEOUT
        while wanted not in self.output:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failed("waited for %s (%r); read %r" % (what, wanted, self.output))
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                continue
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                raise Failed("the output ended before %s (%r); read %r" % (what, wanted, self.output))
            self.output += chunk

    def expect_after(self, mark, wanted, what):
        """Reads until `wanted` has come after the first `mark`."""
        self.expect(mark, what)
        start = self.output.index(mark) + len(mark)
        deadline = time.monotonic() + TIMEOUT
        while wanted not in self.output[start:]:
            if time.monotonic() > deadline:
                raise Failed("waited for %s (%r); read %r" % (what, wanted, self.output))
            self.read_some(deadline)

    def read_some(self, deadline):
        ready, _, _ = select.select([self.fd], [], [], max(deadline - time.monotonic(), 0))
        if ready:
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                raise Failed("the output ended; read %r" % self.output)
            self.output += chunk

    def send(self, data):
        os.write(self.fd, data)

    def finish(self):
        """Reads to the end of the output and answers the exit status."""
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                self.output += chunk
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        return os.waitstatus_to_exitcode(status)


def title_only_on_the_terminal(tav, folder):
    script = os.path.join(folder, "init.tav")
    with open(script, "w") as f:
        f.write('Tav []\nsystem/console/init "t"\nprint system/console/size\n')
    child = Child([tav, script], 100, 30)
    child.expect(b"100x30", "the window's size")
    if child.finish() != 0:
        raise Failed("init on a terminal ended with a failure")
    if TITLE not in child.output:
        raise Failed("no title sequence on the terminal: %r" % child.output)
    # Standard output redirected: no title, and the size of a console that is no terminal.
    redirected = os.path.join(folder, "out")
    child = Child([tav, script], 100, 30, stdout=redirected)
    status = child.finish()
    written = open(redirected, "rb").read()
    if status != 0 or b"\x1b" in written or b"\x1b" in child.output or written != b"80x50\n":
        raise Failed("with output redirected: status %d, wrote %r, terminal got %r" % (status, written, child.output))


def keys_timed_and_sizes_followed(probe):
    child = Child([probe], 100, 30)
    child.expect(b" ready", "raw mode")
    # Esc, then a byte after more than the 50 ms wait: two keys.
    child.send(b"\x1b")
    child.expect(b"key 27 100", "the Esc key")
    child.send(b"x")
    child.expect(b"key 120 100", "x after Esc")
    # Esc and a byte together: Alt+x, a key without a character.
    child.send(b"\x1bx")
    child.expect(b"key 0 100", "Alt+x")
    # A sequence split over two writes is still one key.
    child.send(b"\x1b[")
    time.sleep(0.01)
    child.send(b"D")
    child.expect(b"key -23 100", "Left")
    set_size(child.fd, 50, 10)
    child.send(b"a")
    child.expect(b"key 97 50", "the new width after SIGWINCH")
    child.send(b"q")
    if child.finish() != 0:
        raise Failed("the probe ended with a failure")


EDIT_LOOP = b'Tav [] forever [s: ask ">> " print ["=" mold s] if s = "q" [break]] print mold system/console/history\n'


def edit_script(folder):
    script = os.path.join(folder, "edit.tav")
    with open(script, "wb") as f:
        f.write(EDIT_LOOP)
    return script


def typing_at_the_end_writes_one_byte(tav, folder):
    child = Child([tav, edit_script(folder)], 80, 24)
    child.expect(b">> ", "the prompt")
    child.send(b"x")
    child.expect(b">> x", "the echo of x")
    for key in (b"a", b"b"):
        mark = len(child.output)
        child.send(key)
        child.expect_after(child.output[:mark], key, "the echo of %r" % key)
        # Whatever else comes for the key comes within this time.
        deadline = time.monotonic() + 0.1 * SCALE
        while time.monotonic() < deadline:
            child.read_some(deadline)
        if child.output[mark:] != key:
            raise Failed("a key typed at the end of the line wrote %r" % child.output[mark:])
    child.send(b"\x02")  # Ctrl-B, then a character inserted: the line is drawn again
    child.send(b"c")
    child.send(b"\r")
    child.expect_after(b'= "xacb"', b">> ", "the next prompt")
    child.send(b"\x04")
    child.expect(b'["xacb"]', "the history")
    if child.finish() != 0:
        raise Failed("the edit loop did not end with status 0")


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def the_terminal_going_away_ends_the_edit(tav, folder):
    """SIGHUP ignored from the start, as under nohup: closing the terminal ends the edit as Ctrl-D
    on an empty line does, instead of reading a failed terminal for ever."""
    child = Child([tav, edit_script(folder)], 80, 24, ignore_hup=True)
    child.expect(b">> ", "the prompt")
    time.sleep(0.05)
    ticks = os.sysconf("SC_CLK_TCK")
    before = cpu_ticks(child.pid) / ticks
    os.close(child.fd)
    deadline = time.monotonic() + TIMEOUT
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            os.kill(child.pid, signal.SIGKILL)
            os.waitpid(child.pid, 0)
            raise Failed("the edit went on after its terminal was closed")
        time.sleep(0.01)
    spent = usage.ru_utime + usage.ru_stime - before
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise Failed("status %d after the terminal was closed" % code)
    if spent >= 0.1 * SCALE:
        raise Failed("%.3f s of processor time between the close and the end" % spent)


WINDOW_SCRIPT = b"""Tav []
p: system/view/platform
scr: system/view/screens/1
ticks: 0
w: make face! [type: 'window offset: 0x0 size: 20x2 text: "w"]
t: make face! [
    type: 'text offset: 0x0 size: 12x1 text: "window-text" rate: 10
    actors: make object! [on-time: func [face event] [
        ticks: ticks + 1
        if ticks = 2 [print "actor-print"]
        if ticks = 4 [remove find scr/pane w]
    ]]
]
w/pane: reduce [t]
t/parent: w
w/parent: scr
w/state: reduce [p/make-view w p/make-null-handle 0 none false]
t/state: reduce [p/make-view t w/state/1 0 none false]
append scr/pane w
p/show-window w/state/1
w/state/4: true
p/do-event-loop false
print "loop-done"
"""


def no_terminal_control_without_terminal_input(tav, folder):
    """A window shown with standard input a pipe and the output on the terminal: the loop runs
    without terminal mode, so it neither hides the cursor nor asks where it stands (the answer
    would land at the shell's prompt). With the terminal as input too, both are written."""
    script = os.path.join(folder, "window.tav")
    with open(script, "wb") as f:
        f.write(WINDOW_SCRIPT)
    for piped in (True, False):
        read_end, write_end = os.pipe() if piped else (None, None)
        child = Child([tav, script], 80, 24, stdin=read_end)
        if piped:
            os.close(read_end)
        child.expect(b"loop-done", "the end of the loop")
        status = child.finish()
        if piped:
            os.close(write_end)
        control = [s for s in (b"\x1b[6n", b"\x1b[?25l") if s in child.output]
        if status != 0 or b"actor-print" not in child.output:
            raise Failed("status %d, output %r" % (status, child.output))
        if piped and control:
            raise Failed("with input piped the loop wrote %r: %r" % (control, child.output))
        if not piped and len(control) != 2:
            raise Failed("with input on the terminal the loop wrote only %r: %r" % (control, child.output))


def main():
    tav, probe = (os.path.abspath(p) for p in sys.argv[1:3])
    folder = tempfile.mkdtemp(prefix="tav-pty-")
    failures = 0
    try:
        cases = (lambda: title_only_on_the_terminal(tav, folder), lambda: keys_timed_and_sizes_followed(probe),
                 lambda: typing_at_the_end_writes_one_byte(tav, folder),
                 lambda: the_terminal_going_away_ends_the_edit(tav, folder),
                 lambda: no_terminal_control_without_terminal_input(tav, folder))
        for case in cases:
            try:
                case()
            except Failed as failure:
                print("FAIL: %s" % failure)
                failures += 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("pty: %d passed, %d failed" % (len(cases) - failures, failures))
    return 1 if failures else 0


sys.exit(main())
