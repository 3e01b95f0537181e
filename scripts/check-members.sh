#!/bin/sh
# Fails when a class member or a local record can be read before anything
# gave it a value: every member gets its value where it is declared or in
# every constructor (clang-tidy's member-init check over src/ and tools/,
# with the compile commands of the build folder given, "build" by default).
# The plain build compiles every .cpp of src/ and tools/, so the compile
# database must list each of them: one that lists fewer (empty, partial, or
# another checkout's build folder) fails the check instead of passing
# unchecked files.
#   usage: scripts/check-members.sh [build-folder]
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
DATABASE=$BUILD/compile_commands.json
if [ ! -f "$DATABASE" ]; then
    echo "check-members: $DATABASE is missing (configure the build first)" >&2
    exit 2
fi
# The tree's sources the database leaves out, or none found at all; on
# success the number of files to check.
checked=$(python3 - "$ROOT" "$DATABASE" <<'EOF'
import json
import os
import sys

root, database = sys.argv[1], sys.argv[2]
tree = sorted(os.path.join(folder, name)
              for top in ("src", "tools")
              for folder, _, names in os.walk(os.path.join(root, top))
              for name in names if name.endswith(".cpp"))
if not tree:
    sys.exit(f"check-members: no .cpp file under {root}/src or {root}/tools")
try:
    with open(database) as f:
        entries = json.load(f)
    listed = {os.path.realpath(os.path.join(e["directory"], e["file"])) for e in entries}
except (OSError, ValueError, TypeError, KeyError) as error:
    sys.exit(f"check-members: {database} can't be read as a compile database: {error}")
missing = [path for path in tree if os.path.realpath(path) not in listed]
if missing:
    shown = "".join(f"\n  {os.path.relpath(path, root)}" for path in missing[:10])
    more = f"\n  ... and {len(missing) - 10} more" if len(missing) > 10 else ""
    sys.exit(f"check-members: {database} lists {len(tree) - len(missing)} of the "
             f"{len(tree)} source files of src/ and tools/ (another checkout's or an "
             f"unfinished build?); not listed:{shown}{more}")
print(len(tree))
EOF
) || exit 1
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
echo "check-members: $checked files checked, every member and record is initialised"
