#!/usr/bin/env bash
# An edit of a program that takes away a broken copy's text leaves the build
# whole: a scratch copy of the project whose zadatak reader waits on `>` instead
# of `>=` configures, makes every broken copy and builds the one whose text went
# away, from the unchanged source, with a marker that says so.
# Usage: mutant_edit_test.sh SOURCE_DIR CMAKE GENERATOR CXX
set -euo pipefail
source_dir=$1 cmake=$2 generator=$3 cxx=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAILED: $*"
  exit 1
}

mkdir "$scratch/src"
cp -r "$source_dir"/{CMakeLists.txt,zadatak,niz-locks,niz-mark,tools,tests} "$scratch/src/"
program=$scratch/src/zadatak/zadatak.cpp
text='z->argument >= elementSeBrise'
grep -qF "$text" "$program" || fail "zadatak/zadatak.cpp no longer holds '$text', the text this test takes away"
sed -i 's/z->argument >= elementSeBrise/z->argument > elementSeBrise/' "$program"

build=$scratch/build
"$cmake" -S "$scratch/src" -B "$build" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" -DFUZZ_WORKS=OFF \
  >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "the edited project does not configure"; }
copy=zadatak-reader-at-deleted-index
"$cmake" --build "$build" --parallel 2 --target mutant-copies "$copy-seam" >"$scratch/build.log" 2>&1 ||
  { cat "$scratch/build.log"; fail "the edited project's broken copies do not build"; }

marker=$build/tests/mutants/$copy.mismatch
for part in "broken copy $copy:" "'$text'" "zadatak/zadatak.cpp"; do
  grep -qF -- "$part" "$marker" || fail "$marker does not say $part: $(cat "$marker")"
done
cmp -s "$program" "$build/tests/mutants/$copy.cpp" || fail "$copy.cpp is not the unchanged source"
# A copy whose text is still there is made as before.
[ ! -s "$build/tests/mutants/zadatak-appends-together.mismatch" ] ||
  fail "zadatak-appends-together reports a mismatch: $(cat "$build/tests/mutants/zadatak-appends-together.mismatch")"
cmp -s "$program" "$build/tests/mutants/zadatak-appends-together.cpp" && fail "zadatak-appends-together.cpp is unbroken"
echo "an edited zadatak still builds its broken copies"
