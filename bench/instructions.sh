#!/usr/bin/env bash
# Counts the machine instructions each program of bench/programs takes per operation, in the
# Release tav, python3 and lua5.4, with valgrind's callgrind (start-up taken off by running an
# empty program first). Instruction counts do not move with the load of the machine, so they
# compare interpreters where wall times on a shared machine do not. The programs are those of
# bench/programs at smaller sizes (callgrind runs code about fifty times slower), and a
# generated source of 1 MB loaded and evaluated. Builds the
# Release tav when it is missing and installs valgrind and lua5.4 when they are missing. An
# argument runs only the programs whose name holds it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tav=${TAV:-$root/build/release/tav}
only=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -x "$tav" ]; then
  make -C "$root" build >/dev/null
fi
for tool in valgrind lua5.4; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update >/dev/null 2>&1
    $sudo apt-get install -y --no-install-recommends "$tool" >/dev/null 2>&1
  fi
done

# name, operations, then the program in Tav, Python and Lua.
programs=(
  "fib" 21891
  'fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]] fib 20'
  $'def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)\nfib(20)'
  $'local function fib(n)\n  if n < 2 then return n end\n  return fib(n - 1) + fib(n - 2)\nend\nfib(20)'

  "count" 100000
  'n: 0 loop 100000 [n: n + 1]'
  $'n = 0\nfor _ in range(100000): n = n + 1'
  $'local n = 0\nfor _ = 1, 100000 do n = n + 1 end'

  "nested" 100000
  'c: 0 repeat i 100 [repeat j 1000 [if i < j [c: c + 1]]]'
  $'c = 0\nfor i in range(1, 101):\n    for j in range(1, 1001):\n        if i < j: c = c + 1'
  $'local c = 0\nfor i = 1, 100 do for j = 1, 1000 do if i < j then c = c + 1 end end end'

  "refinement-off" 100000
  'f: func [a /plus b] [either plus [a + b] [a]] loop 100000 [f 1]'
  $'def f(a, plus=False, b=None):\n    return a + b if plus else a\nfor _ in range(100000): f(1)'
  $'local function f(a, plus, b)\n  if plus then return a + b end\n  return a\nend\nfor _ = 1, 100000 do f(1) end'

  "refinement-on" 100000
  'f: func [a /plus b] [either plus [a + b] [a]] loop 100000 [f/plus 1 2]'
  $'def f(a, plus=False, b=None):\n    return a + b if plus else a\nfor _ in range(100000): f(1, True, 2)'
  $'local function f(a, plus, b)\n  if plus then return a + b end\n  return a\nend\nfor _ = 1, 100000 do f(1, true, 2) end'

  "return" 100000
  'g: func [n] [loop 100 [if n > 0 [return n]] 0] loop 100000 [g 1]'
  $'def g(n):\n    for _ in range(100):\n        if n > 0:\n            return n\n    return 0\nfor _ in range(100000):\n    g(1)'
  $'local function g(n)\n  for _ = 1, 100 do if n > 0 then return n end end\n  return 0\nend\nfor _ = 1, 100000 do g(1) end'

  "break" 100000
  'loop 100000 [loop 10 [break]]'
  $'for _ in range(100000):\n    for _ in range(10):\n        break'
  $'for _ = 1, 100000 do for _ = 1, 10 do break end end'

  "math" 100000
  's: 0.0 m: 0 repeat i 100000 [s: s + sine i s: s + square-root i m: max m shift i 3]'
  $'import math\ns = 0.0\nm = 0\nfor i in range(1, 100001):\n    s = s + math.sin(math.radians(i % 360))\n    s = s + math.sqrt(i)\n    m = max(m, i >> 3)'
  $'local s, m = 0.0, 0\nfor i = 1, 100000 do\n  s = s + math.sin(math.rad(i % 360))\n  s = s + math.sqrt(i)\n  m = math.max(m, i >> 3)\nend'

  "while-mod" 100000
  'i: 0 s: 0 while [i < 100000] [if (i % 3) = 0 [s: s + i] i: i + 1]'
  $'i = 0\ns = 0\nwhile i < 100000:\n    if i % 3 == 0:\n        s = s + i\n    i = i + 1'
  $'local i, s = 0, 0\nwhile i < 100000 do\n  if i % 3 == 0 then s = s + i end\n  i = i + 1\nend'

  "foreach" 1000000
  'b: copy [] repeat i 1000000 [append b i] s: 0 foreach x b [s: s + x]'
  $'b = []\nfor i in range(1, 1000001):\n    b.append(i)\ns = 0\nfor x in b:\n    s = s + x'
  $'local b = {}\nfor i = 1, 1000000 do b[#b + 1] = i end\nlocal s = 0\nfor _, x in ipairs(b) do s = s + x end'

  "append-block" 100000
  'b: copy [] repeat i 100000 [append b i]'
  $'b = []\nfor i in range(1, 100001):\n    b.append(i)'
  $'local b = {}\nfor i = 1, 100000 do b[#b + 1] = i end'

  # Python joins its parts: under valgrind a growing `s +=` is copied at every step.
  "append-string" 100000
  's: copy "" loop 100000 [append s "text "]'
  $'parts = []\nfor _ in range(100000):\n    parts.append("text ")\ns = "".join(parts)'
  $'local parts = {}\nfor _ = 1, 100000 do parts[#parts + 1] = "text " end\nlocal s = table.concat(parts)'

  # A generated source of 1 MB (bench/generate_source.sh), loaded and evaluated; one operation
  # is one statement.
  "load-1mb" generated
  '' '' ''
)

# Programs whose figure leaves out a setup: the setup alone is counted and taken off. Name, then
# the setup in Tav, Python and Lua.
setups=(
  "foreach"
  'b: copy [] repeat i 1000000 [append b i]'
  $'b = []\nfor i in range(1, 1000001):\n    b.append(i)'
  $'local b = {}\nfor i = 1, 1000000 do b[#b + 1] = i end'
)
generated_bytes=1048576

# The interpreter itself rather than a launcher script in front of it (callgrind counts only the
# process it starts).
python=$(python3 -c 'import sys; print(sys.executable)')

# Instructions of one run of the command.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 |
    awk '/refs:/ { gsub(",", "", $NF); print $NF }'
}

# Writes p.tav, p.py and p.lua in the work folder from the three texts.
write_programs() {
  printf 'Tav []\n%s\n' "$1" >"$work/p.tav"
  printf '%s\n' "$2" >"$work/p.py"
  printf '%s\n' "$3" >"$work/p.lua"
}

# Instructions of the three programs of the work folder, as "tav python lua".
count_all() {
  echo "$(instructions "$tav" "$work/p.tav") $(instructions "$python" "$work/p.py") $(instructions lua5.4 "$work/p.lua")"
}

write_programs '' '' ''
read -r empty_tav empty_python empty_lua <<<"$(count_all)"

printf '%-15s %10s %10s %10s %12s %12s\n' program "Tav" "Python" "Lua" "Python/Tav" "Lua/Tav"
for ((i = 0; i < ${#programs[@]}; i += 5)); do
  name=${programs[i]}
  operations=${programs[i + 1]}
  if [ -n "$only" ] && [[ "$name" != *"$only"* ]]; then continue; fi
  base_tav=$empty_tav base_python=$empty_python base_lua=$empty_lua
  for ((k = 0; k < ${#setups[@]}; k += 4)); do
    if [ "${setups[k]}" = "$name" ]; then
      write_programs "${setups[k + 1]}" "${setups[k + 2]}" "${setups[k + 3]}"
      read -r base_tav base_python base_lua <<<"$(count_all)"
    fi
  done
  if [ "$operations" = generated ]; then
    "$root/bench/generate_source.sh" tav "$generated_bytes" >"$work/p.tav"
    "$root/bench/generate_source.sh" py "$generated_bytes" >"$work/p.py"
    "$root/bench/generate_source.sh" lua "$generated_bytes" >"$work/p.lua"
    operations=$(($(wc -l <"$work/p.py") - 2))
  else
    write_programs "${programs[i + 2]}" "${programs[i + 3]}" "${programs[i + 4]}"
  fi
  read -r t p l <<<"$(count_all)"
  t=$(((t - base_tav) / operations))
  p=$(((p - base_python) / operations))
  l=$(((l - base_lua) / operations))
  printf '%-15s %10s %10s %10s %11sx %11sx\n' "$name" "$t" "$p" "$l" \
    "$(awk -v a="$p" -v b="$t" 'BEGIN { printf "%.2f", a / b }')" \
    "$(awk -v a="$l" -v b="$t" 'BEGIN { printf "%.2f", a / b }')"
done
