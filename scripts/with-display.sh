#!/bin/sh
# Runs a command on a virtual X display of its own and exits with its status.
# Xvfb picks a free display number itself and writes it to -displayfd only
# once it accepts connections, so virtual displays started at the same moment
# on one machine (xvfb-run -a guesses a number, and two guesses collide) can
# neither share a number nor let a client in too early. The server is stopped
# however the command ends.
#   usage: scripts/with-display.sh command [args...]
set -eu
if [ $# -eq 0 ]; then
    echo "usage: $0 command [args...]" >&2
    exit 2
fi
SCREEN="1920x1080x24"
START_TIMEOUT_TENTHS=300 # 30 s: a loaded machine takes a few seconds at most

dir=$(mktemp -d)
pid=""
stop() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

Xvfb -displayfd 3 -screen 0 "$SCREEN" -nolisten tcp 3>"$dir/number" >"$dir/log" 2>&1 &
pid=$!
tenths=0
until grep -q '^[0-9][0-9]*$' "$dir/number"; do
    if ! kill -0 "$pid" 2>/dev/null || [ "$tenths" -ge "$START_TIMEOUT_TENTHS" ]; then
        echo "with-display: Xvfb did not start:" >&2
        cat "$dir/log" >&2
        exit 1
    fi
    tenths=$((tenths + 1))
    sleep 0.1
done
DISPLAY=":$(cat "$dir/number")"
export DISPLAY

status=0
"$@" || status=$?
exit "$status"
