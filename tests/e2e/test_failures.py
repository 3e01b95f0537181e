"""Start-up failures of the real program: a missing model shows the error
box and, once it is dismissed, ends with status 1; a missing shader and a
video driver that can't open a GL window end with status 1."""

import os
import shutil
import time

import harness


def workdir(without_model=False, without_shader=None):
    """A working directory like the repository root, with one piece missing."""
    root = harness.temp_dir()
    shutil.copytree(os.path.join(harness.REPO_ROOT, "shaders"), os.path.join(root, "shaders"))
    os.symlink(os.path.join(harness.REPO_ROOT, "fonts"), os.path.join(root, "fonts"))
    if not without_model:
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
    display = harness.VirtualDisplay()
    program = harness.Program(binary, display, cwd=workdir(without_model=True))
    try:
        box = find_box(display, "Error loading model")
        run.check(box is not None, "a missing model shows the box \"Error loading model\"")
        run.check(program.proc.poll() is None, "the program waits while the box is shown")
        run.check(program.count('[E]  [Mesh] Error while loading "models/sponza.obj": ') == 1,
                  "the import error is logged")
        if box:
            harness.xdotool(display, "windowfocus", "--sync", box, check=False)
            harness.xdotool(display, "key", "Return")
        status = program.wait_exit(60)
        run.check(status == 1, f"once dismissed, the program ends with status 1 (got {status})")
        run.check(program.count("Assertion") == 0, "no zone block left in use")
    finally:
        program.kill()
        display.close()
    return program


def check_missing_shader(run, binary):
    display = harness.VirtualDisplay()
    program = harness.Program(binary, display, cwd=workdir(without_shader="SSAOBlur.frag"))
    try:
        status = program.wait_exit(120)
        run.check(status == 1, f"a missing shader ends start-up with status 1 (got {status})")
        run.check(program.count('Error while loading shader "shaders/SSAOBlur.frag"') == 1,
                  "the missing shader file is named in the log")
    finally:
        program.kill()
        display.close()
    return program


def check_no_gl_window(run, binary):
    display = harness.VirtualDisplay()
    program = harness.Program(binary, display, extra_env={"SDL_VIDEODRIVER": "dummy"})
    try:
        status = program.wait_exit(60)
        run.check(status == 1, f"no OpenGL window: status 1 (got {status})")
        run.check(program.count("[E]  [Window] Unable to create window: ") == 1,
                  "the window error is logged")
        run.check(program.count("Assertion") == 0, "shutdown finds no zone block in use")
    finally:
        program.kill()
        display.close()
    return program


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("failures")
    last = check_missing_model(run, binary)
    last = check_missing_shader(run, binary) or last
    last = check_no_gl_window(run, binary) or last
    run.finish(last)


if __name__ == "__main__":
    main()
