#!/bin/bash
# The preprocessor where scripts meet it: included files, scripts whose directives the launcher
# applies, and the reports and exit status of a failed expansion. Each case runs a script in a
# new temporary folder that shell commands prepared first, and compares what it prints and the
# status it ends with.
set -u
tav=$(realpath "$1")
failures=0

# check NAME SETUP SCRIPT EXPECTED [STATUS]
check() {
  local name=$1 setup=$2 script=$3 expected=$4 want=${5:-0}
  local dir actual status
  dir=$(mktemp -d)
  (cd "$dir" && eval "$setup") || { echo "$name: setup failed"; failures=$((failures + 1)); rm -rf "$dir"; return; }
  printf '%s\n' "$script" > "$dir/s.tav"
  actual=$(cd "$dir" && timeout 60 "$tav" s.tav 2>&1 </dev/null)
  status=$?
  if [ "$actual" != "$expected" ] || [ "$status" != "$want" ]; then
    printf '%s\n--- expected (status %s)\n%s\n--- actual (status %s)\n%s\n' "$name" "$want" "$expected" "$status" "$actual"
    failures=$((failures + 1))
  fi
  rm -rf "$dir"
}

# ---- Included files -------------------------------------------------------------------------
check "an included file's #do words are known after it; bytes become a read" \
"printf 'Tav [] #do [w: 7]\n' > inc.tav; printf 'xyz' > f.bin" '
Tav []
#process off
code: [#include %inc.tav #if w = 7 [seven] #include-binary "f.bin"]
#process on
print mold expand-directives/clean code' \
'[do %inc.tav seven read/binary %f.bin]'

check "an include that cannot be loaded is still replaced by do" \
"printf 'Tav [] a: [\n' > bad.tav" '
Tav []
#process off
code: [#include %missing.tav #include %bad.tav a]
#process on
print mold expand-directives/clean code' \
'[do %missing.tav do %bad.tav a]'

check "a stop inside an included file still ends the expansion" \
"printf 'Tav [] #if true x\n' > stop.tav" '
Tav []
#process off
code: [#include %stop.tav #if true [after]]
#process on
r: catch/name [expand-directives/clean code] (quote console)
print mold r' \
'*** Preprocessor Error: Syntax error
*** Where: #if true x
halt-request'

check "words an included file sets reach the directives of the script that includes it" \
"printf 'Tav []\n#do [greeting: \"hello\"]\n' > words.tav" '
Tav []
if false [#include %words.tav]
print #do keep [greeting]' \
'hello'

check "a stop in a file the script includes ends the script" "printf 'Tav []\n#if true x\n' > stop.tav" '
Tav []
print "never"
if false [#include %stop.tav]' \
'*** Preprocessor Error: Syntax error
*** Where: #if true x
*** Throw Error: no catch for throw: halt-request
*** Where: do-quit
*** Near : none' 254

# Each inclusion loads the file again until the evaluator's depth limit: minutes when every
# allocation collects, so that run leaves this case out.
if [ -z "${TAV_GC_STRESS:-}" ]; then
check "a file that includes itself ends its expansion without a crash" \
"printf 'Tav []\n#include %%self.tav\n#do [n: 1]\n' > self.tav" '
Tav []
#process off
code: [#include %self.tav #if n = 1 [done]]
#process on
print mold expand-directives/clean code' \
'[do %self.tav done]'
fi

# ---- Scripts --------------------------------------------------------------------------------
check "the launcher applies the directives of a script before it runs" "" '
Tav []
#if true [print "on"] #if false [print "off"]
#do [twice: func [x] [x * 2]]
print #do keep [twice 21]' \
'on
42'

check "a directive error ends the script with the uncaught-throw report" "" '
Tav []
#if true x print "after"' \
'*** Preprocessor Error: Syntax error
*** Where: #if true x
*** Throw Error: no catch for throw: halt-request
*** Where: do-quit
*** Near : none' 254

check "an error in directive code names the directive and ends the script" "" '
Tav []
print "never"
#do [1 / 0]' \
'*** Preprocessor Error in #do
*** Math Error: attempt to divide by zero
*** Where: ???
*** Near : 1 / 0
*** Stack: launch expand-directives expand do-code do-safe
*** Throw Error: no catch for throw: halt-request
*** Where: do-quit
*** Near : none' 254

check "do/expand expands a copy and evaluates it" "" '
Tav []
#process off
code: [#if true [1 + 1]]
#process on
print do/expand code
print mold code
print do/expand "#either false [1] [2]"' \
'2
[#if true [1 + 1]]
2'

exit $((failures > 0))
