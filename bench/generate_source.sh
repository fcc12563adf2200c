#!/usr/bin/env bash
# Writes to standard output a generated program of about BYTES bytes in the language named
# (tav, py or lua): a function, then groups of three statements (an arithmetic assignment, a
# block or list literal, a call). The same statements in each language, for timing how fast
# an interpreter loads and evaluates a large source. Usage: generate_source.sh LANG BYTES
set -euo pipefail
language=$1
bytes=$2
awk -v language="$language" -v bytes="$bytes" 'BEGIN {
  if (language == "tav") {
    header = "Tav [title: \"Generated source\"]\nf: func [a b] [a + b]\n"
    arith = "v%d: %d * 2 + %d\n"; list = "b: [%d \"s%d\" %d.5]\n"; call = "r: f v%d %d\n"
  } else if (language == "py") {
    header = "def f(a, b):\n    return a + b\n"
    arith = "v%d = %d * 2 + %d\n"; list = "b = [%d, \"s%d\", %d.5]\n"; call = "r = f(v%d, %d)\n"
  } else {
    header = "local function f(a, b) return a + b end\n"
    arith = "v%d = %d * 2 + %d\n"; list = "b = {%d, \"s%d\", %d.5}\n"; call = "r = f(v%d, %d)\n"
  }
  printf "%s", header
  size = length(header)
  for (i = 0; size < bytes; ++i) {
    line = sprintf(arith, i % 1000, i, i % 7) sprintf(list, i, i, i) sprintf(call, i % 1000, i)
    printf "%s", line
    size += length(line)
  }
}'
