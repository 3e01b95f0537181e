"""The measuring tools at their edges, as a hostile user would try them, as
real runs of the built tools in one table: outputs that are links, long
names, locked folders and private modes, aotruth's own probe name taken by a
FIFO or a link, a reference cache with forged size fields, a standard
output whose reader has gone, and the JSON asked for on standard output,
by "-" or by another name of it. Each row gives the result, or a clear message
before the run; no row leaves a temporary file."""

import glob
import json
import os
import stat
import subprocess
import tempfile

import harness
from test_framebench import SMALL_MODEL, framebench_path

VIEW = ["--eye", "0,5,0", "--dir", "1,-0.3,0.2", "--kernels", "4"]
CACHE_MAGIC = b"aotruth-reference 2\n"


def run(tool, display, args, timeout=600, closed_stdout=False):
    """(status, stdout, stderr); with closed_stdout the tool's standard
    output is a pipe whose reader has already gone, as after `| head`."""
    if not closed_stdout:
        done = subprocess.run([tool, *args], cwd=harness.REPO_ROOT, env=display.env,
                              capture_output=True, text=True, timeout=timeout)
        return done.returncode, done.stdout, done.stderr
    read_end, write_end = os.pipe()
    os.close(read_end)
    try:
        done = subprocess.run([tool, *args], cwd=harness.REPO_ROOT, env=display.env,
                              stdout=write_end, stderr=subprocess.PIPE, text=True,
                              timeout=timeout)
    finally:
        os.close(write_end)
    return done.returncode, "", done.stderr


def said_once(err, message):
    """The message is the last line on standard error (after any progress
    lines) and comes only once."""
    lines = err.strip().replace("\r", "\n").splitlines()
    return bool(lines) and message in lines[-1] and err.count(message) == 1


def leftovers(folder):
    return [n for n in os.listdir(folder) if "partial" in n or n == ".aotruth-write-test"]


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


def forge_cache_size(out, width, height):
    """Rewrites the width and height of the one cached reference in out,
    its key left intact."""
    path = glob.glob(os.path.join(out, "reference-*.bin"))[0]
    with open(path, "r+b") as f:
        data = f.read(len(CACHE_MAGIC) + 8)
        key_length = int.from_bytes(data[len(CACHE_MAGIC):], "little")
        f.seek(len(CACHE_MAGIC) + 8 + key_length)
        f.write(width.to_bytes(4, "little", signed=True) + height.to_bytes(4, "little", signed=True))


def framebench_rows(check, tool, display, tmp, model):
    args = ["--model", model, "--frames", "1", *VIEW]
    folder = os.path.join(tmp, "fb")
    os.mkdir(folder)

    # A link to a private report: written through, the link and the mode kept.
    target, link = os.path.join(folder, "target.json"), os.path.join(folder, "link.json")
    with open(target, "w") as f:
        f.write("old")
    os.chmod(target, 0o600)
    os.symlink("target.json", link)
    status, out, err = run(tool, display, [*args, "--json", link])
    check(status == 0 and os.path.islink(link) and json.load(open(target))["tool"] == "framebench",
          f"framebench --json to a link: its target gets the report, the link stays "
          f"(status {status}, {err.strip()[-200:]!r})")
    check(mode(target) == 0o600, f"framebench: the 0600 report stays 0600 (got {mode(target):o})")

    # The longest legal name.
    long_name = os.path.join(folder, "r" * 245 + ".json")
    status, out, err = run(tool, display, [*args, "--json", long_name])
    check(status == 0 and os.path.exists(long_name),
          f"framebench --json with a 250-byte name: written (status {status}, "
          f"{err.strip()[-200:]!r})")

    # Refused before the run: nothing of the application starts.
    refusals = [
        (os.path.join(folder, "r" * 256), "File name too long"),
        ("/proc/self/comm", "its folder takes no new file"),
        (os.path.join(folder, "dangling"), "a symbolic link to a missing file"),
    ]
    os.symlink("missing.json", os.path.join(folder, "dangling"))
    for path, message in refusals:
        status, out, err = run(tool, display, [*args, "--json", path], timeout=120)
        check(status == 2 and message in err and "Engine starting" not in out,
              f"framebench --json {path[-40:]}: {message!r} before the run "
              f"(status {status}, {err.strip()[-200:]!r})")

    # Nobody reads the table any more: a message and status 1, the report written.
    report = os.path.join(folder, "piped.json")
    status, _, err = run(tool, display, [*args, "--json", report], closed_stdout=True)
    check(status == 1 and said_once(err, "standard output failed (Broken pipe)") and
          os.path.exists(report),
          f"framebench | head: status 1 (got {status}), one line on stderr "
          f"({err.strip()[-200:]!r}), the report still written")
    check(leftovers(folder) == [], f"framebench: no temporary file left ({leftovers(folder)})")


def aotruth_rows(check, tool, display, tmp, model):
    args = ["--model", model, "--rays", "16", "--draws", "1", *VIEW]
    out = os.path.join(tmp, "ao")
    os.mkdir(out)
    # Its old probe name held by a FIFO (an open for writing would wait for
    # a reader for ever); results.json a link to a private file.
    os.mkfifo(os.path.join(out, ".aotruth-write-test"))
    target = os.path.join(tmp, "results-target.json")
    with open(target, "w") as f:
        f.write("old")
    os.chmod(target, 0o600)
    os.symlink(target, os.path.join(out, "results.json"))
    try:
        status, stdout, err = run(tool, display, [*args, "--out", out], timeout=300)
    except subprocess.TimeoutExpired:
        status, stdout, err = None, "", "timed out"
    check(status == 0, f"aotruth with a FIFO of its probe's name: not blocked, status 0 "
                       f"(got {status}, {err.strip()[-200:]!r})")
    check(os.path.islink(os.path.join(out, "results.json")) and
          json.load(open(target)).get("views") is not None,
          "aotruth: results.json, a link, is written through and stays a link")
    check(mode(target) == 0o600, f"aotruth: the 0600 results stay 0600 (got {mode(target):o})")

    # The probe's name a link to a file: the file is left as it was.
    os.remove(os.path.join(out, ".aotruth-write-test"))
    victim = os.path.join(tmp, "victim.txt")
    with open(victim, "w") as f:
        f.write("precious")
    os.symlink(victim, os.path.join(out, ".aotruth-write-test"))
    # And a cache whose key is intact but whose size was forged: each is
    # traced again with a warning, never an abort or gigabytes.
    for width, height in ((2880, 450), (2147483647, 2147483647), (40000, 40000)):
        forge_cache_size(out, width, height)
        status, stdout, err = run(tool, display, [*args, "--out", out], timeout=300)
        check(status == 0 and "is damaged" in stdout and "tracing it again" in stdout,
              f"aotruth with a cache forged to {width} x {height}: traced again with a warning "
              f"(status {status}, {err.strip()[-200:]!r})")
    check(open(victim).read() == "precious", "aotruth: a link of its probe's name truncates nothing")
    os.remove(os.path.join(out, ".aotruth-write-test"))

    status, _, err = run(tool, display, [*args, "--out", out], closed_stdout=True, timeout=300)
    check(status == 1 and said_once(err, "standard output failed (Broken pipe)"),
          f"aotruth | head: status 1 (got {status}), one line on stderr ({err.strip()[-200:]!r})")

    # results.json something that can't be replaced: refused before the run.
    refused = os.path.join(tmp, "refused")
    os.makedirs(os.path.join(refused, "results.json"))
    status, stdout, err = run(tool, display, [*args, "--out", refused], timeout=120)
    check(status == 2 and "not a regular file" in stdout + err and "Engine starting" not in stdout,
          f"aotruth with a folder named results.json: refused before the run (status {status})")
    check(leftovers(out) == [] and leftovers(refused) == [],
          f"aotruth: no temporary file left ({leftovers(out)})")


def json_on_stdout_rows(check, framebench, aotruth, display, tmp, model):
    """--json - puts the JSON alone on standard output, the table and the log
    on standard error; another name of standard output is refused up front."""
    bench = [framebench, "--model", model, "--frames", "1", *VIEW]
    truth = [aotruth, "--model", model, "--rays", "16", "--draws", "1", *VIEW,
             "--out", os.path.join(tmp, "ao-stdout")]
    out_txt = os.path.join(tmp, "out.txt")
    rows = [  # command, standard output: a pipe or out.txt (appended to)
        ([*bench, "--json", "-"], None), ([*truth, "--json", "-"], None),
        ([*bench, "--json", "/dev/stdout"], out_txt), ([*bench, "--json", out_txt], out_txt),
        ([*bench, "--json", "/proc/self/fd/1"], None)]
    for command, output in rows:
        with open(out_txt, "w") as f:
            f.write("earlier lines\n")
        with open(output or os.devnull, "a") as sink:
            done = subprocess.run(command, cwd=harness.REPO_ROOT, env=display.env, text=True,
                                  stdout=sink if output else subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=300)
        what = f"{os.path.basename(command[0])} {' '.join(command[-2:])} > {output or 'a pipe'}"
        if command[-1] == "-":
            report = json.loads(done.stdout) if done.stdout.startswith("{") else {}
            check(done.returncode == 0 and "views" in report and "Engine starting" in done.stderr
                  and ("kernel  pass" in done.stderr or "configuration " in done.stderr),
                  f"{what}: status 0 (got {done.returncode}), the JSON alone on standard output "
                  f"({done.stdout[:60]!r}), the table and the log on standard error")
        else:
            check(done.returncode == 2 and f'--json: "{command[-1]}" is the tool\'s standard '
                  "output; use --json - to write the JSON there" in done.stderr and
                  open(out_txt).read() == "earlier lines\n",
                  f"{what}: refused before the run, status 2 (got {done.returncode}), "
                  f"out.txt as it was ({done.stderr.strip()[-160:]!r})")


def main():
    binary = harness.parse_binary()
    runner = harness.TestRun("tool edges")
    display = harness.VirtualDisplay()
    try:
        with tempfile.TemporaryDirectory(prefix="vesperon-edges-") as tmp:
            model = os.path.join(tmp, "small.obj")
            with open(model, "w") as f:
                f.write(SMALL_MODEL)
            framebench_rows(runner.check, framebench_path(binary), display, tmp, model)
            aotruth = os.path.join(os.path.dirname(binary), "aotruth")
            aotruth_rows(runner.check, aotruth, display, tmp, model)
            json_on_stdout_rows(runner.check, framebench_path(binary), aotruth, display, tmp,
                                model)
    finally:
        display.close()
    runner.finish()


if __name__ == "__main__":
    main()
