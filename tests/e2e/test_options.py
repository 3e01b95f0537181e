"""The command line in the real program: every bad option is refused with its
message and status 2 before a window could open (no display is given, and
nothing is logged); --help prints the usage; --model, --scale, --eye and --dir
open that view of that model (the box's outline on screen where the camera's
projection puts its corners); F12 logs and stores the command line that
reopens the view (with the truth off too), and running it shows the same view
with the same settings, whatever the program's and the model's names hold:
a shell given the logged line or the JSON's "command" opens the same model
at the same view."""

import json
import math
import os
import shlex
import shutil
import subprocess
import time

import harness

WINDOW = (1440, 900)
OVERLAY = (200, 135)  # the overlay's corner, left out of the picture's measures
SCENE = "1400x700+20+150"
BOX = [(x, y, z) for x in (-1, 1) for y in (0, 2) for z in (-1, 1)]
# A 2 x 2 x 2 box standing on the origin: its corners, then its faces as quads
# of corner numbers (the importer triangulates them).
BOX_OBJ = "".join(f"v {x} {y} {z}\n" for x, y, z in BOX) + \
    "f 1 2 4 3\nf 5 7 8 6\nf 1 5 6 2\nf 3 4 8 7\nf 1 3 7 5\nf 2 6 8 4\n"
EYE = (3.0, 1.5, 4.0)
DIR = (-3.0, -0.5, -4.0)

# One of each kind (the unit tests hold the whole table): an unknown word, a
# missing value, a model that can't be opened, a value out of range, options
# that go together.
BAD = [
    (["--frobnicate"], 'unknown option "--frobnicate" (see --help)'),
    (["--model"], "--model needs a value"),
    (["--model", "/nonexistent/x.obj"], 'cannot open model "/nonexistent/x.obj": '),
    (["--kernel", "12"], 'bad kernel size "12": expected a power of two from 4 to 128'),
    (["--eye", "1,2,3"], "--eye and --dir go together: give both or neither"),
    (["--ssao", "off", "--blur", "on"],
     "--blur on needs --ssao on: the blur is kept off while SSAO is off"),
]


def check_refusals(run, binary):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    for args, message in BAD:
        out = subprocess.run([binary, *args], cwd=harness.REPO_ROOT, env=env,
                             capture_output=True, text=True, timeout=60)
        run.check(out.returncode == 2 and f"vesperon: {message}" in out.stderr
                  and "usage: vesperon" in out.stderr and out.stdout == "",
                  f"{args} is refused before start-up: {out.returncode}, "
                  f"{out.stderr.splitlines()[:1]}")
    out = subprocess.run([binary, "--help"], cwd=harness.REPO_ROOT, env=env,
                         capture_output=True, text=True, timeout=60)
    run.check(out.returncode == 0 and out.stdout.startswith("usage: vesperon"),
              "--help prints the usage and exits 0")


def normalise(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def project(point, eye, direction):
    """The window pixel of a world point under the demo's camera: look-at
    along the direction with the world's up, perspective with a field of
    view of 45 handed over as radians, near 1, the window's aspect."""
    f = normalise(direction)
    s = normalise(cross(f, (0.0, 1.0, 0.0)))
    u = cross(s, f)
    rel = tuple(p - e for p, e in zip(point, eye))
    x, y, depth = dot(rel, s), dot(rel, u), dot(rel, f)
    t = math.tan(45.0 / 2.0)
    aspect = WINDOW[0] / WINDOW[1]
    ndc_x = x / (aspect * t * depth)
    ndc_y = y / (t * depth)
    return ((ndc_x + 1.0) / 2.0 * WINDOW[0], (1.0 - ndc_y) / 2.0 * WINDOW[1])


def drawn_box(path):
    """The bounding box of the pixels that differ from the clear colour,
    outside the overlay's corner."""
    ps = harness.pixels(path, f"{WINDOW[0]}x{WINDOW[1]}+0+0")
    background = ps[-1]
    xs, ys = [], []
    for i, p in enumerate(ps):
        x, y = i % WINDOW[0], i // WINDOW[0]
        if x < OVERLAY[0] and y < OVERLAY[1]:
            continue
        if sum(abs(a - b) for a, b in zip(p, background)) > 30:
            xs.append(x)
            ys.append(y)
    return (min(xs), max(xs), min(ys), max(ys)) if xs else None


def check_view(run, demo):
    # The window opens before the first frame: the box is waited for.
    shot = demo.shot_until("view", lambda p: drawn_box(p) is not None, timeout=60)
    corners = [project(c, EYE, DIR) for c in BOX]
    expected = (min(c[0] for c in corners), max(c[0] for c in corners),
                min(c[1] for c in corners), max(c[1] for c in corners))
    got = drawn_box(shot)
    run.check(got is not None and all(abs(g - e) <= 3 for g, e in zip(got, expected)),
              f"the box is drawn where the camera puts it: {got} against "
              f"{tuple(round(e) for e in expected)}")
    return shot


def wait_log(program, fragment, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if program.count(fragment):
            return True
        time.sleep(0.5)
    return False


def shoot_view(run, demo, folder):
    """Truth on, then F12: the view's JSON and the logged command line."""
    demo.key("g")
    wait_log(demo.program, "Truth view: truth", 30)
    run.check(wait_log(demo.program, "16 rays per pixel", 120), "the truth reaches 16 rays")
    before = set(os.listdir(folder))
    demo.key("F12")
    run.check(wait_log(demo.program, "Reopen this view: ", 30), "F12 logs the reopening command")
    names = [n for n in set(os.listdir(folder)) - before if n.endswith(".json")]
    if not run.check(len(names) == 1, f"F12 writes the view's JSON ({names})"):
        return None
    with open(os.path.join(folder, names[0])) as f:
        view = json.load(f)
    logged = [line.split("Reopen this view: ", 1)[1] for line in demo.program.log()
              if "Reopen this view: " in line]
    run.check(view.get("command") == logged[-1], "the JSON holds the command the log prints")
    return view


def same_view(a, b):
    return (all(abs(x - y) <= 1e-4 for x, y in zip(a["eye"], b["eye"]))
            and all(abs(x - y) <= 1e-5 for x, y in zip(a["direction"], b["direction"]))
            and all(a[k] == b[k] for k in ("radius", "kernel", "ssao", "blur", "command")))


# Awkward program and model names (the program a link to the binary in a
# folder of that name), each reopened by a shell from the logged line or from
# the JSON's "command": a folder "v=1" (an assignment unless quoted), spaces,
# a quote, a byte that is not UTF-8, "#" (a comment), "$" and "*".
REOPEN_CASES = [
    ("v=1", "it's a box.obj", "log"),
    ("a b", os.fsdecode(b"box \xff.obj"), "json"),
    ("#1 ~", "$HOME *.obj", "log"),
]
VIEW_ARGS = ["--scale", "1", "--eye", ",".join(map(str, EYE)), "--dir", ",".join(map(str, DIR))]


def shoot_plain(run, demo, folder, what):
    """F12 without the truth: the window and the view's JSON, whose command
    is the logged line."""
    before = set(os.listdir(folder))
    count = demo.program.count("Reopen this view: ")
    demo.key("F12")
    deadline = time.time() + 30
    while demo.program.count("Reopen this view: ") == count and time.time() < deadline:
        time.sleep(0.2)
    new = sorted(set(os.listdir(folder)) - before)
    jsons = [n for n in new if n.endswith(".json")]
    if not run.check(len(jsons) == 1 and len(new) == 2,
                     f"{what}: F12 without G writes the window and the view's JSON ({new})"):
        return None, None
    with open(os.path.join(folder, jsons[0]), encoding="utf-8") as f:
        view = json.load(f)
    logged = [line.split("Reopen this view: ", 1)[1] for line in demo.program.log()
              if "Reopen this view: " in line]
    run.check(view.get("figures", 0) is None and view.get("rays") == 0,
              f"{what}: the JSON has no figures without the truth")
    run.check(logged and view.get("command") == logged[-1],
              f"{what}: the JSON holds the logged command exactly ({logged[-1:]})")
    return view, logged[-1] if logged else None


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(c) for c in f.read().split()]
    except OSError:
        return []


def close_demo(run, demo, what):
    """Closes the window; the shell that started the demo ends with it."""
    harness.close_window(demo.display, demo.window)
    status = demo.program.wait_exit(60)
    run.check(status == 0, f"{what}: closed, status 0 (got {status})")
    for pid in children(demo.program.proc.pid):  # only after a failure
        os.kill(pid, 9)


def check_reopening(run, binary, folder, program_dir, model_name, source):
    what = f"{program_dir!r}, {model_name!r}, from the {source}"
    os.makedirs(os.path.join(folder, program_dir))
    program = os.path.join(program_dir, "vesperon")
    os.symlink(binary, os.path.join(folder, program))
    with open(os.path.join(folder, model_name), "w") as f:
        f.write(BOX_OBJ)
    with harness.Demo(program, cwd=folder, args=["--model", model_name, *VIEW_ARGS]) as demo:
        if not run.check(demo.wait_window() is not None, f"{what}: the demo opens"):
            return demo.program
        check_view(run, demo)
        first, line = shoot_plain(run, demo, folder, what)
        close_demo(run, demo, what)
    if first is None:
        return demo.program
    command = line if source == "log" else first["command"]
    with harness.Demo("/bin/sh", cwd=folder, args=["-c", command]) as demo:
        try:
            if not run.check(demo.wait_window() is not None, f"{what}: sh -c reopens the demo"):
                return demo.program
            check_view(run, demo)
            second, _ = shoot_plain(run, demo, folder, what + ", reopened")
            run.check(second is not None and same_view(first, second),
                      f"{what}: the same model at the same view, the same command")
            close_demo(run, demo, what + ", reopened")
        finally:
            for pid in children(demo.program.proc.pid):
                os.kill(pid, 9)
    return demo.program


def check_reopening_table(run, binary):
    folder = harness.temp_dir()
    for name in ("fonts", "shaders"):
        os.symlink(os.path.join(harness.REPO_ROOT, name), os.path.join(folder, name))
    last = None
    for program_dir, model_name, source in REOPEN_CASES:
        last = check_reopening(run, binary, folder, program_dir, model_name, source)
    shutil.rmtree(folder, ignore_errors=True)
    return last


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("options")
    check_refusals(run, binary)
    check_reopening_table(run, binary)

    folder = harness.temp_dir()
    for name in ("fonts", "shaders"):
        os.symlink(os.path.join(harness.REPO_ROOT, name), os.path.join(folder, name))
    model = os.path.join(folder, "my box.obj")
    with open(model, "w") as f:
        f.write(BOX_OBJ)
    args = ["--model", model, "--scale", "1", "--eye", ",".join(map(str, EYE)),
            "--dir", ",".join(map(str, DIR)), "--kernel", "16", "--radius", "2",
            "--ambient", "0.5", "--blur", "off"]
    with harness.Demo(binary, cwd=folder, args=args) as demo:
        if not run.check(demo.wait_window() is not None, "the demo opens on the given model"):
            run.finish(demo.program)
        first_shot = check_view(run, demo)
        demo.key("equal", "p")  # kernel 32, blur on: the shot keeps what is on screen
        first = shoot_view(run, demo, folder)
        program = demo.program
    if first is None:
        run.finish(program)
    run.check(first["kernel"] == 32 and first["blur"] is True and first["radius"] == 2
              and first["ssao"] is True, f"the JSON has the settings on screen ({first})")

    command = shlex.split(first["command"])
    run.check(command[0] == binary and command[2] == model,
              f"the command names this program and the model ({command[:3]})")
    with harness.Demo(command[0], cwd=folder, args=command[1:]) as demo:
        if not run.check(demo.wait_window() is not None, "the command reopens the demo"):
            run.finish(demo.program)
        second_shot = demo.shot_until("reopened", lambda p: drawn_box(p) is not None, timeout=60)
        second = shoot_view(run, demo, folder)
        program = demo.program
    if second is not None:
        run.check(same_view(first, second),
                  f"the reopened view has the same eye, direction and settings "
                  f"({second['eye']} {second['direction']})")
    # The same view; only the blur and the kernel (drawn afresh) differ.
    diff = harness.difference(first_shot, second_shot, SCENE)
    run.check(diff < 0.05, f"the reopened picture is the first one's ({diff:.4f} mean difference)")
    shutil.rmtree(folder, ignore_errors=True)
    run.finish(program)


if __name__ == "__main__":
    main()
