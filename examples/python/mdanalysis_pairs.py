#!/usr/bin/env python3
"""Orientation histograms of neighbouring molecules along an MDAnalysis trajectory.

    PYTHONPATH=lib/python /usr/bin/python3 examples/python/mdanalysis_pairs.py box.pdb [traj.xtc] out.png

Pairs are molecules whose centres of mass are within 6.5 Angstrom, over the
periodic images of each frame's box. Molecules come from kavor's bond rule
(by=None); by="fragments" or by="residues" takes them from the topology.
"""
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import MDAnalysis as mda
import numpy as np

import kavor.mda

*files, png = sys.argv[1:]
u = mda.Universe(*files)
table = kavor.mda.pairs(u.atoms, by=None, com=6.5)
ok = table[table["status"] == "ok"]
fig, axes = plt.subplots(2, 3, figsize=(12, 6))
for ax, name in zip(axes.flat, ("r", "theta", "phi", "alpha", "beta", "gamma")):
    ax.hist(ok[name][~np.isnan(ok[name])], bins=36)
    ax.set_xlabel(name)
fig.savefig(png)
print(len(u.trajectory), "frames,", len(table), "pairs,", len(ok), "analysed")
