#!/usr/bin/env bash
# The cost of the evaluator's trace hook as the tools use it: a recursive `fib 18` run plainly,
# under `profile` and under `trace/deep` (whose lines are gathered in a string, so that the
# terminal is left out), all in one Release process. Each figure is the best of three timings taken inside the process;
# the overhead factor is the tool's time over the plain call's. There is no goal: the figures say
# what one event through a Tav handler costs.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"

cat > "$dir/tools.tav" <<'TAV'
Tav []
fib: func [n] [either n < 2 [n] [(fib n - 1) + (fib n - 2)]]
best-of: func [code [block!] /local best t] [
    best: none
    loop 3 [
        t: to float! dt code
        best: either best [min best t] [t]
    ]
    best
]
plain: best-of [r: fib 18]
lines: 0
sink: make string! 1000000
profiled: best-of [profile [fib 18]]
system/tools/tracers/emit: func [value] [
    append append sink either block? value [form reduce value] [value] newline
    lines: lines + 1
]
traced: best-of [
    clear sink
    lines: 0
    trace/deep [fib 18]
]
system/tools/tracers/emit: :print
calls: 0
foreach [name count time] system/tools/profiling [if name = 'fib [calls: count]]
print ["plain" r 1 plain]
print ["profile" calls 1 profiled]
print ["trace" lines 1 traced]
TAV

out=$(cd "$dir" && "$tav" tools.tav | grep -E '^(plain|profile|trace) ')
printf '%-8s %10s %12s %10s\n' "case" "calls/lines" "time (ms)" "factor"
echo "$out" | awk '
    $1 == "plain" { base = $4 }
    { printf "%-8s %10d %12.1f %10.1f\n", $1, $2, $4 * 1000, $4 / base }'
