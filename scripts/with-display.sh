#!/bin/bash
# Runs a command on a virtual X display of its own and exits with its status.
# Xvfb picks a free display number itself and writes it to -displayfd only
# once it accepts connections, so virtual displays started at the same moment
# on one machine (xvfb-run -a guesses a number, and two guesses collide) can
# neither share a number nor let a client in too early. -noreset keeps the
# server up between clients: by default it resets when its last client
# leaves, and a client connecting during the reset is refused.
# INT, TERM and HUP are passed on to the command, which is waited for; the
# exit status is then the command's own (128 + the signal if it died of it).
# The server is stopped on every way out.
#   usage: scripts/with-display.sh command [args...]
set -u
if [ $# -eq 0 ]; then
    echo "usage: $0 command [args...]" >&2
    exit 2
fi
SCREEN="1920x1080x24"
START_TIMEOUT_TENTHS=300 # 30 s: a loaded machine takes a few seconds at most

dir=$(mktemp -d)
xvfb=""
command_pid=""
launching=""
pending=""
caught=""

stop_server() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
        xvfb=""
    fi
    rm -rf "$dir"
}

# Before the command runs, a signal ends the wrapper; afterwards it goes to
# the command, whose end the wrapper still waits for.
on_signal() {
    if [ -z "$command_pid" ]; then
        if [ -n "$launching" ]; then # started, its pid not yet known
            pending=$1
            return
        fi
        exit $((128 + $2))
    fi
    caught=$1
    kill -s "$1" "$command_pid" 2>/dev/null
}
trap stop_server EXIT
trap 'on_signal INT 2' INT
trap 'on_signal TERM 15' TERM
trap 'on_signal HUP 1' HUP

# The number file exists before Xvfb may write to it, and a poll that races
# with its creation or removal stays quiet (-s).
: >"$dir/number"
Xvfb -displayfd 3 -noreset -screen 0 "$SCREEN" -nolisten tcp 3>"$dir/number" >"$dir/log" 2>&1 &
xvfb=$!
tenths=0
until grep -qs '^[0-9][0-9]*$' "$dir/number"; do
    if ! kill -0 "$xvfb" 2>/dev/null || [ "$tenths" -ge "$START_TIMEOUT_TENTHS" ]; then
        echo "with-display: Xvfb did not start:" >&2
        cat "$dir/log" >&2 2>/dev/null
        exit 1
    fi
    tenths=$((tenths + 1))
    sleep 0.1
done
DISPLAY=":$(cat "$dir/number")"
export DISPLAY

# In the background so the traps run while it does; a background command
# would otherwise read /dev/null, so it is handed the wrapper's input.
exec 9<&0
launching=1
(exec "$@" <&9 9<&-) &
command_pid=$!
exec 9<&-
if [ -n "$pending" ]; then
    kill -s "$pending" "$command_pid" 2>/dev/null
fi
while :; do
    caught=""
    wait "$command_pid"
    status=$?
    # A signal interrupts wait; the command, told of it, is waited for again
    # (wait on a finished command returns its status once more).
    [ -z "$caught" ] && break
done
exit "$status"
