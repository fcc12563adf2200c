#!/bin/bash
# tav under an address-space limit (ulimit -v, in a child shell): it starts and runs small
# scripts, and a native whose work does not fit ends in internal/no-memory, an error the
# script sees, instead of the process dying on an escaped allocation failure (SIGABRT, 134).
# TAV must be built without the sanitizers, whose shadow memory cannot live under the limit.
set -u
tav=$1
limit=1000000  # KB
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() { echo "$1"; cat "$dir/out"; failed=1; }

limited() {  # limited SCRIPT: runs it under the limit, output in $dir/out, answers the status
  ( ulimit -v $limit && exec "$tav" "$1" ) >"$dir/out" 2>&1
}

# Start-up shrinks its reservations to fit, and small scripts run.
cat > "$dir/small.tav" <<'END'
Tav []
print 1 + 2
b: copy []
repeat i 100000 [append b i]
print length? b
print checksum "abc" 'crc32
END
limited "$dir/small.tav"
status=$?
[ $status = 0 ] || fail "small script under ulimit -v $limit: status $status"
[ "$(cat "$dir/out")" = "$(printf '3\n100000\n891568578')" ] || fail "small script output:"

# A checksum reads the bytes where they are: a text nearly as large as what is left is summed.
cat > "$dir/sum.tav" <<'END'
Tav []
s: append/dup make string! 60000000 "A" 60000000
print length? checksum s 'sha256
END
limited "$dir/sum.tav"
status=$?
[ $status = 0 ] && [ "$(cat "$dir/out")" = "32" ] || fail "checksum of a large text under the limit: status $status"

# Each native whose buffers cannot be had: an uncaught internal/no-memory (status 254) where
# the native was called.
big='b: append/dup make binary! 120000000 #{00} 120000000'
expect_no_memory() {  # expect_no_memory NATIVE SETUP CODE
  printf 'Tav []\n%s\nprint length? %s\n' "$2" "$3" > "$dir/native.tav"
  limited "$dir/native.tav"
  local status=$?
  if [ $status != 254 ] || ! grep -q "^\*\*\* Internal Error: not enough memory" "$dir/out" ||
     ! grep -q "^\*\*\* Where: $1$" "$dir/out"; then
    fail "$3 under ulimit -v $limit: status $status"
  fi
}
expect_no_memory compress "$big" "compress b 'zlib"
expect_no_memory compress "$big" "compress b 'deflate"
expect_no_memory compress 's: append/dup make string! 120000000 "A" 120000000' "compress s 'gzip"
expect_no_memory enbase "$big" "enbase b"
expect_no_memory enbase "$big" "enbase/base b 16"
expect_no_memory enbase "$big" "enbase/base b 2"

# A stream of 291 KB that inflates to 300 MB.
head -c 300000000 /dev/zero | gzip -c > "$dir/bomb.gz"
{ printf 'b: #{'; od -An -tx1 -v "$dir/bomb.gz" | tr -d ' \n'; printf '}'; } > "$dir/bomb.hex"
expect_no_memory decompress "$(cat "$dir/bomb.hex")" "decompress b 'gzip"

# A size hint far beyond the data does not make the first pass fill gigabytes.
cat > "$dir/hint.tav" <<'END'
Tav []
print mold decompress/size #{7801030000000001} 'zlib 2147483647
END
limited "$dir/hint.tav"
status=$?
[ $status = 0 ] && [ "$(cat "$dir/out")" = "#{}" ] || fail "decompress/size with a huge hint: status $status"

[ $failed = 0 ] && echo "memory limit: ok"
exit $failed
