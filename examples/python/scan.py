#!/usr/bin/env python3
"""A scan: molecule 1 placed around molecule 2 on a grid, one multi-frame XYZ.

    PYTHONPATH=lib/python /usr/bin/python3 examples/python/scan.py \\
        examples/n-methylformamide-dimer/input-GEOMETRY.xyz scan.xyz

Each point is placed exactly as ud-kavor places it; points where an
intermolecular pair comes within 1.9 Angstrom are left out. Each frame's
comment line carries r, theta, phi, alpha, beta, gamma, name, contacts and
min_distance, which ase.io.read puts back into atoms.info.
"""
import sys

import ase.io
import numpy as np
from ase import Atoms

import kavor.ase


def read_kavor_input(path):
    """The pair and N1 of a file in kavor's input layout (input-GEOMETRY.xyz)."""
    lines = open(path).read().split("\n")
    n = int(lines[0].split()[0])
    rows = [line.split() for line in lines[1:n + 1]]
    atoms = Atoms([row[0] for row in rows], [[float(v) for v in row[1:4]] for row in rows])
    return atoms, int(lines[n + 2].split()[0])


pair, n1 = read_kavor_input(sys.argv[1])
frames, crowded = [], 0
for r in np.arange(3.0, 6.01, 0.5):          # Angstrom
    for theta in range(0, 181, 45):         # degrees
        placed = kavor.ase.place(pair, n1, r, theta, 0.0, 0.0, 90.0, 0.0)
        if placed.info["contacts"]:
            crowded += 1
            continue
        frames.append(placed)
ase.io.write(sys.argv[2], frames)  # extended XYZ: positions and info
print("%d frames written to %s, %d points with short contacts left out"
      % (len(frames), sys.argv[2], crowded))
