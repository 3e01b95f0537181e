#!/usr/bin/python3
"""Error against cost of the occlusion pass: one panel per radius, one curve
per view and shader version or estimator, a point per kernel size.

Each --set names a label (say "before" or "after", "hemisphere" or
"horizon"), an aotruth results.json and a framebench --json report measured
at the same radius. The cost is the occlusion pass's median milliseconds with
the blur on, of the estimator the aotruth run measured (a framebench run may
hold both, side by side); the error is the blurred buffer's MAE against the
ray-traced reference, mean of the draws. With --cost floor the cost is given
in units of the view's fetch floor at its smallest kernel size, from the same
run: on a shared machine the milliseconds of two runs differ by the load, the
pass against a floor measured in the same rounds much less.

    python3 tools/plot/error_cost.py -o docs/error-cost.png \\
        --set before before-r0.9/results.json before-bench-r0.9.json \\
        --set after after-r0.9/results.json after-bench-r0.9.json
"""
import argparse
import json
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed: the figure only goes to a file
import matplotlib.pyplot as plt  # noqa: E402

STYLES = ["--", "-", ":", "-."]  # one per set, in the order given


def load(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError) as e:
        sys.exit(f"error_cost: cannot read {path}: {e}")


def errors(truth):
    """{view: {kernel: blurred MAE}} of an aotruth report."""
    return {v["name"]: {k["kernel"]: k["blurred"]["raw"]["mae"] for k in v["kernels"]}
            for v in truth["views"]}


def estimator(report):
    """The estimator an aotruth report measured (reports from before there
    were two name none: they are the hemisphere one's)."""
    return report.get("estimator", "hemisphere")


def floor_unit(view):
    """The fetch floor's milliseconds at the view's smallest kernel size, or
    None when the report has none."""
    floors = [f for f in view.get("fetch_floor", []) if f["ms"] > 0]
    return min(floors, key=lambda f: f["fetches"])["ms"] if floors else None


def costs(bench, measured, unit):
    """{view: {kernel: occlusion cost, blur on}} of the estimator measured in a
    framebench report, in ms or (unit "floor") in floors."""
    out = {}
    for v in bench["views"]:
        scale = 1.0
        if unit == "floor":
            floor = floor_unit(v)
            if floor is None:
                sys.exit(f"error_cost: view {v['name']} has no fetch floor for --cost floor")
            scale = 1.0 / floor
        out[v["name"]] = {c["kernel"]: c["passes_ms"]["occlusion"] * scale
                          for c in v["configs"]
                          if c["ssao"] and c["blur"] and estimator(c) == measured}
    return out


def curves(label, truth_path, bench_path, unit):
    truth, bench = load(truth_path), load(bench_path)
    radius = truth["radius"]
    if abs(bench["settings"]["radius"] - radius) > 1e-6:
        sys.exit(f"error_cost: {truth_path} is at radius {radius} but {bench_path} at "
                 f"{bench['settings']['radius']}: a set compares one radius")
    err, ms = errors(truth), costs(bench, estimator(truth), unit)
    found = []
    for view in err:
        kernels = sorted(set(err[view]) & set(ms.get(view, {})))
        if kernels:
            found.append((view, [(ms[view][k], err[view][k], k) for k in kernels]))
    if not found:
        sys.exit(f"error_cost: {truth_path} and {bench_path} share no view and kernel size")
    return radius, label, found


def plot(sets, output, unit):
    radii = sorted({radius for radius, _, _ in sets})
    labels = list(dict.fromkeys(label for _, label, _ in sets))
    views = list(dict.fromkeys(view for _, _, found in sets for view, _ in found))
    colours = plt.get_cmap("tab10")
    fig, axes = plt.subplots(1, len(radii), figsize=(7 * len(radii), 5.5), squeeze=False)
    for axis, radius in zip(axes[0], radii):
        for r, label, found in sets:
            if r != radius:
                continue
            style = STYLES[labels.index(label) % len(STYLES)]
            for view, points in found:
                xs, ys, ks = zip(*points)
                axis.plot(xs, ys, style, marker="o", markersize=3,
                          color=colours(views.index(view) % 10), label=f"{view}, {label}")
                for x, y, k in points:
                    axis.annotate(str(k), (x, y), textcoords="offset points", xytext=(3, 3),
                                  fontsize=6)
        axis.set_xscale("log")
        axis.set_xlabel("occlusion pass, ms (median, blur on)" if unit == "ms" else
                        "occlusion pass (median, blur on) in fetch floors of the fewest reads")
        axis.set_ylabel("MAE against the ray-traced reference (blurred)")
        axis.set_title(f"radius {radius:g}; numbers are kernel sizes")
        axis.grid(True, which="both", alpha=0.3)
    # One legend under both panels: inside either it would hide curves.
    handles, names = axes[0][0].get_legend_handles_labels()
    fig.legend(handles, names, loc="lower center", ncol=len(views), fontsize=8)
    fig.tight_layout(rect=(0, 0.04 * len(labels), 1, 1))
    fig.savefig(output, dpi=110)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--set", nargs=3, action="append", required=True,
                        metavar=("LABEL", "AOTRUTH_JSON", "FRAMEBENCH_JSON"))
    parser.add_argument("-o", "--output", required=True, help="PNG to write")
    parser.add_argument("--cost", choices=["ms", "floor"], default="ms",
                        help="cost axis: milliseconds, or the view's fetch floor at its "
                             "smallest kernel size in the same run")
    args = parser.parse_args()
    plot([curves(*s, args.cost) for s in args.set], args.output, args.cost)


if __name__ == "__main__":
    main()
