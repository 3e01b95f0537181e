#!/usr/bin/env python3
# check-layers.sh: fails, naming file and line, when a file of src/ or tools/
# includes a room above its own, or a room the order below does not know.
# The rooms from the bottom up (README, "Layout"): a file may include its own
# room and those listed before it.
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
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z_]+)/')
SOURCE_SUFFIXES = {".cpp", ".h", ".c", ".hpp"}


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    rank = {room: i for i, room in enumerate(ROOMS)}
    faults = []
    for top in ("src", "tools"):
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
                continue
            parts = path.relative_to(root / top).parts
            own = parts[0] if len(parts) > 1 else None
            where = path.relative_to(root)
            if own not in rank:
                faults.append(f"{where}: the room '{own}' is not in the layer order")
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                room = match.group(1)
                if room not in rank:
                    faults.append(f"{where}:{number}: includes the unknown room '{room}'")
                elif rank[room] > rank[own]:
                    faults.append(f"{where}:{number}: room '{own}' includes '{room}', a room above it")
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"check-layers: {len(faults)} include(s) against the layer order", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
