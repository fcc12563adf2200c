#!/usr/bin/env bash
# Runs each program of bench/programs, and a generated source of 16 MB, through the Release tav,
# python3 and lua5.4 and prints the best wall time of three interleaved runs of each whole
# process (start-up included) and the ratios Python/Tav and Lua/Tav (above 1: Tav is faster). Builds the Release tav when it is missing and
# installs lua5.4 when it is missing. An argument runs only the programs whose name holds it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tav=${TAV:-$root/build/release/tav}
programs=$root/bench/programs
only=${1:-}

if [ ! -x "$tav" ]; then
  make -C "$root" build >/dev/null
fi
if ! command -v lua5.4 >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update >/dev/null 2>&1
  $sudo apt-get install -y --no-install-recommends lua5.4 >/dev/null 2>&1
fi

# Seconds of one run of the command, or "-" when it fails.
time_once() {
  local start end
  start=$(date +%s%N)
  if ! "$@" >/dev/null 2>&1; then
    echo "-"
    return
  fi
  end=$(date +%s%N)
  awk -v ns="$((end - start))" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

# The smaller of two times; "-" wins, so a failure shows.
best() {
  if [ "$1" = "-" ] || [ "$2" = "-" ]; then echo "-"; return; fi
  awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'
}

ratio() {  # ratio OTHER TAV
  if [ "$1" = "-" ] || [ "$2" = "-" ]; then echo "-"; return; fi
  awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'
}

# The interpreter itself rather than a launcher script in front of it (a version manager's shim
# can take longer to start than the program runs).
python=$(python3 -c 'import sys; print(sys.executable)')

# One program in the three languages: three rounds, each running Tav, Python and Lua in turn, so
# that a change in the machine's load falls on all three alike; the best time of each is shown.
compare() {  # compare NAME TAV PYTHON LUA
  local t=9e9 p=9e9 l=9e9
  for _ in 1 2 3; do
    t=$(best "$t" "$(time_once "$tav" "$2")")
    p=$(best "$p" "$(time_once "$python" "$3")")
    l=$(best "$l" "$(time_once lua5.4 "$4")")
  done
  printf '%-16s %9s %9s %9s %12s %12s\n' "$1" "$t" "$p" "$l" "$(ratio "$p" "$t")" "$(ratio "$l" "$t")"
}

printf '%-16s %9s %9s %9s %12s %12s\n' program "Tav s" "Python s" "Lua s" "Python/Tav" "Lua/Tav"
for script in "$programs"/*.tav; do
  name=$(basename "$script" .tav)
  if [ -n "$only" ] && [[ "$name" != *"$only"* ]]; then continue; fi
  compare "$name" "$script" "$programs/$name.py" "$programs/$name.lua"
done

# A generated source of 16 MB, loaded and evaluated.
name=load-16mb
if [ -z "$only" ] || [[ "$name" == *"$only"* ]]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  for language in tav py lua; do
    "$root/bench/generate_source.sh" "$language" 16777216 >"$work/load.$language"
  done
  compare "$name" "$work/load.tav" "$work/load.py" "$work/load.lua"
fi
