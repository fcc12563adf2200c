#!/usr/bin/env bash
# The help system over the whole start-up vocabulary in the Release tav: what/buffer (every
# global function, sorted, one fitted line each), help-string on append (its argument block
# parsed and laid out), and help-string on a text (every global value searched by name and by
# argument block). Each figure is the best of ten timings taken inside the process (dt), so
# start-up is left out.
# Goal: what/buffer and help-string append each under 50 ms.
set -euo pipefail

. "$(dirname "$0")/release_env.sh"

cat > "$dir/help.tav" <<'TAV'
Tav []
best-of: func [code [block!] /local best t] [
    best: none
    loop 10 [
        t: to float! dt code
        best: either best [min best t] [t]
    ]
    best
]
report: func [name code /local t text] [
    t: best-of code
    text: do code
    print [name length? text t * 1000]
]
report "what/buffer" [what/buffer]
report "help-string-append" [help-string append]
report {help-string-"pri"} [help-string "pri"]
TAV

printf '%-20s %10s %12s %10s\n' "case" "chars" "tav (ms)" "goal (ms)"
(cd "$dir" && "$tav" help.tav) | awk '{
    goal = ($1 == "what/buffer" || $1 == "help-string-append") ? "50" : "-"
    printf "%-20s %10d %12.2f %10s\n", $1, $2, $3, goal
}'
