#!/usr/bin/env bash
# Runs the training programs of the profile-guided build with the instrumented tav, three at a
# time (the counts of simultaneous runs are merged under a file lock), and with them a generated
# source of 1 MB (bench/generate_source.sh), for the loading of a large text. Each runs in its
# own folder, as the script tests do, with a HOME of its own (every start makes its settings
# folder there); their output is dropped. A program that fails stops the build: the counts of a
# broken run would mislead the optimiser.
# Usage: profile_training.sh TAV PROGRAM...
set -euo pipefail

tav=$(realpath "$1")
shift
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export tav home
"$(dirname "$0")/../bench/generate_source.sh" tav 1048576 >"$home/generated.tav"

printf '%s\0' "$@" "$home/generated.tav" | xargs -0 -n 1 -P 3 bash -c '
  cd "$(dirname "$1")" && HOME=$(mktemp -d -p "$home") "$tav" "$(basename "$1")" >/dev/null 2>&1 ||
    { echo "training program failed: $1" >&2; exit 255; }' training
