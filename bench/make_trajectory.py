#!/usr/bin/env python3
"""Writes a seeded multi-frame XYZ trajectory of a dimer, built from one of
the bundled examples, for the batch program's tests and benchmarks.

Each frame is the example pair with molecule 1 turned about its centre of
mass by up to --wobble degrees and shifted by up to 0.3 Angstrom, and the
whole pair turned at random (so every frame is a new geometry, not only a new
placement). With --mixed, some frames are replaced by pairs the analysis must
refuse: a symmetric pair (the bundled benzene dimer, a different atom count),
a pair whose molecule 1 has no known element, a pair with one atom of molecule 2
put first (the bonded-fragment rule must refuse it) and a pair
with both centres of mass on one point.

usage: make_trajectory.py EXAMPLE_DIR FRAMES SEED [--mixed] [--wobble DEG] > out.xyz
Coordinates are written with 17 significant digits, so a reader gets exactly
the doubles used here. Standard library only.
"""
import math
import random
import sys


def read_pair(path):
    with open(path) as f:
        tokens = f.read().split("\n")
    n = int(tokens[0].split()[0])
    atoms = []
    for line in tokens[1:n + 1]:
        label, x, y, z = line.split()[:4]
        atoms.append((label, float(x), float(y), float(z)))
    n1 = int(tokens[n + 2].split()[0])
    return atoms, n1


def rotation(rng, max_deg):
    # Axis uniform on the sphere, angle uniform up to max_deg.
    z = rng.uniform(-1.0, 1.0)
    t = rng.uniform(0.0, 2.0 * math.pi)
    s = math.sqrt(1.0 - z * z)
    ux, uy, uz = s * math.cos(t), s * math.sin(t), z
    a = math.radians(rng.uniform(0.0, max_deg))
    c, sn = math.cos(a), math.sin(a)
    C = 1.0 - c
    return ((c + ux * ux * C, ux * uy * C - uz * sn, ux * uz * C + uy * sn),
            (uy * ux * C + uz * sn, c + uy * uy * C, uy * uz * C - ux * sn),
            (uz * ux * C - uy * sn, uz * uy * C + ux * sn, c + uz * uz * C))


def apply(m, v):
    return tuple(m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2] for i in range(3))


def centroid(atoms):
    n = len(atoms)
    return tuple(sum(a[k + 1] for a in atoms) / n for k in range(3))


def turned(atoms, m, about, shift=(0.0, 0.0, 0.0)):
    out = []
    for label, x, y, z in atoms:
        v = apply(m, (x - about[0], y - about[1], z - about[2]))
        out.append((label, v[0] + about[0] + shift[0], v[1] + about[1] + shift[1],
                    v[2] + about[2] + shift[2]))
    return out


def write_frame(out, atoms, comment):
    out.write("%d\n%s\n" % (len(atoms), comment))
    for label, x, y, z in atoms:
        out.write("%-2s %.17g %.17g %.17g\n" % (label, x, y, z))


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    mixed = "--mixed" in argv
    wobble = 20.0
    if "--wobble" in argv:
        wobble = float(argv[argv.index("--wobble") + 1])
        args.remove(argv[argv.index("--wobble") + 1])
    example, frames, seed = args[0], int(args[1]), int(args[2])
    atoms, n1 = read_pair(example + "/input-GEOMETRY.xyz")
    symmetric = None
    if mixed:
        symmetric, _ = read_pair(example + "/../benzene-dimer/input-GEOMETRY.xyz")
    rng = random.Random(seed)
    out = sys.stdout
    for k in range(frames):
        mol1 = turned(atoms[:n1], rotation(rng, wobble), centroid(atoms[:n1]),
                      tuple(rng.uniform(-0.3, 0.3) for _ in range(3)))
        pair = mol1 + atoms[n1:]
        pair = turned(pair, rotation(rng, 180.0), (0.0, 0.0, 0.0))
        kind = "plain"
        if mixed and k % 10 == 3:
            pair, kind = symmetric, "symmetric"
        elif mixed and k % 10 == 5:
            pair, kind = [("Xx",) + a[1:] for a in pair[:n1]] + pair[n1:], "unknown-labels"
        elif mixed and k % 10 == 7:
            pair, kind = [pair[n1]] + pair[:n1] + pair[n1 + 1:], "interleaved"
        elif mixed and k % 10 == 9:
            c1, c2 = centroid(pair[:n1]), centroid(pair[n1:])
            d = tuple(c2[i] - c1[i] for i in range(3))
            pair, kind = [(a[0], a[1] + d[0], a[2] + d[1], a[3] + d[2]) for a in pair[:n1]] + pair[n1:], "shared-centre"
        write_frame(out, pair, "frame=%d kind=%s" % (k + 1, kind))


if __name__ == "__main__":
    main(sys.argv[1:])
