#!/usr/bin/env bash
# Layering check: a source file includes headers of its own folder's layer and the layers
# below it, never one above. Layers, lowest first:
#   runtime < datatypes < io < interpreter < boot < library < console < view
# datatypes/ reaches evaluation only through interpreter/stack.hpp (action arguments, frames,
# language exits, the call of a function value).
# Usage: check-layers.sh [source root]; prints each offending include and exits 1 if any.
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

layers=(runtime datatypes io interpreter boot library console view)

# Allowed upward includes, "file -> header", each with its reason.
allowed=()
for f in datatypes/*.cpp datatypes/*.hpp; do
  [ -e "$f" ] && allowed+=("$f -> interpreter/stack.hpp")  # the one narrow header
done
# The program's entry point installs the hooks of the layers above start-up.
allowed+=("boot/main.cpp -> console/terminal.hpp")
allowed+=("boot/main.cpp -> library/routines.hpp")

declare -A ranks
for i in "${!layers[@]}"; do ranks[${layers[$i]}]=$i; done

status=0
while IFS= read -r file; do
  top=${file%%/*}
  [ -n "${ranks[$top]+x}" ] || continue
  own=${ranks[$top]}
  while IFS= read -r header; do
    folder=${header%%/*}
    [ -n "${ranks[$folder]+x}" ] || continue
    [ "${ranks[$folder]}" -gt "$own" ] || continue
    pair="$file -> $header"
    ok=0
    for a in "${allowed[@]}"; do [ "$a" = "$pair" ] && ok=1 && break; done
    if [ $ok -eq 0 ]; then
      echo "layering: $pair (${folder}/ stands above ${top}/)"
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "${layers[@]}" -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.inc' \) 2>/dev/null | sort)

exit $status
