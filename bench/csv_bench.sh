#!/usr/bin/env bash
# load-csv and to-csv of a generated 10 MB file (100,000 rows of 10 fields, a tenth of them
# quoted with commas and quotes inside) in the Release tav beside Python 3's csv.reader and
# csv.writer on the same text. Each figure is the best of three timings taken inside the process
# (dt in Tav, time.perf_counter in Python), so start-up and the reading of the file are left out;
# both sides check the row count and that writing the rows back gives the file again.
# Goal: within 10 times of Python both ways.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"

python3 - "$dir/data.csv" <<'PY'
import csv, random, sys
rng = random.Random(7)
letters = "abcdefghijklmnopqrstuvwxyz0123456789"
with open(sys.argv[1], "w", newline="") as f:
    w = csv.writer(f, lineterminator="\n")
    for _ in range(100000):
        row = []
        for _ in range(10):
            field = "".join(rng.choice(letters) for _ in range(rng.randint(6, 11)))
            if rng.random() < 0.1:
                field = field[:3] + rng.choice([",", '"', ',"']) + field[3:]
            row.append(field)
        w.writerow(row)
PY

cat > "$dir/csv.tav" <<'TAV'
Tav []
best-of: func [code [block!] /local best t] [
    best: none
    loop 3 [
        t: to float! dt code
        best: either best [min best t] [t]
    ]
    best
]
text: to string! read/binary %data.csv
t: best-of [rows: load-csv text]
print ["load" length? text length? rows t]
t: best-of [out: to-csv rows]
print ["save" length? out either out == text [1] [0] t]
TAV
cat > "$dir/peer.py" <<'PY'
import csv, io, time
def best_of(f):
    best = None
    for _ in range(3):
        start = time.perf_counter()
        r = f()
        t = time.perf_counter() - start
        best = t if best is None else min(best, t)
    return r, best
text = open("data.csv", newline="").read()
rows, t = best_of(lambda: list(csv.reader(io.StringIO(text, newline=""))))
print("load", len(text), len(rows), t)
def write():
    out = io.StringIO(newline="")
    csv.writer(out, lineterminator="\n").writerows(rows)
    return out.getvalue()
out, t = best_of(write)
print("save", len(out), 1 if out == text else 0, t)
PY

tav_out=$(cd "$dir" && "$tav" csv.tav)
py_out=$(cd "$dir" && python3 peer.py)
printf '%-6s %10s %8s %12s %14s %8s\n' "case" "chars" "result" "tav (ms)" "python3 (ms)" "ratio"
paste <(echo "$tav_out") <(echo "$py_out") | awk '{
    if ($3 != $7 || $2 != $6) { printf "results differ: %s\n", $0; exit 1 }
    printf "%-6s %10d %8d %12.1f %14.1f %8.1f\n", $1, $2, $3, $4 * 1000, $8 * 1000, $4 / $8
}'
