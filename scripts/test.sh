#!/bin/sh
# Builds everything and runs every test: unit, GL and end-to-end tests on a
# virtual X display, then the library and unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc)

./scripts/setup.sh

echo "== build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"

echo "== tests"
xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVESPERON_SANITIZE=ON -DVESPERON_BUILD_PROGRAM=OFF
cmake --build build-asan -j"$JOBS"

echo "== sanitizer tests"
# Mesa, LLVM and the X libraries keep process-lifetime allocations that leak
# checking would report; our own leaks are caught by the zone allocator's
# block count and the heap checker instead.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:suppressions_unused=0" \
LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir build-asan --output-on-failure -j"$JOBS"

echo "== all tests passed"
