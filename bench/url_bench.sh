#!/usr/bin/env bash
# decode-url of 100,000 varied URLs (schemes, user information, ports, IP literals, paths of 0 to 4
# segments, queries, fragments, percent escapes) in the Release tav beside Python 3's
# urllib.parse.urlsplit of the same texts. Each figure is the best of three timings taken inside
# the process (dt in Tav, time.perf_counter in Python), so start-up and reading the URLs are left
# out. Goal: within 5 times Python.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"

python3 - "$dir/urls.txt" <<'PY'
import random, sys
r = random.Random(11)
words = ["a", "docs", "index.html", "img", "x%20y", "v1", "data.json", "~me", "q-r_s", "2024"]
out = []
for i in range(100000):
    scheme = r.choice(["http", "https", "ftp", "svn+ssh", "mailto"])
    if scheme == "mailto":
        out.append(f"mailto:user{i}@example.com")
        continue
    host = r.choice([f"host{i % 97}.example.org", "127.0.0.1", "[2001:db8::7]", "localhost"])
    user = r.choice(["", "", "", "me@", "me:pw@"])
    port = r.choice(["", "", f":{r.randint(1, 65535)}"])
    path = "".join("/" + r.choice(words) for _ in range(r.randint(0, 4)))
    query = r.choice(["", "", f"?k={i}&v=x", "?a=b/c"])
    frag = r.choice(["", "", "", "#top"])
    out.append(f"{scheme}://{user}{host}{port}{path}{query}{frag}")
open(sys.argv[1], "w").write("\n".join(out) + "\n")
PY

cat > "$dir/url.tav" <<TAV
Tav []
urls: collect [foreach line read/lines %$dir/urls.txt [keep to url! line]]
best: none
loop 3 [
    n: 0
    t: to float! dt [foreach u urls [if object? decode-url u [n: n + 1]]]
    best: either best [min best t] [t]
]
print [length? urls n best]
TAV
cat > "$dir/url.py" <<PY
import time
from urllib.parse import urlsplit
urls = open("$dir/urls.txt").read().split()
best = None
for _ in range(3):
    start = time.perf_counter()
    n = sum(1 for u in urls if urlsplit(u).scheme)
    t = time.perf_counter() - start
    best = t if best is None else min(best, t)
print(len(urls), n, best)
PY

tav_out=$("$tav" "$dir/url.tav")
py_out=$(python3 "$dir/url.py")
printf '%-8s %8s %12s %14s %8s\n' "urls" "parsed" "tav (ms)" "python3 (ms)" "ratio"
paste <(echo "$tav_out") <(echo "$py_out") | awk '{
    if ($2 != $5) { printf "parsed counts differ: %s %s\n", $2, $5; exit 1 }
    printf "%-8d %8d %12.1f %14.1f %8.1f (goal: at most 5)\n", $1, $2, $3 * 1000, $6 * 1000, $3 / $6
}'
