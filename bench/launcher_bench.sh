#!/usr/bin/env bash
# Child processes through the Release tav beside Python 3's subprocess.run in the same run:
# `call/wait "true"` per second over 500 calls, and the throughput of 100 MB sent through
# `cat` and captured back (call/input/output into a binary!), in MB/s.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"
cd "$dir"

calls=500
size_mb=100
cat > spawn.tav <<SCRIPT
Tav []
t: now/precise
loop $calls [call/wait "true"]
print to integer! $calls / to float! difference now/precise t
SCRIPT
cat > pipe.tav <<SCRIPT
Tav []
data: head insert/dup copy #{} #{61} $size_mb * 1048576
out: make binary! 0
t: now/precise
call/input/output "cat" data out
if (length? out) <> length? data [print "short" quit]
print to integer! $size_mb / to float! difference now/precise t
SCRIPT
python3 - "$calls" "$size_mb" > python.txt <<'PY'
import subprocess, sys, time
calls, size_mb = int(sys.argv[1]), int(sys.argv[2])
t = time.perf_counter()
for _ in range(calls):
    subprocess.run(["true"])
print(int(calls / (time.perf_counter() - t)))
data = b"a" * (size_mb << 20)
t = time.perf_counter()
out = subprocess.run(["cat"], input=data, capture_output=True).stdout
assert len(out) == len(data)
print(int(size_mb / (time.perf_counter() - t)))
PY
printf '%-34s %10s %10s\n' "" "tav" "python3"
printf '%-34s %10s %10s\n' "call/wait \"true\" per second" "$("$tav" spawn.tav)" "$(sed -n 1p python.txt)"
printf '%-34s %10s %10s\n' "100 MB through cat, MB/s" "$("$tav" pipe.tav)" "$(sed -n 2p python.txt)"
