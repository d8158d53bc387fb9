#!/usr/bin/env python3
"""Writes a seeded periodic box of molecules as extended XYZ, for the tests
and the benchmark of kavor-batch pairs.

The two molecules of a bundled example pair are placed alternately, each
turned at random, on a grid of sites of a triclinic cell (sites far enough
apart that no two molecules bond), shifted a little, and every atom is then
wrapped into the cell, so that many molecules straddle its faces.
Coordinates carry 17 significant digits: a reader gets exactly these doubles.

usage: make_box.py EXAMPLE_DIR COUNT SEED [--frames F] > box.xyz
Standard library only; make_box() also gives the molecules before wrapping.
"""
import math
import random
import sys

from make_trajectory import read_pair, rotation, apply


def triclinic(a, b, c, alpha, beta, gamma):
    """Lattice rows a, b, c (a along x, b in the xy plane)."""
    ca, cb, cg = (math.cos(math.radians(x)) for x in (alpha, beta, gamma))
    sg = math.sin(math.radians(gamma))
    cy = (ca - cb * cg) / sg
    return ((a, 0.0, 0.0), (b * cg, b * sg, 0.0), (c * cb, c * cy, c * math.sqrt(1.0 - cb * cb - cy * cy)))


def box_cell(count, spacing=6.5):
    """A triclinic cell holding `count` sites `spacing` Angstrom apart."""
    k = max(1, math.ceil(count ** (1.0 / 3.0)))
    sites = [(i, j, l) for i in range(k) for j in range(k) for l in range(k)]
    edge = k * spacing
    return triclinic(edge, edge * 1.05, edge * 0.95, 80.0, 100.0, 110.0), k, sites


def frac_to_cart(cell, f):
    return tuple(f[0] * cell[0][i] + f[1] * cell[1][i] + f[2] * cell[2][i] for i in range(3))


def cart_to_frac(cell, x):
    a, b, c = cell
    def cross(u, v):
        return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])
    def dot(u, v):
        return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]
    volume = dot(a, cross(b, c))
    return tuple(dot(x, n) / volume for n in (cross(b, c), cross(c, a), cross(a, b)))


def make_box(example_dir, count, seed, cell=None, k=None, sites=None):
    """(labels, wrapped positions, cell, molecules): molecules is a list of
    (first atom, whole positions before wrapping); wrap[i] is how many cell
    vectors atom i was moved back by."""
    atoms, n1 = read_pair(example_dir + "/input-GEOMETRY.xyz")
    kinds = [atoms[:n1], atoms[n1:]]
    if cell is None:
        cell, k, sites = box_cell(count)
    rng = random.Random(seed)
    chosen = rng.sample(sites, count)
    labels, wrapped, wrap, molecules = [], [], [], []
    for m, site in enumerate(chosen):
        kind = kinds[m % 2]
        centre = [sum(a[i + 1] for a in kind) / len(kind) for i in range(3)]
        turn = rotation(rng, 180.0)
        origin = frac_to_cart(cell, [(site[i] + 0.5 + rng.uniform(-0.1, 0.1)) / k for i in range(3)])
        whole = []
        for label, *xyz in kind:
            v = apply(turn, [xyz[i] - centre[i] for i in range(3)])
            whole.append(tuple(origin[i] + v[i] for i in range(3)))
        molecules.append((len(labels), whole))
        for (label, *_), x in zip(kind, whole):
            f = cart_to_frac(cell, x)
            t = [math.floor(v) for v in f]
            labels.append(label)
            wrap.append(t)
            wrapped.append(frac_to_cart(cell, [f[i] - t[i] for i in range(3)]))
    return labels, wrapped, cell, molecules, wrap


def write_xyz(out, labels, positions, cell, comment=""):
    out.write("%d\n" % len(labels))
    lattice = " ".join("%.17g" % v for row in cell for v in row)
    out.write('Lattice="%s" Properties=species:S:1:pos:R:3 pbc="T T T"%s\n' % (lattice, comment))
    for label, p in zip(labels, positions):
        out.write("%-2s %.17g %.17g %.17g\n" % (label, p[0], p[1], p[2]))


def main():
    args = sys.argv[1:]
    frames = 1
    if "--frames" in args:
        i = args.index("--frames")
        frames = int(args[i + 1])
        del args[i:i + 2]
    if len(args) != 3:
        sys.exit(__doc__)
    example_dir, count, seed = args[0], int(args[1]), int(args[2])
    for frame in range(frames):
        labels, wrapped, cell, _, _ = make_box(example_dir, count, seed + frame)
        write_xyz(sys.stdout, labels, wrapped, cell)


if __name__ == "__main__":
    main()
