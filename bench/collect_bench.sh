#!/usr/bin/env bash
# split of a text at "," (5 MB and 10 MB, 0.5M and 1M pieces), extract of a 1M-value block with
# width 2, and collect of 1M kept integers, in the Release tav beside Python 3 on the same data:
# str.split; a while loop appending every second item; a for loop calling a small keep function
# that appends. Each figure is the best of three timings taken inside the process (dt in Tav,
# time.perf_counter in Python), so start-up and the making of the data are left out. Goals:
# extract within 2 times and collect within 3 times of the Python loops, and split linear (the
# 10 MB text within 2.2 times the 5 MB one).
set -euo pipefail

. "$(dirname "$0")/release_env.sh"

cat > "$dir/collect.tav" <<'TAV'
Tav []
best-of: func [code [block!] /local best t] [
    best: none
    loop 3 [
        t: to float! dt code
        best: either best [min best t] [t]
    ]
    best
]
foreach n [500000 1000000] [
    text: make string! n * 10
    loop n [append text "abcdefghi,"]
    remove back tail text
    t: best-of [r: split text ","]
    print ["split" n length? r t]
]
b: make block! 1000000
repeat i 1000000 [append b i]
t: best-of [r: extract b 2]
print ["extract" 1000000 length? r t]
t: best-of [r: collect [repeat i 1000000 [keep i]]]
print ["collect" 1000000 length? r t]
TAV
cat > "$dir/collect.py" <<'PY'
import time
def best_of(f):
    best = None
    for _ in range(3):
        start = time.perf_counter()
        r = f()
        t = time.perf_counter() - start
        best = t if best is None else min(best, t)
    return r, best
for n in (500000, 1000000):
    text = ",".join(["abcdefghi"] * n)
    r, t = best_of(lambda: text.split(","))
    print("split", n, len(r), t)
b = list(range(1, 1000001))
def extract(s, width):
    out = []
    i = 0
    while i < len(s):
        out.append(s[i])
        i += width
    return out
r, t = best_of(lambda: extract(b, 2))
print("extract", 1000000, len(r), t)
def collect():
    out = []
    def keep(v):
        out.append(v)
        return v
    for i in range(1, 1000001):
        keep(i)
    return out
r, t = best_of(collect)
print("collect", 1000000, len(r), t)
PY

tav_out=$("$tav" "$dir/collect.tav")
py_out=$(python3 "$dir/collect.py")
printf '%-8s %8s %9s %12s %14s %8s\n' "case" "size" "result" "tav (ms)" "python3 (ms)" "ratio"
paste <(echo "$tav_out") <(echo "$py_out") | awk '{
    if ($3 != $7) { printf "result lengths differ: %s %s\n", $3, $7; exit 1 }
    printf "%-8s %8d %9d %12.2f %14.3f %8.1f\n", $1, $2, $3, $4 * 1000, $8 * 1000, $4 / $8
    if ($1 == "split") s[++k] = $4
} END { if (k == 2) printf "split of 10 MB / 5 MB in tav: %.2f (goal: at most 2.2)\n", s[2] / s[1] }'
