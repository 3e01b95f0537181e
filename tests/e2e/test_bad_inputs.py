"""Hostile inputs to the real program: every one ends in a clear message and
either a normal run or exit status 1, never a hang, an allocation the size
of a directory, or a run nobody can see.

- broken assets the program runs without (a FIFO, a directory and an empty
  file named as textures, a font path that is a directory, a stray line in
  the model): clear error lines, the window still opens, no overlay, and a
  normal exit when the window is closed;
- a shader path that is a directory or an empty file: start-up fails, 1;
- a directory, or bytes that are not text, where the model should be: the
  model error box, then 1 (a text model without meshes is an empty scene:
  test_empty_scene.py);
- a --model that is not a model (text, nothing, bytes, a binary file cut
  short, a process's status file): "cannot read model" with the importer's
  reason and status 2, before any window;
- no X display: a "no display" error and 1 instead of an unseen run."""

import os
import shutil
import time

import harness
from test_failures import find_box

# A cube straight ahead of the camera (the scene is drawn at 0.075 scale and
# the eye starts at height 10 looking along +x), whose last line is a stray
# line segment, with three materials whose textures can't be read, each for
# another reason.
CUBE_OBJ = "mtllib sponza.mtl\n" + "".join(
    f"v {x} {y} {z}\n" for x in (100, 130) for y in (120, 146) for z in (-15, 15)) + """
usemtl fifo
f 1 2 4 3
f 5 7 8 6
usemtl folder
f 1 5 6 2
f 3 4 8 7
usemtl empty
f 1 3 7 5
f 2 6 8 4
l 1 8
"""

CUBE_MTL = """newmtl fifo
Kd 1 1 1
map_Kd models/textures/fifo.png
newmtl folder
Kd 1 1 1
map_Kd models/textures/folder.png
newmtl empty
Kd 1 1 1
map_Kd models/textures/empty.png
"""


# Every byte value 16 times: the importer reads no meshes from it.
BYTES = bytes(range(256)) * 16

NO_READER = "No suitable reader found for the file format of file"
# Given with --model, each is refused before any window: (what, name, its
# bytes or None for a path outside the folder, the importer's reason).
NOT_MODELS = [
    ("text", "notes.txt", b"the model is in ~/scans\n", NO_READER),
    ("nothing", "empty.obj", b"", "OBJ-file is too small."),
    ("a system's user list", "/etc/passwd", None, NO_READER),
    ("bytes, not text", "bytes.obj", BYTES, "it is not text, and the importer finds no meshes in it"),
    ("a binary PLY cut in its header", "cut.ply",
     b"ply\nformat binary_little_endian 1.0\nelement vertex 8\nproperty float x\nprope",
     "the file ends before what it announces"),
    ("a process's status", "/proc/self/status", None, NO_READER),
]


def workdir(model=None):
    """A copy of the assets to break; model, when given, replaces the scene."""
    root = harness.temp_dir()
    shutil.copytree(os.path.join(harness.REPO_ROOT, "shaders"), os.path.join(root, "shaders"))
    shutil.copytree(os.path.join(harness.REPO_ROOT, "fonts"), os.path.join(root, "fonts"))
    if model is None:
        os.symlink(os.path.join(harness.REPO_ROOT, "models"), os.path.join(root, "models"))
    else:
        os.makedirs(os.path.join(root, "models", "textures"))
        for name, content in model.items():
            with open(os.path.join(root, "models", name), "wb") as f:
                f.write(content if isinstance(content, bytes) else content.encode())
    return root


def wait_logged(program, line, timeout=60):
    """Whether line is logged before the timeout (the model loads after the
    window opens)."""
    deadline = time.time() + timeout
    while line not in program.messages():
        if time.time() > deadline or program.proc.poll() is not None:
            if program.proc.poll() is not None:
                program.wait_exit()  # the lines still in the pipe
            return line in program.messages()
        time.sleep(0.2)
    return True


def cube_pixels(path):
    """Pixels in the middle of the window that are not the sky's colour."""
    sky = harness.pixels(path, "1x1+700+5")[0]
    middle = harness.pixels(path, "200x200+620+350")
    return sum(1 for p in middle if sum(abs(a - b) for a, b in zip(p, sky)) > 30)


def replace_with_directory(path):
    os.remove(path)
    os.mkdir(path)


def check_broken_assets_run(run, binary):
    root = workdir({"sponza.obj": CUBE_OBJ, "sponza.mtl": CUBE_MTL})
    textures = os.path.join(root, "models", "textures")
    os.mkfifo(os.path.join(textures, "fifo.png"))
    os.mkdir(os.path.join(textures, "folder.png"))
    open(os.path.join(textures, "empty.png"), "w").close()
    replace_with_directory(os.path.join(root, "fonts", "hobo.ttf"))
    with harness.Demo(binary, cwd=root) as demo:
        program = demo.program
        window = demo.wait_window()
        run.check(window is not None, "with broken textures and font the window still opens")
        if window is None:
            return program
        for line in [
                '[E]  [Texture] Error while loading texture "models/textures/fifo.png": '
                "the path is not a regular file (it is a FIFO)",
                '[E]  [Texture] Error while loading texture "models/textures/folder.png": '
                "the path is not a regular file (it is a directory)",
                '[E]  [Texture] Error while loading texture "models/textures/empty.png": '
                "the file is empty",
                '[W]  [Mesh] Dropped 1 faces of "models/sponza.obj" that are not triangles '
                "(points: 0, lines: 1); only triangles are drawn",
        ]:
            run.check(wait_logged(program, line), f"logged: {line}")
        # The font is loaded once the loop starts; the first frame follows it.
        font = '[E]  [FontAtlas] Error while loading font "fonts/hobo.ttf": ' \
               "the path is not a regular file (it is a directory)"
        run.check(wait_logged(program, font), "the font directory is refused by name")
        run.check(program.count("out of memory") == 0 and program.count("too large") == 0,
                  "nothing tries to allocate a directory's size")
        shot = demo.shot_until("frame", lambda p: cube_pixels(p) > 1000, timeout=60)
        run.check(cube_pixels(shot) > 1000, "the cube with the stray line is drawn")
        run.check(harness.count_colour(shot, "200x14+1+15", harness.is_green) == 0,
                  "without a font the overlay shows no text")
        harness.close_window(demo.display, window)
        status = program.wait_exit(60)
        run.check(status == 0, f"closing the window ends the run with status 0 (got {status})")
        run.check(program.count("Assertion") == 0, "no zone block left in use")
    return program


def check_shader_start_up_fails(run, binary):
    last = None
    for how, expected in [("directory", "the path is not a regular file (it is a directory)"),
                          ("empty", "the file is empty")]:
        root = workdir()
        path = os.path.join(root, "shaders", "Scene.frag")
        if how == "directory":
            replace_with_directory(path)
        else:
            open(path, "w").close()
        with harness.Demo(binary, cwd=root) as demo:
            status = demo.program.wait_exit(120)
            run.check(status == 1, f"a shader that is {how}: status 1 (got {status})")
            line = f'[E]  [Shader] Error while loading shader "shaders/Scene.frag": {expected}'
            run.check(line in demo.program.messages(), f"logged: {line}")
            run.check(demo.program.count("out of memory") == 0, "nothing allocated for it")
            last = demo.program
    return last


def check_model_fails_with_box(run, binary):
    last = None
    cases = [
        ("a directory", {}, "the path is not a regular file (it is a directory) "),
        ("bytes, not text", {"sponza.obj": BYTES},
         "it is not text, and the importer finds no meshes in it "),
    ]
    for what, model, reason in cases:
        root = workdir(model)
        if not model:
            os.mkdir(os.path.join(root, "models", "sponza.obj"))
        with harness.Demo(binary, cwd=root) as demo:
            program = demo.program
            box = find_box(demo.display, "Error loading model")
            run.check(box is not None, f"a model that is {what} shows the model error box")
            line = f'[E]  [Mesh] Error while loading "models/sponza.obj": {reason}'
            run.check(wait_logged(program, line), f"logged: {line!r}")
            if box:
                harness.xdotool(demo.display, "windowfocus", "--sync", box, check=False)
                harness.xdotool(demo.display, "key", "Return")
            status = program.wait_exit(60)
            run.check(status == 1, f"once dismissed, status 1 (got {status})")
            last = program
    return last


def check_not_models_refused(run, binary):
    """One display for the table: no window is ever made on it."""
    root = workdir()
    display = harness.VirtualDisplay()
    last = None
    try:
        for what, name, content, reason in NOT_MODELS:
            path = os.path.join(root, name) if content is not None else name
            if content is not None:
                with open(path, "wb") as f:
                    f.write(content)
            program = harness.Program(binary, display, cwd=root, args=["--model", path])
            window = harness.find_window(display, "Vesperon", 60, program)
            status = program.wait_exit(60)
            message = f'vesperon: cannot read model "{path}": {reason}'
            run.check(status == 2, f"--model {what}: status 2 (got {status})")
            run.check(any(line.startswith(message) for line in program.log()),
                      f"--model {what}: {message!r}")
            run.check(window is None and program.count("[Window]") == 0
                      and program.count("Engine starting") == 0,
                      f"--model {what}: refused before any window")
            last = program
        run.check(harness.find_window(display, "Vesperon", 1) is None,
                  "no window was ever made on the display")
    finally:
        display.close()
    return last


class NoDisplay:
    """Stands in for a display: the environment of a session without X."""

    def __init__(self):
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}


def check_no_display(run, binary):
    program = harness.Program(binary, NoDisplay())
    status = program.wait_exit(60)
    run.check(status == 1, f"without a display: status 1, not an unseen run (got {status})")
    run.check(program.count("[E]  [Window] Couldn't initialize window subsystem: no display") == 1,
              "the window subsystem says there is no display")
    run.check(program.count("Initialising rendering subsystem") == 0, "nothing is rendered")
    return program


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("bad inputs")
    last = check_no_display(run, binary)
    last = check_shader_start_up_fails(run, binary) or last
    last = check_not_models_refused(run, binary) or last
    last = check_model_fails_with_box(run, binary) or last
    last = check_broken_assets_run(run, binary) or last
    run.finish(last)


if __name__ == "__main__":
    main()
