#!/bin/sh
# Builds everything, checks that every member and record is initialised
# (clang-tidy) and the layer order, tests those two checks on planted faults,
# and runs every test: unit, GL and end-to-end tests and a
# minute of the soak on a virtual X display; then the library, the unit tests
# and one run of the program again under AddressSanitizer and
# UndefinedBehaviorSanitizer; then a bounded run of each fuzz target (clang,
# libFuzzer).
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc)

./scripts/setup.sh

echo "== build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"

# Each test run gets a virtual display of its own (scripts/with-display.sh);
# the end-to-end tests start theirs the same way (tests/e2e/harness.py).

echo "== member initialisation"
# A member read before anything gave it a value passes or fails a test by
# whatever the memory held: checked over every source file, not by luck.
./scripts/check-members.sh build

echo "== layers"
# No room includes one above it (README, "Layout").
./scripts/check-layers.sh

echo "== the checks' own tests"
# Each check above fails on a planted fault and on an empty tree, or its pass
# would mean nothing (a scratch copy of a few files; seconds).
./scripts/test-checks.sh build

echo "== tests"
./scripts/with-display.sh ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVESPERON_SANITIZE=ON -DVESPERON_BUILD_PROGRAM=ON
cmake --build build-asan -j"$JOBS"

echo "== sanitizer tests"
# Mesa, LLVM and the X libraries keep process-lifetime allocations that leak
# checking would report (tests/lsan.supp names them); our own leaks are
# reported, and zone blocks are also caught by the block count and the heap
# checker. The sanitized program's end-to-end run is one of these tests.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:suppressions_unused=0" \
LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
./scripts/with-display.sh ctest --test-dir build-asan --output-on-failure -j"$JOBS"

echo "== fuzz build"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESPERON_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j"$JOBS"

echo "== bounded fuzzing"
# Each target sets its own sanitizer options (tests/fuzz/CMakeLists.txt).
./scripts/with-display.sh ctest --test-dir build-fuzz --output-on-failure -j"$JOBS"

echo "== all tests passed"
