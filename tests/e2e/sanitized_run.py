"""One run of the program built with AddressSanitizer and
UndefinedBehaviorSanitizer: start-up, a few seconds of frames while every
control key and some mouse motion arrive, then Escape. It must exit with
status 0 and the sanitizers must report nothing (leaks included, with only the
system libraries' own blocks suppressed by tests/lsan.supp). Registered by the
sanitizer build only."""

import os
import time

import harness

STARTUP_TIMEOUT = 300  # the sanitized program imports the scene several times slower
FRAMES = 4.0  # seconds of frames between the key bursts

SANITIZER_ENV = {
    "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=1:strict_string_checks=1",
    "LSAN_OPTIONS": "suppressions=" + os.path.join(harness.REPO_ROOT, "tests", "lsan.supp")
                    + ":print_suppressions=0",
    "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
}

REPORT_MARKERS = ["ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                  "SUMMARY: AddressSanitizer", "SUMMARY: UndefinedBehaviorSanitizer"]

FIGURES_TIMEOUT = 240  # the scene build, 16 rays and the sanitized figures
CONTROL_KEYS = ["o", "o", "p", "p", "t", "t", "t", "equal", "equal", "minus", "bracketright",
                "bracketleft", "apostrophe", "semicolon", "x"]


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("sanitized run")
    with harness.Demo(binary, extra_env=SANITIZER_ENV) as demo:
        if not run.check(demo.wait_window(STARTUP_TIMEOUT) is not None, "the window opens"):
            run.finish(demo.program)
        time.sleep(FRAMES)
        demo.key(*CONTROL_KEYS)
        for k in ("w", "a", "s", "d"):
            harness.key_down(demo.display, demo.window, k)
            time.sleep(0.3)
            harness.key_up(demo.display, k)
        for dx, dy in ((120, 0), (0, -80), (-200, 40)):
            harness.xdotool(demo.display, "mousemove_relative", "--", str(dx), str(dy))
            time.sleep(0.2)
        time.sleep(FRAMES)
        # The truth's threads and a shader reload under the sanitizers; Escape
        # comes while the difference view is still tracing.
        demo.key("g")
        deadline = time.time() + FIGURES_TIMEOUT
        while time.time() < deadline and not demo.program.count("hemisphere estimator at 16 rays: MAE"):
            time.sleep(1)
        run.check(demo.program.count("hemisphere estimator at 16 rays: MAE") >= 1,
                  "the figures at 16 rays are computed")
        demo.key("g", "F5")
        time.sleep(FRAMES)
        demo.key("Escape")
        status = demo.program.wait_exit(STARTUP_TIMEOUT)
        run.check(status == 0, f"Escape ends the sanitized program with status 0 (got {status})")
        reports = [line for line in demo.program.log()
                   if any(marker in line for marker in REPORT_MARKERS)]
        run.check(demo.program.count("Ray-tracing scene: ") == 1, "the truth's scene was built")
        run.check(demo.program.count("Shaders reloaded") == 1, "the shaders were reloaded")
        run.check(not reports, "no sanitizer report" + (f" ({reports[0]})" if reports else ""))
        # Shutdown asserts that the zone allocator has no block in use.
        run.check(demo.program.count("GetAllocCount() == 0") == 0,
                  "no zone block is left in use at shutdown")
    run.finish(demo.program)


if __name__ == "__main__":
    main()
