"""A model file without meshes is an empty scene: the real program starts
with a warning, shows the sky with the status overlay, runs the passes and
the debug views with nothing in them, and ends with status 0 and no zone
block left in use. Two such files: comments only, and an object that names
its material (whose texture loads) but has no faces."""

import os
import shutil

import harness

EMPTY_MODELS = {
    "comments only": {"sponza.obj": "# a scene file with nothing but comments\n" * 3},
    "a material and no faces": {
        "sponza.obj": "mtllib sponza.mtl\no nothing\nusemtl stone\n",
        "sponza.mtl": "newmtl stone\nKd 1 1 1\nmap_Kd models/textures/stone.png\n",
    },
}
WARNING = '[W]  [Mesh] "models/sponza.obj" holds no meshes: the scene is empty'
TEXTURE = '[I]  [Texture] "models/textures/stone.png" successfully loaded'
SOME_PNG = "tests/fuzz/corpus/ImageUploadFuzz/rgba-2x1.png"
SCENE = "1400x700+20+150"  # the picture below the overlay


def workdir(model):
    root = harness.temp_dir()
    shutil.copytree(os.path.join(harness.REPO_ROOT, "shaders"), os.path.join(root, "shaders"))
    shutil.copytree(os.path.join(harness.REPO_ROOT, "fonts"), os.path.join(root, "fonts"))
    textures = os.path.join(root, "models", "textures")
    os.makedirs(textures)
    for name, text in model.items():
        with open(os.path.join(root, "models", name), "w") as f:
            f.write(text)
    # Any image the decoder reads will do as the material's texture.
    shutil.copy(os.path.join(harness.REPO_ROOT, SOME_PNG), os.path.join(textures, "stone.png"))
    return root


def sky_only(path):
    """Every pixel of the picture below the overlay has the sky's colour."""
    sky = harness.pixels(path, "1x1+700+5")[0]
    picture = harness.pixels(path, SCENE)
    return all(sum(abs(a - b) for a, b in zip(p, sky)) <= 6 for p in picture)


def white(path):
    return all(min(p) >= 250 for p in harness.pixels(path, SCENE))


def check_empty_scene(run, binary, what, model, views):
    with harness.Demo(binary, cwd=workdir(model)) as demo:
        program = demo.program
        window = demo.wait_window()
        run.check(window is not None, f"{what}: the window opens")
        if window is None:
            return program
        # The overlay is built once the model has loaded and the loop runs.
        shot = demo.shot_until("overlay", lambda p: harness.count_colour(
            p, "200x14+1+15", harness.is_green) > 0, timeout=60)
        run.check(harness.count_colour(shot, "200x14+1+15", harness.is_green) > 0,
                  f"{what}: the status overlay is drawn")
        run.check(program.count(WARNING) == 1, f"{what}: logged once: {WARNING}")
        run.check(program.count("[E]") == 0, f"{what}: no error logged")
        if "sponza.mtl" in model:
            run.check(program.count(TEXTURE) == 1, f"{what}: the material's texture is loaded")
        run.check(sky_only(shot), f"{what}: the picture is the sky alone")
        if not views:
            return close(run, demo, what)
        # The occlusion view: with nothing drawn nothing is occluded, so it
        # is white all over. Then the G-buffer view, the lit picture again,
        # and SSAO off and on: every pass runs over the empty G-buffer.
        demo.key("t")
        occlusion = demo.shot_until("occlusion", white, timeout=60)
        run.check(white(occlusion), f"{what}: the occlusion view is open (white) everywhere")
        demo.key("t", "t", "o", "o")
        lit = demo.shot_until("lit", sky_only, timeout=60)
        run.check(sky_only(lit), f"{what}: after the views and toggles, the sky again")
        return close(run, demo, what)


def close(run, demo, what):
    harness.close_window(demo.display, demo.window)
    status = demo.program.wait_exit(60)
    run.check(status == 0, f"{what}: closing the window ends the run with status 0 (got {status})")
    run.check(demo.program.count("Assertion") == 0, f"{what}: no zone block left in use")
    return demo.program


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("empty scene")
    last = None
    # The views and toggles once: they see the same empty G-buffer either way.
    for i, (what, model) in enumerate(EMPTY_MODELS.items()):
        last = check_empty_scene(run, binary, what, model, views=i == 0) or last
    run.finish(last)


if __name__ == "__main__":
    main()
