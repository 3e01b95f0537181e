"""Live controls of the real program: SSAO on and off, the debug views, the
kernel size, flying forward and turning with the mouse, each seen in
screenshots of the window."""

import time

import harness

SETTLE = 3.0  # seconds for a change to reach a presented frame on llvmpipe
SCENE = "1400x700+20+150"  # the picture below the overlay
SSAO_LINE = "200x14+1+15"
BLUR_LINE = "250x14+1+30"
SAMPLES_LINE = "250x14+1+45"


def reds(shot, crop):
    return harness.count_colour(shot, crop, harness.is_red)


def greens(shot, crop):
    return harness.count_colour(shot, crop, harness.is_green)


def check_ssao_toggle(run, demo):
    on = demo.shot("ssao-on")
    demo.key("o")
    off = demo.shot_until("ssao-off", lambda p: reds(p, SSAO_LINE) > 20)
    time.sleep(SETTLE)  # a second frame after the switch, so the picture matches the text
    off = demo.shot("ssao-off")
    bright_on = harness.image_stats(on, SCENE)
    bright_off = harness.image_stats(off, SCENE)
    # Occlusion only ever darkens: with it off, contacts and corners brighten
    # and nothing gets darker.
    darker, brighter = harness.darkened(on, off, SCENE)
    run.check(bright_off > bright_on and darker > 1000 and brighter < darker // 20,
              f"O switches SSAO off and the picture brightens ({bright_on:.4f} -> {bright_off:.4f}; "
              f"{darker} pixels were darker with SSAO, {brighter} brighter)")
    run.check(reds(off, SSAO_LINE) > 20 and greens(off, SSAO_LINE) == 0,
              "the SSAO line turns red")
    run.check(reds(off, BLUR_LINE) > 20 and greens(off, BLUR_LINE) == 0,
              "the blur line turns red with it")
    demo.key("o")
    back = demo.shot_until("ssao-on-again", lambda p: greens(p, SSAO_LINE) > 20)
    run.check(greens(back, SSAO_LINE) > 20 and greens(back, BLUR_LINE) > 20,
              "O again switches both back on (green)")


def check_views(run, demo):
    demo.key("t")
    occlusion = demo.shot_until("view-occlusion", lambda p: harness.grey_fraction(p, SCENE) > 0.97)
    grey = harness.grey_fraction(occlusion, SCENE)
    run.check(grey > 0.97, f"T shows the occlusion alone in grey ({grey:.3f} grey)")
    demo.key("t")
    quads = demo.shot_until("view-gbuffer",
                            lambda p: harness.grey_fraction(p, "700x300+730+150") < 0.5)
    bottom_right = harness.grey_fraction(quads, "700x430+730+460")
    top_right = harness.grey_fraction(quads, "700x300+730+150")
    run.check(bottom_right > 0.97 and top_right < 0.5,
              f"T again shows the G-buffer quadrants, occlusion bottom right "
              f"({bottom_right:.3f} / {top_right:.3f} grey)")
    demo.key("t")
    lit = demo.shot_until("view-lit", lambda p: harness.grey_fraction(p, SCENE) < 0.9)
    run.check(harness.grey_fraction(lit, SCENE) < 0.9, "T a third time returns to the lit picture")


def check_samples(run, demo):
    start = demo.shot("samples-4")
    run.check(greens(start, SAMPLES_LINE) > 20, "4 samples: the samples line is green")
    demo.key("equal", "equal", "equal", "equal", "equal")
    most = demo.shot_until("samples-128", lambda p: reds(p, SAMPLES_LINE) > 20 and greens(p, SAMPLES_LINE) == 0)
    run.check(reds(most, SAMPLES_LINE) > 20 and greens(most, SAMPLES_LINE) == 0,
              "= five times: 128 samples, the line turns red")
    demo.key("minus", "minus", "minus", "minus", "minus")
    least = demo.shot_until("samples-back", lambda p: greens(p, SAMPLES_LINE) > 20 and reds(p, SAMPLES_LINE) == 0)
    run.check(greens(least, SAMPLES_LINE) > 20 and reds(least, SAMPLES_LINE) == 0,
              "- five times: back to 4 samples, green again")


def check_motion(run, demo):
    before = demo.shot("before-walk")
    harness.key_down(demo.display, demo.window, "w")
    time.sleep(2.5)
    harness.key_up(demo.display, "w")
    time.sleep(SETTLE)
    after = demo.shot("after-walk")
    changed = harness.difference(before, after, SCENE)
    run.check(changed > 0.02, f"holding W moves the camera (picture changed by {changed:.3f})")

    before = demo.shot("before-turn")
    harness.xdotool(demo.display, "mousemove_relative", "--", "300", "0")
    time.sleep(SETTLE)
    after = demo.shot("after-turn")
    changed = harness.difference(before, after, SCENE)
    run.check(changed > 0.02, f"mouse motion turns the view (picture changed by {changed:.3f})")


def main():
    binary = harness.parse_binary()
    run = harness.TestRun("controls")
    with harness.Demo(binary) as demo:
        if not run.check(demo.wait_window() is not None, "the window opens"):
            run.finish(demo.program)
        time.sleep(SETTLE + 2)
        check_ssao_toggle(run, demo)
        check_views(run, demo)
        check_samples(run, demo)
        check_motion(run, demo)
        demo.key("Escape")
        status = demo.program.wait_exit(60)
        run.check(status == 0, f"Escape ends the program with status 0 (got {status})")
        print(f"screenshots in {demo.shots}")
    run.finish(demo.program)


if __name__ == "__main__":
    main()
