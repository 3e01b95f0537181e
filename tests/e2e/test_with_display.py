"""The display wrapper (scripts/with-display.sh) as the test command uses it:
INT, TERM and HUP reach its command, which is waited for, the wrapper ends
with the command's status (128 + the signal when the command died of it),
and neither the server nor the command outlives it; a client started at
once connects, and many clients one after another on one server are never
refused; a normal run prints nothing of its own."""

import os
import signal
import subprocess
import tempfile
import time

import harness

WRAPPER = os.path.join(harness.REPO_ROOT, "scripts", "with-display.sh")
BACK_TO_BACK_CLIENTS = 150


def children(pid):
    """The wrapper's child processes: the server and the command."""
    out = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout
    return [int(p) for p in out.split()]


def wait_for(path, timeout=60):
    deadline = time.time() + timeout
    while not os.path.exists(path) and time.time() < deadline:
        time.sleep(0.05)
    return os.path.exists(path)


def check_signal(run, tmp, sig, catches):
    """The command announces itself once its trap is set; with catches it
    records the signal and exits 40, else it dies of it."""
    ready, got = os.path.join(tmp, f"ready-{sig.name}-{catches}"), os.path.join(tmp, "got")
    if os.path.exists(got):
        os.remove(got)
    trap = f'trap "echo {sig.name} > {got}; exit 40" {sig.name[3:]}; ' if catches else ""
    script = trap + f"touch {ready}; while :; do sleep 0.05; done" if catches else \
        f"touch {ready}; exec sleep 120"
    wrapper = subprocess.Popen([WRAPPER, "sh", "-c", script], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    started = wait_for(ready)
    kids = children(wrapper.pid)
    wrapper.send_signal(sig)
    try:
        _, err = wrapper.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        wrapper.kill()
        _, err = wrapper.communicate()
    expected = 40 if catches else 128 + sig.value
    what = "a command that handles it" if catches else "a command that dies of it"
    run.check(started and len(kids) == 2, f"{sig.name}: the wrapper runs the server and the command")
    if catches:
        run.check(os.path.exists(got), f"{sig.name} reaches {what}")
    run.check(wrapper.returncode == expected,
              f"{sig.name}, {what}: the wrapper ends with {expected} (got {wrapper.returncode})")
    time.sleep(0.5)
    run.check(not any(harness.alive(p) for p in kids), f"{sig.name}: neither the server nor the command "
              "is left running")
    run.check(err == "", f"{sig.name}: the wrapper prints nothing of its own ({err.strip()!r})")


def check_readiness(run):
    # A client at once, then clients one after another: each one's leaving
    # makes the server clientless, the moment a resetting server is deaf.
    script = (f"xdpyinfo >/dev/null || exit 11; i=0; while [ $i -lt {BACK_TO_BACK_CLIENTS} ]; do "
              "xdpyinfo >/dev/null || exit 12; i=$((i+1)); done")
    done = subprocess.run([WRAPPER, "sh", "-c", script], capture_output=True, text=True,
                          timeout=600)
    run.check(done.returncode != 11, "a client started at once connects")
    run.check(done.returncode == 0,
              f"{BACK_TO_BACK_CLIENTS} clients back to back all connect (status {done.returncode}: "
              f"{done.stderr.strip()[-200:]!r})")
    run.check(done.stderr == "", "a normal run is quiet")
    status = subprocess.run([WRAPPER, "sh", "-c", "exit 7"], capture_output=True).returncode
    run.check(status == 7, f"the wrapper ends with its command's status (got {status})")


def main():
    harness.parse_binary()  # registered like the other end-to-end tests; needs no program
    run = harness.TestRun("with-display")
    with tempfile.TemporaryDirectory(prefix="vesperon-display-") as tmp:
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            for catches in (True, False):
                check_signal(run, tmp, sig, catches)
    check_readiness(run)
    run.finish()


if __name__ == "__main__":
    main()
