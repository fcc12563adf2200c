#!/usr/bin/env bash
# The clipboard through xclip under an Xvfb this script starts, in the Release tav beside the
# same exchanges made with xclip from the shell: a 4 KB text and a 256x256 image written and
# read back, 50 times each, in milliseconds per write and per read. Each write of tav also
# waits until the clipboard hands the data out, and each read lists the offered types first and
# decodes what it gets; the shell's reads list the types and fetch the bytes.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"
rounds=${CLIPBOARD_BENCH_ROUNDS:-50}
python=/usr/bin/python3  # Debian's, with python3-pil

exec 9>"$dir/display"
Xvfb -displayfd 9 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
export DISPLAY=":$(tr -d '\n' < "$dir/display")"

"$python" -c "
from PIL import Image
import random
r = random.Random(3)
Image.frombytes('RGB', (256, 256), bytes(r.randrange(256) for _ in range(256 * 256 * 3))).save('$dir/pic.png')
"
head -c 3072 /dev/urandom | base64 -w 64 > "$dir/text.txt"

cat > "$dir/bench.tav" <<TAV
Tav []
ms: func [code /local t] [t: now/precise loop $rounds code 1000 * (to float! difference now/precise t) / $rounds]
text: read %$dir/text.txt
img: load %$dir/pic.png
print [
    ms [write-clipboard text] ms [read-clipboard]
    ms [write-clipboard img] ms [read-clipboard]
]
TAV

peer() {  # milliseconds per run of the command, over the rounds
  local start end
  start=$(date +%s%N)
  for _ in $(seq "$rounds"); do eval "$1" >/dev/null 2>&1; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n="$rounds" 'BEGIN { printf "%.3f", ns / 1e6 / n }'
}

tav_out=$("$tav" "$dir/bench.tav")
x="xclip -selection clipboard"
peer_out="$(peer "$x -i -t UTF8_STRING < $dir/text.txt") $(peer "$x -o -t TARGETS; $x -o -t UTF8_STRING")"
peer_out="$peer_out $(peer "$x -i -t image/png < $dir/pic.png") $(peer "$x -o -t TARGETS; $x -o -t image/png")"
printf '%-12s %10s %12s\n' "exchange" "tav (ms)" "xclip (ms)"
paste <(echo "$tav_out") <(echo "$peer_out") | awk '{
    split("text-write text-read image-write image-read", names, " ")
    for (i = 1; i <= 4; i++) printf "%-12s %10.2f %12.2f\n", names[i], $i, $(i + 4)
}'
