#!/usr/bin/env bash
# HTTP client of the Release tav beside its peers, on a server on 127.0.0.1 started here:
# read/binary of a 100 MB file beside `curl -s -o /dev/null`, and 1,000 small GETs (a new
# connection each) beside Python 3's http.client. Each figure is the best of three runs.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"
cd "$dir"
head -c $((100 << 20)) /dev/urandom > big.bin
printf 'x' > small.txt
python3 -u -m http.server 0 --bind 127.0.0.1 > server.log 2>/dev/null &
server=$!
trap 'kill $server; rm -rf "$dir"' EXIT
until grep -q ' port ' server.log; do sleep 0.1; done
port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' server.log)
base=http://127.0.0.1:$port

best() {  # best of three wall times of the command, in milliseconds
  local best="" start end t
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    t=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

printf 'Tav []\nread/binary %s/big.bin\n' "$base" > big.tav
printf 'Tav []\nloop 1000 [read %s/small.txt]\n' "$base" > small.tav
cat > small.py <<PY
import http.client
for _ in range(1000):
    c = http.client.HTTPConnection("127.0.0.1", $port)
    c.request("GET", "/small.txt")
    c.getresponse().read()
    c.close()
PY

echo "100 MB read/binary: tav $(best "$tav" big.tav) ms, curl $(best curl -s -o /dev/null "$base/big.bin") ms"
echo "1000 small GETs:    tav $(best "$tav" small.tav) ms, python3 http.client $(best python3 small.py) ms"
