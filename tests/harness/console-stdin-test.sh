#!/usr/bin/env bash
# The console's reading of standard input that is no terminal: input-stdin line by line as
# UTF-8, its errors, read-stdin into a binary, ask and input, and system/console/init without a
# terminal.
#   console-stdin-test.sh TAV
set -u
tav=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME INPUT-FILE EXPECTED-STATUS EXPECTED-OUTPUT SCRIPT-BODY
check() {
  local name=$1 input=$2 want_status=$3 want=$4 body=$5
  printf 'Tav []\n%s\n' "$body" >"$work/script.tav"
  local got status
  got=$("$tav" "$work/script.tav" <"$input" 2>&1)
  status=$?
  if [ "$got" != "$want" ] || [ "$status" != "$want_status" ]; then
    echo "FAIL $name: status $status (expected $want_status)"
    diff <(printf '%s\n' "$want") <(printf '%s\n' "$got")
    failures=$((failures + 1))
  fi
}

printf '\xc3\xa9\r\n\x80' >"$work/lines"
check "lines: CR kept, a lone continuation byte ends the input" "$work/lines" 0 \
  "$(printf '"\xc3\xa9^M"\n""\n""')" \
  'print mold input-stdin print mold input-stdin print mold input-stdin'

printf 'one\ntwo' >"$work/last"
check "a last line without a line feed" "$work/last" 0 "$(printf '"one"\n"two"\n""')" \
  'print mold input-stdin print mold input-stdin print mold input-stdin'

printf '\xe4\xb8\x80\xf0\x9f\x98\x80\n' >"$work/wide"
check "three- and four-byte characters" "$work/wide" 0 "2" 'print length? input-stdin'

printf '\xc3\x41' >"$work/bad"
check "a bad continuation byte" "$work/bad" 254 \
  "$(printf '*** Access Error: invalid UTF-8 encoding: #{C341}\n*** Where: input-stdin\n*** Near : print mold input-stdin\n*** Stack: launch try-do')" \
  'print mold input-stdin'

printf 'ab\xe4\xb8' >"$work/cut"
check "a character cut by the end of the input" "$work/cut" 0 '"ab"' 'print mold input-stdin'

# The rest of the input stays for the next reader: one byte is read at a time.
printf 'first\nsecond\n' >"$work/rest"
check "a line read leaves the rest" "$work/rest" 0 "$(printf '"first"\n#{7365636F6E640A}')" \
  'print mold input-stdin b: make binary! 0 read-stdin b 100 print mold b'

head -c 100000 /dev/zero | tr '\0' 'x' >"$work/big"
check "read-stdin grows a short binary first" "$work/big" 0 "$(printf '100000\n#{78787878}')" \
  'b: make binary! 1 read-stdin b 100000 print length? b print mold copy/part skip b 99996 4'

printf 'tail' >"$work/small"
check "read-stdin at an index appends after it" "$work/small" 0 '#{0102030474}' \
  'b: #{01020304} read-stdin skip b 4 1 print mold b'

check "read-stdin with nothing to read or no length" /dev/null 0 "$(printf '#{}\n#{}')" \
  'b: make binary! 4 read-stdin b 10 print mold b read-stdin b 0 print mold b'

check "init without a terminal: no title, 80x50 for a size of 0" /dev/null 0 "80x50" \
  'system/console/size: 0x0 system/console/init "t" print system/console/size'

check "the provisional console object" /dev/null 0 "$(printf '80x50\n0\ntrue')" \
  'print system/console/size print length? system/console/history print routine? :system/console/init'

# ask and input without a terminal: one line each, no prompt, nothing kept in the history.
printf 'a\r\nb' >"$work/ask"
check "ask reads a line and shows no prompt" "$work/ask" 0 "$(printf '"a^M"\n"b"\n""\n[]')" \
  'print mold ask "? " print mold ask/hide "? " print mold input print mold system/console/history'

printf '1 + 1\r\n' >"$work/history"
check "ask/history takes any block and leaves it as it was" "$work/history" 0 "$(printf '"1 + 1^M"\n["x"]')" \
  'h: ["x"] print mold ask/history "? " h print mold h'

[ $failures -eq 0 ] && echo "console stdin: all cases passed"
[ $failures -eq 0 ]
