#!/bin/sh
# Builds the demo and starts it from the repository root with the options
# given (paths in them are taken from the repository root). Without a display
# it starts a virtual X display first and says how to look at the window.
set -eu
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target vesperon -j"$(nproc)"

if [ -n "${DISPLAY:-}" ]; then
    exec ./build/vesperon "$@"
fi

# The display wrapper starts the server, waits until it accepts connections,
# passes signals on to the demo and stops the server when the demo ends.
exec ./scripts/with-display.sh sh -c '
echo "No display found: running Vesperon on the virtual X display $DISPLAY."
echo "  look at it:  DISPLAY=$DISPLAY import -window root vesperon.png"
echo "  drive it:    DISPLAY=$DISPLAY xdotool search --name Vesperon windowfocus key w"
echo "  quit:        DISPLAY=$DISPLAY xdotool search --name Vesperon windowfocus key Escape"
exec ./build/vesperon "$@"' sh "$@"
