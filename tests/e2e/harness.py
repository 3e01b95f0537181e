"""Drives the real program on its own virtual X display: starts Xvfb, runs
the binary from the repository root with its log captured, sends keys and
mouse motion with xdotool, takes screenshots with ImageMagick's import and
closes the window like a window manager would (WM_DELETE_WINDOW)."""

import argparse
import os
import select
import subprocess
import sys
import tempfile
import threading
import time

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def parse_binary():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", default=os.path.join(REPO_ROOT, "build", "vesperon"))
    args, _ = parser.parse_known_args()
    return os.path.abspath(args.binary)


class VirtualDisplay:
    """An Xvfb server on a display number it picks itself.

    The socket file appears when the server binds it, a moment before it
    listens, so waiting for the file can let a client in too early (its
    connection is refused and SDL can't open the video subsystem). Xvfb
    writes the number to -displayfd only once it accepts connections.
    -noreset: by default the server resets when its last client leaves and
    refuses a client that connects meanwhile."""

    def __init__(self, width=1920, height=1080, timeout=30):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-noreset", "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_fd,))
        os.close(write_fd)
        number = self._read_number(read_fd, timeout)
        os.close(read_fd)
        if number is None:
            self.proc.kill()
            self.proc.wait()
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"
        self.env = dict(os.environ, DISPLAY=self.name)

    @staticmethod
    def _read_number(fd, timeout):
        text = b""
        deadline = time.time() + timeout
        while not text.endswith(b"\n") and time.time() < deadline:
            ready, _, _ = select.select([fd], [], [], 0.2)
            if ready:
                chunk = os.read(fd, 64)
                if not chunk:
                    break
                text += chunk
        text = text.strip()
        return int(text) if text.isdigit() else None

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def alive(pid):
    """Whether the process is there and not a zombie (killed but unreaped)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ")[1][0] != "Z"
    except OSError:
        return False


class Program:
    """The program under test, its log collected line by line."""

    def __init__(self, binary, display, cwd=REPO_ROOT, extra_env=None, args=()):
        env = dict(display.env)
        env.update(extra_env or {})
        self.display = display
        self.lines = []
        self._lock = threading.Lock()
        self.proc = subprocess.Popen([binary, *args], cwd=cwd, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, errors="replace")
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.proc.stdout:
            with self._lock:
                self.lines.append(line.rstrip("\n"))

    def log(self):
        with self._lock:
            return list(self.lines)

    def messages(self):
        """Each line from its level marker on, e.g. '[I]  [Game] Engine starting up...'."""
        return [line.split(" ", 1)[1] if " " in line else line for line in self.log()]

    def wait_exit(self, timeout=60):
        """The exit status (None after the timeout, the program killed), once
        the log holds every line it wrote: the process can be gone while its
        last lines still sit in the pipe, unread."""
        try:
            status = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            status = None
        self._drain()
        return status

    def _drain(self):
        # The pipe ends when every writer is gone; a child that outlives the
        # program (a message box) may hold it, so the wait is bounded.
        self._reader.join(timeout=10)

    def count(self, fragment):
        return sum(fragment in line for line in self.log())

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._drain()


def xdotool(display, *args, check=True):
    result = subprocess.run(["xdotool", *args], env=display.env, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise RuntimeError(f"xdotool {' '.join(args)} failed: {result.stderr}")
    return result.stdout.strip()


def find_window(display, name, timeout=60, program=None):
    """The id of the window whose name is exactly `name`; None after the
    timeout or as soon as `program` has exited without showing it."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        out = subprocess.run(["xdotool", "search", "--name", f"^{name}$"], env=display.env,
                             capture_output=True, text=True).stdout.split()
        if out:
            return out[0]
        if program is not None and program.proc.poll() is not None:
            return None
        time.sleep(0.1)
    return None


def window_names(display):
    """Every named window, from xwininfo's tree (SDL's message box has no class)."""
    out = subprocess.run(["xwininfo", "-root", "-tree"], env=display.env, capture_output=True,
                         text=True).stdout
    return out


def key(display, window, *keys, delay_ms=60):
    xdotool(display, "windowfocus", "--sync", window, check=False)
    for k in keys:
        xdotool(display, "key", "--delay", str(delay_ms), k)
        time.sleep(0.05)


def key_down(display, window, k):
    xdotool(display, "windowfocus", "--sync", window, check=False)
    xdotool(display, "keydown", k)


def key_up(display, k):
    xdotool(display, "keyup", k)


def screenshot(display, window, path):
    subprocess.run(["import", "-window", window, path], env=display.env, check=True,
                   capture_output=True)
    return path


def image_stats(path, crop=None):
    """Mean brightness (0..1) of the image or a crop 'WxH+X+Y' of it."""
    args = ["convert", path]
    if crop:
        args += ["-crop", crop, "+repage"]
    args += ["-colorspace", "Gray", "-format", "%[fx:mean]", "info:"]
    return float(subprocess.run(args, capture_output=True, text=True, check=True).stdout)



def close_window(display, window):
    """Sends WM_DELETE_WINDOW as a window manager does when the user closes it."""
    from Xlib import X, display as xdisplay, protocol
    d = xdisplay.Display(display.name)
    w = d.create_resource_object("window", int(window))
    wm_protocols = d.intern_atom("WM_PROTOCOLS")
    wm_delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=w, client_type=wm_protocols,
                                         data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(event, event_mask=X.NoEventMask)
    # A round trip, not just a flush: closing the connection right after a
    # flush can lose the request.
    d.sync()
    d.close()


class TestRun:
    """Collects failures so one run reports every broken expectation."""

    def __init__(self, name):
        self.name = name
        self.failures = []

    def check(self, condition, what):
        status = "ok  " if condition else "FAIL"
        print(f"[{status}] {what}", flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def finish(self, program=None):
        if self.failures and program is not None:
            print("---- program log ----")
            print("\n".join(program.log()[-80:]))
        if self.failures:
            print(f"{self.name}: {len(self.failures)} failure(s)")
            sys.exit(1)
        print(f"{self.name}: all checks passed")
        sys.exit(0)


def temp_dir():
    return tempfile.mkdtemp(prefix="vesperon-e2e-")


def pixels(path, crop):
    """Every (r, g, b) of a crop 'WxH+X+Y', 0..255."""
    out = subprocess.run(["convert", path, "-crop", crop, "+repage", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return [tuple(out[i:i + 3]) for i in range(0, len(out) - 2, 3)]


def count_colour(path, crop, predicate):
    return sum(1 for p in pixels(path, crop) if predicate(p))


def is_red(p):
    return p[0] > 180 and p[1] < 90 and p[2] < 90


def is_green(p):
    return p[1] > 180 and p[0] < 90 and p[2] < 90


def grey_fraction(path, crop, tolerance=3):
    ps = pixels(path, crop)
    grey = sum(1 for r, g, b in ps if abs(r - g) <= tolerance and abs(g - b) <= tolerance)
    return grey / max(1, len(ps))


class Demo:
    """A display with the demo running on it, its window found and focused."""

    def __init__(self, binary, cwd=REPO_ROOT, extra_env=None, args=()):
        self.display = VirtualDisplay()
        self.program = Program(binary, self.display, cwd=cwd, extra_env=extra_env, args=args)
        self.window = None
        self.shots = temp_dir()
        self._n = 0

    def wait_window(self, timeout=120):
        self.window = find_window(self.display, "Vesperon", timeout, self.program)
        return self.window

    def shot(self, name=None):
        self._n += 1
        path = os.path.join(self.shots, f"{self._n:02d}-{name or 'shot'}.png")
        return screenshot(self.display, self.window, path)

    def key(self, *keys):
        key(self.display, self.window, *keys)

    def shot_until(self, name, predicate, timeout=30):
        """Screenshots until predicate(path) holds: a software renderer may
        need seconds per frame, so a change is waited for, not assumed.
        Returns the last screenshot."""
        deadline = time.time() + timeout
        while True:
            path = self.shot(name)
            if predicate(path) or time.time() > deadline:
                return path
            time.sleep(0.5)

    def close(self):
        self.program.kill()
        self.display.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def difference(path_a, path_b, crop):
    """Mean absolute difference (0..1) of two screenshots over a crop."""
    out = subprocess.run(["compare", "-metric", "MAE", f"{path_a}[{crop}]", f"{path_b}[{crop}]",
                          "null:"], capture_output=True, text=True)
    # compare prints "absolute (normalised)" on stderr.
    text = out.stderr.strip()
    return float(text.split("(")[1].split(")")[0]) if "(" in text else 1.0


def darkened(path_on, path_off, crop, threshold=6):
    """(pixels darker in path_on than in path_off, pixels brighter) by more
    than threshold levels of grey."""
    a = pixels(path_on, crop)
    b = pixels(path_off, crop)
    darker = brighter = 0
    for p, q in zip(a, b):
        d = sum(p) - sum(q)
        if d < -3 * threshold:
            darker += 1
        elif d > 3 * threshold:
            brighter += 1
    return darker, brighter
