#!/bin/bash
# The console program as a shell meets it: scripts named on the command line, input piped in
# as commands, the statuses it ends with, and the settings file kept in the home folder. Each
# case runs in a new folder with a new HOME.
#   console-test.sh TAV
set -u
tav=$(realpath "$1")
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  printf '%s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
  failures=$((failures + 1))
}

# run INPUT ARGUMENT... : runs tav in $dir with INPUT as standard input; sets out and status.
run() {
  local input=$1
  shift
  out=$(cd "$dir" && printf '%s' "$input" | HOME=$dir/home timeout 60 "$tav" "$@" 2>&1)
  status=$?
}

fresh() {
  dir=$(mktemp -d "$work/case.XXXXXX")
  mkdir "$dir/home"
}

# check NAME EXPECTED-STATUS EXPECTED-OUTPUT INPUT ARGUMENT...
check() {
  local name=$1 want_status=$2 want=$3 input=$4
  shift 4
  run "$input" "$@"
  [ "$out" = "$want" ] && [ "$status" = "$want_status" ] || fail "$name (status $status, expected $want_status)" "$want" "$out"
}

# The banner, asked of the program so that the version is its own.
fresh
printf 'Tav []\nprin system/version\n' > "$dir/v.tav"
run '' v.tav
version=$out
banner="--== Tav $version ==-- 
Type HELP for starting information. 
"

# ---- Piped input: no prompt, each line as typed, the end of the input quits ----------------
fresh
check "an open block at the end of the input is evaluated: its syntax error shows" 0 \
  "$banner
*** Syntax Error: (line 3) missing ] at [
*** Where: transcode
*** Near : none
*** Stack: launch run do-command load" $'[\n1\n'
check "quit/return ends at once with its status" 3 "${banner%$'\n'}" $'quit/return 3\nprint 1\n'
check "a last line without a line feed runs" 0 "$banner
1" 'print 1'
check "a q inside a gathered block is the code's, not the end" 0 "$banner
== [
    q
]" $'[\nq\n]\n'

# The settings folder cannot be made: the console still runs and quits with status 0.
fresh
printf 'x' > "$dir/home-file"
out=$(cd "$dir" && printf '1 + 1\nq\n' | HOME=$dir/home-file timeout 60 "$tav" 2>&1)
status=$?
[ "$out" = "$banner
== 2" ] && [ "$status" = 0 ] || fail "a home that is a file (status $status)" "$banner
== 2" "$out"

# ---- Scripts -------------------------------------------------------------------------------
fresh
printf 'junk\nTav []\nprint 1 + 1\n' > "$dir/a.tav"
printf 'print 1\n' > "$dir/no-header.tav"
printf 'Tav/System [] print 1\n' > "$dir/system.tav"
printf 'Tav [] 1 / 0\n' > "$dir/error.tav"
printf 'Tav [] print 1 halt print 2\n' > "$dir/halt.tav"
printf 'Tav [] x: 5\n' > "$dir/s.tav"
printf 'Tav [] print "odd"\n' > "$dir/--odd.tav"
mkdir "$dir/sub"
printf 'Tav [] print what-dir print mold system/options/args print mold system/script/args\n' > "$dir/sub/a.tav"
check "text before the header is left out" 0 "2" 'print 3' a.tav
check "no header" 254 "*** Error: Tav header not found!" 'print 3' no-header.tav
check "a system header" 254 "*** Error: contains Tav/System code which requires compilation!" '' system.tav
check "a script that ends in an error" 254 "*** Math Error: attempt to divide by zero
*** Where: /
*** Near : 1 / 0
*** Stack: launch try-do" '' error.tav
check "halt ends the script, status 0" 0 "1
(halted)" '' halt.tav
check "--catch runs the loop after the script, without a banner" 0 "== 6" 'x + 1' --catch s.tav
check "--catch after a failed script starts the loop too" 0 "*** Error: Tav header not found!
== 2" '1 + 1' --catch no-header.tav
check "after -- an argument starting with -- is the script" 0 "odd" '' -- --odd.tav
check "a script in a folder runs there, with the arguments after it" 0 "$dir/sub/
[\"p\" \"q\"]
\"p q\"" '' sub/a.tav p q
check "a script piped through /dev/stdin runs in the caller's folder" 0 "$dir/" 'Tav [] print what-dir' /dev/stdin

# A script that cannot be read ends the program; the input is no command to run.
fresh
run 'write %made.txt "x"' nope.tav
[ "$status" = 254 ] && [ "${out%%$'\n'*}" = "*** Access Error: cannot open: %nope.tav" ] && [ ! -e "$dir/made.txt" ] ||
  fail "a missing script (status $status, made.txt $( [ -e "$dir/made.txt" ] && echo made))" \
    "*** Access Error: cannot open: %nope.tav ..." "$out"
run '1 + 1' --catch nope.tav
[ "$status" = 0 ] && [ "${out##*$'\n'}" = "== 2" ] || fail "a missing script with --catch starts the loop" "... == 2" "$out"

# Without --catch a script does not write the settings; quitting does.
fresh
printf 'Tav [] print 1\n' > "$dir/one.tav"
run '' one.tav
[ ! -e "$dir/home/.tav/Tav-Console/console-cfg.tav" ] && [ -d "$dir/home/.tav/Tav-Console" ] ||
  fail "a script leaves the settings folder empty" "the folder, no file" "$(ls -R "$dir/home")"

# ---- The settings file ---------------------------------------------------------------------
cfg=home/.tav/Tav-Console/console-cfg.tav
fresh
run $'q\n'
expected_head=$'Tav [\n\tPurpose: "Tav Console Configuration File"\n]\n'
[ "$(head -3 "$dir/$cfg")"$'\n' = "$expected_head" ] && [ "$(sed -n 4p "$dir/$cfg")" = "" ] ||
  fail "the file's header" "$expected_head" "$(cat "$dir/$cfg")"
check "the first quit writes the defaults" 0 "$banner
== [10000 []]" $'reduce [select cli-console-ctx/settings/cfg quote buffer-lines: system/console/history]\n'

# 150 entries are written as their 100 newest; other keys are kept.
fresh
mkdir -p "$dir/home/.tav/Tav-Console"
{
  printf 'Tav []\nmine: "kept"\nhistory: ['
  for i in $(seq 150); do printf ' "line %d"' "$i"; done
  printf ']\n'
} > "$dir/$cfg"
run $'q\n'
check "the history is cut to its newest 100" 0 "$banner
== [100 \"line 1\" \"line 100\" \"kept\" 10000]" \
  $'reduce [length? h: system/console/history first h last h select cli-console-ctx/settings/cfg quote mine: select cli-console-ctx/settings/cfg quote buffer-lines:]\n'

# A file that does not load gives the defaults and is written anew at quit.
for corrupt in 'Tav [] history: ["a" ' 'no header at all' 'Tav [] history: 5'; do
  fresh
  mkdir -p "$dir/home/.tav/Tav-Console"
  printf '%s' "$corrupt" > "$dir/$cfg"
  check "a settings file of: $corrupt" 0 "$banner
== []" $'system/console/history\n'
  grep -q 'buffer-lines: 10000' "$dir/$cfg" || fail "the file of: $corrupt is written anew" "buffer-lines: 10000" "$(cat "$dir/$cfg")"
done

# ---- Shell commands ------------------------------------------------------------------------
# ls puts three names of 19 cells on a row of an 80-column console, ll one of 66; the order is
# the folder's own, so only the layout is checked.
fresh
mkdir "$dir/four"
for name in a b c d; do : > "$dir/four/$name"; done
run $'ls four\nll four\n'
listing=${out#"$banner"$'\n'}
pattern=$'^(\t[abcd] {18} ){3}\n\t[abcd] {18} \n(\t[abcd] {65} \n){3}\t[abcd] {65} $'
[[ "$listing" =~ $pattern ]] && [ "$(printf '%s' "$listing" | tr -cd 'abcd' | fold -w1 | sort | uniq | tr -d '\n')" = abcd ] ||
  fail "ls and ll of four names" "$pattern" "$listing"

[ $failures -eq 0 ]
