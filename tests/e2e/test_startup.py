"""The real program on a virtual display: the start-up log in order, the
window, a lit first picture, and a normal exit on Escape and on closing the
window."""

import time

import harness

FRAME_WAIT = 4.0  # llvmpipe renders a few frames per second at 1440 x 900

EXPECTED_ORDER = [
    "[I]  [Game] " + "-" * 80,
    "[I]  [Game] Engine starting up...",
    "[I]  [Game] Initialising memory allocation subsystem",
    "[I]  [ZoneAllocator] Allocated a 512 megabyte heap at ",
    "[I]  [Game] Initialising event bus subsystem",
    "[I]  [Game] Initialising window subsystem",
    "[I]  [Window] Opening window of size: 1440 x 900",
    "[I]  [Game] Initialising input subsystem",
    "[I]  [InputDriver] Found ",
    "[I]  [Game] Initialising rendering subsystem",
    "[I]  [Renderer] OpenGL context initialized",
    "[I]  [Renderer] Vendor:   ",
    "[I]  [Renderer] Renderer: ",
    "[I]  [Renderer] Version:  ",
    '[I]  [Shader] Vertex shader "shaders/Text.vert" successfully compiled',
    '[I]  [Shader] Fragment shader "shaders/Text.frag" successfully compiled',
    "[I]  [Shader] Shader program successfully linked",
    "[I]  [Renderer] Quad VAO/VBO created for deferred rendering",
    "[I]  [Renderer] G-buffer created",
    "[I]  [Renderer] SSAO framebuffer created",
    "[I]  [Renderer] Blur framebuffer created",
    '[I]  [Shader] Vertex shader "shaders/Scene.vert" successfully compiled',
    "[I]  [Mesh] models/sponza.obj loaded: contains ",
    "successfully loaded; mipmaps generated",
]


def in_order(messages, fragments):
    """Index of the first fragment not found in order, or None."""
    i = 0
    for message in messages:
        if i < len(fragments) and fragments[i] in message:
            i += 1
    return None if i == len(fragments) else i


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("startup")

    with harness.Demo(binary) as demo:
        window = demo.wait_window()
        run.check(window is not None, "a window named Vesperon opens")
        if window is None:
            run.finish(demo.program)
        time.sleep(FRAME_WAIT)
        missing = in_order(demo.program.messages(), EXPECTED_ORDER)
        run.check(missing is None, "start-up log in order" +
                  ("" if missing is None else f" (missing: {EXPECTED_ORDER[missing]!r})"))
        run.check(demo.program.count("[E]") == 0, "no error line during start-up")
        geometry = harness.xdotool(demo.display, "getwindowgeometry", window)
        run.check("1440x900" in geometry, f"window is 1440 x 900 ({geometry.splitlines()[-1].strip()})")

        shot = demo.shot_until(
            "lit", lambda p: harness.count_colour(p, "200x14+1+15", harness.is_green) > 20)
        mean = harness.image_stats(shot, "1400x760+20+120")
        run.check(0.08 < mean < 0.95, f"the lit frame is not blank (mean brightness {mean:.3f})")
        run.check(harness.count_colour(shot, "200x14+1+15", harness.is_green) > 20,
                  "the SSAO line is drawn in green")

        demo.key("Escape")
        status = demo.program.wait_exit(60)
        run.check(status == 0, f"Escape ends the program with status 0 (got {status})")
        run.check(demo.program.count("[E]") == 0, "no error line up to the end")

    with harness.Demo(binary) as demo:
        window = demo.wait_window()
        ended = "" if window else f" (the program's status: {demo.program.proc.poll()})"
        if run.check(window is not None, "the window opens a second time" + ended):
            time.sleep(2.0)
            harness.close_window(demo.display, window)
            status = demo.program.wait_exit(60)
            run.check(status == 0,
                      f"closing the window ends the program with status 0 (got {status})")
    run.finish(demo.program)


if __name__ == "__main__":
    main()
