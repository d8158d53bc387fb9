#!/usr/bin/env python3
"""Histograms of the six placement parameters over a trajectory of a dimer.

Reads a multi-frame XYZ file with ASE, analyses every frame with kavor and
draws one histogram per parameter into a PNG file.

    /usr/bin/python3 bench/make_trajectory.py examples/n-methylformamide-dimer 500 7 > traj.xyz
    PYTHONPATH=lib/python /usr/bin/python3 examples/python/trajectory_histograms.py traj.xyz hist.png

Molecule 1 is the bonded fragment of the first atom unless --n1 N is given.
"""
import argparse

import ase.io
import matplotlib

matplotlib.use("Agg")  # files only, no display needed
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kavor.ase  # noqa: E402

AXES = [("r", "r (Angstrom)"), ("theta", "theta (degrees)"), ("phi", "phi (degrees)"),
        ("alpha", "alpha (degrees)"), ("beta", "beta (degrees)"), ("gamma", "gamma (degrees)")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("trajectory")
    parser.add_argument("png")
    parser.add_argument("--n1", type=int, default=None)
    args = parser.parse_args()

    table = kavor.ase.analyze_trajectory(ase.io.iread(args.trajectory), n1=args.n1)
    ok = table[table["status"] == "ok"]
    stops = sorted(set(table["status"]) - {"ok"})
    print("%d frames, %d analysed%s" % (len(table), len(ok),
                                       ", stops: " + " ".join(stops) if stops else ""))

    figure, axes = plt.subplots(2, 3, figsize=(11, 6))
    for ax, (field, label) in zip(axes.flat, AXES):
        values = ok[field][~np.isnan(ok[field])]  # theta and phi may be undefined
        ax.hist(values, bins=30, color="tab:blue")
        ax.set_xlabel(label)
        ax.set_ylabel("frames")
    figure.suptitle("%s: %d frames" % (args.trajectory, len(ok)))
    figure.tight_layout()
    figure.savefig(args.png, dpi=100)


if __name__ == "__main__":
    main()
