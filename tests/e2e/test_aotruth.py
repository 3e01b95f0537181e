"""The ground-truth tool on a virtual display: SIGINT, SIGTERM and SIGHUP end a run
promptly with status 1 and nothing written, and a write that fails (a file
size limit standing in for a full disk) leaves the earlier outputs whole."""

import glob
import json
import os
import signal
import subprocess
import tempfile

import harness
from test_framebench import SMALL_MODEL, limit_file_size


def run_aotruth(tool, display, out, *args, **kwargs):
    return subprocess.Popen([tool, "--eye", "0,5,0", "--dir", "1,-0.3,0.2", "--kernels", "4",
                             "--draws", "1", "--out", out, *args], cwd=harness.REPO_ROOT,
                            env=display.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            **kwargs)


def check_interrupts(run, tool, display, tmp):
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        out = os.path.join(tmp, sig.name)
        proc, seen = run_aotruth(tool, display, out), b""
        while b"tracing the reference" not in seen and proc.poll() is None:
            seen += proc.stdout.read1(4096)
        proc.send_signal(sig)
        seen += proc.communicate(timeout=120)[0]
        run.check(proc.returncode == 1 and b"interrupted" in seen and os.listdir(out) == [],
                  f"{sig.name} ends the trace: message, status 1 (got {proc.returncode}), "
                  "nothing written")


def check_full_disk(run, tool, display, tmp):
    model, out = os.path.join(tmp, "small.obj"), os.path.join(tmp, "full")
    with open(model, "w") as f:
        f.write(SMALL_MODEL)
    outputs = lambda: {p: open(p, "rb").read() for p in glob.glob(os.path.join(out, "*"))}
    first = run_aotruth(tool, display, out, "--model", model, "--rays", "16")
    first.communicate(timeout=300)
    run.check(first.returncode == 0, "a first run writes its outputs")
    before = outputs()
    limited = run_aotruth(tool, display, out, "--model", model, "--rays", "16",
                          preexec_fn=lambda: limit_file_size(4096))
    said = limited.communicate(timeout=300)[0]
    run.check(limited.returncode == 1 and b"cannot write" in said,
              f"a failed image write is reported, status 1 (got {limited.returncode})")
    run.check(outputs() == before, "the earlier images, report and reference are left whole")


def check_estimator(run, tool, display, tmp):
    """--estimator horizon measures the horizon estimator and says so in the
    table and in results.json; one run measures one estimator."""
    model, out = os.path.join(tmp, "small.obj"), os.path.join(tmp, "horizon")
    with open(model, "w") as f:
        f.write(SMALL_MODEL)
    proc = run_aotruth(tool, display, out, "--model", model, "--rays", "16", "--estimator",
                       "horizon")
    said = proc.communicate(timeout=300)[0]
    run.check(proc.returncode == 0 and b"horizon estimator" in said,
              f"--estimator horizon: status 0 (got {proc.returncode}), named in the table")
    with open(os.path.join(out, "results.json")) as f:
        report = json.load(f)
    run.check(report["estimator"] == "horizon", "results.json names the estimator")
    view = report["views"][0]
    run.check(0.0 < view["kernels"][0]["blurred"]["raw"]["mae"] < 1.0,
              "the horizon estimator's error is measured")
    both = run_aotruth(tool, display, os.path.join(tmp, "both"), "--estimator",
                       "hemisphere,horizon")
    said = both.communicate(timeout=120)[0]
    run.check(both.returncode == 2 and b"one estimator per run" in said,
              f"two estimators in one run refused (status {both.returncode})")


def main():
    tool = os.path.join(os.path.dirname(harness.parse_binary()), "aotruth")
    run = harness.TestRun("aotruth")
    display = harness.VirtualDisplay()
    try:
        with tempfile.TemporaryDirectory(prefix="vesperon-aotruth-") as tmp:
            check_full_disk(run, tool, display, tmp)
            check_estimator(run, tool, display, tmp)
            check_interrupts(run, tool, display, tmp)
    finally:
        display.close()
    run.finish()


if __name__ == "__main__":
    main()
