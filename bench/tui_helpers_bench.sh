#!/usr/bin/env bash
# The terminal helpers' text builders in the Release tav beside Python 3 building the same texts:
# progress bars 80 cells wide at 100 ratios, 1000 times over; a text list of 200 entries 10000
# times; check box texts of a checked and an unchecked box, 50000 times each. The faces are made
# before the timing, so the Tav figures hold the builders' own work: reading the facets and, for
# bars and lists, storing the text through the face's change handler. Each figure is the best of
# three timings taken inside the process (dt in Tav, time.perf_counter in Python), so start-up is
# left out; the result columns (total characters built) must agree. No goal is set: the Python
# loops build plain strings with no face or widget behind them, and the figures show what the
# face model adds.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"

cat > "$dir/helpers.tav" <<'TAV'
Tav []
best-of: func [code [block!] /local best t] [
    best: none
    loop 3 [
        t: to float! dt code
        best: either best [min best t] [t]
    ]
    best
]
system/view/auto-sync?: false
bars: collect [repeat i 100 [keep make face! [type: 'progress size: 80x1 data: i / 100.0]]]
t: best-of [total: 0 loop 1000 [foreach bar bars [total: total + length? TUI-helpers/make-progress-ui bar]]]
print ["progress" 100000 total t]
list: make face! [type: 'text-list size: 20x10 data: collect [repeat i 200 [keep form i]]]
t: best-of [total: 0 repeat i 10000 [TUI-helpers/make-text-list-ui list total: total + length? list/text]]
print ["text-list" 10000 total t]
on: make face! [type: 'check text: "Remember me" data: true]
off: make face! [type: 'check text: "Remember me"]
t: best-of [total: 0 loop 50000 [total: total + (length? TUI-helpers/make-checkbox-ui on) + length? TUI-helpers/make-checkbox-ui off]]
print ["check" 100000 total t]
TAV
cat > "$dir/helpers.py" <<'PY'
import math, time
def best_of(f):
    best = None
    for _ in range(3):
        start = time.perf_counter()
        r = f()
        t = time.perf_counter() - start
        best = t if best is None else min(best, t)
    return r, best
def progress_text(width, ratio):
    ratio = 0.0 if ratio <= 1e-16 else 1.0 if ratio >= 1.0 else ratio
    bar = width - 2
    filled = math.ceil(bar * ratio)
    return "[" + "#" * filled + " " * (bar - filled) + "]"
def progress():
    return sum(len(progress_text(80, i / 100.0)) for _ in range(1000) for i in range(1, 101))
entries = [str(i) for i in range(1, 201)]
def list_text(index):
    # Without the focus, as in the Tav loop: no line is highlighted.
    parts = []
    for n, entry in enumerate(entries, 1):
        parts.append("\x1b[7m" + entry + "\n\x1b[27m" if n == index else entry + "\n")
    return "".join(parts)
def text_list():
    return sum(len(list_text(-1)) for _ in range(10000))
def check():
    return sum(len(("🞕 " if i % 2 else "☐ ") + "Remember me") for i in range(1, 100001))
for name, n, f in (("progress", 100000, progress), ("text-list", 10000, text_list), ("check", 100000, check)):
    r, t = best_of(f)
    print(name, n, r, t)
PY

tav_out=$("$tav" "$dir/helpers.tav")
py_out=$(python3 "$dir/helpers.py")
printf '%-10s %8s %10s %12s %14s %8s\n' "case" "count" "chars" "tav (ms)" "python3 (ms)" "ratio"
paste <(echo "$tav_out") <(echo "$py_out") | awk '{
    if ($3 != $7) { printf "results differ: %s %s\n", $3, $7; exit 1 }
    printf "%-10s %8d %10d %12.2f %14.3f %8.1f\n", $1, $2, $3, $4 * 1000, $8 * 1000, $4 / $8
}'
