#!/usr/bin/python3
"""Error against cost of the occlusion pass: one panel per radius, one curve
per view and shader version or estimator, a point per kernel size.

Each --set names a label (say "before" or "after", "hemisphere" or
"horizon"), an aotruth results.json and a framebench --json report measured
at the same radius. The cost is the occlusion pass's median milliseconds with
the blur on, of the estimator the aotruth run measured (a framebench run may
hold both, side by side); the error is the blurred buffer's MAE against the
ray-traced reference, mean of the draws.

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


def costs(bench, measured):
    """{view: {kernel: occlusion ms, blur on}} of the estimator measured in a
    framebench report."""
    out = {}
    for v in bench["views"]:
        out[v["name"]] = {c["kernel"]: c["passes_ms"]["occlusion"] for c in v["configs"]
                          if c["ssao"] and c["blur"] and estimator(c) == measured}
    return out


def curves(label, truth_path, bench_path):
    truth, bench = load(truth_path), load(bench_path)
    radius = truth["radius"]
    if abs(bench["settings"]["radius"] - radius) > 1e-6:
        sys.exit(f"error_cost: {truth_path} is at radius {radius} but {bench_path} at "
                 f"{bench['settings']['radius']}: a set compares one radius")
    err, ms = errors(truth), costs(bench, estimator(truth))
    found = []
    for view in err:
        kernels = sorted(set(err[view]) & set(ms.get(view, {})))
        if kernels:
            found.append((view, [(ms[view][k], err[view][k], k) for k in kernels]))
    if not found:
        sys.exit(f"error_cost: {truth_path} and {bench_path} share no view and kernel size")
    return radius, label, found


def plot(sets, output):
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
        axis.set_xlabel("occlusion pass, ms (median, blur on)")
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
    args = parser.parse_args()
    plot([curves(*s) for s in args.set], args.output)


if __name__ == "__main__":
    main()
