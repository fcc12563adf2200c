#!/usr/bin/env bash
# Runs one Tav-level test: a script and the output it must print.
#   run-script-test.sh TAV SCRIPT     runs TAV SCRIPT and compares its standard output with
#                                     SCRIPT's .out file; a .status file beside it gives the
#                                     expected exit status (0 when absent). With an .args file
#                                     beside it, TAV gets those arguments instead ({script}
#                                     stands for the script's path) and reads SCRIPT on its
#                                     standard input: the console's input. Each run has a
#                                     fresh HOME (every start makes the settings folder there),
#                                     and {version} in the .out file stands for the formed
#                                     system/version.
#   run-script-test.sh --self-test DIR  checks the runner against the cases in DIR.
set -u

compare() {  # compare NAME EXPECTED-OUT EXPECTED-STATUS INPUT COMMAND...
  local name=$1 expected=$2 want_status=$3 input=$4
  shift 4
  local actual status
  actual=$(mktemp)
  "$@" >"$actual" 2>&1 <"$input"
  status=$?
  local failed=0
  if ! diff -u --label "$name (expected)" --label "$name (actual)" "$expected" "$actual"; then
    failed=1
  fi
  if [ "$status" != "$want_status" ]; then
    echo "$name: exit status $status, expected $want_status"
    failed=1
  fi
  rm -f "$actual"
  return $failed
}

# The formed system/version, asked of the program itself.
version_of() {
  local tav=$1 probe
  probe=$(mktemp -d)
  printf 'Tav []\nprin system/version\n' >"$probe/version.tav"
  HOME=$probe "$tav" "$probe/version.tav"
  rm -rf "$probe"
}

run_script() {
  local tav=$1 script=$2
  local base=${script%.tav}
  local status=0
  [ -f "$base.status" ] && status=$(tr -d '[:space:]' <"$base.status")
  if [ ! -f "$base.out" ]; then
    echo "$script: no expected output file $base.out"
    return 1
  fi
  cd "$(dirname "$script")" || return 1
  local home expected failed=0
  home=$(mktemp -d)
  expected=$home.out
  if grep -q '{version}' "$base.out"; then
    local version
    version=$(version_of "$tav")
    sed "s/{version}/$version/g" "$base.out" >"$expected"
  else
    cp "$base.out" "$expected"
  fi
  if [ -f "$base.args" ]; then
    local -a args
    read -r -a args <"$base.args"
    args=("${args[@]//\{script\}/$script}")
    (export HOME=$home; compare "$(basename "$script")" "$expected" "$status" "$script" "$tav" "${args[@]}") || failed=1
  else
    (export HOME=$home; compare "$(basename "$script")" "$expected" "$status" /dev/null "$tav" "$script") || failed=1
  fi
  rm -rf "$home" "$expected"
  return $failed
}

self_test() {
  local dir=$1 failures=0
  compare passing "$dir/hello.out" 0 /dev/null printf 'hello\n' || failures=$((failures + 1))
  if compare wrong-output "$dir/hello.out" 0 /dev/null printf 'bye\n' >/dev/null; then
    echo "self-test: a wrong output was accepted"; failures=$((failures + 1))
  fi
  if compare wrong-status "$dir/hello.out" 0 /dev/null sh -c 'echo hello; exit 3' >/dev/null; then
    echo "self-test: a wrong exit status was accepted"; failures=$((failures + 1))
  fi
  compare status "$dir/hello.out" 3 /dev/null sh -c 'echo hello; exit 3' || failures=$((failures + 1))
  compare input "$dir/hello.out" 0 "$dir/hello.out" cat || failures=$((failures + 1))
  [ $failures -eq 0 ]
}

if [ "${1:-}" = "--self-test" ]; then
  self_test "$2"
else
  run_script "$1" "$2"
fi
