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


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("failures")
    last = check_missing_model(run, binary)
    last = check_missing_shader(run, binary) or last
    last = check_no_gl_window(run, binary) or last
    run.finish(last)


if __name__ == "__main__":
    main()
