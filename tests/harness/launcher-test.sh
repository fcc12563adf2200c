#!/bin/bash
# Processes, environment, clock and system natives as scripts meet them: each case runs a
# script in a new temporary folder and compares what it prints. `show [code]` prints the
# molded result, or "error <type> <id>".
set -u
tav=$(realpath "$1")
failures=0

# Prints "zombie" for each ended child of its parent that nobody has reaped.
zombies=$(mktemp)
trap 'rm -f "$zombies"' EXIT
cat > "$zombies" <<'SCRIPT'
for f in /proc/[0-9]*/status; do
  if grep -q '^State:.Z' "$f" 2>/dev/null && grep -q "^PPid:[[:space:]]*$PPID\$" "$f" 2>/dev/null; then echo zombie; fi
done
SCRIPT

# check NAME SCRIPT EXPECTED [ENVIRONMENT-ASSIGNMENTS]
check() {
  local name=$1 script=$2 expected=$3 environment=${4:-}
  local dir actual
  dir=$(mktemp -d)
  {
    echo 'Tav []'
    echo 'show: func [code /local r] [r: try code either error? :r [print ["error" r/type r/id]] [print mold :r]]'
    printf '%s\n' "$script"
  } > "$dir/s.tav"
  actual=$(cd "$dir" && timeout 60 env $environment "$tav" s.tav 2>&1 </dev/null)
  if [ "$actual" != "$expected" ]; then
    printf '%s\n--- expected\n%s\n--- actual\n%s\n' "$name" "$expected" "$actual"
    failures=$((failures + 1))
  fi
  rm -rf "$dir"
}

# ---- call: captures, exit codes and failures ------------------------------------------------
check "captures append to strings and insert into binaries" '
show [out: copy "" reduce [call/output "echo hi" out out]]
show [out: copy #{FF} call/output "printf ab" out out]
show [out: copy #{0102} call/output "printf ab" next out head out]
show [out: copy "x" call/output "printf y" out out]
show [out: copy "" call/output "printf '"'"'a\r\nb\rc'"'"'" out out]
show [out: copy "" call/input/output "cat" "é😀" out out]
show [out: copy "" call/input/output "cat" #{00FF41} out to binary! out]
show [err: copy "" call/error "sh -c '"'"'echo oops >&2'"'"'" err err]' \
'[0 "hi^/"]
#{6162FF}
#{01616202}
"xy"
"a^/b^/c"
"é😀"
#{00C3BF41}
"oops^/"'

check "exit codes, signals, the shell retry and failures" '
show [call/wait "exit 3"]
show [call/wait "sh -c '"'"'kill -9 $$'"'"'"]
show [call/wait "no-such-program-xyz"]
show [call/wait %/bin/true]
show [call/wait %/no/such/program]
show [call/output "touch started" %/no-dir/x]
show [exists? %started]
show [call/input "cat" %no-such-file]
show [out: copy "" call/output "printf '"'"'b\na\n'"'"' | sort" out out]
show [call/shell/wait "exit 4"]
show [call/wait "echo hi"]' \
'3
137
127
0
-1
-1
false
-1
"a^/b^/"
4
0'

check "files as standard streams" '
show [call/output "echo hi" %out.txt call/output "echo hi" %out.txt read %out.txt]
show [write %in.txt "from a file" out: copy "" call/input/output "cat" %in.txt out out]
show [call/error "sh -c '"'"'echo e >&2'"'"'" %err.txt read %err.txt]' \
'"hi^/hi^/"
"from a file"
"e^/"'

check "full pipes in both directions do not block" '
show [out: copy "" call/input/output "cat" (append/dup copy "" "x" 1000000) out length? out]
show [err: copy "" out: copy "" call/output/error "sh -c '"'"'head -c 200000 /dev/zero; head -c 200000 /dev/zero >&2'"'"'" out err reduce [length? out length? err]]' \
'1000000
[200000 200000]'

# Every child, the two-second sleeper included, has ended before the reaping call.
check "calls not waited for return at once and are reaped" '
show [t: now/precise pid: call "sleep 2" reduce [pid > 0 (difference now/precise t) < 0:00:01]]
loop 100 [call "sleep 0.1"]
wait 2.5
call/wait "true"
show [out: copy "" call/output append copy "sh " get-env "ZOMBIES" out out]' \
'[true true]
""' "ZOMBIES=$zombies"

# ---- Environment --------------------------------------------------------------------------
check "environment variables" '
show [get-env "TAV_UNSET_XYZ"]
show [set-env "TAV_T" "a=b" get-env "TAV_T"]
show [select list-env "TAV_T"]
show [out: copy "" call/output "printenv TAV_T" out out]
show [set-env "TAV_E" "" get-env "TAV_E"]
show [get-env "tav_t"]
show [set-env '"'"'TAV_W "é" get-env %TAV_W]
show [set-env "TAV_T" none get-env "TAV_T"]
show [find list-env "TAV_T"]
show [get-env "TAV_GIVEN"]' \
'none
"a=b"
"a=b"
"a=b^/"
""
none
"é"
none
none
"x_y"' "TAV_GIVEN=x_y"

# ---- Clock, sleep, collector and browse ---------------------------------------------------
check "now and its refinements" '
show [now/year/month]
show [now/day/zone]
show [type? now/time/precise]
show [d: now/date d/time]
show [d: now/utc d/zone]
show [reduce [type? now type? now/year type? now/yearday type? now/weekday type? now/zone]]
show [now/utc/year = now/year]
show [e: copy "" call/output "date +%s" e remove back tail e d: (to integer! now) - to integer! e all [d >= -1 d <= 1]]
show [t: now/time t/second = to integer! t/second]
show [f: false loop 3 [t: now/precise/time if t/second <> to integer! t/second [f: true]] f]' \
'error script bad-refines
error script bad-refines
time!
none
0:00:00
[date! integer! integer! integer! time!]
true
true
true
true'

for zone in "Asia/Kolkata 5:30:00" "UTC 0:00:00" "XYZ3:30 -3:30:00" "ABC0:30 -0:30:00"; do
  set -- $zone
  check "now/zone under TZ=$1" 'show [now/zone]' "$2" "TZ=$1"
done

check "wait sleeps" '
show [wait 0]
show [t: now/precise wait 0.2 (difference now/precise t) >= 0:00:00.2]
show [t: now/precise wait 0:00:00.2 (difference now/precise t) >= 0:00:00.2]
show [t: now/precise wait 1 (difference now/precise t) >= 0:00:01]' \
'none
true
true
true'

check "recycle" '
show [recycle/off system/state/GC/active?]
show [recycle/on system/state/GC/active?]
show [type? recycle]' \
'false
true
integer!'

check "browse without a handler answers at once" '
t: now/precise
print unset? browse http://127.0.0.1/
print unset? browse %nothing.html
show [(difference now/precise t) < 0:00:01]' \
'true
true
true' "PATH=/nonexistent"

[ $failures -eq 0 ] && echo "launcher: ok"
[ $failures -eq 0 ]
