#!/usr/bin/env bash
# Decoding and encoding a 4000x3000 picture (smooth gradients with noise) as PNG and as JPEG in
# the Release tav, beside Pillow on the same files in the same run. Decoding starts from the
# file's bytes in memory and encoding from pixels in memory; each figure is the best of the runs,
# timed inside the process. PNG is written at zlib level 6 by both, JPEG at quality 90 with full
# colour resolution. Goal: decoding within 1.5 times Pillow, PNG encoding within 2 times.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"
runs=${IMAGE_BENCH_RUNS:-3}
python=/usr/bin/python3  # Debian's, with python3-pil

cat > "$dir/make.py" <<PY
import random
from PIL import Image
rng = random.Random(7)
w, h = 4000, 3000
noise = bytes(rng.randrange(16) for _ in range(65536))
data = bytearray(w * h * 3)
i = 0
for y in range(h):
    for x in range(w):
        n = noise[(x * 131 + y * 17) & 0xFFFF]
        data[i] = (x * 255 // w + n) & 0xFF
        data[i + 1] = (y * 255 // h + n) & 0xFF
        data[i + 2] = ((x + y) * 255 // (w + h) + n) & 0xFF
        i += 3
img = Image.frombytes("RGB", (w, h), bytes(data))
img.save("$dir/pic.png", compress_level=6)
img.save("$dir/pic.jpg", quality=90, subsampling=0)
PY
"$python" "$dir/make.py"

cat > "$dir/bench.tav" <<TAV
Tav []
best: func [code /local b t] [
    b: none
    loop $runs [recycle t: to float! dt code b: either b [min b t] [t]]
    b
]
png: read/binary %$dir/pic.png
jpg: read/binary %$dir/pic.jpg
img: system/codecs/png/decode png
print [
    best [system/codecs/png/decode png]
    best [system/codecs/jpeg/decode jpg]
    best [system/codecs/png/encode img none]
    best [system/codecs/jpeg/encode img none]
]
TAV
cat > "$dir/peer.py" <<PY
import io, time
from PIL import Image
png = open("$dir/pic.png", "rb").read()
jpg = open("$dir/pic.jpg", "rb").read()
def best(f):
    b = None
    for _ in range($runs):
        start = time.perf_counter(); f(); t = time.perf_counter() - start
        b = t if b is None else min(b, t)
    return b
def decode(data):
    img = Image.open(io.BytesIO(data)); img.load(); return img
img = decode(png)
def encode(fmt, **options):
    out = io.BytesIO(); img.save(out, fmt, **options)
print(best(lambda: decode(png)), best(lambda: decode(jpg)),
      best(lambda: encode("PNG", compress_level=6)), best(lambda: encode("JPEG", quality=90, subsampling=0)))
PY

tav_out=$("$tav" "$dir/bench.tav")
py_out=$("$python" "$dir/peer.py")
echo "picture: 4000x3000, PNG $(stat -c %s "$dir/pic.png") bytes, JPEG $(stat -c %s "$dir/pic.jpg") bytes"
printf '%-12s %10s %12s %8s\n' "operation" "tav (s)" "Pillow (s)" "ratio"
paste <(echo "$tav_out") <(echo "$py_out") | awk '{
    split("png-decode jpeg-decode png-encode jpeg-encode", names, " ")
    for (i = 1; i <= 4; i++) printf "%-12s %10.3f %12.3f %8.2f\n", names[i], $i, $(i + 4), $i / $(i + 4)
}'
