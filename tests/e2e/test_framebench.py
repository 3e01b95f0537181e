"""The frame benchmark on a virtual display: one small run on the default
scene and one on a hand-made model, each checked through its JSON report
(every setting, every configuration, every pass), and the refusals of bad
input with a message and a non-zero status. No figure is compared with a
time: only whether each pass ran."""

import json
import os
import resource
import signal
import subprocess
import tempfile

import harness

PASSES = ["geometry", "occlusion", "blur", "accumulate", "lighting", "overlay_present"]
STARTUP = ["model_import", "texture_loading", "gpu_setup", "engine", "renderer", "programs",
           "model_load", "total"]

# A floor and a wall in front of the eye: enough for every pass to have pixels.
SMALL_MODEL = """# floor 400 x 400 at y = 0, wall at x = 200
v -200 0 -200
v 200 0 -200
v 200 0 200
v -200 0 200
v 200 0 -200
v 200 300 -200
v 200 300 200
v 200 0 200
vn 0 1 0
vn -1 0 0
f 1//1 3//1 2//1
f 1//1 4//1 3//1
f 5//2 6//2 7//2
f 5//2 7//2 8//2
"""


def framebench_path(binary):
    return os.path.join(os.path.dirname(binary), "framebench")


def run_tool(tool, display, *args, timeout=900):
    return subprocess.run([tool, *args], cwd=harness.REPO_ROOT, env=display.env,
                          capture_output=True, text=True, timeout=timeout)


def check_report(run, report, kernels, radius, frames, model, eye, direction):
    settings = report["settings"]
    run.check(settings["model"] == model, "the report names the model")
    run.check(settings["kernels"] == kernels, f"kernels {kernels} recorded")
    run.check(abs(settings["radius"] - radius) < 1e-4, f"radius {radius} recorded")
    run.check(settings["frames"] == frames, "frame count recorded")
    run.check((settings["width"], settings["height"]) == (1440, 900),
              "measured at the demo's drawable size")
    run.check(settings["warmup_frames"] >= 0 and settings["floor_footprint"] != "",
              "warm-up frames and the floor's reach recorded")
    run.check(settings["gl_renderer"] != "", "the GL renderer is named")
    run.check([v["name"] for v in settings["views"]] == ["custom"], "one view, the one given")
    run.check(settings["views"][0]["eye"] == eye and settings["views"][0]["dir"] == direction,
              "the view's eye and direction recorded")
    run.check(all(k in report["startup_ms"] for k in STARTUP), "every start-up phase reported")
    run.check(report["peak_resident_kib"] > 0, "peak resident memory reported")
    run.check(report["zone_bytes_in_use"] > 0 and report["zone_blocks"] > 0,
              "the scene's zone memory reported")

    view = report["views"][0]
    run.check(0.0 < view["covered_fraction"] <= 1.0, "the view shows geometry")
    configs = view["configs"]
    expected = [(False, False, 0)] + [c for k in kernels for c in ((True, True, k), (True, False, k))]
    run.check([(c["ssao"], c["blur"], c["kernel"]) for c in configs] == expected,
              "SSAO off, then each kernel with blur on and off")
    for c in configs:
        name = f"ssao={c['ssao']} blur={c['blur']} kernel={c['kernel']}"
        passes = c["passes_ms"]
        run.check(sorted(passes) == sorted(PASSES), f"{name}: every pass reported")
        run.check(c["frames"] == frames, f"{name}: {frames} frames measured")
        ran = {"geometry": True, "occlusion": c["ssao"], "blur": c["blur"], "accumulate": False,
               "lighting": True, "overlay_present": True}
        run.check(all((passes[p] > 0) == ran[p] for p in PASSES),
                  f"{name}: exactly the passes that ran have a time")
        run.check(c["frame_ms"] >= passes["geometry"], f"{name}: the frame includes its passes")
        run.check((c["occlusion_to_floor"] is not None) == c["ssao"],
                  f"{name}: occlusion compared with the floor")
    floors = view["fetch_floor"]
    run.check([f["fetches"] for f in floors] == kernels and all(f["ms"] > 0 for f in floors),
              "a fetch floor for each kernel size")


def check_default_scene(run, tool, display, tmp):
    path = os.path.join(tmp, "default.json")
    result = run_tool(tool, display, "--frames", "2", "--kernels", "8", "--radius", "2.5",
                      "--eye", "0,10,0", "--dir", "1,0,0", "--json", path)
    run.check(result.returncode == 0, f"default scene: status 0 (got {result.returncode})")
    if not run.check(os.path.exists(path), "default scene: JSON written"):
        print(result.stderr[-3000:])
        return
    with open(path) as f:
        report = json.load(f)
    check_report(run, report, [8], 2.5, 2, "models/sponza.obj", [0, 10, 0], [1, 0, 0])
    run.check(report["textures"] > 0, "the default scene's textures were loaded and timed")
    for row in ("SSAO off", "8 + blur", "8 no blur"):
        run.check(row in result.stdout, f"the printed table has the row {row!r}")


def run_small_model(run, tool, display, tmp, what, *options):
    """One frame of the small model from a fixed eye: its report (None when
    none was written) and the finished process."""
    model = os.path.join(tmp, "small.obj")
    with open(model, "w") as f:
        f.write(SMALL_MODEL)
    path = os.path.join(tmp, what.replace(" ", "-") + ".json")
    result = run_tool(tool, display, "--model", model, "--frames", "1", "--eye", "0,5,0",
                      "--dir", "1,-0.3,0.2", *options, "--json", path)
    run.check(result.returncode == 0, f"{what}: status 0 (got {result.returncode})")
    if not run.check(os.path.exists(path), f"{what}: JSON written"):
        print(result.stderr[-3000:])
        return None, result
    with open(path) as f:
        return json.load(f), result


def check_other_model(run, tool, display, tmp):
    report, _ = run_small_model(run, tool, display, tmp, "a model given with --model",
                                "--kernels", "4,16")
    if report:
        model = os.path.join(tmp, "small.obj")
        check_report(run, report, [4, 16], 0.9, 1, model, [0, 5, 0], [1, -0.3, 0.2])


def check_estimators(run, tool, display, tmp):
    """Both estimators side by side in one run: each kernel's configurations
    name theirs, and each one's occlusion pass ran and met the floor."""
    report, result = run_small_model(run, tool, display, tmp, "both estimators", "--kernels",
                                     "4", "--estimator", "horizon,hemisphere")
    if not report:
        return
    run.check(report["settings"]["estimators"] == ["horizon", "hemisphere"],
              "the estimators are recorded in the order given")
    configs = report["views"][0]["configs"]
    run.check([(c["estimator"], c["kernel"], c["blur"]) for c in configs] ==
              [("none", 0, False), ("horizon", 4, True), ("horizon", 4, False),
               ("hemisphere", 4, True), ("hemisphere", 4, False)],
              "SSAO off, then each estimator with blur on and off")
    run.check(all(c["passes_ms"]["occlusion"] > 0 and c["occlusion_to_floor"] is not None
                  for c in configs[1:]), "each estimator's pass timed against the floor")
    for row in ("4 + blur, horizon", "4 + blur ", "estimators: horizon, hemisphere"):
        run.check(row in result.stdout, f"the printed table has {row!r}")


def check_refusals(run, tool, display, tmp):
    garbage = os.path.join(tmp, "garbage.xyz")
    with open(garbage, "wb") as f:
        f.write(b"\x01\x02 not a model\n")
    report = os.path.join(tmp, "refused.json")
    cases = [
        (["--model", os.path.join(tmp, "missing.obj")], "cannot open model"),
        (["--model", garbage], "cannot read model"),
        (["--json", os.path.join(tmp, "no", "such", "dir.json")], "cannot write"),
        (["--json", tmp], "not a regular file"),
        (["--eye", "1,2", "--dir", "1,0,0"], 'malformed vector "1,2"'),
        (["--eye", "1,2,3", "--dir", "0,0,0"], "bad direction"),
        (["--radius", "0"], 'bad radius "0"'),
        (["--radius", "-2"], 'bad radius "-2"'),
        (["--radius", "1e-40"], "it underflows"),
        (["--eye", "1,2,3", "--dir", "1e30,0,0"], "too large (its length overflows)"),
        (["--kernels", "4,0"], 'bad kernel list "4,0"'),
        (["--kernels", "8,8"], "appears twice"),
        (["--estimator", "ambient"], 'bad estimator list "ambient"'),
        (["--estimator", "horizon,horizon"], "horizon appears twice"),
    ]
    for args, message in cases:
        extra = [] if "--json" in args else ["--json", report]
        result = run_tool(tool, display, *args, *extra, "--frames", "1", timeout=300)
        run.check(result.returncode != 0 and message in result.stderr,
                  f"{' '.join(args)}: refused with {message!r} "
                  f"(status {result.returncode}, stderr {result.stderr.strip()[-200:]!r})")
        run.check(not os.path.exists(report), f"{' '.join(args)}: no report left behind")


def limit_file_size(size):
    """A full disk for the process: writes past size bytes fail."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def check_failed_write_and_messages(run, tool, display, tmp):
    """A material file setting a texture before its first material, a view
    straight up and a report that can't be written whole (a full disk)."""
    model, report = os.path.join(tmp, "early.obj"), os.path.join(tmp, "earlier.json")
    for path, text in ((model, "mtllib early.mtl\n" + SMALL_MODEL), (report, "{}\n"),
                       (os.path.join(tmp, "early.mtl"), "map_Kd foo.png\nnewmtl late\n")):
        with open(path, "w") as f:
            f.write(text)
    result = subprocess.run([tool, "--model", model, "--eye", "0,5,0", "--dir", "0,1,0",
                             "--frames", "1", "--kernels", "4", "--json", report],
                            cwd=harness.REPO_ROOT, env=display.env, capture_output=True,
                            text=True, timeout=300, preexec_fn=lambda: limit_file_size(1024))
    run.check(result.returncode == 1 and "cannot write" in result.stderr,
              f"a report that can't be written whole: message, status {result.returncode}")
    with open(report) as f:
        run.check(f.read() == "{}\n" and not any(".partial" in n for n in os.listdir(tmp)),
                  "the earlier report is left as it was, no temporary file left")
    run.check(result.stdout.count("before its first material") == 1,
              "the material file's refusal is logged once")
    run.check("dir (0, 1, 0)" not in result.stdout and "dir (0.00" in result.stdout,
              "the direction printed is the one held at the pitch limit")


def check_interrupt(run, tool, display, tmp):
    """SDL turns SIGTERM into a quit request: the run must end on it."""
    report = os.path.join(tmp, "interrupted.json")
    proc = subprocess.Popen([tool, "--frames", "1000", "--kernels", "4", "--eye", "0,10,0",
                             "--dir", "1,0,0", "--json", report], cwd=harness.REPO_ROOT,
                            env=display.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seen = b""
    while b"round 1 of" not in seen:
        chunk = proc.stderr.read1(4096)
        if not chunk:
            break
        seen += chunk
    proc.send_signal(signal.SIGTERM)
    try:
        _, rest = proc.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        run.check(False, "SIGTERM ends a run")
        return
    seen += rest
    run.check(proc.returncode != 0 and b"interrupted" in seen,
              f"SIGTERM ends a run with a message and status {proc.returncode}")
    run.check(not os.path.exists(report), "an interrupted run writes no report")


def main():
    tool = framebench_path(harness.parse_binary())
    run = harness.TestRun("framebench")
    display = harness.VirtualDisplay()
    try:
        with tempfile.TemporaryDirectory(prefix="vesperon-framebench-") as tmp:
            check_refusals(run, tool, display, tmp)
            check_default_scene(run, tool, display, tmp)
            check_other_model(run, tool, display, tmp)
            check_estimators(run, tool, display, tmp)
            check_interrupt(run, tool, display, tmp)
            check_failed_write_and_messages(run, tool, display, tmp)
    finally:
        display.close()
    run.finish()


if __name__ == "__main__":
    main()
