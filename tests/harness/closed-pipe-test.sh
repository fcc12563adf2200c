#!/bin/bash
# Output that cannot be written ends the script: a reader that went away ends tav quietly with
# status 141, a full device or a closed standard output with one line on standard error and
# status 1. Nothing printed is ever lost while the status says success.
set -u
tav=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "$1"; [ -s "$dir/err" ] && cat "$dir/err"; exit 1; }
printf 'Tav []\nforever [print "y"]\n' > "$dir/yes.tav"
printf 'Tav []\nrepeat i 100000 [print i]\n' > "$dir/count.tav"

# A reader that takes five bytes and leaves: tav must end at once. A writer that went on would
# be killed by the timeout (status 124); the time allowed covers start-up on a loaded machine.
start=$(date +%s%N)
got=$(timeout 10 "$tav" "$dir/yes.tav" 2>"$dir/err" | head -c 5; echo "${PIPESTATUS[0]}" > "$dir/status")
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$got" = "$(printf 'y\ny\ny')" ] || fail "bytes read: '$got'"
[ "$(cat "$dir/status")" = "141" ] || fail "status after a closed pipe: $(cat "$dir/status")"
[ ! -s "$dir/err" ] || fail "standard error after a closed pipe:"
[ "$elapsed" -lt 3000 ] || fail "a closed pipe took $elapsed ms to end the script"

first=$( { "$tav" "$dir/count.tav" 2>"$dir/err"; echo $? > "$dir/status"; } | head -1)
[ "$first" = "1" ] || fail "first line: '$first'"
[ "$(cat "$dir/status")" = "141" ] || fail "status after head -1: $(cat "$dir/status")"
[ ! -s "$dir/err" ] || fail "standard error after head -1:"

check_failed_output() {
  local what=$1 status=$2
  [ "$status" = "1" ] || fail "status $what: $status"
  [ "$(wc -l < "$dir/err")" = "1" ] || fail "standard error $what is not one line:"
  grep -q "^\*\*\* Output error: " "$dir/err" || fail "standard error $what:"
}
if [ -w /dev/full ]; then
  "$tav" "$dir/count.tav" > /dev/full 2>"$dir/err"
  check_failed_output "writing to /dev/full" $?
  grep -q "No space left on device" "$dir/err" || fail "the failure is not named:"
fi
"$tav" "$dir/count.tav" >&- 2>"$dir/err"
check_failed_output "with standard output closed" $?

# A script that prints nothing does not fail for want of a place to print.
printf 'Tav []\nx: 1 + 2\n' > "$dir/quiet.tav"
"$tav" "$dir/quiet.tav" >&- 2>"$dir/err"
status=$?
[ $status = 0 ] || fail "status of a quiet script with standard output closed: $status"
echo "closed pipe: ok"
