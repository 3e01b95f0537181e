"""The real program shows textures the way model files mean them: the default
scene's banner, which hangs over the middle of the start view, has its crimson
head at the top and its gold hem at the bottom of the screenshot."""

import harness

# Where the banner's picture lands in the 1440 x 900 window from the start
# view (eye at (0, 10, 0) looking along +x), kept inside its edges and clear of
# the drapes hanging on either side above it.
BANNER = (712, 175, 28, 170)  # x, y, width, height
MARGIN = 40  # pixels between the head's and the hem's mean rows, at least

def is_crimson(p):
    r, g, b = p
    return r > 90 and r > 2.5 * g and r > 2.5 * b

def is_gold(p):
    r, g, b = p
    return r > 90 and g > 0.55 * r and b < 0.6 * g

def mean_row(path, predicate):
    """(count, mean y) of the banner pixels for which predicate holds."""
    x, y, width, height = BANNER
    ps = harness.pixels(path, f"{width}x{height}+{x}+{y}")
    rows = [y + i // width for i, p in enumerate(ps) if predicate(p)]
    return len(rows), (sum(rows) / len(rows) if rows else None)

def main():
    binary = harness.parse_binary()
    run = harness.TestRun("orientation")
    with harness.Demo(binary) as demo:
        window = demo.wait_window()
        run.check(window is not None, "a window named Vesperon opens")
        if window is None:
            run.finish(demo.program)
        # The overlay's SSAO line appears with the first finished frame.
        shot = demo.shot_until(
            "start", lambda p: harness.count_colour(p, "200x14+1+15", harness.is_green) > 20)
        crimson, head = mean_row(shot, is_crimson)
        gold, hem = mean_row(shot, is_gold)
        run.check(crimson > 30 and gold > 30,
                  f"the banner is in view (crimson {crimson}, gold {gold} pixels) in {shot}")
        if head is not None and hem is not None:
            run.check(head + MARGIN < hem,
                      f"crimson head above the gold hem (mean rows {head:.0f} and {hem:.0f})")
        run.check(demo.program.count('banner.png" successfully loaded') == 1,
                  "the banner's texture loaded")
        demo.key("Escape")
        status = demo.program.wait_exit(60)
        run.check(status == 0, f"Escape ends the program with status 0 (got {status})")
        run.check(demo.program.count("[E]") == 0, "no error line")
    run.finish(demo.program)

if __name__ == "__main__":
    main()
