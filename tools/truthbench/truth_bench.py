"""Times the demo's ray-traced truth on its start view: starts the real
program on a virtual display (from a scratch working folder), waits, presses G,
waits for 256 rays per pixel, writes F12 screenshots in the truth and the
difference view, quits, and prints the peak memory before G and after, the
truth's log lines (scene build, 16 and 256 rays, frame rates) and where the
screenshots are. Not a test: the figures depend on the machine's load.

    python3 tools/truthbench/truth_bench.py [--binary build/vesperon] [--timeout 300]
"""

import argparse
import glob
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import harness  # noqa: E402


def memory(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(("VmHWM", "VmRSS")):
                name, value = line.split(":")
                fields[name] = int(value.split()[0]) // 1024
    return fields


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", default=os.path.join(harness.REPO_ROOT, "build", "vesperon"))
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("--settle", type=float, default=10, help="seconds before G")
    args = parser.parse_args()
    folder = harness.temp_dir()
    for name in ("models", "fonts", "shaders"):
        os.symlink(os.path.join(harness.REPO_ROOT, name), os.path.join(folder, name))
    with harness.Demo(os.path.abspath(args.binary), cwd=folder) as demo:
        if demo.wait_window() is None:
            sys.exit("the window did not open")
        time.sleep(args.settle)
        before = memory(demo.program.proc.pid)
        demo.key("g")
        start = time.time()
        while time.time() - start < args.timeout:
            time.sleep(1)
            if any("256 rays per pixel" in l and "after" in l for l in demo.program.log()):
                break
        time.sleep(6)  # the figures of the last round
        demo.key("F12")
        time.sleep(4)
        demo.key("g")
        time.sleep(8)
        demo.key("F12")
        time.sleep(4)
        after = memory(demo.program.proc.pid)
        demo.key("Escape")
        status = demo.program.wait_exit(30)
        for line in demo.program.log():
            if "Truth" in line or "AoTruth" in line or "Screenshot" in line or "[E]" in line:
                print(line)
    print(f"peak memory before G {before['VmHWM']} MiB, after {after['VmHWM']} MiB "
          f"(+{after['VmHWM'] - before['VmHWM']} MiB); resident now {after['VmRSS']} MiB")
    print(f"exit status {status}; screenshots: {sorted(glob.glob(folder + '/vesperon-*'))}")


if __name__ == "__main__":
    main()
