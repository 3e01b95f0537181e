#!/bin/sh
# Fails when a class member or a local record can be read before anything
# gave it a value: every member gets its value where it is declared or in
# every constructor (clang-tidy's member-init check over src/ and tools/,
# with the compile commands of the build folder given, "build" by default).
#   usage: scripts/check-members.sh [build-folder]
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
if [ ! -f "$BUILD/compile_commands.json" ]; then
    echo "check-members: $BUILD/compile_commands.json is missing (configure the build first)" >&2
    exit 2
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
run-clang-tidy -p "$BUILD" -j"$(nproc)" -quiet \
    -checks='-*,cppcoreguidelines-pro-type-member-init' \
    -header-filter="^$ROOT/(src|tools)/" \
    "^$ROOT/(src|tools)/" >"$out" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -q 'warning:\|error:' "$out"; then
    grep -E 'warning:|error:' "$out" | sed 's/\x1b\[[0-9;]*m//g' | sort -u >&2
    echo "check-members: uninitialised members or records (above)" >&2
    exit 1
fi
echo "check-members: every member and record is initialised"
