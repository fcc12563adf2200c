#!/bin/bash
# The boot image's check against its sources: an image checks against the sources it was made
# from, and fails, naming the phase, against sources of which one phase has changed since.
#   boot_image_check_test.sh TOOL SOURCE-DIR
set -u
tool=$1
sources=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

copy_sources() {
  rm -rf "$work/src"
  mkdir -p "$work/src/boot" "$work/src/library" "$work/src/console" "$work/src/view/backends/terminal"
  cp "$sources"/boot/*.tav "$work/src/boot/"
  cp "$sources"/library/*.tav "$work/src/library/"
  cp "$sources"/console/*.tav "$work/src/console/"
  cp "$sources"/view/*.tav "$work/src/view/"
  cp "$sources"/view/backends/terminal/*.tav "$work/src/view/backends/terminal/"
}

copy_sources
if ! "$tool" "$work/src" "$work/image" 2>"$work/err"; then
  echo "making the image failed: $(cat "$work/err")"
  exit 1
fi
if ! "$tool" --check "$work/src" "$work/image" 2>"$work/err"; then
  echo "the image does not check against its own sources: $(cat "$work/err")"
  exit 1
fi
if [ "$(head -c 8 "$work/image" | od -An -tx1 | tr -d ' \n')" != "54415642494e0105" ]; then
  echo "the image does not start with TAVBIN, version 1, flags 5"
  failures=$((failures + 1))
fi

# phase, file, change: one word added at the end of the source.
while read -r phase file; do
  copy_sources
  printf '\nchanged-after-lexing\n' >>"$work/src/$file"
  "$tool" --check "$work/src" "$work/image" >"$work/out" 2>&1
  status=$?
  if [ $status -ne 1 ] || ! grep -q "phase $phase " "$work/out"; then
    echo "a changed $file: status $status, message: $(cat "$work/out")"
    failures=$((failures + 1))
  fi
done <<'CASES'
core boot/core.tav
routines boot/routines.tav
base library/base.tav
system boot/system.tav
library boot/library.tav
view/face view/face.tav
gui-layer boot/gui-layer.tav
CASES

# A source that is missing is named, and so is an image that is not one.
copy_sources
rm "$work/src/boot/codecs.tav"
if "$tool" --check "$work/src" "$work/image" >"$work/out" 2>&1 || ! grep -q "codecs" "$work/out"; then
  echo "a missing source is not named: $(cat "$work/out")"
  failures=$((failures + 1))
fi

# A source that does not load is named with its error, when the image is made and when checked.
copy_sources
printf '\nunclosed: [\n' >>"$work/src/library/json.tav"
for mode in "" --check; do
  "$tool" $mode "$work/src" "$work/image" >"$work/out" 2>&1
  status=$?
  if [ $status -ne 1 ] || ! grep -q "the source json does not load: Syntax Error missing" "$work/out"; then
    echo "a source that does not load${mode:+ ($mode)}: status $status, message: $(cat "$work/out")"
    failures=$((failures + 1))
  fi
done

[ $failures -eq 0 ] || exit 1
echo "boot image check: all cases pass"
