#!/bin/bash
# The command line as a script sees it, started from a shell in a folder of its own: the
# arguments after the script and their raw text, the script, the program path as typed, the
# version, the cache folder under HOME or /tmp, and what os-info reports of this machine.
set -u
tav=$(readlink -f "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
ln -s "$tav" tav
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "$1"
    echo "  expected: $2"
    echo "  actual:   $3"
    failures=$((failures + 1))
  fi
}

printf 'Tav []\nprint mold reduce [system/options/args system/script/args system/options/script]\n' > t.tav
cp t.tav ./--odd.tav
check 'tav t.tav a "b c" ""' '[["a" "b c" ""] {a "b c" ""} %t.tav]' "$(./tav t.tav a "b c" "" 2>&1)"
check 'tav --catch t.tav x' '[["x"] "x" %t.tav]' "$(./tav --catch t.tav x 2>&1)"
check 'tav -- --odd.tav y' '[["y"] "y" %--odd.tav]' "$(./tav -- --odd.tav y 2>&1)"
check 'tav t.tav' '[[] "" %t.tav]' "$(./tav t.tav 2>&1)"
check 'tav "--an option" t.tav "x y"' '[["x y"] {"x y"} %t.tav]' "$(./tav "--an option" t.tav "x y" 2>&1)"

printf 'Tav []\nprint mold system/options/boot\n' > boot.tav
check 'boot path as typed' '"./tav"' "$(./tav boot.tav 2>&1)"
check 'boot path absolute' "\"$dir/tav\"" "$("$dir/tav" boot.tav 2>&1)"
check 'boot path holding a space' "\"$dir/my tav\"" "$(ln -s "$tav" "my tav" && "$dir/my tav" boot.tav 2>&1)"

printf 'Tav []\nprint mold system/options/cache\n' > cache.tav
check 'cache under HOME' '%/home/u/.tav/' "$(HOME=/home/u ./tav cache.tav 2>&1)"
check 'cache without HOME' '%/tmp/.tav/' "$(env -u HOME ./tav cache.tav 2>&1)"

printf 'Tav []\no: os-info\nprint mold reduce [o/arch type? o/version type? o/build]\nprint o/name\nprint o/version\nprint mold reflect o %s\n' "'words" > os.tav
mapfile -t lines < <(./tav os.tav 2>&1)
machine=$(uname -m)
if [ "$machine" = x86_64 ]; then
  check 'os-info types' '[x86-64 tuple! integer!]' "${lines[0]:-}"
fi
pretty=$(. /etc/os-release 2>/dev/null && echo "$PRETTY_NAME")
[ -n "$pretty" ] || pretty=$(uname -r)
check 'os-info name' "Linux $pretty" "${lines[1]:-}"
release=$(uname -r)
major_minor=$(echo "$release" | sed -E 's/^([0-9]+)\.([0-9]+).*/\1.\2/')
check 'os-info version' "$major_minor" "$(echo "${lines[2]:-}" | cut -d. -f1-2)"
check 'os-info words' '[name arch version build]' "${lines[3]:-}"

[ "$failures" = 0 ] || exit 1
