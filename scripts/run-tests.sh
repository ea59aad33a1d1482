#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test
# headless. A failing test or a sanitizer report fails the run.
# It builds and tests a copy of the checkout that has nothing beside it, so a test that reads a
# file outside the repository fails here as it would in a user's lone clone. The copy lives in a
# fixed folder per checkout and keeps its build folder, so the next run rebuilds only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
checkout=$PWD
work="${TMPDIR:-/tmp}/tolvemark-tests-$(id -u)-$(printf '%s' "$checkout" | cksum | cut -d' ' -f1)"
copy="$work/tolvemark"
mkdir -p "$copy"
# Fresh sources every run (files gone from the checkout go from the copy too); tar keeps the
# modification times, so unchanged files are not rebuilt.
find "$copy" -mindepth 1 -maxdepth 1 ! -name build-tests -exec rm -rf {} +
tar -C "$checkout" --anchored --exclude='./build*' --exclude=./.git -cf - . | tar -C "$copy" -xf -
cd "$copy"
echo "Testing a copy of the checkout in $copy"
jobs=$(nproc)
# Line tables (-g1) are all a sanitizer's stack trace needs; full debug information makes the
# template-heavy sources take about a sixth longer to compile.
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVEMARK_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build-tests -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
# Quoted, as the sanitizers split their options at spaces and the path may hold one (TMPDIR).
export LSAN_OPTIONS="suppressions='$PWD/tests/lsan.supp':print_suppressions=0"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build-tests --output-on-failure --no-tests=error -j "$jobs"
