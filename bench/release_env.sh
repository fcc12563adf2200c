# Sourced by the benchmark scripts: $root, the Release $tav (or $TAV), built when missing, and a
# temporary folder $dir that is removed on exit (a script that sets its own EXIT trap removes it
# there).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tav=${TAV:-$root/build/release/tav}
[ -x "$tav" ] || make -C "$root" build >/dev/null
tav=$(realpath "$tav")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
