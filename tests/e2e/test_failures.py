"""Start-up failures of the real program: a missing model shows the error
box and, once it is dismissed, ends with status 1; a missing shader and a
video driver that can't open a GL window end with status 1. Signals: SIGINT
or SIGTERM while a model that will fail is loading end the program with
status 1 and no box; any signal that ends the program while the box is up
ends the box's process too."""

import os
import shutil
import signal
import subprocess
import time

import harness


# Vertices enough for the import to take a good part of a second, then a face
# naming a vertex that doesn't exist: the import fails only at its end.
SLOW_FAILING_VERTICES = 900000


def write_slow_failing_model(path):
    with open(path, "w") as f:
        n = SLOW_FAILING_VERTICES
        f.writelines(f"v {i % 997}.5 {i % 991}.25 {i % 983}.125\n" for i in range(n))
        f.writelines(f"f {i} {i + 1} {i + 2}\n" for i in range(1, n - 2, 3))
        f.write(f"f 1 2 {n + 50}\n")


def workdir(without_model=False, without_shader=None, slow_failing_model=False):
    """A working directory like the repository root, with one piece missing."""
    root = harness.temp_dir()
    shutil.copytree(os.path.join(harness.REPO_ROOT, "shaders"), os.path.join(root, "shaders"))
    os.symlink(os.path.join(harness.REPO_ROOT, "fonts"), os.path.join(root, "fonts"))
    if slow_failing_model:
        os.mkdir(os.path.join(root, "models"))
        write_slow_failing_model(os.path.join(root, "models", "sponza.obj"))
    elif not without_model:
        os.symlink(os.path.join(harness.REPO_ROOT, "models"), os.path.join(root, "models"))
    else:
        os.mkdir(os.path.join(root, "models"))
    if without_shader:
        os.remove(os.path.join(root, "shaders", without_shader))
    return root


def find_box(display, title, timeout=60):
    deadline = time.time() + timeout
    while time.time() < deadline:
        for line in harness.window_names(display).splitlines():
            if f'"{title}"' in line:
                return line.split()[0]
        time.sleep(0.2)
    return None


def check_missing_model(run, binary):
    with harness.Demo(binary, cwd=workdir(without_model=True)) as demo:
        program = demo.program
        box = find_box(demo.display, "Error loading model")
        run.check(box is not None, "a missing model shows the box \"Error loading model\"")
        run.check(program.proc.poll() is None, "the program waits while the box is shown")
        run.check(program.count('[E]  [Mesh] Error while loading "models/sponza.obj": ') == 1,
                  "the import error is logged")
        if box:
            harness.xdotool(demo.display, "windowfocus", "--sync", box, check=False)
            harness.xdotool(demo.display, "key", "Return")
        status = program.wait_exit(60)
        run.check(status == 1, f"once dismissed, the program ends with status 1 (got {status})")
        run.check(program.count("Assertion") == 0, "no zone block left in use")
    return program


def check_missing_shader(run, binary):
    with harness.Demo(binary, cwd=workdir(without_shader="SSAOBlur.frag")) as demo:
        status = demo.program.wait_exit(120)
        run.check(status == 1, f"a missing shader ends start-up with status 1 (got {status})")
        run.check(demo.program.count('Error while loading shader "shaders/SSAOBlur.frag"') == 1,
                  "the missing shader file is named in the log")
    return demo.program


def check_no_gl_window(run, binary):
    with harness.Demo(binary, extra_env={"SDL_VIDEODRIVER": "dummy"}) as demo:
        status = demo.program.wait_exit(60)
        run.check(status == 1, f"no OpenGL window: status 1 (got {status})")
        run.check(demo.program.count("[E]  [Window] Unable to create window: ") == 1,
                  "the window error is logged")
        run.check(demo.program.count("Assertion") == 0, "shutdown finds no zone block in use")
    return demo.program


def wait_line(program, fragment, timeout=60):
    deadline = time.time() + timeout
    while time.time() < deadline and program.proc.poll() is None:
        if program.count(fragment):
            return True
        time.sleep(0.005)
    if program.proc.poll() is not None:
        program.wait_exit()  # the lines still in the pipe
    return program.count(fragment) > 0


def check_signal_while_loading(run, binary, slow_root):
    """The signal reaches the program while the import runs (slow model)
    or just as start-up ends (missing model, the signal a moment after
    the window is up): either way no box, status 1."""
    # The demo's last program is linked just before the import starts.
    last_program = 'Fragment shader "shaders/Lighting.frag" successfully compiled'
    cases = [(signal.SIGINT, slow_root, last_program),
             (signal.SIGTERM, slow_root, last_program),
             (signal.SIGINT, workdir(without_model=True), "Initialising input subsystem"),
             (signal.SIGTERM, workdir(without_model=True), "Initialising input subsystem")]
    last = None
    for sig, root, after in cases:
        slow = root == slow_root
        what = f"{sig.name} {'while a failing model loads' if slow else 'with a missing model'}"
        with harness.Demo(binary, cwd=root) as demo:
            program = demo.program
            wait_line(program, after)
            if slow:
                time.sleep(0.1)  # into the import, which takes the best part of a second
            program.proc.send_signal(sig)
            during = program.count("Error while loading") == 0
            status = program.wait_exit(60)
            if slow:
                run.check(during and program.count("Asked to quit while the model loaded") == 1,
                          f"{what}: the signal came before the import failed, and was answered")
            run.check(status == 1, f"{what}: the program ends with status 1 (got {status})")
            run.check(find_box(demo.display, "Error loading model", timeout=0.5) is None,
                      f"{what}: no error box is left on the display")
            last = program
    return last


def check_signal_while_box_is_up(run, binary):
    """Any signal that ends the program while its box waits ends the box's
    process too, not only the program."""
    last = None
    for sig, exit_status in ((signal.SIGHUP, -signal.SIGHUP), (signal.SIGQUIT, -signal.SIGQUIT),
                             (signal.SIGUSR1, -signal.SIGUSR1), (signal.SIGPIPE, -signal.SIGPIPE),
                             (signal.SIGTERM, 1), (signal.SIGKILL, -signal.SIGKILL)):
        with harness.Demo(binary, cwd=workdir(without_model=True)) as demo:
            program = demo.program
            box = find_box(demo.display, "Error loading model")
            run.check(box is not None, f"{sig.name}: the box is up")
            box_processes = subprocess.run(["pgrep", "-P", str(program.proc.pid)],
                                           capture_output=True, text=True).stdout.split()
            program.proc.send_signal(sig)
            status = program.wait_exit(30)
            run.check(status == exit_status,
                      f"{sig.name} while the box is up ends the program (status {status})")
            deadline = time.time() + 10
            while any(harness.alive(p) for p in box_processes) and time.time() < deadline:
                time.sleep(0.1)
            run.check(box_processes and not any(harness.alive(p) for p in box_processes),
                      f"{sig.name}: the box's process ({' '.join(box_processes)}) ends too")
            run.check(find_box(demo.display, "Error loading model", timeout=0.5) is None,
                      f"{sig.name}: the box is gone from the display")
            last = program
    return last


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("failures")
    last = check_missing_model(run, binary)
    last = check_missing_shader(run, binary) or last
    last = check_no_gl_window(run, binary) or last
    slow_root = workdir(slow_failing_model=True)
    try:
        last = check_signal_while_loading(run, binary, slow_root) or last
    finally:
        shutil.rmtree(slow_root, ignore_errors=True)
    last = check_signal_while_box_is_up(run, binary) or last
    run.finish(last)


if __name__ == "__main__":
    main()
