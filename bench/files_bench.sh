#!/usr/bin/env bash
# File throughput of the Release tav beside its peers, in MB/s: read and write of a 100 MB ASCII
# text, read/binary and write/binary of 100 MB of random bytes, beside cat to /dev/null, cp and
# Python 3's open().read(); and the listing of a folder of 100,000 entries beside ls -f. Each
# figure is the best of three runs of a whole process, less the best start-up of an empty
# script (or of `python3 -c pass`). The files live in a temporary folder under $TMPDIR.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"
cd "$dir"

size_mb=100
head -c $((size_mb << 20)) /dev/urandom > random.bin
python3 -c "
import sys
line = b'The quick brown fox jumps over the lazy dog, 0123456789.\n'
n = ($size_mb << 20) // len(line) + 1
sys.stdout.buffer.write((line * n)[:$size_mb << 20])" > text.txt
mkdir many
(cd many && seq 1 100000 | xargs touch)

best() {  # best of three wall times of the command, in seconds
  local best="" start end t
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    t=$(( end - start ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

script() {  # script NAME CODE: a Tav script file
  printf 'Tav []\n%s\n' "$2" > "$1.tav"
}

script empty ''
script read-text 'x: read %text.txt'
script write-text 'x: read %text.txt write %out.txt x'
script read-binary 'x: read/binary %random.bin'
script write-binary 'x: read/binary %random.bin write/binary %out.bin x'
script list 'x: read %many/'

tav_start=$(best "$tav" empty.tav)
py_start=$(best python3 -c pass)
read_text=$(( $(best "$tav" read-text.tav) - tav_start ))
write_text=$(( $(best "$tav" write-text.tav) - tav_start - read_text ))
read_binary=$(( $(best "$tav" read-binary.tav) - tav_start ))
write_binary=$(( $(best "$tav" write-binary.tav) - tav_start - read_binary ))
list=$(( $(best "$tav" list.tav) - tav_start ))
cat_text=$(best cat text.txt)
cat_binary=$(best cat random.bin)
cp_text=$(best cp text.txt copy.txt)
cp_binary=$(best cp random.bin copy.bin)
py_text=$(( $(best python3 -c "open('text.txt').read()") - py_start ))
py_binary=$(( $(best python3 -c "open('random.bin', 'rb').read()") - py_start ))
ls_f=$(best ls -f many)

rate() { awk -v mb="$size_mb" -v ns="$1" 'BEGIN { if (ns <= 0) print "-"; else printf "%.0f", mb / (ns / 1e9) }'; }
ms() { awk -v ns="$1" 'BEGIN { printf "%.1f", ns / 1e6 }'; }

printf '%-34s %10s %10s %10s %12s\n' "100 MB, MB/s" "tav" "cat" "cp" "python3"
printf '%-34s %10s %10s %10s %12s\n' "read (ASCII text)" "$(rate "$read_text")" "$(rate "$cat_text")" "-" "$(rate "$py_text")"
printf '%-34s %10s %10s %10s %12s\n' "write (ASCII text)" "$(rate "$write_text")" "-" "$(rate "$cp_text")" "-"
printf '%-34s %10s %10s %10s %12s\n' "read/binary (random bytes)" "$(rate "$read_binary")" "$(rate "$cat_binary")" "-" "$(rate "$py_binary")"
printf '%-34s %10s %10s %10s %12s\n' "write/binary (random bytes)" "$(rate "$write_binary")" "-" "$(rate "$cp_binary")" "-"
printf '%-34s %10s %10s\n' "listing 100,000 entries, ms" "$(ms "$list")" "$(ms "$ls_f") (ls -f)"
awk -v b="$read_binary" -v c="$cat_binary" -v t="$read_text" 'BEGIN {
  printf "binary read / cat: %.2fx (goal 1.5x); text read / binary read: %.2fx (goal 2x)\n", b / c, t / b }'
