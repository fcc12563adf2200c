#!/usr/bin/env python3
"""The image codecs beside Pillow, both ways.

  image-peer-test.py TAV LIMIT_TAV [--small]

Files Pillow writes decode to Pillow's own pixels; files tav writes open in Pillow with the same
pixels; the first half of every file is refused (bad-media from memory, cannot-open from a file)
with nothing on standard error; headers claiming sizes past the limits are refused by LIMIT_TAV
(a tav without the sanitizers) while the process stays under 100 MB. --small uses smaller
pictures, for the run with a collection at every allocation."""
import io
import os
import subprocess
import sys
import tempfile

from PIL import Image

TAV, LIMIT_TAV = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SMALL = "--small" in sys.argv
W, H = (13, 9) if SMALL else (37, 23)
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def picture(width, height):
    """Gradients with every kind of transparency, fully transparent pixels included."""
    img = Image.new("RGBA", (width, height))
    img.putdata([((x * 255) // width, (y * 255) // height, (x * y * 7) % 256,
                  0 if (x + y) % 7 == 0 else 255 if (x + y) % 3 else (x * 40 + y) % 256)
                 for y in range(height) for x in range(width)])
    return img


def run_tav(script_text, folder, tav=TAV):
    path = os.path.join(folder, "run.tav")
    with open(path, "w") as f:
        f.write("Tav []\n" + script_text)
    p = subprocess.run([tav, path], capture_output=True, cwd=folder, env=dict(os.environ, HOME=folder))
    return p.stdout.decode(), p.stderr.decode(), p.returncode


REPORT = """report: func [code /local r] [
    set/any 'r try code
    print either error? :r [["error" r/id]] [
        either image? :r [["image" r/size enbase/base r/argb 16]] [mold :r]
    ]
]
"""


def decoded_by_tav(files, folder, from_memory=False):
    body = "".join(
        "report [load/as read/binary %{} 'png]\n".format(f) if from_memory else "report [load %{}]\n".format(f)
        for f in files)
    out, err, status = run_tav(REPORT + body, folder)
    if err or status:
        fail("tav printed on standard error or failed ({}): {}".format(status, err[:500]))
    return out.splitlines()


def pixels_of(line):
    """(width, height, [(r, g, b, a)...]) of an 'image WxH HEX' line."""
    word, size, data = line.split(" ")
    w, h = (int(n) for n in size.split("x"))
    raw = bytes.fromhex(data)
    return w, h, [(raw[i + 2], raw[i + 1], raw[i], raw[i + 3]) for i in range(0, len(raw), 4)]


def same(name, ours, theirs, tolerance=0):
    for i, (a, b) in enumerate(zip(ours, theirs)):
        if a[3] == 0 and b[3] == 0:
            continue  # a fully transparent pixel compares by its transparency only
        if any(abs(x - y) > tolerance for x, y in zip(a, b)):
            fail("{}: pixel {} is {}, Pillow has {}".format(name, i, a, b))
            return


def pillow_files(folder):
    src = picture(W, H)
    rgb = src.convert("RGB")
    files = {}

    def save(name, img, **options):
        img.save(os.path.join(folder, name), **options)
        files[name] = options

    save("rgba.png", src)
    save("rgb.png", rgb)
    pal = rgb.quantize(colors=64)
    pal.info["transparency"] = 3
    save("palette.png", pal, transparency=3)
    save("grey.png", rgb.convert("L"))
    save("baseline.jpg", rgb, quality=90)
    save("progressive.jpg", rgb, quality=85, progressive=True)
    save("grey.jpg", rgb.convert("L"))
    save("transparent.gif", pal, transparency=3)
    for compression in ("raw", "tiff_lzw", "tiff_adobe_deflate"):
        save("rgb-{}.tif".format(compression), rgb, compression=compression)
        save("rgba-{}.tif".format(compression), src, compression=compression)
    save("grey.tif", rgb.convert("L"))  # layouts read through libtiff's RGBA reader
    save("palette.tif", rgb.quantize(colors=32))
    save("one.bmp", rgb.convert("1"))
    save("eight.bmp", rgb.quantize(colors=200))
    save("twentyfour.bmp", rgb)
    return files


def check_pillow_files(folder):
    names = list(pillow_files(folder))
    for from_memory in (False, True):
        lines = decoded_by_tav(names, folder, from_memory)
        if len(lines) != len(names):
            fail("expected {} results, got {}".format(len(names), lines))
            return
        for name, line in zip(names, lines):
            if not line.startswith("image "):
                fail("{} (from memory: {}) did not decode: {}".format(name, from_memory, line))
                continue
            w, h, ours = pixels_of(line)
            theirs = list(Image.open(os.path.join(folder, name)).convert("RGBA").getdata())
            if (w, h) != (W, H):
                fail("{}: size {}x{}".format(name, w, h))
            same(name, ours, theirs, 1 if name.endswith(".jpg") else 0)


def check_tav_files(folder):
    src = picture(W, H)
    data = b"".join(bytes((b, g, r, a)) for r, g, b, a in src.getdata())
    script = "img: make image! {}x{}\nimg/argb: #{{{}}}\n".format(W, H, data.hex())
    names = ["out.png", "out.tif", "out.bmp", "out.gif", "out.jpg"]
    script += "".join("save %{} img\n".format(n) for n in names)
    out, err, status = run_tav(script, folder)
    if err or status:
        fail("saving: {} {}".format(status, err[:500]))
        return
    theirs = list(src.getdata())
    for name in names:
        img = Image.open(os.path.join(folder, name))
        img.load()
        got = list(img.convert("RGBA").getdata())
        if img.size != (W, H):
            fail("{}: Pillow reads {}".format(name, img.size))
        elif name.endswith(".gif"):
            want = [(r, g, b, 255) if a >= 128 else (0, 0, 0, 0) for r, g, b, a in theirs]
            # few enough colours for an exact palette only in the small picture
            if len({p[:3] for p in theirs if p[3] >= 128}) <= 255:
                same(name, got, want)
            elif any((a[3] == 0) != (b[3] == 0) for a, b in zip(got, want)):
                fail("{}: transparency differs".format(name))
        elif name.endswith(".jpg"):
            mean = lambda px, c: sum(p[c] for p in px) / len(px)
            for c in range(3):
                if abs(mean(got, c) - mean(theirs, c)) > 8:
                    fail("{}: channel {} mean {} against {}".format(name, c, mean(got, c), mean(theirs, c)))
            if any(p[3] != 255 for p in got):
                fail("{}: not opaque".format(name))
        else:
            same(name, got, theirs)


def check_halves(folder):
    names = [n for n in os.listdir(folder) if n.rsplit(".", 1)[-1] in ("png", "jpg", "gif", "tif", "bmp")]
    body = ""
    for n in sorted(names):
        with open(os.path.join(folder, n), "rb") as f:
            data = f.read()
        half = data[: len(data) // 2]
        with open(os.path.join(folder, "half-" + n), "wb") as f:
            f.write(half)
        body += "report [system/codecs/png/decode #{{{}}}]\nreport [system/codecs/png/decode %half-{}]\n".format(
            half.hex(), n)
    lines = run_tav_checked(REPORT + body, folder)
    for i, n in enumerate(sorted(names)):
        got = lines[2 * i: 2 * i + 2]
        if got != ["error bad-media", "error cannot-open"]:
            fail("first half of {}: {}".format(n, got))


def run_tav_checked(script, folder, tav=TAV):
    out, err, status = run_tav(script, folder, tav)
    if err or status:
        fail("tav status {} with standard error {!r}".format(status, err[:500]))
    return out.splitlines()


def claiming(kind, width, height):
    """A small valid file whose header claims the size."""
    buf = io.BytesIO()
    Image.new("RGB", (4, 3), (9, 9, 9)).save(buf, {"png": "PNG", "bmp": "BMP", "tif": "TIFF", "gif": "GIF",
                                                  "jpg": "JPEG"}[kind])
    b = bytearray(buf.getvalue())
    if kind == "png":
        import zlib
        b[16:24] = width.to_bytes(4, "big") + height.to_bytes(4, "big")
        b[29:33] = zlib.crc32(bytes(b[12:29])).to_bytes(4, "big")
    elif kind == "bmp":
        b[18:26] = width.to_bytes(4, "little") + height.to_bytes(4, "little")
    elif kind == "gif":
        b[6:10] = width.to_bytes(2, "little") + height.to_bytes(2, "little")
        i = b.index(0x2C, 13 + (3 * (2 << (b[10] & 7)) if b[10] & 0x80 else 0))
        b[i + 5:i + 9] = width.to_bytes(2, "little") + height.to_bytes(2, "little")
    elif kind == "jpg":
        i = b.index(b"\xff\xc0")
        b[i + 5:i + 9] = height.to_bytes(2, "big") + width.to_bytes(2, "big")
    elif kind == "tif":
        order = "little" if b[:2] == b"II" else "big"
        ifd = int.from_bytes(b[4:8], order)
        for e in range(int.from_bytes(b[ifd:ifd + 2], order)):
            at = ifd + 2 + 12 * e
            tag = int.from_bytes(b[at:at + 2], order)
            if tag in (256, 257):
                b[at + 2:at + 4] = (4).to_bytes(2, order)
                b[at + 8:at + 12] = (width if tag == 256 else height).to_bytes(4, order)
    return bytes(b)


def check_claims(folder):
    cases = [(k, 70000, 1) for k in ("png", "bmp", "tif")] + [(k, 60000, 60000) for k in ("png", "bmp", "tif", "gif", "jpg")]
    for kind, w, h in cases:
        with open(os.path.join(folder, "claim." + kind), "wb") as f:
            f.write(claiming(kind, w, h))
        script = REPORT + "report [load/as read/binary %claim.{} 'png]\nreport [load %claim.{}]\n".format(kind, kind)
        path = os.path.join(folder, "run.tav")
        with open(path, "w") as f:
            f.write("Tav []\n" + script)
        p = subprocess.Popen([LIMIT_TAV, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder,
                             env=dict(os.environ, HOME=folder))
        out, err = p.stdout.read(), p.stderr.read()
        _, p.returncode, usage = os.wait4(p.pid, 0)  # the peak memory of this process alone
        lines = out.decode().splitlines()
        if lines != ["error bad-media", "error cannot-open"] or err:
            fail("{} claiming {}x{}: {} {!r}".format(kind, w, h, lines, err[:300]))
        if usage.ru_maxrss > 100 * 1024:
            fail("{} claiming {}x{}: {} KB".format(kind, w, h, usage.ru_maxrss))
    # The claims are made by the same rewriting that keeps a sound file sound.
    for kind in ("png", "bmp", "tif", "gif", "jpg"):
        with open(os.path.join(folder, "same." + kind), "wb") as f:
            f.write(claiming(kind, 4, 3))
    lines = run_tav_checked(REPORT + "".join("report [load %same.{}]\n".format(k)
                                             for k in ("png", "bmp", "tif", "gif", "jpg")), folder)
    if any(not l.startswith("image 4x3 ") for l in lines) or len(lines) != 5:
        fail("rewritten sizes: {}".format(lines))


def main():
    with tempfile.TemporaryDirectory() as folder:
        check_pillow_files(folder)
        check_tav_files(folder)
        check_halves(folder)
        check_claims(folder)
    if failures:
        print("{} failures".format(len(failures)))
        return 1
    print("image peer: ok")
    return 0


sys.exit(main())
