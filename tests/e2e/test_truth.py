"""The ray-traced truth, shader reload and screenshots in the real program: G
cycles truth, difference and the lit view (seen in the pixels), the overlay's
truth line appears and its ray count rises, F12 writes images at the window's
size and the view's JSON, F5 keeps the running program on a broken shader and
shows the error in red, quick presses of G do no harm, and Escape or SIGTERM
mid-trace end the program promptly with status 0."""

import json
import os
import re
import shutil
import signal
import subprocess
import time

import harness

SCENE = "1400x700+20+150"  # the picture below the overlay
TRUTH_LINE = "400x14+1+90"
FIGURES_LINE = "560x14+1+105"
MESSAGE_LINE = "600x14+1+120"
WINDOW_SIZE = (1440, 900)
RAYS = re.compile(r"Truth: (\d+) rays per pixel")
FIGURES = re.compile(r"Figures of the (\w+) estimator at (\d+) rays: MAE ([0-9.]+)")


def work_folder():
    """A working folder for the program: the assets linked in, the shaders
    copied (so one can be broken), screenshots landing here."""
    folder = harness.temp_dir()
    for name in ("models", "fonts"):
        os.symlink(os.path.join(harness.REPO_ROOT, name), os.path.join(folder, name))
    shutil.copytree(os.path.join(harness.REPO_ROOT, "shaders"), os.path.join(folder, "shaders"))
    return folder


def rays_logged(program):
    return [int(m.group(1)) for line in program.log() for m in [RAYS.search(line)] if m]


def wait_log(program, predicate, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate(program.log()):
            return True
        time.sleep(0.5)
    return False


def coloured(p):
    """Clearly red or clearly blue: a signed difference."""
    r, g, b = p
    return (r > 200 and b < 160 and g < 160) or (b > 200 and r < 160 and g < 160)


def whites(shot, crop):
    return harness.count_colour(shot, crop, lambda p: min(p) > 200)


def reds(shot, crop):
    return harness.count_colour(shot, crop, harness.is_red)


def image_size(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True)
    if out.returncode != 0:
        return None
    w, h = out.stdout.split()
    return int(w), int(h)


def check_views(run, demo):
    # The window opens before the model loads: the first frame is waited for,
    # or the picture to come back to would be the empty window.
    lit = demo.shot_until("lit", lambda p: harness.image_stats(p, SCENE) > 0.1, timeout=60)
    demo.key("g")
    run.check(wait_log(demo.program, lambda log: any("Truth view: truth" in l for l in log), 10),
              "G turns the truth on (logged)")
    truth = demo.shot_until("truth", lambda p: harness.grey_fraction(p, SCENE) > 0.97
                            and harness.image_stats(p, SCENE) > 0.5, timeout=60)
    grey = harness.grey_fraction(truth, SCENE)
    run.check(grey > 0.97 and harness.image_stats(truth, SCENE) > 0.5,
              f"the truth view is a light grey picture ({grey:.3f} grey)")
    run.check(whites(truth, TRUTH_LINE) > 30, "the overlay shows the truth line")
    run.check(wait_log(demo.program, lambda log: any("16 rays per pixel" in l for l in log), 120),
              "the truth reaches 16 rays per pixel")
    check_figures(run, demo, "")
    # The count is logged at 16 and 256 rays and every five seconds: wait
    # for a later one above the first.
    first = rays_logged(demo.program)[0]
    wait_log(demo.program, lambda log: rays_logged(demo.program)[-1] > first, 90)
    counts = rays_logged(demo.program)
    run.check(counts[-1] > counts[0] and counts == sorted(counts),
              f"the logged ray count rises ({counts})")

    demo.key("g")
    diff = demo.shot_until("difference",
                           lambda p: harness.count_colour(p, SCENE, coloured) > 2000, timeout=30)
    signed = harness.count_colour(diff, SCENE, coloured)
    run.check(signed > 2000, f"G again shows the signed difference ({signed} red or blue pixels)")
    return lit


def figures_logged(program):
    return [int(m.group(2)) for line in program.log() for m in [FIGURES.search(line)] if m]


def check_figures(run, demo, when):
    """The figures of 16 rays are logged and shown in green under the truth line."""
    run.check(wait_log(demo.program, lambda log: 16 in figures_logged(demo.program), 60),
              f"the figures at 16 rays are computed{when} ({figures_logged(demo.program)})")
    shot = demo.shot_until("figures", lambda p: harness.count_colour(
        p, FIGURES_LINE, harness.is_green) > 30, timeout=30)
    greens = harness.count_colour(shot, FIGURES_LINE, harness.is_green)
    run.check(greens > 30, f"the overlay shows the figures line{when} ({greens} green pixels)")


def check_screenshot(run, demo, folder):
    before = set(os.listdir(folder))
    demo.key("F12")
    run.check(wait_log(demo.program, lambda log: any("Screenshot written" in l for l in log), 30),
              "F12 logs the files it wrote")
    new = sorted(set(os.listdir(folder)) - before)
    pngs = [n for n in new if n.endswith(".png")]
    jsons = [n for n in new if n.endswith(".json")]
    run.check(len(pngs) == 3 and len(jsons) == 1, f"window, truth and difference images and a JSON ({new})")
    for name in pngs:
        size = image_size(os.path.join(folder, name))
        run.check(size == WINDOW_SIZE, f"{name} decodes at the window's size ({size})")
    if jsons:
        with open(os.path.join(folder, jsons[0])) as f:
            view = json.load(f)
        run.check(all(k in view for k in ("eye", "direction", "radius", "kernel", "blur", "rays"))
                  and view["rays"] >= 16 and view["figures"] is not None,
                  f"the JSON holds the view and the figures ({view.get('rays')} rays)")
        run.check(view.get("estimator") == "hemisphere" and
                  (view["figures"] or {}).get("estimator") == "hemisphere",
                  "the JSON and its figures name the estimator measured")
    run.check(not any(n.endswith(".tmp") or n.startswith(".") for n in os.listdir(folder)),
              "no temporary file is left")


def check_estimator_switch(run, demo):
    """After H the figures computed from then on name the horizon estimator;
    none computed before the switch is logged under the other's name."""
    switched = len(demo.program.log())
    demo.key("h")
    run.check(wait_log(demo.program, lambda log: any(
        m and m.group(1) == "horizon" for m in (FIGURES.search(l) for l in log[switched:])), 90),
        "after H the figures of the horizon estimator are logged")
    named = [m.group(1) for m in (FIGURES.search(l) for l in demo.program.log()[switched:]) if m]
    run.check(named and named[-1] == "horizon" and set(named) <= {"hemisphere", "horizon"},
              f"every figures line names its estimator ({named})")
    demo.key("h")


def check_radius_zero(run, demo, folder):
    """At radius 0 (the keys reach it) the truth says why it traces nothing,
    and F12 gives the same reason."""
    demo.key(*["semicolon"] * 18)  # 0.9 down to 0 in steps of 0.05
    reason = "radius 0: nothing can occlude; nothing to trace"
    run.check(wait_log(demo.program, lambda log: any(reason in l for l in log), 30),
              "at radius 0 the log says why nothing is traced")
    shown = len(demo.program.log())
    demo.key("F12")
    run.check(wait_log(demo.program, lambda log: any(
        "Screenshot: " + reason in l for l in log[shown:]), 30), "F12 gives the same reason")
    demo.key(*["apostrophe"] * 18)


def check_reload_names_the_file(run, demo, folder):
    """A compile error is reported with the file it is in, whichever stage."""
    for name in ("SSAO.vert", "SSAO.frag"):
        path = os.path.join(folder, "shaders", name)
        with open(path) as f:
            good = f.read()
        with open(path, "w") as f:
            f.write(good.replace("void main()", "void main() { undeclared_thing = 1; }\nvoid unused()", 1))
        n = demo.program.count("Shader reload:")
        demo.key("F5")
        wait_log(demo.program, lambda log: sum("Shader reload:" in l for l in log) > n, 30)
        lines = [l for l in demo.program.log() if "Shader reload:" in l]
        run.check(len(lines) > n and f"first: shaders/{name}: " in lines[-1],
                  f"a broken {name} is named in the reload's message ({lines[-1:]})")
        with open(path, "w") as f:
            f.write(good)


def check_reload(run, demo, folder):
    check_reload_names_the_file(run, demo, folder)
    path = os.path.join(folder, "shaders", "SSAO.frag")
    with open(path) as f:
        good = f.read()
    before = demo.shot("before-reload")
    with open(path, "w") as f:
        f.write(good.replace("void main()", "void main() { undeclared_thing = 1; }\nvoid unused()", 1))
    demo.key("F5")
    run.check(wait_log(demo.program, lambda log: any("Shader reload:" in l for l in log), 30),
              "F5 on a broken shader logs the failure")
    broken = demo.shot_until("reload-broken", lambda p: reds(p, MESSAGE_LINE) > 20)
    run.check(reds(broken, MESSAGE_LINE) > 20, "the first error line shows in red")
    run.check(harness.difference(before, broken, SCENE) < 0.02,
              "the picture is drawn by the previous program")
    for text, what in (("", "an empty"), (None, "a missing")):
        if text is None:
            os.remove(path)
        else:
            with open(path, "w") as f:
                f.write(text)
        n = demo.program.count("Shader reload:")
        demo.key("F5")
        run.check(wait_log(demo.program, lambda log: sum("Shader reload:" in l for l in log) > n, 30),
                  f"F5 on {what} shader file is refused and logged")
    with open(path, "w") as f:
        f.write(good)
    demo.key("F5")
    run.check(wait_log(demo.program, lambda log: any("Shaders reloaded" in l for l in log), 30),
              "F5 on the fixed file reloads")
    fixed = demo.shot_until("reload-fixed", lambda p: reds(p, MESSAGE_LINE) < 5)
    run.check(reds(fixed, MESSAGE_LINE) < 5, "the red error line goes away")


def check_resize_and_truth_reload(run, binary, folder):
    """A window resized before and during G runs on and shows the figures (the
    targets keep the start size); a truth whose program failed to build comes
    back with the F5 that builds it."""
    truth = os.path.join(folder, "shaders", "Truth.frag")
    with open(truth) as f:
        good = f.read()
    with open(truth, "w") as f:
        f.write(good.replace("void main()", "void main() { undeclared_thing = 1; }\nvoid unused()", 1))
    with harness.Demo(binary, cwd=folder) as demo:
        if not run.check(demo.wait_window() is not None, "the window opens for the resize"):
            return
        harness.xdotool(demo.display, "windowsize", demo.window, "1000", "700")
        time.sleep(2)
        demo.key("g")
        run.check(wait_log(demo.program, lambda log: any(
            "No ray-traced truth: the truth's shader did not load" in l for l in log), 30),
            "a broken Truth.frag makes the truth unavailable")
        with open(truth, "w") as f:
            f.write(good)
        demo.key("F5")
        run.check(wait_log(demo.program, lambda log: any(
            "the truth is available again" in l for l in log), 30),
            "F5 with the file fixed brings the truth back")
        run.check(wait_log(demo.program, lambda log: any(
            "16 rays per pixel" in l for l in log), 120), "the mended truth traces")
        check_figures(run, demo, " after a resize before G")
        harness.xdotool(demo.display, "windowsize", demo.window, "1440", "900")
        demo.key("equal")  # a new kernel: the figures are computed again, now resized
        seen = len(figures_logged(demo.program))
        run.check(wait_log(demo.program, lambda log: len(figures_logged(demo.program)) > seen, 60),
                  "a resize during G: the figures are computed again")
        run.check(demo.program.proc.poll() is None, "the resized window runs on")
        demo.key("Escape")
        run.check(demo.program.wait_exit(30) == 0, "and ends with status 0")


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("truth")
    folder = work_folder()
    with harness.Demo(binary, cwd=folder) as demo:
        if not run.check(demo.wait_window() is not None, "the window opens"):
            run.finish(demo.program)
        time.sleep(3)
        lit = check_views(run, demo)
        check_screenshot(run, demo, folder)
        check_estimator_switch(run, demo)
        check_radius_zero(run, demo, folder)
        demo.key("g")
        back = demo.shot_until("lit-again", lambda p: harness.difference(lit, p, SCENE) < 0.02)
        run.check(harness.difference(lit, back, SCENE) < 0.02, "G a third time shows the lit view")
        check_reload(run, demo, folder)

        # Quick presses: every view in turn within a few frames, then tracing again.
        demo.key("g", "g", "g", "g", "g", "g", "g")
        run.check(demo.program.proc.poll() is None, "quick presses of G leave it running")
        # Turning every frame restarts the trace every frame; once still it traces again.
        end = time.time() + 4
        while time.time() < end:
            harness.xdotool(demo.display, "mousemove_relative", "--", "7", "0")
            time.sleep(0.05)
        released = len(demo.program.log())
        run.check(wait_log(demo.program, lambda log: any(
            m and int(m.group(1)) >= 4 for m in (RAYS.search(l) for l in log[released:])), 60),
            "after turning every frame, the still view is traced again")
        started = time.time()
        demo.key("Escape")
        status = demo.program.wait_exit(30)
        took = time.time() - started
        run.check(status == 0 and took < 15, f"Escape mid-trace exits 0 promptly ({status}, {took:.1f} s)")
        errors = [l for l in demo.program.log() if "[E]" in l and "Shader" not in l]
        run.check(not errors, f"no other error logged ({errors[:3]})")

    check_resize_and_truth_reload(run, binary, folder)

    # A signal while the workers trace.
    for sig in (signal.SIGTERM, signal.SIGINT):
        with harness.Demo(binary, cwd=folder) as demo:
            if not run.check(demo.wait_window() is not None, "the window opens again"):
                continue
            time.sleep(3)
            demo.key("g")
            wait_log(demo.program, lambda log: any("Ray-tracing scene:" in l for l in log), 60)
            time.sleep(3)
            started = time.time()
            demo.program.proc.send_signal(sig)
            status = demo.program.wait_exit(30)
            took = time.time() - started
            run.check(status == 0 and took < 15,
                      f"{sig.name} mid-trace ends it ({status}, {took:.1f} s)")
    shutil.rmtree(folder, ignore_errors=True)
    run.finish(demo.program)


if __name__ == "__main__":
    main()
