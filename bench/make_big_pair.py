#!/usr/bin/env python3
"""Writes a full-size pair (150000 atoms by default) for the full-scale runs.

Each molecule is an ellipsoidal blob of C, H, O and N on a jittered cubic
lattice (2.2 Angstrom spacing, about 0.094 atoms per cubic Angstrom, no two
atoms of one molecule closer than about 1.4 Angstrom), with a dozen Cl atoms
near one end of the surface, off every principal axis, so that the
higher-Z-CM orients all three axes. The two blobs differ in shape and are
turned at random (seeded), so the run looks like a real input.

Writes into DIR:
  input-GEOMETRY.xyz     analyzer input: the two blobs far apart
  UD-input-GEOMETRY.xyz  builder input: the same blobs and user values that
                         stack molecule 1 on molecule 2 along Z with parallel
                         frames and a shallow overlap, so that a few thousand
                         intermolecular pairs are short contacts (< 1.9 A)

Usage: make_big_pair.py DIR [--atoms N] [--seed S] [--r R]
"""
import argparse
import math
import os
import random

SPACING = 2.2   # Angstrom
JITTER = 0.4    # each coordinate moves by up to +-JITTER
CHLORINES = 12


def blob(count, semi_axes, rng):
    """count atoms inside an ellipsoid of the given semi-axes, centred at 0."""
    a, b, c = semi_axes
    # Enough lattice points: the ellipsoid scaled until it holds `count`.
    scale = 1.0
    while True:
        points = []
        na, nb, nc = (int(s * scale / SPACING) + 1 for s in semi_axes)
        for i in range(-na, na + 1):
            for j in range(-nb, nb + 1):
                for k in range(-nc, nc + 1):
                    x, y, z = i * SPACING, j * SPACING, k * SPACING
                    q = (x / a) ** 2 + (y / b) ** 2 + (z / c) ** 2
                    if q <= scale * scale:
                        points.append((q, x, y, z))
        if len(points) >= count:
            break
        scale *= 1.1
    points.sort()
    atoms = []
    for _, x, y, z in points[:count]:
        atoms.append([rng.choices("CHON", weights=(35, 45, 10, 10))[0],
                      x + rng.uniform(-JITTER, JITTER),
                      y + rng.uniform(-JITTER, JITTER),
                      z + rng.uniform(-JITTER, JITTER)])
    # The heaviest atoms on one side, in a direction off all three axes.
    d = (0.62 * a, 0.48 * b, 0.41 * c)
    far = sorted(range(count), key=lambda n: -(atoms[n][1] * d[0] + atoms[n][2] * d[1] + atoms[n][3] * d[2]))
    for n in far[:CHLORINES]:
        atoms[n][0] = "Cl"
    return atoms


def random_rotation(rng):
    """A uniformly random rotation matrix (from a random unit quaternion)."""
    u1, u2, u3 = rng.random(), rng.random(), rng.random()
    q = (math.sqrt(1 - u1) * math.sin(2 * math.pi * u2), math.sqrt(1 - u1) * math.cos(2 * math.pi * u2),
         math.sqrt(u1) * math.sin(2 * math.pi * u3), math.sqrt(u1) * math.cos(2 * math.pi * u3))
    w, x, y, z = q
    return ((1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)),
            (2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)),
            (2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)))


def place(atoms, rotation, shift):
    out = []
    for label, x, y, z in atoms:
        p = [sum(rotation[r][k] * v for k, v in enumerate((x, y, z))) + shift[r] for r in range(3)]
        out.append((label, p[0], p[1], p[2]))
    return out


def geometry_block(atoms, n1):
    lines = [str(len(atoms))]
    lines += ["%-2s %15.8f %15.8f %15.8f" % a for a in atoms]
    lines += ["", str(n1)]
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dir")
    parser.add_argument("--atoms", type=int, default=150000)
    parser.add_argument("--seed", type=int, default=20261207)
    # With parallel frames the blobs meet along Z with their 52 and 56 A
    # semi-axes: at the default seed r = 104 A gives about 4500 short pairs
    # (80 A about 25000, 120 A a few dozen).
    parser.add_argument("--r", type=float, default=104.0)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    n1 = args.atoms // 2
    one = blob(n1, (70.0, 52.0, 28.0), rng)
    two = blob(args.atoms - n1, (66.0, 56.0, 29.0), rng)
    one = place(one, random_rotation(rng), (-120.0, 10.0, 5.0))
    two = place(two, random_rotation(rng), (120.0, -10.0, -5.0))
    atoms = one + two

    os.makedirs(args.dir, exist_ok=True)
    with open(os.path.join(args.dir, "input-GEOMETRY.xyz"), "w") as f:
        f.write("\n".join(geometry_block(atoms, n1)) + "\n")
    with open(os.path.join(args.dir, "UD-input-GEOMETRY.xyz"), "w") as f:
        lines = geometry_block(atoms, n1)
        lines += ["user-defined position: r (Angstrom), theta, phi (degrees)", "%.3f" % args.r, "0.0", "0.0",
                  "user-defined Euler angles: alpha, beta, gamma (degrees)", "0.0", "0.0", "0.0", "end"]
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
