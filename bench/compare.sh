#!/usr/bin/env bash
# Runs each program of bench/programs through the Release tav, python3 and lua5.4 and prints the
# best wall time of three runs of each whole process (start-up included) and the ratios
# Python/Tav and Lua/Tav (above 1: Tav is faster). Builds the Release tav when it is missing and
# installs lua5.4 when it is missing. An argument runs only the programs whose name holds it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tav=$root/build/release/tav
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

# Best of three runs of the command, in seconds; "-" when it fails.
best_of_three() {
  local best="" start end elapsed
  for _ in 1 2 3; do
    start=$(date +%s%N)
    if ! "$@" >/dev/null 2>&1; then
      echo "-"
      return
    fi
    end=$(date +%s%N)
    elapsed=$((end - start))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

ratio() {  # ratio OTHER TAV
  if [ "$1" = "-" ] || [ "$2" = "-" ]; then echo "-"; return; fi
  awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'
}

printf '%-14s %9s %9s %9s %12s %12s\n' program "Tav s" "Python s" "Lua s" "Python/Tav" "Lua/Tav"
for script in "$programs"/*.tav; do
  name=$(basename "$script" .tav)
  if [ -n "$only" ] && [[ "$name" != *"$only"* ]]; then continue; fi
  t=$(best_of_three "$tav" "$script")
  p=$(best_of_three python3 "$programs/$name.py")
  l=$(best_of_three lua5.4 "$programs/$name.lua")
  printf '%-14s %9s %9s %9s %12s %12s\n' "$name" "$t" "$p" "$l" "$(ratio "$p" "$t")" "$(ratio "$l" "$t")"
done
