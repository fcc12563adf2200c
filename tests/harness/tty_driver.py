#!/usr/bin/env python3
r"""Runs one terminal case: a program in a detached tmux window of a given size, driven by keys,
with the screen, the cursor, the pane title and the exit status checked as the case says.

    tty_driver.py CASE TAV PROBE

A case is a text file of steps, one a line ('#' starts a comment line):
    size WxH                 the window's size (before `run`; 80x24 when absent)
    file NAME                a file made in the case's folder (its HOME and current folder);
      text...                its lines follow, indented by two spaces
    run COMMAND              the shell command the window runs; {tav} and {probe} name the programs
    keys KEY...              tmux key names (Enter, Escape, Up, C-c, M-x ...)
    type TEXT                the text typed as it is
    bytes TEXT               the bytes of TEXT sent as they are, after backslash escapes (\x1b,
                             \r, \\ ...), e.g. `bytes \x1b[<0;7;2M` for a mouse report
    screen TEXT              wait until a line of the screen holds TEXT
    screen-re REGEX          wait until a line of the screen matches REGEX
    no-screen-re REGEX       no line of the screen matches REGEX now
    line N TEXT              wait until screen line N (from 0) is TEXT, trailing spaces included
    cursor X,Y               wait until the cursor stands there
    title TEXT               wait until the pane's title is TEXT
    style PARAM TEXT         wait until TEXT is shown with the SGR parameter PARAM (7, 1, 38;5;196
                             ...) among the sequences that capture-pane -e writes right before it
    flag NAME VALUE          wait until the pane's tmux format #{NAME} is VALUE (cursor_flag,
                             alternate_on, mouse_any_flag, mouse_sgr_flag, cursor_x ...); tmux
                             hides the cursor of a pane whose program ended, so cursor_flag is
                             read while the program or its shell still runs
    pid REGEX                the process id is group 1 of the first screen line that matches
    pid-of NAME              the process id is that of the window's process running NAME
    signal NAME              sends the signal (TERM, HUP, INT ...) to that process
    resize WxH               the window takes a new size
    status N                 wait until the program has ended, with that exit status

Every wait gives up after 10 seconds times TAV_TTY_TIME_SCALE and names what it waited for.
No step sleeps for a fixed time: each one waits for what the step before it caused.
"""
import codecs
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCALE = float(os.environ.get("TAV_TTY_TIME_SCALE", "1"))
TIMEOUT = 10.0 * SCALE


class CaseFailed(Exception):
    pass


class Pane:
    def __init__(self, folder, columns, rows):
        self.server = "tav-tty-%d-%d" % (os.getpid(), int(time.time() * 1000) % 1000000)
        self.folder = folder
        self.columns, self.rows = columns, rows
        self.env = dict(os.environ, LC_ALL="C.UTF-8", HOME=folder)
        self.env.pop("TMUX", None)

    def tmux(self, *args, check=True):
        result = subprocess.run(["tmux", "-L", self.server, "-f", "/dev/null", *args], cwd=self.folder,
                                env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise CaseFailed("tmux %s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def start(self, command):
        self.tmux("start-server", ";", "set-option", "-g", "remain-on-exit", "on", ";",
                  "set-option", "-s", "escape-time", "0", ";",
                  "new-session", "-d", "-x", str(self.columns), "-y", str(self.rows), "-c", self.folder,
                  command)

    def kill(self):
        self.tmux("kill-server", check=False)

    def screen(self):
        return self.tmux("capture-pane", "-p", "-N", "-S", "-").split("\n")

    def styled_screen(self):
        return self.tmux("capture-pane", "-p", "-e", "-N").split("\n")

    def field(self, name):
        return self.tmux("display-message", "-p", "#{%s}" % name).strip()


SGR_RUN = re.compile(r"((?:\x1b\[[0-9;:]*m)+)")


def styled(line, param, text):
    """Whether some occurrence of text in the line has the parameter in the SGR run just before it."""
    start = line.find(text)
    while start >= 0:
        run = SGR_RUN.search(line, 0, start)
        while run and run.end() != start:
            run = SGR_RUN.search(line, run.end(), start)
        if run:
            for params in re.findall(r"\x1b\[([0-9;:]*)m", run.group(1)):
                if (";%s;" % param) in (";%s;" % params):
                    return True
        start = line.find(text, start + 1)
    return False


def wait(what, probe, pane):
    deadline = time.monotonic() + TIMEOUT
    delay = 0.01
    while True:
        if probe():
            return
        if time.monotonic() > deadline:
            state = pane.tmux("display-message", "-p", "dead #{pane_dead} status #{pane_dead_status} "
                              "signal #{pane_dead_signal} pid #{pane_pid}", check=False).strip()
            try:
                pid = int(state.rsplit(" ", 1)[1])
                with open("/proc/%d/stat" % pid) as f:
                    state += ", process state " + f.read().rsplit(")", 1)[1].split()[0]
            except (OSError, ValueError, IndexError):
                state += ", no such process"
            raise CaseFailed("waited %.0f s for %s (%s); the screen:\n%s"
                             % (TIMEOUT, what, state, "\n".join(pane.screen())))
        time.sleep(delay)
        delay = min(delay * 2, 0.1)


def descends_from(pid, ancestor):
    while pid > 1:
        if pid == ancestor:
            return True
        try:
            with open("/proc/%d/stat" % pid) as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            return False
    return False


def process_named(name, ancestor):
    """The id of a live process of the window whose executable is `name`, else None."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            executable = os.path.basename(os.readlink("/proc/%s/exe" % entry))
        except OSError:
            continue
        if executable == name and fields[0] != "Z" and descends_from(int(entry), ancestor):
            return int(entry)
    return None


def zombie_status(pid):
    """The exit status of a process that has ended and is not yet reaped, from the kernel.

    tmux now and then misses the end of a pane's process under load: the pane shows dead with
    no status while its process waits as a zombie. Its status is then read where waitpid would.
    """
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None
    if fields[0] != "Z":
        return None
    code = int(fields[-1])
    return str(code >> 8 & 0xFF) if code & 0x7F == 0 else "signal %d" % (code & 0x7F)


def read_case(path):
    steps, files = [], {}
    current = None
    for raw in open(path, encoding="utf-8").read().split("\n"):
        if current is not None and raw.startswith("  "):
            files[current].append(raw[2:])
            continue
        current = None
        line = raw.lstrip()  # trailing spaces belong to `line` texts
        if not line or line.startswith("#"):
            continue
        word, _, rest = line.partition(" ")
        if word == "file":
            current = rest
            files[current] = []
            continue
        steps.append((word, rest))
    return steps, {name: "\n".join(lines) + "\n" for name, lines in files.items()}


def size_of(text):
    w, h = text.lower().split("x")
    return int(w), int(h)


def run_case(path, tav, probe):
    steps, files = read_case(path)
    folder = tempfile.mkdtemp(prefix="tav-tty-")
    columns, rows = 80, 24
    pane = None
    pid = None
    try:
        for name, text in files.items():
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(text)
        for word, rest in steps:
            if word == "size":
                columns, rows = size_of(rest)
            elif word == "run":
                # A case runs one program: a second run is refused, so no server is left behind.
                if pane:
                    raise CaseFailed("a case has one run step")
                pane = Pane(folder, columns, rows)
                pane.start(rest.replace("{tav}", shlex.quote(tav)).replace("{probe}", shlex.quote(probe)))
            elif word == "keys":
                pane.tmux("send-keys", *shlex.split(rest))
            elif word == "type":
                pane.tmux("send-keys", "-l", rest)
            elif word == "screen":
                wait("a line holding %r" % rest, lambda: any(rest in l for l in pane.screen()), pane)
            elif word == "screen-re":
                wait("a line matching %r" % rest, lambda: any(re.search(rest, l) for l in pane.screen()), pane)
            elif word == "no-screen-re":
                found = [l for l in pane.screen() if re.search(rest, l)]
                if found:
                    raise CaseFailed("a line matches %r: %r" % (rest, found[0]))
            elif word == "line":
                number, _, expected = rest.partition(" ")
                n = int(number)
                wait("line %d to be %r" % (n, expected),
                     lambda: len(pane.screen()) > n and pane.tmux("capture-pane", "-p", "-N").split("\n")[n] == expected,
                     pane)
            elif word == "cursor":
                wait("the cursor at %s" % rest, lambda: pane.field("cursor_x") + "," + pane.field("cursor_y") == rest, pane)
            elif word == "bytes":
                data = codecs.escape_decode(rest.encode("utf-8"))[0]
                if data:
                    pane.tmux("send-keys", "-H", *("%02x" % b for b in data))
            elif word == "flag":
                name, _, value = rest.partition(" ")
                wait("#{%s} to be %r" % (name, value), lambda: pane.field(name) == value, pane)
            elif word == "style":
                param, _, text = rest.partition(" ")
                wait("%r shown with SGR %s" % (text, param), lambda: any(styled(l, param, text) for l in pane.styled_screen()),
                     pane)
            elif word == "title":
                wait("the title %r" % rest, lambda: pane.field("pane_title") == rest, pane)
            elif word == "pid":
                def found():
                    nonlocal pid
                    for l in pane.screen():
                        m = re.search(rest, l)
                        if m:
                            pid = int(m.group(1))
                            return True
                    return False
                wait("a process id matching %r" % rest, found, pane)
            elif word == "pid-of":
                def running():
                    nonlocal pid
                    pid = process_named(rest, int(pane.field("pane_pid")))
                    return pid is not None
                wait("a process running %r" % rest, running, pane)
            elif word == "signal":
                # Only a process of the case's own window is ever signalled.
                if not descends_from(pid, int(pane.field("pane_pid"))):
                    raise CaseFailed("process %d is no process of the window" % pid)
                os.kill(pid, getattr(signal, "SIG" + rest))
            elif word == "resize":
                w, h = size_of(rest)
                pane.tmux("resize-window", "-x", str(w), "-y", str(h))
            elif word == "status":
                pane_pid = int(pane.field("pane_pid"))
                wait("the program's end",
                     lambda: pane.field("pane_dead") == "1"
                     and (pane.field("pane_dead_status") != "" or zombie_status(pane_pid) is not None), pane)
                status = pane.field("pane_dead_status") or zombie_status(pane_pid)
                if status != rest:
                    raise CaseFailed("exit status %s, expected %s; the screen:\n%s" % (status, rest, "\n".join(pane.screen())))
            else:
                raise CaseFailed("unknown step %r" % word)
    finally:
        if pane:
            pane.kill()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    if shutil.which("tmux") is None:
        print("tmux is not installed (tools/setup.sh installs it)")
        return 1
    case, tav, probe = sys.argv[1:4]
    try:
        run_case(case, os.path.abspath(tav), os.path.abspath(probe))
    except CaseFailed as failure:
        print("%s: %s" % (os.path.basename(case), failure))
        return 1
    print("%s: passed" % os.path.basename(case))
    return 0


sys.exit(main())
