#!/usr/bin/env python3
"""The same analysis with MDAnalysis reading the trajectory.

    PYTHONPATH=lib/python /usr/bin/python3 examples/python/mdanalysis_trajectory.py traj.xyz 9

prints one line per frame: frame, status, r, theta, phi, alpha, beta, gamma.
MDAnalysis keeps coordinates in single precision, so the values are those of
the frames rounded to float32. Every frame must have the same atoms.
"""
import sys

import MDAnalysis as mda
import numpy as np

import kavor

universe = mda.Universe(sys.argv[1], format="XYZ")
labels = list(universe.atoms.names)  # an XYZ file's labels become the atom names
frames = np.array([universe.atoms.positions for _ in universe.trajectory], dtype=np.float64)
n1 = int(sys.argv[2]) if len(sys.argv) > 2 else None  # None: the bonded fragment of atom 1

table = kavor.analyze_frames(labels, frames, n1)
for k, row in enumerate(table, start=1):
    print(k, row["status"], *(repr(float(row[f])) for f in ("r", "theta", "phi", "alpha", "beta", "gamma")))
