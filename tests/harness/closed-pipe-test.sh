#!/bin/sh
# A script printing far more than a reader takes: when the reader goes away, tav ends quietly
# with status 0, and output to a full device is dropped the same way.
set -u
tav=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'Tav []\nrepeat i 100000 [print i]\n' > "$dir/lines.tav"

first=$( { "$tav" "$dir/lines.tav" 2>"$dir/err"; echo $? > "$dir/status"; } | head -1)
[ "$first" = "1" ] || { echo "first line: '$first'"; exit 1; }
[ "$(cat "$dir/status")" = "0" ] || { echo "status after a closed pipe: $(cat "$dir/status")"; exit 1; }
[ ! -s "$dir/err" ] || { echo "stderr after a closed pipe:"; cat "$dir/err"; exit 1; }

if [ -w /dev/full ]; then
  "$tav" "$dir/lines.tav" > /dev/full 2>"$dir/err"
  status=$?
  [ $status = 0 ] || { echo "status writing to /dev/full: $status"; exit 1; }
  [ ! -s "$dir/err" ] || { echo "stderr writing to /dev/full:"; cat "$dir/err"; exit 1; }
fi
echo "closed pipe: ok"
