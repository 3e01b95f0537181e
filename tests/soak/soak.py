"""Soak test: the real program under Xvfb driven for a while by a seeded
random stream of every control key (taps, and keys held down past the
auto-repeat delay) and mouse motion, ended by closing the window.

Afterwards: exit status 0 (shutdown asserts that no zone block is in use, so
a leaked block fails the run), resident memory flat after the warm-up (sampled
from /proc/PID/status; the curve is printed), and the overlay showing the
settings the keys predict (every press the server delivered, repeats
included, is counted by a second client listening on the window). The SSAO, blur and samples lines are read by
colour (each kernel size has its own); the radius and ambient lines are read
by stepping them back to their start values with the predicted number of
presses and comparing their text pixels with the first screenshot, which
holds exactly when the prediction was right (both settings step round a
cycle, so any other start lands elsewhere). The view mode is read from the
picture.

    python3 tests/soak/soak.py [--binary build/vesperon] [--duration 300] [--seed 1]
"""

import argparse
import os
import random
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import harness  # noqa: E402

from Xlib import X, XK, display as xdisplay  # noqa: E402
from Xlib.ext import xtest  # noqa: E402

STARTUP_TIMEOUT = 180
SETTLE = 4.0  # seconds for a change to reach a presented frame on llvmpipe
WARMUP_FRAME = 2.5  # seconds per warm-up state: a frame or two on llvmpipe
# Allowed rise of the typical level during the stream. The driver keeps
# per-frame working memory sized by the busiest view it has drawn, which
# steps up by a few to tens of megabytes when the camera first meets a
# crowded view at a high kernel size; a leak grows without such a bound.
RSS_GROWTH_LIMIT_KB = 48 * 1024

# The settings' rules: kernel sizes double/halve within 4..128; radius and
# ambient step by 5 hundredths, wrapping strictly past their ends.
KERNEL_MIN, KERNEL_MAX = 4, 128
STEP = 5
RADIUS_TOP, AMBIENT_TOP = 500, 100
START = {"ssao": True, "blur": True, "kernel": 4, "radius": 90, "ambient": 75, "view": 0}

SCENE = "1400x700+20+150"
SSAO_LINE = "200x14+1+15"
BLUR_LINE = "250x14+1+30"
SAMPLES_LINE = "250x14+1+45"
RADIUS_LINE = "250x14+1+60"
AMBIENT_LINE = "250x14+1+75"

SETTING_KEYS = ["o", "p", "t", "equal", "minus", "bracketleft", "bracketright", "apostrophe",
                "semicolon"]
MOVE_KEYS = ["w", "a", "s", "d"]


class Model:
    """What the program's settings must be after the same key presses."""

    def __init__(self):
        self.s = dict(START)

    def press(self, key):
        s = self.s
        if key == "o":
            s["ssao"] = not s["ssao"]
            s["blur"] = s["ssao"]
        elif key == "p":
            if s["ssao"]:
                s["blur"] = not s["blur"]
        elif key == "t":
            s["view"] = {0: 2, 2: 1}.get(s["view"], 0)
        elif key == "equal":
            if s["kernel"] * 2 <= KERNEL_MAX:
                s["kernel"] *= 2
        elif key == "minus":
            if s["kernel"] // 2 >= KERNEL_MIN:
                s["kernel"] //= 2
        elif key in ("bracketright", "bracketleft", "apostrophe", "semicolon"):
            name = "ambient" if key.startswith("bracket") else "radius"
            top = AMBIENT_TOP if name == "ambient" else RADIUS_TOP
            if key in ("bracketright", "apostrophe"):
                s[name] = 0 if s[name] + STEP > top else s[name] + STEP
            else:
                s[name] = top if s[name] - STEP < 0 else s[name] - STEP


def presses_back(value, start, top):
    """Presses down (each one step, wrapping) that take value to start."""
    states = top // STEP + 1
    return ((value - start) // STEP) % states


class Keyboard:
    """XTest input on the program's display, faster than a process per key."""

    def __init__(self, display_name):
        self.d = xdisplay.Display(display_name)

    def code(self, key):
        return self.d.keysym_to_keycode(XK.string_to_keysym(key))

    def down(self, key):
        xtest.fake_input(self.d, X.KeyPress, self.code(key))
        self.d.sync()

    def up(self, key):
        xtest.fake_input(self.d, X.KeyRelease, self.code(key))
        self.d.sync()

    def tap(self, key):
        self.down(key)
        time.sleep(0.01)
        self.up(key)

    def move(self, dx, dy):
        xtest.fake_input(self.d, X.MotionNotify, detail=True, x=dx, y=dy)
        self.d.sync()

    def close(self):
        self.d.close()


class KeyListener(threading.Thread):
    """Every key press the server delivers to the program's window, in order,
    auto-repeats included: a second client may select key events on the same
    window. The server's auto-repeat (after 660 ms held, then 25 a second)
    depends on timing, so the prediction counts what was delivered."""

    def __init__(self, display_name, window, names):
        super().__init__(daemon=True)
        self.d = xdisplay.Display(display_name)
        self.codes = {self.d.keysym_to_keycode(XK.string_to_keysym(n)): n for n in names}
        w = self.d.create_resource_object("window", int(window))
        w.change_attributes(event_mask=X.KeyPressMask)
        self.d.sync()
        self.presses = []
        self.lock = threading.Lock()

    def run(self):
        try:
            while True:
                event = self.d.next_event()
                if event.type == X.KeyPress and event.detail in self.codes:
                    with self.lock:
                        self.presses.append(self.codes[event.detail])
        except Exception:  # the display closed at the end of the run
            return

    def taken(self):
        with self.lock:
            return list(self.presses)


class MemorySampler(threading.Thread):
    def __init__(self, pid, interval=1.0):
        super().__init__(daemon=True)
        self.pid = pid
        self.interval = interval
        self.samples = []  # (seconds since start, VmRSS in kB)
        self.mark = 0  # index of the first sample taken in the stream
        self.end = None  # index just past the last one
        self.stop = threading.Event()

    def run(self):
        start = time.time()
        while not self.stop.is_set():
            rss = vm_rss(self.pid)
            if rss is None:
                break
            self.samples.append((time.time() - start, rss))
            self.stop.wait(self.interval)


def vm_rss(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        return None
    return None


def drive(keyboard, rng, duration):
    """The random stream; returns how many actions of each kind were sent."""
    counts = {"taps": 0, "holds": 0, "moves": 0, "motions": 0}
    deadline = time.time() + duration
    while time.time() < deadline:
        roll = rng.random()
        if roll < 0.45:
            keyboard.tap(rng.choice(SETTING_KEYS))
            counts["taps"] += 1
        elif roll < 0.55:
            # Held past the auto-repeat delay: the server repeats the press.
            key = rng.choice(SETTING_KEYS)
            keyboard.down(key)
            time.sleep(rng.uniform(0.3, 1.2))
            keyboard.up(key)
            counts["holds"] += 1
        elif roll < 0.75:
            key = rng.choice(MOVE_KEYS)
            keyboard.down(key)
            time.sleep(rng.uniform(0.1, 1.5))
            keyboard.up(key)
            counts["moves"] += 1
        else:
            for _ in range(rng.randint(1, 6)):
                keyboard.move(rng.randint(-40, 40), rng.randint(-30, 30))
                time.sleep(0.01)
            counts["motions"] += 1
        time.sleep(rng.uniform(0.01, 0.08))
    return counts


def warm_up(keyboard):
    """Shows every view with the passes on and off once, so that the driver
    has built what each needs before memory is watched."""
    for key in ["t", "t", "t", "o", "o", "p", "p", "equal", "minus"]:
        keyboard.tap(key)
        time.sleep(WARMUP_FRAME)


def text_mask(path, crop):
    """Where the overlay's green text is fully covered: exact pixels of it."""
    return [p[1] >= 250 and p[0] <= 8 and p[2] <= 8 for p in harness.pixels(path, crop)]


def mismatches(a, b):
    return sum(x != y for x, y in zip(a, b))


def dominant(path, crop, colours):
    """The one of colours (name -> rgb) with the most exact pixels in crop."""
    ps = harness.pixels(path, crop)
    counts = {name: sum(1 for p in ps if all(abs(p[i] - c[i]) <= 3 for i in range(3)))
              for name, c in colours.items()}
    best = max(counts, key=counts.get)
    return best if counts[best] > 20 else None


SAMPLE_COLOURS = {4: (0, 255, 0), 8: (102, 255, 0), 16: (204, 255, 0), 32: (255, 204, 0),
                  64: (255, 102, 0), 128: (255, 0, 0)}
ON_OFF = {True: (0, 255, 0), False: (255, 0, 0)}


QUADRANTS = ["700x300+10+150", "700x300+730+150", "700x430+10+460", "700x430+730+460"]


def occlusion_view(path):
    """The occlusion alone fills the window in grey, light where nothing
    occludes. (The lit view is coloured; the G-buffer view has colourful or,
    with nothing in sight, black quadrants beside a light one.)"""
    return (harness.grey_fraction(path, SCENE) > 0.97 and
            min(harness.image_stats(path, q) for q in QUADRANTS) > 0.3)


def check_settings(run, demo, keyboard, model, start_shot):
    s = model.s
    predicted = dict(s)
    # T cycles lit (0) -> occlusion (2) -> G-buffer (1) -> lit: the presses
    # that reach the occlusion view from the predicted one must show it, and
    # two more return to the lit picture, over which the lines are read (the
    # G-buffer view puts pure colours behind them).
    to_occlusion = {0: 1, 1: 2, 2: 0}[s["view"]]
    for _ in range(to_occlusion):
        keyboard.tap("t")
        model.press("t")
    shot = demo.shot_until("occlusion", occlusion_view, timeout=20)
    run.check(occlusion_view(shot), f"the view was mode {predicted['view']}: {to_occlusion} presses of T "
                                    "show the occlusion alone")
    for _ in range(2):
        keyboard.tap("t")
        model.press("t")
    time.sleep(2 * SETTLE)
    shot = demo.shot("lit")
    ssao = dominant(shot, SSAO_LINE, ON_OFF)
    blur = dominant(shot, BLUR_LINE, ON_OFF)
    kernel = dominant(shot, SAMPLES_LINE, SAMPLE_COLOURS)
    run.check(ssao == s["ssao"], f"SSAO {'on' if s['ssao'] else 'off'} as predicted (read {ssao})")
    run.check(blur == s["blur"], f"blur {'on' if s['blur'] else 'off'} as predicted (read {blur})")
    run.check(kernel == s["kernel"], f"{s['kernel']} samples as predicted (read {kernel})")

    # Back to the starting radius and ambient: the two lines must then read
    # as they did in the first screenshot.
    radius_back = presses_back(s["radius"], START["radius"], RADIUS_TOP)
    ambient_back = presses_back(s["ambient"], START["ambient"], AMBIENT_TOP)
    for key, count in (("semicolon", radius_back), ("bracketleft", ambient_back)):
        for _ in range(count):
            keyboard.tap(key)
            model.press(key)
            time.sleep(0.02)
    time.sleep(2 * SETTLE)
    shot = demo.shot("back")
    for name, crop, value, back in (("radius", RADIUS_LINE, predicted["radius"], radius_back),
                                    ("ambient", AMBIENT_LINE, predicted["ambient"], ambient_back)):
        before = text_mask(start_shot, crop)
        after = text_mask(shot, crop)
        differ = mismatches(before, after)
        run.check(sum(before) > 50 and differ <= 8,
                  f"{name} predicted {value / 100:.2f}: {back} steps down read the start value "
                  f"again ({differ} of {sum(before)} text pixels differ)")


def check_memory(run, samples, mark, end):
    """samples[mark:end] were taken while the stream ran."""
    if not run.check(end - mark >= 6, f"{end - mark} memory samples in the stream"):
        return
    print("resident memory (s since start, MB; * marks the stream):", flush=True)
    step = max(1, len(samples) // 40)
    for i in range(0, len(samples), step):
        t, rss = samples[i]
        print(f"  {'*' if mark <= i < end else ' '} {t:7.1f} {rss / 1024:8.1f}")
    # A leak shows as the typical level rising from the first third of the
    # stream to the last.
    stream = [rss for _, rss in samples[mark:end]]
    third = len(stream) // 3
    early = statistics.median(stream[:third])
    late = statistics.median(stream[-third:])
    run.check(late - early <= RSS_GROWTH_LIMIT_KB,
              f"memory flat after the warm-up: median {early / 1024:.1f} MB in the first third "
              f"of the stream, {late / 1024:.1f} MB in the last (range {min(stream) / 1024:.1f}"
              f"-{max(stream) / 1024:.1f} MB)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", default=os.path.join(harness.REPO_ROOT, "build", "vesperon"))
    parser.add_argument("--duration", type=float, default=300.0, help="seconds of input")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    run = harness.TestRun(f"soak (seed {args.seed}, {args.duration:.0f} s)")
    rng = random.Random(args.seed)
    model = Model()

    with harness.Demo(os.path.abspath(args.binary)) as demo:
        if not run.check(demo.wait_window(STARTUP_TIMEOUT) is not None, "the window opens"):
            run.finish(demo.program)
        sampler = MemorySampler(demo.program.proc.pid)
        sampler.start()
        start_shot = demo.shot_until("start", lambda p: dominant(p, SSAO_LINE, ON_OFF) is True,
                                     timeout=60)
        harness.xdotool(demo.display, "windowfocus", "--sync", demo.window, check=False)
        keyboard = Keyboard(demo.display.name)
        listener = KeyListener(demo.display.name, demo.window, SETTING_KEYS)
        listener.start()
        warm_up(keyboard)
        began = time.time()
        sampler.mark = len(sampler.samples)
        counts = drive(keyboard, rng, args.duration)
        sampler.end = len(sampler.samples)
        time.sleep(1.0)  # the last presses reach the listener
        for key in listener.taken():
            model.press(key)
        presses = len(listener.taken())
        print(f"sent {counts} in {time.time() - began:.0f} s; {presses} setting presses delivered",
              flush=True)
        check_settings(run, demo, keyboard, model, start_shot)
        keyboard.close()
        harness.close_window(demo.display, demo.window)
        status = demo.program.wait_exit(60)
        sampler.stop.set()
        sampler.join()
        run.check(status == 0, f"closing the window ends the program with status 0 (got {status}); "
                               "shutdown asserts that no zone block is in use")
        run.check(demo.program.count("GetAllocCount() == 0") == 0, "no zone block left in use")
        check_memory(run, sampler.samples, sampler.mark, sampler.end)
        print(f"screenshots in {demo.shots}")
    run.finish(demo.program)


if __name__ == "__main__":
    main()
