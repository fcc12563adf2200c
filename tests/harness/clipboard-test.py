#!/usr/bin/env python3
"""read-clipboard and write-clipboard against a real X11 clipboard (xclip under an Xvfb this
test starts and ends), against wl-copy and wl-paste stand-ins that record how they are run,
and with no clipboard at all."""
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

TAV = sys.argv[1]
failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


def tav(code, env, folder, timeout=120):
    """Runs the code as a script; answers (status, stdout, stderr) as text."""
    script = os.path.join(folder, "case.tav")
    with open(script, "w", encoding="utf-8") as f:
        f.write("Tav []\n" + code + "\n")
    run = subprocess.run([TAV, script], env=env, capture_output=True, timeout=timeout)
    return run.returncode, run.stdout.decode("utf-8", "replace"), run.stderr.decode("utf-8", "replace")


def base_env(home):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["HOME"] = home
    return env


def xclip_in(env, data, target=None):
    words = ["xclip", "-selection", "clipboard", "-i"] + (["-t", target] if target else [])
    subprocess.run(words, input=data, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True, timeout=20)


def xclip_out(env, target=None):
    words = ["xclip", "-selection", "clipboard", "-o"] + (["-t", target] if target else [])
    return subprocess.run(words, env=env, capture_output=True, timeout=20).stdout


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp"], pass_fds=[write_end],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as reader:
        while not number.endswith(b"\n"):
            chunk = reader.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        server.kill()
        server.wait()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number.decode().strip()


def no_clipboard(home, folder):
    env = base_env(home)
    empty_path = os.path.join(folder, "empty-bin")
    os.makedirs(empty_path, exist_ok=True)
    code = """probe read-clipboard
probe write-clipboard "x"
e: try [write-clipboard 5] probe e/id
e: try [write-clipboard [%a 5]] probe e/id
about/cc"""
    expected_head = "false\nfalse\ninvalid-arg\ninvalid-arg\nTav "
    for name, extra in [("no display", {}), ("display, no xclip on PATH", {"DISPLAY": ":99", "PATH": empty_path})]:
        status, out, err = tav(code, {**env, **extra}, folder)
        check(f"{name}: answers", status == 0 and out.startswith(expected_head) and err == "",
              f"status {status}, out {out!r}, err {err!r}")


def x11_text(env, folder):
    # A fresh server: nobody owns the clipboard yet.
    status, out, _ = tav("probe read-clipboard", env, folder)
    check("no owner reads none", out == "none\n", out)

    started = time.monotonic()
    status, out, err = tav('probe write-clipboard "héllo^/x😀"', env, folder, timeout=30)
    check("text write", out == "true\n" and status == 0, f"{status} {out!r} {err!r}")
    check("the pipe on standard output ends with tav", time.monotonic() - started < 30)
    check("xclip pastes UTF-8 with characters above U+FFFF", xclip_out(env) == "héllo\nx😀".encode(),
          repr(xclip_out(env)))
    status, out, _ = tav('print equal? read-clipboard "héllo^/x😀"', env, folder)
    check("text read back", out == "true\n", out)

    # (type offered by another program, its bytes, what read-clipboard gives as Tav text)
    cases = [
        ("UTF8_STRING", b"a\r\nb\rc", '"a^/b^/c"'),
        (None, b"a\r\nb\rc", '"a^/b^/c"'),
        ("STRING", b"caf\xe9", '"café"'),
        ("text/plain", "ü".encode(), '"ü"'),
        ("UTF8_STRING", b"bad \xff", "false"),
        ("UTF8_STRING", b"", '""'),
    ]
    for target, data, expected in cases:
        xclip_in(env, data, target)
        status, out, _ = tav(f"got: read-clipboard probe got print equal? got {expected}", env, folder)
        check(f"read {target} {data!r}", out.endswith("\ntrue\n"), out)

    status, out, _ = tav('probe write-clipboard ""  probe read-clipboard', env, folder)
    check("empty text round trip", out == 'true\n""\n', out)
    status, out, _ = tav("probe write-clipboard none  probe read-clipboard", env, folder)
    check("clearing", out == "true\nnone\n", out)


def x11_files(env, folder):
    status, out, _ = tav('probe write-clipboard reduce [%"/tmp/a b.txt" %/tmp/c.txt]\n'
                         'print equal? read-clipboard [%"/tmp/a b.txt" %/tmp/c.txt]', env, folder)
    check("file list write and read", out == "true\ntrue\n", out)
    got = xclip_out(env, "text/uri-list")
    check("uri-list as other programs see it", got == b"file:///tmp/a%20b.txt\r\nfile:///tmp/c.txt", repr(got))

    work = os.path.join(folder, "wörk dir")
    os.makedirs(work, exist_ok=True)
    status, out, _ = tav(f'change-dir to-tav-file {{{work}/}} probe write-clipboard [%rel.txt "/x#y"]', env, folder)
    expected = ("file://" + work.replace(" ", "%20").replace("ö", "%C3%B6") + "/rel.txt\r\nfile:///x%23y").encode()
    got = xclip_out(env, "text/uri-list")
    check("relative paths made absolute, reserved bytes escaped", out == "true\n" and got == expected, repr(got))

    xclip_in(env, b"# a comment\r\nhttp://example.com/a\r\nfile:///tmp/x%C3%A9\r\nfile://localhost/tmp/y%2\r\n"
                  b"file://elsewhere/tmp/z\r\n", "text/uri-list")
    status, out, _ = tav('print equal? read-clipboard reduce [%/tmp/xé to file! "/tmp/y%2"]', env, folder)
    check("uri-list from another program", out == "true\n", out)


def x11_images(env, folder):
    status, out, _ = tav('i: make image! [2x1 #{FF000000FF00} #{0080}]\nprobe write-clipboard i\n'
                         'print [i/1 i/2]', env, folder)
    lines = out.split("\n")
    check("image write", lines[0] == "true", out)
    png = xclip_out(env, "image/png")
    try:
        picture = Image.open(io.BytesIO(png)).convert("RGBA")
        got = [picture.getpixel((x, 0)) for x in range(2)]
        tuples = [tuple(int(v) for v in t.split(".")) for t in lines[1].split()]
        want = [(r, g, b, 255 - t) for r, g, b, t in tuples]
        check("PNG pixels as Pillow reads them", picture.size == (2, 1) and got == want, f"{got} {want}")
    except Exception as error:  # noqa: BLE001 - any decoding failure is the fault reported
        check("PNG offered", False, f"{error}: {png[:40]!r}")

    source = Image.new("RGBA", (3, 2))
    for i, colour in enumerate([(255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255),
                                (10, 20, 30, 255), (200, 100, 50, 255), (0, 0, 0, 255)]):
        source.putpixel((i % 3, i // 3), colour)
    for suffix, target, save in [("png", "image/png", "PNG"), ("gif", "image/gif", "GIF"),
                                 ("jpg", "image/jpeg", "JPEG"), ("bmp", "image/bmp", "BMP")]:
        path = os.path.join(folder, "picture." + suffix)
        (source if save == "PNG" else source.convert("RGB")).save(path, save)
        with open(path, "rb") as f:
            xclip_in(env, f.read(), target)
        status, out, _ = tav(f'got: read-clipboard print [image? :got equal? :got load %{path}]', env, folder)
        check(f"{target} from another program", out == "true true\n", out)

    status, out, _ = tav("probe write-clipboard make image! 0x0  probe read-clipboard", env, folder)
    check("an image with no pixels clears", out == "true\nnone\n", out)


def x11_about(env, folder):
    status, out, _ = tav("about/cc", env, folder)
    got = xclip_out(env).decode("utf-8", "replace")
    check("about/cc copies the line it prints", out.startswith("Tav ") and out == got + "\n", f"{out!r} {got!r}")


FAKE = """#!/bin/sh
log="$(dirname "$0")/log"
echo "$(basename "$0") $*" >> "$log"
mode=$(cat "$(dirname "$0")/mode" 2>/dev/null)
case "$mode" in
  sleep) sleep 10 ;;
  fail) exit 1 ;;
esac
case "$(basename "$0")" in
  wl-copy) cat > "$(dirname "$0")/input" ;;
  wl-paste)
    if [ "$1" = "--list-types" ]; then cat "$(dirname "$0")/types"; else cat "$(dirname "$0")/data"; fi ;;
esac
"""


def wayland(home, folder):
    fake = os.path.join(folder, "fake-bin")
    os.makedirs(fake, exist_ok=True)
    for name in ("wl-copy", "wl-paste"):
        path = os.path.join(fake, name)
        with open(path, "w") as f:
            f.write(FAKE)
        os.chmod(path, 0o755)
    env = {**base_env(home), "WAYLAND_DISPLAY": "wayland-test", "DISPLAY": ":98",
           "PATH": fake + os.pathsep + os.environ.get("PATH", "")}

    def reset(mode="", types="", data=b""):
        for name, content in [("mode", mode.encode()), ("types", types.encode()), ("data", data), ("log", b""),
                              ("input", b"")]:
            with open(os.path.join(fake, name), "wb") as f:
                f.write(content)

    def read(name):
        with open(os.path.join(fake, name), "rb") as f:
            return f.read()

    reset()
    status, out, _ = tav('probe write-clipboard "x"', env, folder)
    check("wl-copy of text", out == "true\n" and read("log") == b"wl-copy --type text/plain;charset=utf-8\n"
          and read("input") == b"x", f"{out!r} {read('log')!r} {read('input')!r}")

    reset(types="TEXT\ntext/plain;charset=utf-8\nimage/png\n", data=b"hi\r\nthere")
    status, out, _ = tav('probe read-clipboard', env, folder)
    check("wl-paste of text", out == '"hi^/there"\n' and read("log") ==
          b"wl-paste --list-types\nwl-paste --no-newline --type text/plain;charset=utf-8\n",
          f"{out!r} {read('log')!r}")

    reset()
    status, out, _ = tav("probe write-clipboard none", env, folder)
    check("wl-copy --clear", out == "true\n" and read("log") == b"wl-copy --clear\n", f"{out!r} {read('log')!r}")

    reset(mode="fail")
    status, out, _ = tav('probe write-clipboard "x"  probe read-clipboard', env, folder)
    check("failing programs", out == "false\nnone\n", out)

    reset(mode="sleep")
    status, out, _ = tav("t: now/precise probe read-clipboard print to float! difference now/precise t", env, folder)
    lines = out.split()
    waited = float(lines[1]) if len(lines) == 2 else -1
    check("a wl-paste that does not answer", lines[:1] == ["false"] and 1.9 < waited < 4, f"{out!r}")


def main():
    for program in ("xclip", "Xvfb"):
        if not shutil.which(program):
            print(f"{program} is missing: run tools/setup.sh")
            return 1
    with tempfile.TemporaryDirectory() as folder:
        home = os.path.join(folder, "home")
        os.makedirs(home)
        no_clipboard(home, folder)
        wayland(home, folder)
        server, display = start_xvfb()
        try:
            env = {**base_env(home), "DISPLAY": display}
            x11_text(env, folder)
            x11_files(env, folder)
            x11_images(env, folder)
            x11_about(env, folder)
        finally:
            server.terminate()
            server.wait(timeout=20)
    for failure in failures:
        print("FAILED", failure)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
