"""The ground-truth tool on a virtual display: SIGINT and SIGTERM end a run
promptly with status 1 and no report, and a write that fails (a file size
limit standing in for a full disk) leaves the earlier outputs whole."""

import glob
import os
import resource
import signal
import subprocess
import tempfile

import harness
from test_framebench import SMALL_MODEL, run_tool

# Small enough that a run on the small model finishes in seconds.
QUICK = ["--eye", "0,5,0", "--dir", "1,-0.3,0.2", "--kernels", "4", "--draws", "1",
         "--rays", "16"]
SIZE_LIMIT = 4096  # bytes: below any side-by-side image, above nothing else written


def check_interrupts(run, tool, display, tmp):
    for sig in (signal.SIGINT, signal.SIGTERM):
        out = os.path.join(tmp, f"interrupted-{sig.name}")
        proc = subprocess.Popen([tool, "--eye", "0,10,0", "--dir", "1,0,0", "--kernels", "4",
                                 "--out", out], cwd=harness.REPO_ROOT, env=display.env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        seen = b""
        while b"tracing the reference" not in seen:
            chunk = proc.stdout.read1(4096)
            if not chunk:
                break
            seen += chunk
        proc.send_signal(sig)
        try:
            seen += proc.communicate(timeout=120)[0]
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
        run.check(proc.returncode == 1 and b"interrupted" in seen,
                  f"{sig.name} ends the trace with a message and status 1 "
                  f"(got {proc.returncode})")
        run.check(os.listdir(out) == [], f"{sig.name}: nothing written")


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a failed write instead of a killed process
    resource.setrlimit(resource.RLIMIT_FSIZE, (SIZE_LIMIT, SIZE_LIMIT))


def check_full_disk(run, tool, display, tmp):
    model, out = os.path.join(tmp, "small.obj"), os.path.join(tmp, "full")
    with open(model, "w") as f:
        f.write(SMALL_MODEL)
    first = run_tool(tool, display, "--model", model, "--out", out, *QUICK)
    if not run.check(first.returncode == 0, f"a first run writes its outputs "
                                            f"(status {first.returncode})"):
        print(first.stdout[-3000:])
        return
    before = {p: open(p, "rb").read() for p in glob.glob(os.path.join(out, "*"))}
    limited = subprocess.run([tool, "--model", model, "--out", out, *QUICK],
                             cwd=harness.REPO_ROOT, env=display.env, capture_output=True,
                             text=True, timeout=300, preexec_fn=limit_file_size)
    run.check(limited.returncode == 1 and "cannot write" in limited.stdout,
              f"a failed image write is reported, status 1 (got {limited.returncode})")
    after = {p: open(p, "rb").read() for p in glob.glob(os.path.join(out, "*"))}
    run.check(after == before, "the earlier images, report and reference are left as they were")


def main():
    tool = os.path.join(os.path.dirname(harness.parse_binary()), "aotruth")
    run = harness.TestRun("aotruth")
    display = harness.VirtualDisplay()
    try:
        with tempfile.TemporaryDirectory(prefix="vesperon-aotruth-") as tmp:
            check_full_disk(run, tool, display, tmp)
            check_interrupts(run, tool, display, tmp)
    finally:
        display.close()
    run.finish()


if __name__ == "__main__":
    main()
