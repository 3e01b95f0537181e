#!/bin/sh
# Tests the tree's own checks (check-layers.sh, check-members.sh): each must
# fail on a fault planted in a scratch copy and on an empty tree, and pass on
# the real tree; a check that passes having checked nothing is no check.
# check-members runs clang-tidy, minutes over the whole tree (which test.sh
# checks just before this), so its runs here take a scratch copy of three
# files of src/core with their real compile commands moved there: seconds.
#   usage: scripts/test-checks.sh [build-folder]
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
MEMBER_FILES="Timer Logger StandardStreams" # src/core modules of the scratch tree

# expect pass|fail WHAT FRAGMENT command...: the command passes (status 0) or
# fails (any other), and what it prints holds FRAGMENT.
expect() {
    want=$1 what=$2 fragment=$3
    shift 3
    status=0
    output=$("$@" 2>&1) || status=$?
    if { [ "$want" = pass ] && [ "$status" -eq 0 ]; } ||
        { [ "$want" = fail ] && [ "$status" -ne 0 ]; }; then
        case $output in *"$fragment"*)
            echo "[ok  ] $what"
            return ;;
        esac
    fi
    echo "[FAIL] $what: expected to $want saying \"$fragment\"; status $status, said:"
    echo "$output" | sed 's/^/    /' | tail -20
    failures=$((failures + 1))
}

# A copy of src/ and tools/ with one line added to a file.
layers_copy() { # folder file line
    mkdir -p "$1"
    cp -R src tools "$1"
    printf '%s\n' "$3" >>"$1/$2"
}

echo "== check-layers"
expect pass "check-layers: the real tree keeps the order" "files checked" ./scripts/check-layers.sh
layers_copy "$scratch/angle" src/core/Timer.cpp "#include <demo/Vesperon.h>"
expect fail "check-layers: an upward include in angle brackets" \
    "src/core/Timer.cpp:$(($(wc -l <src/core/Timer.cpp) + 1)): room 'core' includes 'demo'" \
    ./scripts/check-layers.sh "$scratch/angle"
layers_copy "$scratch/quotes" src/gpu/Texture.cpp '#  include "ssao/Umbrelix.h"'
expect fail "check-layers: an upward include in quotes" "room 'gpu' includes 'ssao'" \
    ./scripts/check-layers.sh "$scratch/quotes"
layers_copy "$scratch/unknown" src/scene/Mesh.cpp '#include "nowhere/Thing.h"'
expect fail "check-layers: an include of an unknown room" "unknown room 'nowhere'" \
    ./scripts/check-layers.sh "$scratch/unknown"
mkdir -p "$scratch/empty/src" "$scratch/no-src"
expect fail "check-layers: an empty tree" "no source file" \
    ./scripts/check-layers.sh "$scratch/empty"
expect fail "check-layers: a root without src/" "no src/ folder" \
    ./scripts/check-layers.sh "$scratch/no-src"

# A tree of a few src/core modules with the script and, in build/, the real
# compile commands of those files moved to it (or the database given).
members_copy() { # folder [database]
    mkdir -p "$1/scripts" "$1/src/core" "$1/build"
    cp scripts/check-members.sh "$1/scripts/"
    for module in $MEMBER_FILES; do
        cp "src/core/$module.h" "src/core/$module.cpp" "$1/src/core/"
    done
    if [ $# -gt 1 ]; then
        cp "$2" "$1/build/compile_commands.json"
        return
    fi
    python3 - "$ROOT" "$1" "$BUILD/compile_commands.json" $MEMBER_FILES <<'EOF'
import json
import os
import sys

root, copy, database, modules = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
wanted = {f"{root}/src/core/{module}.cpp" for module in modules}
entries = {}
for entry in json.load(open(database)):
    # The library's compile (scenegen's own build compiles some of them too).
    if entry["file"] in wanted and entry["directory"] == os.path.dirname(database):
        entries[entry["file"]] = {k: v.replace(root, copy) for k, v in entry.items()}
with open(f"{copy}/build/compile_commands.json", "w") as f:
    json.dump(list(entries.values()), f, indent=1)
EOF
}

# A constructor that leaves a member without a value, compiled like Timer.cpp.
plant_member() { # folder name listed|unlisted
    cat >"$1/src/core/$2.cpp" <<EOF
struct $2 {
    int value;
    $2() {}
};
$2 planted$2;
EOF
    if [ "$3" = listed ]; then
        python3 - "$1/build/compile_commands.json" "$2" <<'EOF'
import json
import sys

path, name = sys.argv[1], sys.argv[2]
entries = json.load(open(path))
timer = next(e for e in entries if e["file"].endswith("/Timer.cpp"))
entries.append({k: v.replace("Timer.cpp", f"{name}.cpp") for k, v in timer.items()})
json.dump(entries, open(path, "w"), indent=1)
EOF
    fi
}

echo "== check-members"
count=$(echo $MEMBER_FILES | wc -w)
members_copy "$scratch/members"
expect pass "check-members: real files with their compile commands" "$count files checked" \
    "$scratch/members/scripts/check-members.sh"
members_copy "$scratch/planted"
plant_member "$scratch/planted" Planted listed
expect fail "check-members: a member without a value" \
    "Planted.cpp:3:5: warning: constructor does not initialize these fields: value" \
    "$scratch/planted/scripts/check-members.sh"
members_copy "$scratch/unlisted"
plant_member "$scratch/unlisted" Unlisted unlisted
expect fail "check-members: a file the database leaves out" "src/core/Unlisted.cpp" \
    "$scratch/unlisted/scripts/check-members.sh"
echo '[]' >"$scratch/empty.json"
members_copy "$scratch/empty-database" "$scratch/empty.json"
expect fail "check-members: an empty database" "lists 0 of the $count" \
    "$scratch/empty-database/scripts/check-members.sh"
members_copy "$scratch/other-checkout" "$BUILD/compile_commands.json"
expect fail "check-members: another checkout's database" "lists 0 of the $count" \
    "$scratch/other-checkout/scripts/check-members.sh"
members_copy "$scratch/empty-tree" "$scratch/empty.json"
rm -r "$scratch/empty-tree/src/core"
expect fail "check-members: an empty tree" "no .cpp file" \
    "$scratch/empty-tree/scripts/check-members.sh"

if [ "$failures" -ne 0 ]; then
    echo "test-checks: $failures failure(s)" >&2
    exit 1
fi
echo "test-checks: every check fails on its planted faults and passes the real tree"
