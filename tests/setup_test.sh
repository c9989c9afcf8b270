#!/usr/bin/env bash
# Which packages ./run and ./test would install, asked of setup.sh under a PATH
# that holds stand-ins for some commands only. Usage: setup_test.sh PATH/TO/setup.sh
set -euo pipefail
setup=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT

# What setup.sh itself runs, then the stand-ins: cmake, g++ and clang++ present;
# ninja, make and chromium absent.
for tool in bash dirname basename; do ln -s "$(command -v "$tool")" "$fake/$tool"; done
for tool in cmake g++ clang++; do printf '#!/bin/sh\n' >"$fake/$tool" && chmod +x "$fake/$tool"; done

failures=0
expect() { # expect PURPOSE present|absent PACKAGE
  local listed
  listed=$(PATH=$fake "$fake/bash" "$setup" missing "$1")
  if grep -qx "$3" <<<"$listed"; then [ "$2" = present ]; else [ "$2" = absent ]; fi ||
    { echo "FAILED: for $1, $3 should be $2 in the missing list, which is: $(echo $listed)"; failures=$((failures + 1)); }
}

expect run present ninja-build
expect run present make
expect run absent cmake
expect run absent g++
expect run absent chromium     # needed by the tests only
expect run absent nlohmann-json3-dev  # its header is here: the tests were built with it
expect test present chromium
expect test absent clang        # present through clang++
expect test present ninja-build

if PATH=$fake "$fake/bash" "$setup" nonsense 2>/dev/null; then
  echo "FAILED: an unknown subcommand was accepted"; failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "setup.sh: every check passed"
