#!/usr/bin/env python3
# check-layers.sh: fails, naming file and line, when a file of src/ or tools/
# includes a room above its own, or a room the order below does not know.
# The rooms from the bottom up (README, "Layout"): a file may include its own
# room and those listed before it. Both forms are read: "room/File.h", and
# <room/File.h>, which compiles too since src/ (and tools/) are include paths;
# an angle-bracket path whose first folder is no room is a system header.
# Fails as well when it finds no source file to check (a wrong root, an
# empty tree): a check of nothing would pass.
#   usage: scripts/check-layers.sh [root]   (root: this script's repository by default)
import pathlib
import re
import sys

ROOMS = [
    # src/
    "core", "memory", "input", "image", "gpu", "text", "scene", "render", "ssao", "engine",
    "demo",
    # tools/
    "scenegen", "common", "framebench", "aotruth",
]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([A-Za-z_]+)/')
SOURCE_SUFFIXES = {".cpp", ".h", ".c", ".hpp"}


RANK = {room: i for i, room in enumerate(ROOMS)}


def source_files(root):
    for top in ("src", "tools"):
        for path in sorted((root / top).rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and path.is_file():
                yield top, path


def file_faults(root, top, path):
    """The includes of one file that break the order."""
    parts = path.relative_to(root / top).parts
    own = parts[0] if len(parts) > 1 else None
    where = path.relative_to(root)
    if own not in RANK:
        return [f"{where}: the room '{own}' is not in the layer order"]
    faults = []
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        form, room = match.groups()
        if room not in RANK:
            if form == '"':
                faults.append(f"{where}:{number}: includes the unknown room '{room}'")
        elif RANK[room] > RANK[own]:
            faults.append(f"{where}:{number}: room '{own}' includes '{room}', a room above it")
    return faults


def main():
    default = pathlib.Path(__file__).resolve().parent.parent
    root = pathlib.Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else default
    if not (root / "src").is_dir():
        print(f"check-layers: {root} has no src/ folder: not the repository root", file=sys.stderr)
        return 1
    faults, checked = [], 0
    for top, path in source_files(root):
        checked += 1
        faults += file_faults(root, top, path)
    if checked == 0:
        print(f"check-layers: no source file under {root}/src or {root}/tools", file=sys.stderr)
        return 1
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"check-layers: {len(faults)} include(s) against the layer order", file=sys.stderr)
        return 1
    print(f"check-layers: {checked} files checked, every include keeps the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
