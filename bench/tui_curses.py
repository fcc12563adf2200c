"""The frame of tui_frame_bench painted with Python's curses on a pseudo-terminal: every cell
written and, after clearok, redrawn whole by each refresh. Prints microseconds and bytes per
frame: "<us> <bytes>".

    python3 tui_curses.py WIDTH HEIGHT FRAMES
"""
import curses
import fcntl
import os
import struct
import subprocess
import sys
import termios
import time

WIDE = "漢字テスト"


def frame_ops(w, h):
    """The cells of one frame as (y, x, text, fg, bg, reverse), fg/bg xterm indexes or -1."""
    ops = []
    for y in range(1, h - 1):
        if y % 4 == 0:
            text = ("row %3d " % y) * w
            ops.append((y, 1, text[: w - 2], -1, -1, True))
            continue
        x, i = 1, 0
        while x < w - 1:
            if i % 3 == 2:
                text, width = WIDE + " ", 2 * len(WIDE) + 1
            else:
                text = "item%d " % (y * 7 + i)
                width = len(text)
            room = w - 1 - x
            if width > room:
                if i % 3 == 2:
                    text = WIDE[: room // 2]
                    width = 2 * len(text)
                else:
                    text, width = text[:room], room
            if text:
                ops.append((y, x, text, 16 + (y * 11 + i * 5) % 216, 236 if i % 3 == 0 else -1, False))
            x += max(width, 1)
            i += 1
    return ops


def box(x, y, w, h):
    """Border cells of a box as (y, x, text)."""
    out = [(y, x, "┌" + "─" * (w - 2) + "┐"), (y + h - 1, x, "└" + "─" * (w - 2) + "┘")]
    for row in range(y + 1, y + h - 1):
        out.append((row, x, "│"))
        out.append((row, x + w - 1, "│"))
    return out


def child(w, h, frames, result_fd):
    import locale

    locale.setlocale(locale.LC_ALL, "")
    screen = curses.initscr()
    curses.start_color()
    curses.use_default_colors()
    pairs = {}

    def pair(fg, bg):
        key = (fg, bg)
        if key not in pairs:
            number = len(pairs) + 1
            if number >= curses.COLOR_PAIRS:
                number = 1 + number % (curses.COLOR_PAIRS - 1)
            curses.init_pair(number, fg, bg)
            pairs[key] = curses.color_pair(number)
        return pairs[key]

    ops = frame_ops(w, h)
    px, py, pw, ph = w // 2, h // 4, w // 3, h // 2
    border = pair(33, -1)
    panel = pair(255, 17)

    def paint():
        for y, x, text, fg, bg, reverse in ops:
            attrs = curses.A_REVERSE if reverse else pair(fg, bg)
            screen.addstr(y, x, text, attrs)
        for y, x, text in box(0, 0, w, h):
            try:
                screen.addstr(y, x, text, border)
            except curses.error:
                pass  # the bottom-right cell moves the cursor past the screen
        for row in range(py + 1, py + ph - 1):
            screen.addstr(row, px + 1, " " * (pw - 2), panel)
        for y, x, text in box(px, py, pw, ph):
            screen.addstr(y, x, text, panel)
        screen.addstr(py + 1, px + 2, "Panel 一二三", panel | curses.A_BOLD)

    start = time.perf_counter()
    for _ in range(frames):
        paint()
        screen.clearok(True)
        screen.refresh()
    elapsed = time.perf_counter() - start
    curses.endwin()
    os.write(result_fd, ("%f" % (elapsed / frames * 1e6)).encode())


def main():
    if sys.argv[1] == "--child":
        w, h, frames, fd = map(int, sys.argv[2:6])
        child(w, h, frames, fd)
        return
    w, h, frames = map(int, sys.argv[1:4])
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", h, w, 0, 0))
    result_read, result_write = os.pipe()
    env = dict(os.environ, TERM="xterm-256color", LC_ALL="C.UTF-8")
    proc = subprocess.Popen(
        [sys.executable, __file__, "--child", str(w), str(h), str(frames), str(result_write)],
        stdin=slave, stdout=slave, stderr=slave, env=env, pass_fds=(result_write,), start_new_session=True)
    os.close(slave)
    os.close(result_write)
    total = 0
    while True:
        try:
            chunk = os.read(master, 1 << 16)
        except OSError:
            break
        if not chunk:
            break
        total += len(chunk)
    proc.wait()
    result = os.read(result_read, 100).decode()
    if proc.returncode != 0 or not result:
        sys.exit("curses program failed")
    print("%s %.0f" % (result, total / frames))


if __name__ == "__main__":
    main()
