"""The programs started with a standard descriptor closed, as `prog >&-`
does: each closed one is /dev/null before anything else opens, so the X
connection or a report never takes its number (the log written into the X
socket held the demo in window set-up for ever, past SIGTERM). The demo's
window opens, its log goes to the pipe or, with standard output closed, to
/dev/null, and SIGTERM ends it with status 0; framebench and aotruth write
their JSON with status 0; scenegen writes the scene. Then SIGTERM and SIGINT
in each phase of start-up (window set-up, model load) end every program:
the demo with status 0 once start-up is done, the tools with "interrupted"
and status 1, nothing written."""

import json
import os
import signal
import subprocess
import tempfile
import threading
import time

import harness
from test_framebench import SMALL_MODEL, framebench_path

VIEW = ["--eye", "0,5,0", "--dir", "1,-0.3,0.2", "--kernels", "4"]
CLOSED_ROWS = [(0,), (1,), (2,), (0, 1, 2)]  # the descriptors closed in each run
RUN_TIMEOUT = 120  # seconds (a run takes a few); one that hangs is killed and fails its row
WINDOW_SET_UP = "[Window] Opening window of size"  # logged once SDL catches signals
MODEL_LOAD = 'Fragment shader "shaders/Lighting.frag" successfully compiled'  # the last before it


def closing(closed, command):
    """The command started through the shell with the descriptors closed."""
    redirections = " ".join(f"{fd}>&-" for fd in closed)
    return ["/bin/sh", "-c", f'exec "$@" {redirections}', "sh", *command]


def described(closed):
    return "descriptor " + ", ".join(str(fd) for fd in closed) + " closed"


def target(pid, fd):
    try:
        return os.readlink(f"/proc/{pid}/fd/{fd}")
    except OSError:
        return None


def check_demo(run, binary):
    for closed in CLOSED_ROWS:
        what = f"demo, {described(closed)}"
        sh, *args = closing(closed, [binary])
        with harness.Demo(sh, args=args) as demo:
            window = demo.wait_window()
            run.check(window is not None, f"{what}: the window opens")
            pid = demo.program.proc.pid
            nulls = [fd for fd in closed if target(pid, fd) == os.devnull]
            run.check(nulls == list(closed), f"{what}: /dev/null on {nulls} (closed: {closed})")
            demo.program.proc.send_signal(signal.SIGTERM)
            status = demo.program.wait_exit(60)
            run.check(status == 0, f"{what}: SIGTERM ends it with status 0 (got {status})")
            logged = demo.program.count("Engine starting up...") == 1
            run.check(logged == (1 not in closed),
                      f"{what}: the log goes to {'/dev/null' if 1 in closed else 'the pipe'}")


def run_tool(command, closed, display):
    """(status or None when it hung, what it printed on the open streams)."""
    try:
        done = subprocess.run(closing(closed, command), cwd=harness.REPO_ROOT, env=display.env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              errors="replace", timeout=RUN_TIMEOUT)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired as hung:
        return None, str(hung.output)


def read_json(path):
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def check_tools(run, binary, display, tmp):
    model = os.path.join(tmp, "small.obj")
    with open(model, "w") as f:
        f.write(SMALL_MODEL)
    aotruth = os.path.join(os.path.dirname(binary), "aotruth")
    for closed in CLOSED_ROWS:
        report = os.path.join(tmp, f"bench-{len(closed)}-{closed[0]}.json")
        results = os.path.join(tmp, f"truth-{len(closed)}-{closed[0]}.json")
        rows = [
            ("framebench", [framebench_path(binary), "--model", model, "--frames", "1", *VIEW,
                            "--json", report], report),
            ("aotruth", [aotruth, "--model", model, "--rays", "16", "--draws", "1", *VIEW,
                         "--out", os.path.join(tmp, "ao"), "--json", results], results),
        ]
        for name, command, path in rows:
            status, printed = run_tool(command, closed, display)
            run.check(status == 0 and "views" in read_json(path),
                      f"{name}, {described(closed)}: status 0 (got {status}), the JSON written "
                      f"({printed.strip()[-200:]!r})")


def check_scenegen(run, binary, tmp):
    scenegen = os.path.join(os.path.dirname(binary), "scenegen", "scenegen")
    for closed in ((1,), (0, 1, 2)):
        out = os.path.join(tmp, f"scene-{len(closed)}")
        done = subprocess.run(closing(closed, [scenegen, out]), capture_output=True, text=True,
                              timeout=RUN_TIMEOUT)
        run.check(done.returncode == 0 and os.path.getsize(os.path.join(out, "sponza.obj")) > 0,
                  f"scenegen, {described(closed)}: status 0 (got {done.returncode}), the scene "
                  "written")


class Started:
    """A program whose merged output is read line by line as it comes."""

    def __init__(self, command, display):
        self.proc = subprocess.Popen(command, cwd=harness.REPO_ROOT, env=display.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                     errors="replace")
        self.text = ""
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.text += line

    def wait_for(self, fragment, timeout=120):
        deadline = time.time() + timeout
        while fragment not in self.text and self.proc.poll() is None and time.time() < deadline:
            time.sleep(0.005)
        return fragment in self.text

    def end(self, timeout):
        try:
            status = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            status = None
        self.reader.join(timeout=10)
        return status


def check_signals_in_start_up(run, binary, display, tmp):
    """The signal comes once the phase's line is logged: in that phase or,
    at the latest, in a later one of start-up; the outcome is the same
    either way. The demo finishes start-up and ends on its first frame; the
    tools end before they measure or trace (their runs would take minutes)."""
    out = os.path.join(tmp, "signalled")
    aotruth = os.path.join(os.path.dirname(binary), "aotruth")
    programs = [  # name, command, status, what it says
        ("demo", [binary], 0, "Engine starting up..."),
        ("framebench", [framebench_path(binary), "--frames", "1000", "--kernels", "4",
                        "--json", os.path.join(out, "bench.json")], 1, "interrupted"),
        ("aotruth", [aotruth, "--rays", "256", "--draws", "100", "--out", out], 1,
         "interrupted"),
    ]
    phases = [(WINDOW_SET_UP, "window set-up", signal.SIGTERM),
              (MODEL_LOAD, "model load", signal.SIGINT),
              (WINDOW_SET_UP, "window set-up", signal.SIGINT),
              (MODEL_LOAD, "model load", signal.SIGTERM)]
    for name, command, expected, message in programs:
        for fragment, phase, sig in phases:
            os.makedirs(out, exist_ok=True)
            started = Started(command, display)
            reached = started.wait_for(fragment)
            started.proc.send_signal(sig)
            status = started.end(RUN_TIMEOUT)
            run.check(reached and status == expected and message in started.text,
                      f"{name}: {sig.name} in {phase} ends it with status {expected} "
                      f"(got {status}; {started.text.strip()[-160:]!r})")
            run.check(os.listdir(out) == [], f"{name}: {sig.name} in {phase}: nothing written")


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("closed standard descriptors")
    check_demo(run, binary)
    display = harness.VirtualDisplay()
    try:
        with tempfile.TemporaryDirectory(prefix="vesperon-closed-") as tmp:
            check_tools(run, binary, display, tmp)
            check_scenegen(run, binary, tmp)
            check_signals_in_start_up(run, binary, display, tmp)
    finally:
        display.close()
    run.finish()


if __name__ == "__main__":
    main()
