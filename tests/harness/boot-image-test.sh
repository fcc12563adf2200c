#!/bin/bash
# The program started from a damaged boot image (test builds read it from TAV_BOOT_IMAGE): a
# changed magic prints its line and ends as runtime error 98; an image cut short anywhere ends
# with an error report and a non-zero status, never a read past its end. The image itself, read
# the same way, runs a script.
#   boot-image-test.sh TAV IMAGE
set -u
tav=$1
image=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
  echo "$1"
  failures=$((failures + 1))
}

printf 'Tav []\nprint 1 + 2\n' >"$dir/t.tav"

cp "$image" "$dir/same"
out=$(TAV_BOOT_IMAGE="$dir/same" "$tav" "$dir/t.tav" 2>&1)
[ $? -eq 0 ] && [ "$out" = "3" ] || fail "the image read from a file: $out"

{ printf 'TAVBIX'; tail -c +7 "$image"; } >"$dir/magic"
out=$(TAV_BOOT_IMAGE="$dir/magic" "$tav" "$dir/t.tav" 2>&1)
status=$?
[ $status -eq 98 ] || fail "a changed magic: status $status"
grep -q "^Error: Not a Tavbin file!" <<<"$out" || fail "a changed magic: $out"

size=$(stat -c %s "$image")
for cut in 0 7 8 9 20 $((size / 3)) $((size / 2)) $((size - 100)) $((size - 1)); do
  head -c "$cut" "$image" >"$dir/cut"
  out=$(TAV_BOOT_IMAGE="$dir/cut" "$tav" "$dir/t.tav" 2>&1)
  status=$?
  if [ $status -eq 0 ] || [ -z "$out" ] || grep -q "Sanitizer" <<<"$out"; then
    fail "an image cut to $cut bytes: status $status, $(head -c 600 <<<"$out")"
  fi
done

[ $failures -eq 0 ] || exit 1
echo "boot image: all cases pass"
