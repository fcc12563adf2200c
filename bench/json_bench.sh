#!/usr/bin/env bash
# load-json and to-json of a generated 10 MB JSON document (nested objects and arrays, integers,
# floats, strings with escapes and non-ASCII text) in the Release tav, beside Python 3's
# json.loads and json.dumps of the same text in the same run. Each figure is the best of the
# timings taken inside the process (dt in Tav, time.perf_counter in Python), so start-up and
# reading the file are left out. Goal: within 10 times Python both ways.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"
runs=${JSON_BENCH_RUNS:-3}

cat > "$dir/generate.py" <<'PY'
import json, random, sys
rng = random.Random(42)
words = ["alpha", "beta", "gamma", "délta", "ε-psilon", "zeta \"quoted\"", "tab\there", "line\nfeed",
         "back\\slash", "emoji 😀", "日本語", "plain text of some length"]
def value(depth):
    r = rng.random()
    if depth > 4 or r < 0.3:
        k = rng.randrange(4)
        if k == 0: return rng.randrange(-10**9, 10**9)
        if k == 1: return rng.uniform(-1e6, 1e6)
        if k == 2: return rng.choice(words) + str(rng.randrange(1000))
        return rng.choice([True, False, None])
    if r < 0.65:
        return {rng.choice(words).split()[0] + str(i): value(depth + 1) for i in range(rng.randrange(1, 8))}
    return [value(depth + 1) for _ in range(rng.randrange(1, 8))]
items, size = [], 0
while size < 10 * 1048576:
    v = value(0)
    items.append(v)
    size += len(json.dumps(v, ensure_ascii=False).encode()) + 1
with open(sys.argv[1], "w", encoding="utf-8") as f:
    json.dump({"items": items}, f, ensure_ascii=False)
PY
python3 "$dir/generate.py" "$dir/doc.json"
bytes=$(stat -c %s "$dir/doc.json")

cat > "$dir/json.tav" <<TAV
Tav []
text: read %$dir/doc.json
best-load: best-save: none
loop $runs [
    recycle
    t: to float! dt [value: load-json text]
    best-load: either best-load [min best-load t] [t]
    recycle
    t: to float! dt [out: to-json value]
    best-save: either best-save [min best-save t] [t]
]
print [best-load best-save length? out]
TAV
cat > "$dir/peer.py" <<PY
import json, time
text = open("$dir/doc.json", encoding="utf-8").read()
best_load = best_save = None
for _ in range($runs):
    start = time.perf_counter(); value = json.loads(text); t = time.perf_counter() - start
    best_load = t if best_load is None else min(best_load, t)
    start = time.perf_counter(); out = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    t = time.perf_counter() - start
    best_save = t if best_save is None else min(best_save, t)
print(best_load, best_save, len(out))
PY

tav_out=$("$tav" "$dir/json.tav")
py_out=$(python3 "$dir/peer.py")
echo "document: $bytes bytes"
printf '%-10s %14s %14s %18s %18s %8s\n' "direction" "tav (s)" "tav (MB/s)" "python3 (s)" "python3 (MB/s)" "ratio"
paste <(echo "$tav_out") <(echo "$py_out") | awk -v bytes="$bytes" '{
    mb = bytes / 1048576
    printf "%-10s %14.3f %14.2f %18.4f %18.2f %8.1f\n", "load-json", $1, mb / $1, $4, mb / $4, $1 / $4
    printf "%-10s %14.3f %14.2f %18.4f %18.2f %8.1f\n", "to-json", $2, mb / $2, $5, mb / $5, $2 / $5
    printf "output length in characters: tav %d, python3 %d\n", $3, $6
}'
