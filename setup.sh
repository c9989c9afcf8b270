#!/usr/bin/env bash
# What ./run and ./test share: install the Debian packages this machine lacks,
# then configure and build in build/. Sourced by both; run by itself it answers
# `./setup.sh missing run|test` (the packages that call would install) and
# `./setup.sh build` (install what is missing, then build everything).
#
# Installing goes through apt-get: directly as root, through sudo otherwise (so
# that build/ stays yours), and when neither is possible the one command to run
# is printed. Nothing is installed, and apt is not even asked, when all is there.

# The package list. Each line: a Debian package; who needs it (build: every
# call; test: ./test only); the command, or the file (a path, globs allowed),
# whose absence means the package is missing.
SETUP_PACKAGES='
cmake               build  cmake
ninja-build         build  ninja
g++                 build  g++
make                build  make
libgtest-dev        build  /usr/include/gtest/gtest.h
nlohmann-json3-dev  build  /usr/include/nlohmann/json.hpp
zlib1g-dev          build  /usr/include/zlib.h
libdw-dev           build  /usr/include/elfutils/libdwfl.h
libncurses-dev      build  /usr/include/ncursesw/curses.h
clang               test   clang++
libclang-rt-14-dev  test   /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a
chromium            test   chromium
'

SETUP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
BUILD_DIR=$SETUP_ROOT/build

setup_fail() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

# True when `probe` (a command name, or an absolute path that may hold globs) is present.
setup_present() {
  local probe=$1
  if [[ $probe == /* ]]; then
    compgen -G "$probe" >/dev/null
  else
    command -v "$probe" >/dev/null
  fi
}

# Prints, one a line, the packages that `purpose` (run or test) needs and that are missing.
setup_missing() {
  local purpose=$1 package needed_by probe
  while read -r package needed_by probe; do
    [ -n "$package" ] || continue
    [ "$needed_by" = build ] || [ "$purpose" = test ] || continue
    setup_present "$probe" || echo "$package"
  done <<<"$SETUP_PACKAGES"
}

# Installs the packages named in the arguments with apt-get, as root or through sudo.
setup_install() {
  local by_hand="apt-get update && apt-get install --no-install-recommends $*"
  local -a as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null ||
      setup_fail "missing $*; as root, run: $by_hand"
    as_root=(sudo)
  fi
  echo "$(basename "$0"): installing $*" >&2
  # Waits for another apt to let go of its lock rather than failing at once.
  local -a apt=(env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=600)
  "${as_root[@]}" "${apt[@]}" update &&
    "${as_root[@]}" "${apt[@]}" install -y --no-install-recommends "$@" ||
    setup_fail "could not install $*; as root, run: $by_hand"
}

# Installs what `purpose` needs; returns 0 when it installed something, 1 when all was there.
setup_packages() {
  local purpose=$1
  local -a missing
  mapfile -t missing < <(setup_missing "$purpose")
  [ ${#missing[@]} -gt 0 ] || return 1
  setup_install "${missing[@]}"
  mapfile -t missing < <(setup_missing "$purpose")
  [ ${#missing[@]} -eq 0 ] ||
    setup_fail "still missing after installing: ${missing[*]}"
  return 0
}

# A build directory that another user (root, from an earlier `sudo`) wrote into
# cannot be written by you: say so plainly instead of failing halfway through.
setup_check_owner() {
  [ "$(id -u)" -ne 0 ] && [ -d "$BUILD_DIR" ] || return 0
  local foreign
  foreign=$(find "$BUILD_DIR" ! -user "$(id -u)" -print -quit 2>/dev/null)
  [ -z "$foreign" ] ||
    setup_fail "$foreign belongs to $(stat -c %U "$foreign") (an earlier run as that user); remove the build directory first: sudo rm -rf $BUILD_DIR"
}

# Run as root inside another user's checkout, hand build/ back to that user on exit,
# so that their next call can write into it.
setup_give_back() {
  local owner
  owner=$(stat -c %u:%g "$SETUP_ROOT")
  [ "$(id -u)" -eq 0 ] && [ "${owner%%:*}" != 0 ] || return 0
  trap 'chown -R "'"$owner"'" "$BUILD_DIR" 2>/dev/null || true' EXIT
}

# The value of `key` in build/CMakeCache.txt, empty when there is none.
setup_cached() {
  sed -n "s/^$1:[A-Z]*=//p" "$BUILD_DIR/CMakeCache.txt" 2>/dev/null
}

# Configures build/ unless a finished configure for this checkout is already there.
# build.ninja is written last and removed before configuring, so a configure that
# failed or was interrupted leaves none behind, and the next call configures anew
# from an empty cache (--fresh) instead of reusing a broken one.
setup_configure() {
  local fresh=$1
  if [ "$fresh" = 0 ] && [ -f "$BUILD_DIR/build.ninja" ] &&
    [ "$(setup_cached CMAKE_GENERATOR)" = Ninja ] &&
    [ "$(setup_cached CMAKE_HOME_DIRECTORY)" = "$SETUP_ROOT" ]; then
    return 0
  fi
  rm -f "$BUILD_DIR/build.ninja"
  cmake --fresh -S "$SETUP_ROOT" -B "$BUILD_DIR" -G Ninja ||
    setup_fail "configuring failed (see above); the next call configures again"
}

# Everything up to a configured build/: packages for `purpose`, the owner check, configure.
setup_prepare() {
  local purpose=$1 fresh=0
  setup_check_owner
  setup_give_back
  # New packages can change what the configure finds, so configure anew after them.
  if setup_packages "$purpose"; then fresh=1; fi
  setup_configure "$fresh"
}

# Builds the named targets (all of them when none is named).
setup_build() {
  local -a targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" "${targets[@]}" ||
    setup_fail "the build failed (see above)"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
  missing) setup_missing "${2:-test}" ;;
  build) setup_prepare test && setup_build ;;
  *) setup_fail "usage: $0 missing run|test, or $0 build" ;;
  esac
fi
