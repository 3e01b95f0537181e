#!/bin/sh
# Builds the demo and starts it from the repository root. Without a display
# it starts a virtual X display first and says how to look at the window.
set -eu
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target vesperon -j"$(nproc)"

if [ -n "${DISPLAY:-}" ]; then
    exec ./build/vesperon
fi

# Pick the first free display number.
n=99
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill $XVFB_PID 2>/dev/null || true' EXIT INT TERM
sleep 1
export DISPLAY=":$n"
echo "No display found: running Vesperon on the virtual X display :$n."
echo "  look at it:  DISPLAY=:$n import -window root vesperon.png"
echo "  drive it:    DISPLAY=:$n xdotool search --name Vesperon windowfocus key w"
echo "  quit:        DISPLAY=:$n xdotool search --name Vesperon windowfocus key Escape"
status=0
./build/vesperon || status=$?
exit $status
