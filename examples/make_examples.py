#!/usr/bin/env python3
"""Build the example dimer geometries in examples/<name>/input-GEOMETRY.xyz.

Standard library only.  Every monomer is built from internal coordinates
(Z-matrix: bond length, bond angle, dihedral) taken from standard literature
structures (values quoted to about 0.005 A / 0.5 deg).  The second molecule is
then placed by a rigid rotation + translation.  The script also runs the
geometry checks needed by the programs (heavy-element centre vs. centre of
mass, angles with the principal axes of inertia, intermolecular contacts).

Usage:  python3 examples/make_examples.py      (run from anywhere)
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
# masses (amu) used by the analysis program; the heaviest element is the one
# with the highest atomic number present in the molecule
MASS = {"H": 1.008, "C": 12.011, "N": 14.007, "O": 15.999, "F": 18.998404,
        "S": 32.06, "Cl": 35.45}
ZNUM = {"H": 1, "C": 6, "N": 7, "O": 8, "F": 9, "S": 16, "Cl": 17}


# ---------------------------------------------------------------- vectors
def add(a, b): return [a[i] + b[i] for i in range(3)]
def sub(a, b): return [a[i] - b[i] for i in range(3)]
def scl(s, a): return [s * a[i] for i in range(3)]
def dot(a, b): return sum(a[i] * b[i] for i in range(3))
def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
            a[0] * b[1] - a[1] * b[0]]
def norm(a): return math.sqrt(dot(a, a))
def unit(a): return scl(1.0 / norm(a), a)
def dist(a, b): return norm(sub(a, b))
def angle(a, b, c):
    """angle a-b-c in degrees"""
    u, v = sub(a, b), sub(c, b)
    return math.degrees(math.acos(max(-1.0, min(1.0, dot(u, v) / (norm(u) * norm(v))))))


def matvec(m, v): return [dot(m[i], v) for i in range(3)]
def matmul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def rot_axis(axis, deg):
    """Rodrigues rotation matrix about unit vector axis by deg."""
    x, y, z = unit(axis)
    t = math.radians(deg)
    c, s, C = math.cos(t), math.sin(t), 1.0 - math.cos(t)
    return [[c + x * x * C, x * y * C - z * s, x * z * C + y * s],
            [y * x * C + z * s, c + y * y * C, y * z * C - x * s],
            [z * x * C - y * s, z * y * C + x * s, c + z * z * C]]


def rot_x(d): return rot_axis([1, 0, 0], d)
def rot_y(d): return rot_axis([0, 1, 0], d)
def rot_z(d): return rot_axis([0, 0, 1], d)


def rot_align(a, b):
    """rotation matrix taking direction a onto direction b"""
    a, b = unit(a), unit(b)
    ax = cross(a, b)
    if norm(ax) < 1e-12:
        if dot(a, b) > 0:
            return rot_z(0.0)
        perp = cross(a, [1, 0, 0]) if abs(a[0]) < 0.9 else cross(a, [0, 1, 0])
        return rot_axis(perp, 180.0)
    return rot_axis(ax, math.degrees(math.acos(max(-1.0, min(1.0, dot(a, b))))))


# ---------------------------------------------------------------- Z-matrix
def zmatrix(rows):
    """rows: (symbol, i_bond, r, i_angle, theta, i_dihedral, phi), indices
    0-based into atoms already placed (None for the first atoms).
    Atom 1 at origin, atom 2 on +x, atom 3 in the xy plane (positive y)."""
    syms, xyz = [], []
    for k, (s, ib, r, ia, th, idh, ph) in enumerate(rows):
        if k == 0:
            p = [0.0, 0.0, 0.0]
        elif k == 1:
            p = add(xyz[ib], [r, 0.0, 0.0])
        elif k == 2:
            c, b = xyz[ib], xyz[ia]
            u = unit(sub(b, c))
            t = math.radians(th)
            # rotate u by +theta in the xy plane
            d = [u[0] * math.cos(t) - u[1] * math.sin(t),
                 u[0] * math.sin(t) + u[1] * math.cos(t), 0.0]
            p = add(c, scl(r, d))
        else:
            p = place(xyz[idh], xyz[ia], xyz[ib], r, th, ph)
        syms.append(s)
        xyz.append(p)
    return syms, xyz


def place(a, b, c, r, theta, phi):
    """NeRF: new atom d with |cd| = r, angle b-c-d = theta, dihedral a-b-c-d = phi"""
    bc = unit(sub(c, b))
    n = unit(cross(sub(b, a), bc))
    m = cross(n, bc)
    t, p = math.radians(theta), math.radians(phi)
    d2 = [-r * math.cos(t), r * math.sin(t) * math.cos(p), r * math.sin(t) * math.sin(p)]
    return add(c, [d2[0] * bc[i] + d2[1] * m[i] + d2[2] * n[i] for i in range(3)])


def transform(xyz, R=None, t=(0.0, 0.0, 0.0), origin=(0.0, 0.0, 0.0)):
    """x -> R (x - origin) + t"""
    out = []
    for p in xyz:
        q = sub(p, origin)
        if R is not None:
            q = matvec(R, q)
        out.append(add(q, t))
    return out


def com(syms, xyz):
    M = sum(MASS[s] for s in syms)
    return scl(1.0 / M, [sum(MASS[s] * p[i] for s, p in zip(syms, xyz)) for i in range(3)])


# ---------------------------------------------------------------- monomers
def formic_acid():
    # trans (Z) HCOOH, gas-phase microwave r_s structure (approx.):
    # C=O 1.202, C-O 1.343, C-H 1.097, O-H 0.972, O=C-O 124.9, O=C-H 124.1, C-O-H 106.3
    return zmatrix([
        ("C", None, 0, None, 0, None, 0),
        ("O", 0, 1.202, None, 0, None, 0),          # carbonyl O
        ("O", 0, 1.343, 1, 124.9, None, 0),         # hydroxyl O
        ("H", 0, 1.097, 1, 124.1, 2, 180.0),        # C-H
        ("H", 2, 0.972, 0, 106.3, 1, 0.0),          # O-H, cis to C=O (trans/Z acid)
    ])


def formamide():
    # planar HCONH2, gas-phase microwave structure (approx.):
    # C=O 1.219, C-N 1.352, C-H 1.098, N-H 1.002, N-C=O 124.7, N-C-H 112.7,
    # C-N-H(syn to O) 118.5, C-N-H(anti) 120.6
    return zmatrix([
        ("C", None, 0, None, 0, None, 0),
        ("O", 0, 1.219, None, 0, None, 0),
        ("N", 0, 1.352, 1, 124.7, None, 0),
        ("H", 0, 1.098, 2, 112.7, 1, 180.0),        # formyl H
        ("H", 2, 1.002, 0, 118.5, 1, 0.0),          # N-H syn to C=O (H-bond donor)
        ("H", 2, 1.002, 0, 120.6, 1, 180.0),        # N-H anti to C=O
    ])


def uracil():
    # planar diketo uracil; ring and C=O/N-H/C-H values from gas-phase
    # electron-diffraction / high-level ab initio structures (approx.).
    # Ring closes on C6-N1 (derived: see printed report).
    return zmatrix([
        ("N", None, 0, None, 0, None, 0),           # 0 N1
        ("C", 0, 1.379, None, 0, None, 0),          # 1 C2
        ("N", 1, 1.375, 0, 113.7, None, 0),         # 2 N3   N1-C2-N3
        ("C", 2, 1.401, 1, 127.8, 0, 0.0),          # 3 C4   C2-N3-C4
        ("C", 3, 1.460, 2, 113.7, 1, 0.0),          # 4 C5   N3-C4-C5
        ("C", 4, 1.343, 3, 119.8, 2, 0.0),          # 5 C6   C4-C5-C6
        ("O", 1, 1.212, 0, 122.8, 5, 180.0),        # 6 O2   N1-C2-O2
        ("O", 3, 1.218, 2, 119.9, 1, 180.0),        # 7 O4   N3-C4-O4
        ("H", 0, 1.010, 1, 115.4, 2, 180.0),        # 8 H1   C2-N1-H1
        ("H", 2, 1.013, 1, 115.8, 0, 180.0),        # 9 H3   C2-N3-H3
        ("H", 4, 1.078, 3, 118.0, 2, 180.0),        # 10 H5  C4-C5-H5
        ("H", 5, 1.081, 4, 123.1, 3, 180.0),        # 11 H6  C5-C6-H6
    ])


def formaldehyde():
    # H2CO, r_e structure: C=O 1.205, C-H 1.101, H-C-H 116.2 (O=C-H 121.9)
    return zmatrix([
        ("C", None, 0, None, 0, None, 0),
        ("O", 0, 1.205, None, 0, None, 0),
        ("H", 0, 1.101, 1, 121.9, None, 0),
        ("H", 0, 1.101, 1, 121.9, 2, 180.0),
    ])


def pyridine():
    # C5H5N, gas-phase microwave r_s structure (approx.):
    # N-C2 1.338, C2-C3 1.394, C3-C4 1.392; C6-N-C2 116.8, N-C2-C3 123.8,
    # C2-C3-C4 118.5, C3-C4-C5 118.4; C2-H 1.086, C3-H 1.082, C4-H 1.077,
    # N-C2-H 116.0, C2-C3-H 120.1.  Ring closes on C6-N (derived).
    return zmatrix([
        ("N", None, 0, None, 0, None, 0),           # 0 N1
        ("C", 0, 1.338, None, 0, None, 0),          # 1 C2
        ("C", 1, 1.394, 0, 123.8, None, 0),         # 2 C3
        ("C", 2, 1.392, 1, 118.5, 0, 0.0),          # 3 C4
        ("C", 3, 1.392, 2, 118.4, 1, 0.0),          # 4 C5
        ("C", 4, 1.394, 3, 118.5, 2, 0.0),          # 5 C6
        ("H", 1, 1.086, 0, 116.0, 5, 180.0),        # H2  N-C2-H
        ("H", 2, 1.082, 1, 120.1, 0, 180.0),        # H3  C2-C3-H
        ("H", 3, 1.077, 2, 120.8, 1, 180.0),        # H4  C3-C4-H (bisector)
        ("H", 4, 1.082, 3, 121.4, 2, 180.0),        # H5  C4-C5-H (= 360-118.5-120.1)
        ("H", 5, 1.086, 4, 120.2, 3, 180.0),        # H6  C5-C6-H (= 360-123.8-116.0)
    ])


def benzene():
    # exact D6h: regular hexagon, C-C 1.39, C-H 1.09
    rows = [("C", None, 0, None, 0, None, 0), ("C", 0, 1.39, None, 0, None, 0),
            ("C", 1, 1.39, 0, 120.0, None, 0)]
    for k in range(3, 6):
        rows.append(("C", k - 1, 1.39, k - 2, 120.0, k - 3, 0.0))
    syms, xyz = zmatrix(rows)
    # make it exactly regular (remove float drift) and put centre at origin
    c = scl(1.0 / 6.0, [sum(p[i] for p in xyz) for i in range(3)])
    a0 = math.atan2(xyz[0][1] - c[1], xyz[0][0] - c[0])
    syms, xyz = [], []
    for k in range(6):
        t = a0 + k * math.pi / 3.0
        syms.append("C"); xyz.append([1.39 * math.cos(t), 1.39 * math.sin(t), 0.0])
    for k in range(6):
        t = a0 + k * math.pi / 3.0
        syms.append("H"); xyz.append([2.48 * math.cos(t), 2.48 * math.sin(t), 0.0])
    return syms, xyz


def methanol():
    # CH3OH, gas-phase microwave structure (approx.), staggered methyl:
    # C-O 1.425, O-H 0.945, C-H 1.094, C-O-H 108.5, O-C-H(in-plane) 107.0,
    # O-C-H(out-of-plane) 112.0
    return zmatrix([
        ("C", None, 0, None, 0, None, 0),
        ("O", 0, 1.425, None, 0, None, 0),
        ("H", 1, 0.945, 0, 108.5, None, 0),
        ("H", 0, 1.094, 1, 107.0, 2, 180.0),
        ("H", 0, 1.094, 1, 112.0, 2, 60.0),
        ("H", 0, 1.094, 1, 112.0, 2, -60.0),
    ])


def methyl_rows(c, b, a, phi0, r=1.090, th=109.5):
    """three staggered methyl H on carbon c (bonded to b), dihedrals a-b-c-H
    phi0, phi0+120, phi0-120"""
    return [("H", c, r, b, th, a, phi0), ("H", c, r, b, th, a, phi0 + 120.0),
            ("H", c, r, b, th, a, phi0 - 120.0)]


def n_methylformamide():
    # trans-N-methylformamide (N-CH3 syn to O, N-H anti to O), gas-phase
    # ED / microwave values (approx.): C=O 1.219, C-N 1.366, N-CH3 1.451,
    # C-H 1.102, N-H 1.008, O=C-N 124.8, N-C-H 112.5, C-N-C 121.5,
    # C-N-H 119.0; methyl C-H 1.090, N-C-H 109.5, staggered.
    rows = [
        ("C", None, 0, None, 0, None, 0),           # 0 C (carbonyl)
        ("O", 0, 1.219, None, 0, None, 0),          # 1 O
        ("N", 0, 1.366, 1, 124.8, None, 0),         # 2 N
        ("H", 0, 1.102, 2, 112.5, 1, 180.0),        # 3 formyl H
        ("C", 2, 1.451, 0, 121.5, 1, 0.0),          # 4 methyl C, syn to O
        ("H", 2, 1.008, 0, 119.0, 1, 180.0),        # 5 N-H, anti to O
    ]
    rows += methyl_rows(4, 2, 0, 180.0)             # 6-8
    return zmatrix(rows)


def glycine():
    # neutral glycine, conformer I (Cs, heavy atoms planar, NH2 H's pointing
    # towards the carbonyl side), gas-phase ED / microwave values (approx.):
    # N-CA 1.467, CA-C 1.526, C=O 1.204, C-O 1.355, O-H 0.966, N-H 1.001,
    # CA-H 1.093; N-CA-C 112.1, CA-C=O 125.1, CA-C-O 111.6, C-O-H 106.5,
    # CA-N-H 110.0, H-N-CA-C +-58, N-CA-H 108.5.
    rows = [
        ("N", None, 0, None, 0, None, 0),           # 0 N
        ("C", 0, 1.467, None, 0, None, 0),          # 1 CA
        ("C", 1, 1.526, 0, 112.1, None, 0),         # 2 C
        ("O", 2, 1.204, 1, 125.1, 0, 0.0),          # 3 O= (syn to N)
        ("O", 2, 1.355, 1, 111.6, 0, 180.0),        # 4 O(H)
        ("H", 4, 0.966, 2, 106.5, 1, 180.0),        # 5 H(O), cis to C=O
        ("H", 0, 1.001, 1, 110.0, 2, 58.0),         # 6 H(N)
        ("H", 0, 1.001, 1, 110.0, 2, -58.0),        # 7 H(N)
        ("H", 1, 1.093, 2, 108.5, 0, 121.5),        # 8 H(CA)
        ("H", 1, 1.093, 2, 108.5, 0, -121.5),       # 9 H(CA)
    ]
    return zmatrix(rows)


def ethanol(gauche=False):
    # ethanol, trans (anti) or gauche conformer, microwave values (approx.):
    # C-C 1.512, C-O 1.425, O-H 0.962, C-H 1.092; C-C-O 107.8, C-O-H 108.5,
    # C-C-H 110.5, O-C-H 110.0; staggered methyl.
    rows = [
        ("C", None, 0, None, 0, None, 0),           # 0 CH3
        ("C", 0, 1.512, None, 0, None, 0),          # 1 CH2
        ("O", 1, 1.425, 0, 107.8, None, 0),         # 2 O
        ("H", 2, 0.962, 1, 108.5, 0, 61.0 if gauche else 180.0),   # 3 H(O)
        ("H", 1, 1.092, 2, 110.0, 0, 120.5),        # 4 H(CH2)
        ("H", 1, 1.092, 2, 110.0, 0, -120.5),       # 5 H(CH2)
    ]
    rows += methyl_rows(0, 1, 2, 180.0, r=1.092, th=110.5)   # 6-8
    return zmatrix(rows)


def acetaldehyde():
    # CH3CHO, microwave r_s structure (approx.): C-C 1.501, C=O 1.210,
    # C-H(ald) 1.114, C-C=O 123.9, C-C-H(ald) 115.3; methyl C-H 1.086,
    # C-C-H 110.0, one methyl H eclipsing C=O.
    rows = [
        ("C", None, 0, None, 0, None, 0),           # 0 C (carbonyl)
        ("O", 0, 1.210, None, 0, None, 0),          # 1 O
        ("C", 0, 1.501, 1, 123.9, None, 0),         # 2 CH3
        ("H", 0, 1.114, 2, 115.3, 1, 180.0),        # 3 H(ald)
    ]
    rows += methyl_rows(2, 0, 1, 0.0, r=1.086, th=110.0)     # 4-6
    return zmatrix(rows)


def methylpyridine():
    # 2-methylpyridine: pyridine ring as in pyridine() with the H on C2
    # replaced by CH3 (C2-C 1.503, N-C2-C 116.5, methyl C-H 1.090, 110.0,
    # one methyl H in the ring plane anti to N).
    rows_ring = [
        ("N", None, 0, None, 0, None, 0),
        ("C", 0, 1.338, None, 0, None, 0),
        ("C", 1, 1.394, 0, 123.8, None, 0),
        ("C", 2, 1.392, 1, 118.5, 0, 0.0),
        ("C", 3, 1.392, 2, 118.4, 1, 0.0),
        ("C", 4, 1.394, 3, 118.5, 2, 0.0),
        ("C", 1, 1.503, 0, 116.5, 5, 180.0),        # 6 methyl C on C2
        ("H", 2, 1.082, 1, 120.1, 0, 180.0),        # H3
        ("H", 3, 1.077, 2, 120.8, 1, 180.0),        # H4
        ("H", 4, 1.082, 3, 121.4, 2, 180.0),        # H5
        ("H", 5, 1.086, 4, 120.2, 3, 180.0),        # H6
    ]
    rows_ring += methyl_rows(6, 1, 0, 180.0, r=1.090, th=110.0)   # 11-13
    return zmatrix(rows_ring)


def chloroethane():
    # CH3CH2Cl, microwave structure (approx.): C-Cl 1.788, C-C 1.520,
    # C-C-Cl 111.0, C-H 1.090, Cl-C-H 106.5 (CH2), C-C-H 110.5 (CH3), staggered.
    rows = [
        ("C", None, 0, None, 0, None, 0),           # 0 CH2
        ("Cl", 0, 1.788, None, 0, None, 0),         # 1 Cl
        ("C", 0, 1.520, 1, 111.0, None, 0),         # 2 CH3
        ("H", 0, 1.090, 1, 106.5, 2, 119.0),        # 3
        ("H", 0, 1.090, 1, 106.5, 2, -119.0),       # 4
    ]
    rows += methyl_rows(2, 0, 1, 180.0, r=1.090, th=110.5)   # 5-7
    return zmatrix(rows)


def chloroethanol(ccoh=-62.0):
    # 2-chloroethanol, gauche conformer with the O-H pointing towards Cl
    # (microwave / ED, approx.): C-Cl 1.789, C-C 1.519, C-O 1.413, O-H 0.962,
    # C-H 1.092; Cl-C-C 112.0, C-C-O 112.8, C-O-H 106.0, Cl-C-C-O 64.0,
    # C-C-O-H -62.0.
    rows = [
        ("Cl", None, 0, None, 0, None, 0),          # 0 Cl
        ("C", 0, 1.789, None, 0, None, 0),          # 1 C1 (CH2Cl)
        ("C", 1, 1.519, 0, 112.0, None, 0),         # 2 C2 (CH2OH)
        ("O", 2, 1.413, 1, 112.8, 0, 64.0),         # 3 O
        ("H", 3, 0.962, 2, 106.0, 1, ccoh),         # 4 H(O)
        ("H", 1, 1.092, 2, 110.0, 0, 121.0),        # 5 (dihedral about C2-C1 from Cl)
        ("H", 1, 1.092, 2, 110.0, 0, -121.0),       # 6
        ("H", 2, 1.092, 1, 109.5, 3, 121.0),        # 7 (dihedral about C1-C2 from O)
        ("H", 2, 1.092, 1, 109.5, 3, -121.0),       # 8
    ]
    return zmatrix(rows)


def methanethiol():
    # CH3SH, microwave structure (approx.): C-S 1.819, S-H 1.336, C-H 1.091,
    # C-S-H 96.5, S-C-H 109.8 (in-plane 106.0, out-of-plane 110.5), staggered.
    return zmatrix([
        ("C", None, 0, None, 0, None, 0),
        ("S", 0, 1.819, None, 0, None, 0),
        ("H", 1, 1.336, 0, 96.5, None, 0),
        ("H", 0, 1.091, 1, 106.0, 2, 180.0),
        ("H", 0, 1.091, 1, 110.5, 2, 60.0),
        ("H", 0, 1.091, 1, 110.5, 2, -60.0),
    ])


def ethanethiol(gauche=True):
    # CH3CH2SH, gauche conformer (approx.): C-C 1.529, C-S 1.820, S-H 1.336,
    # C-C-S 109.0, C-S-H 96.5, C-C-S-H 62.0, C-H 1.092, staggered methyl.
    rows = [
        ("C", None, 0, None, 0, None, 0),           # 0 CH3
        ("C", 0, 1.529, None, 0, None, 0),          # 1 CH2
        ("S", 1, 1.820, 0, 109.0, None, 0),         # 2 S
        ("H", 2, 1.336, 1, 96.5, 0, 62.0 if gauche else 180.0),   # 3 H(S)
        ("H", 1, 1.092, 2, 108.5, 0, 120.5),        # 4
        ("H", 1, 1.092, 2, 108.5, 0, -120.5),       # 5
    ]
    rows += methyl_rows(0, 1, 2, 180.0, r=1.092, th=110.5)
    return zmatrix(rows)


def chloropyridine():
    # 2-chloropyridine: pyridine ring as in pyridine() with C2-Cl 1.740,
    # N-C2-Cl 116.0.
    return zmatrix([
        ("N", None, 0, None, 0, None, 0),
        ("C", 0, 1.338, None, 0, None, 0),
        ("C", 1, 1.394, 0, 123.8, None, 0),
        ("C", 2, 1.392, 1, 118.5, 0, 0.0),
        ("C", 3, 1.392, 2, 118.4, 1, 0.0),
        ("C", 4, 1.394, 3, 118.5, 2, 0.0),
        ("Cl", 1, 1.740, 0, 116.0, 5, 180.0),
        ("H", 2, 1.082, 1, 120.1, 0, 180.0),
        ("H", 3, 1.077, 2, 120.8, 1, 180.0),
        ("H", 4, 1.082, 3, 121.4, 2, 180.0),
        ("H", 5, 1.086, 4, 120.2, 3, 180.0),
    ])


def methyl_formate():
    # cis methyl formate HC(=O)OCH3, microwave structure (approx.):
    # C=O 1.200, C-O 1.334, O-CH3 1.437, C-H 1.101, O=C-O 125.9, C-O-C 114.8,
    # O=C-H 124.9 (H-C-O 109.2), methyl C-H 1.090, O-C-H 109.5.
    rows = [
        ("C", None, 0, None, 0, None, 0),           # 0 C (carbonyl)
        ("O", 0, 1.200, None, 0, None, 0),          # 1 O=
        ("O", 0, 1.334, 1, 125.9, None, 0),         # 2 O(ester)
        ("H", 0, 1.101, 1, 124.9, 2, 180.0),        # 3 H(formyl)
        ("C", 2, 1.437, 0, 114.8, 1, 0.0),          # 4 CH3, cis to C=O
    ]
    rows += methyl_rows(4, 2, 0, 180.0)
    return zmatrix(rows)


def hydroxylamine():
    # trans NH2OH (Cs), microwave structure (approx.): N-O 1.453, O-H 0.962,
    # N-H 1.016, N-O-H 101.4, O-N-H 103.2, H-N-H 107.1.
    return zmatrix([
        ("N", None, 0, None, 0, None, 0),
        ("O", 0, 1.453, None, 0, None, 0),
        ("H", 1, 0.962, 0, 101.4, None, 0),
        ("H", 0, 1.016, 1, 103.2, 2, 180.0 - 56.0),
        ("H", 0, 1.016, 1, 103.2, 2, -180.0 + 56.0),
    ])


def nitromethane():
    # CH3NO2 (approx.): C-N 1.489, N-O 1.224, O-N-O 125.3, C-H 1.088.
    rows = [
        ("C", None, 0, None, 0, None, 0),
        ("N", 0, 1.489, None, 0, None, 0),
        ("O", 1, 1.224, 0, 117.35, None, 0),
        ("O", 1, 1.224, 0, 117.35, 2, 180.0),
    ]
    rows += methyl_rows(0, 1, 2, 90.0, r=1.088, th=107.5)
    return zmatrix(rows)


def dimethyl_sulfoxide():
    # (CH3)2SO, Cs (approx.): S=O 1.485, S-C 1.799, O-S-C 106.7, C-S-C 96.6.
    rows = [
        ("S", None, 0, None, 0, None, 0),
        ("O", 0, 1.485, None, 0, None, 0),
        ("C", 0, 1.799, 1, 106.7, None, 0),
        ("C", 0, 1.799, 1, 106.7, 2, 102.4),        # gives C-S-C 96.6
    ]
    rows += methyl_rows(2, 0, 1, 180.0, r=1.090, th=108.5)
    rows += methyl_rows(3, 0, 1, 180.0, r=1.090, th=108.5)
    return zmatrix(rows)


def thioacetamide():
    # CH3C(=S)NH2 planar heavy frame (approx.): C=S 1.668, C-N 1.345,
    # C-C 1.505, S=C-N 122.5, S=C-C 122.8, N-H 1.005, C-N-H 120.
    rows = [
        ("C", None, 0, None, 0, None, 0),
        ("S", 0, 1.668, None, 0, None, 0),
        ("N", 0, 1.345, 1, 122.5, None, 0),
        ("C", 0, 1.505, 1, 122.8, 2, 180.0),
        ("H", 2, 1.005, 0, 120.0, 1, 0.0),
        ("H", 2, 1.005, 0, 120.0, 1, 180.0),
    ]
    rows += methyl_rows(3, 0, 1, 0.0, r=1.090, th=110.0)
    return zmatrix(rows)


# ---------------------------------------------------------------- dimers
def cyclic_c2h(mono, i_acc, i_don, i_h, d):
    """Centrosymmetric doubly H-bonded dimer of a planar monomer.
    i_acc: acceptor atom (C=O oxygen), i_don: donor heavy atom, i_h: its H.
    The monomer is translated so that |acc + don| = d with acc+don along the
    D-H direction reversed; the partner is the inversion image (-x).  Then
    D-H...A' is exactly linear and the D...A' distance is d (C2h symmetry)."""
    syms, xyz = mono
    a, D, h = xyz[i_acc], xyz[i_don], xyz[i_h]
    u = scl(-1.0, unit(sub(h, D)))
    t = scl(0.5, sub(scl(d, u), add(a, D)))
    m1 = transform(xyz, t=t)
    m2 = [scl(-1.0, p) for p in m1]
    return syms + syms, m1 + m2, len(syms)


def formaldehyde_pyridine():
    s1, x1 = formaldehyde()
    s2, x2 = pyridine()
    # pyridine (molecule 2) in the xy plane, ring centroid at origin
    c2 = scl(1.0 / 6.0, [sum(x2[k][i] for k in range(6)) for i in range(3)])
    x2 = transform(x2, origin=c2)
    # formaldehyde (molecule 1): arbitrary rigid rotation about its CM, then
    # put its CM 3.5 A above the ring plane with an in-plane offset
    R = matmul(rot_z(20.0), matmul(rot_y(35.0), rot_x(50.0)))
    x1 = transform(x1, R=R, t=[0.90, 0.60, 3.50], origin=com(s1, x1))
    return s1 + s2, x1 + x2, len(s1)


def benzene_pd():
    s, x = benzene()
    # parallel-displaced: identical orientation, interplanar 3.5 A, offset 1.6 A
    x2 = transform(x, t=[1.60, 0.0, 3.50])
    return s + s, x + x2, len(s)


def methanol_dimer():
    sd, xd = methanol()                 # molecule 1 = H-bond donor
    sa, xa = methanol()                 # molecule 2 = H-bond acceptor
    C, O, H = xd[0], xd[1], xd[2]
    h = unit(sub(H, O))
    R_OO = 2.95
    oacc = add(O, scl(R_OO, h))         # linear O-H...O
    # acceptor lone pair: tetrahedral-like, 54.75 deg out of the C-O-H plane
    Ca, Oa, Ha = xa[0], xa[1], xa[2]
    uc, uh = unit(sub(Ca, Oa)), unit(sub(Ha, Oa))
    bis = scl(-1.0, unit(add(uc, uh)))
    nrm = unit(cross(uc, uh))
    lp = add(scl(math.cos(math.radians(54.75)), bis), scl(math.sin(math.radians(54.75)), nrm))
    target = scl(-1.0, h)               # from acceptor O towards donor H
    R = matmul(rot_axis(target, 100.0), rot_align(lp, target))   # arbitrary twist 100 deg
    xa = transform(xa, R=R, t=oacc, origin=Oa)
    return sd + sa, xd + xa, len(sd)


def lp_sp2(xyz, iA, iB, iX, side=1.0, ang=120.0):
    """in-plane lone-pair direction of an sp2 acceptor A bonded to B (plane
    defined by B's other substituent X): unit vector at angle `ang` from A->B,
    on the side of X (side=+1) or away from it (side=-1)."""
    u = unit(sub(xyz[iB], xyz[iA]))
    w = sub(xyz[iX], xyz[iB])
    p = unit(sub(w, scl(dot(w, u), u)))
    t = math.radians(ang)
    return add(scl(math.cos(t), u), scl(side * math.sin(t), p))


def lp_sp3(xyz, iA, i1, i2, sign=1.0, tilt=54.75):
    """lone-pair direction of an sp3 acceptor A bonded to i1 and i2"""
    u1, u2 = unit(sub(xyz[i1], xyz[iA])), unit(sub(xyz[i2], xyz[iA]))
    bis = scl(-1.0, unit(add(u1, u2)))
    nrm = unit(cross(u1, u2))
    t = math.radians(tilt)
    return add(scl(math.cos(t), bis), scl(sign * math.sin(t), nrm))


def lp_ring_n(xyz, iN, i2, i6):
    """pyridine-type N lone pair: opposite to the bisector of N->C2, N->C6"""
    return scl(-1.0, unit(add(unit(sub(xyz[i2], xyz[iN])), unit(sub(xyz[i6], xyz[iN])))))


def hbond_dimer(don, iD, iH, acc, iA, lp, r_da, twist, bend=0.0):
    """Open-chain dimer, molecule 1 = donor (kept in its Z-matrix frame),
    molecule 2 = acceptor placed by a rigid rotation + translation:
    the acceptor's lone-pair direction lp is turned onto A->H (so the
    H-bond points along the lone pair), the acceptor is spun by `twist` deg
    about that line, the donor H-bond is bent by `bend` deg (A moved off the
    D-H line in a generic direction) and A is put at D...A = r_da."""
    sd, xd = don
    sa, xa = acc
    D, H = xd[iD], xd[iH]
    h = unit(sub(H, D))
    if bend:
        perp = unit(cross(h, [0.3, 0.5, 0.8]))
        h = unit(matvec(rot_axis(perp, bend), h))
    a_pos = add(D, scl(r_da, h))
    target = unit(sub(H, a_pos))            # from acceptor towards donor H
    R = matmul(rot_axis(target, twist), rot_align(lp, target))
    xa2 = transform(xa, R=R, t=a_pos, origin=xa[iA])
    return sd + sa, xd + xa2, len(sd)


def n_methylformamide_dimer():
    m = n_methylformamide()
    # donor N-H (mol 1) ... O=C (mol 2); acceptor lone pair anti to N
    lp = lp_sp2(m[1], 1, 0, 2, side=-1.0, ang=125.0)
    return hbond_dimer(m, 2, 5, n_methylformamide(), 1, lp, 2.92, 47.0)


def glycine_dimer():
    # open-chain: carboxyl O-H (mol 1) ... O=C carbonyl (mol 2)
    g = glycine()
    lp = lp_sp2(g[1], 3, 2, 4, side=1.0, ang=130.0)   # lone pair on the OH side
    return hbond_dimer(g, 4, 5, glycine(), 3, lp, 2.76, 23.0, bend=6.0)


def ethanol_dimer():
    # trans ethanol donor O-H ... O (sp3 lone pair) of trans ethanol acceptor
    e = ethanol()
    lp = lp_sp3(e[1], 2, 1, 3, sign=1.0)
    return hbond_dimer(e, 2, 3, ethanol(), 2, lp, 2.91, 223.0, bend=4.0)


def chloroethanol_dmso():
    # 2-chloroethanol (gauche) O-H (mol 1) ... O=S of dimethyl sulfoxide (mol 2)
    c = chloroethanol(ccoh=180.0)     # OH turned away from Cl (see README)
    d = dimethyl_sulfoxide()
    lp = lp_sp2(d[1], 1, 0, 2, side=1.0, ang=118.0)
    return hbond_dimer(c, 3, 4, d, 1, lp, 2.74, 211.0, bend=5.0)


def nmf_methylpyridine():
    # N-methylformamide N-H (mol 1) ... N of 2-methylpyridine (mol 2)
    m = n_methylformamide()
    p = methylpyridine()
    lp = lp_ring_n(p[1], 0, 1, 5)
    return hbond_dimer(m, 2, 5, p, 0, lp, 3.02, 118.0, bend=7.0)


def acetaldehyde_methylpyridine():
    # stacked: 2-methylpyridine (mol 2) in the xy plane, ring centroid at the
    # origin; acetaldehyde (mol 1) turned by an arbitrary rotation about its
    # CM, CM 3.55 A above the ring plane with an in-plane offset.
    s1, x1 = acetaldehyde()
    s2, x2 = methylpyridine()
    c2 = scl(1.0 / 6.0, [sum(x2[k][i] for k in range(6)) for i in range(3)])
    x2 = transform(x2, origin=c2)
    R = matmul(rot_z(-37.0), matmul(rot_y(14.0), rot_x(23.0)))
    x1 = transform(x1, R=R, t=[0.55, -0.35, 3.55], origin=com(s1, x1))
    return s1 + s2, x1 + x2, len(s1)


# ---------------------------------------------------------------- output
def geometry_block(syms, xyz, n1):
    lines = [str(len(syms))]
    for s, p in zip(syms, xyz):
        q = [round(c, 8) + 0.0 for c in p]      # + 0.0 avoids printing "-0.00000000"
        lines.append("%-2s %16.8f %16.8f %16.8f" % (s, q[0], q[1], q[2]))
    lines.append("")
    lines.append(str(n1))
    return "\n".join(lines) + "\n"


def write(name, fname, text):
    d = os.path.join(HERE, name)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, fname), "w") as f:
        f.write(text)


# Builder inputs, on pairs the analysis accepts: r, theta, phi, alpha, beta, gamma.
UD_VALUES = {
    "n-methylformamide-dimer": (5.5, 60.0, 120.0, 10.0, 80.0, 200.0),
    "ethanol-dimer": (6.0, 100.0, 250.0, 45.0, 120.0, 300.0),
    "formamide-dimer": (5.0, 90.0, 45.0, 30.0, 60.0, 90.0),
}


def ud_tail(r, th, ph, al, be, ga):
    return ("user-defined position: r (Angstrom), theta, phi (degrees)\n%.1f\n%.1f\n%.1f\n"
            "user-defined Euler angles: alpha, beta, gamma (degrees)\n%.1f\n%.1f\n%.1f\nend\n"
            % (r, th, ph, al, be, ga))


# ---------------------------------------------------------------- checks
def jacobi(a, tol=1e-14, maxit=100):
    """eigenvalues/eigenvectors of a symmetric 3x3 matrix (cyclic Jacobi).
    returns (vals, vecs) with vecs[k] the k-th eigenvector, sorted ascending."""
    a = [row[:] for row in a]
    v = [[1.0 if i == j else 0.0 for j in range(3)] for i in range(3)]
    for _ in range(maxit):
        off = sum(a[i][j] ** 2 for i in range(3) for j in range(3) if i != j)
        if off < tol:
            break
        for p in range(3):
            for q in range(p + 1, 3):
                if abs(a[p][q]) < 1e-300:
                    continue
                th = 0.5 * math.atan2(2.0 * a[p][q], a[q][q] - a[p][p])
                c, s = math.cos(th), math.sin(th)
                for k in range(3):      # A <- A J
                    akp, akq = a[k][p], a[k][q]
                    a[k][p], a[k][q] = c * akp - s * akq, s * akp + c * akq
                for k in range(3):      # A <- J^T A
                    apk, aqk = a[p][k], a[q][k]
                    a[p][k], a[q][k] = c * apk - s * aqk, s * apk + c * aqk
                for k in range(3):
                    vkp, vkq = v[k][p], v[k][q]
                    v[k][p], v[k][q] = c * vkp - s * vkq, s * vkp + c * vkq
    pairs = sorted((a[k][k], [v[i][k] for i in range(3)]) for k in range(3))
    return [p[0] for p in pairs], [p[1] for p in pairs]


ANG_TOL = 5.0        # program: axis distinguishable if |90 - angle| > 5 deg
DIST_TOL = 0.1       # program: |CM -> heavy-element centre| must exceed 0.1 A
ANG_SAFE = 10.0      # our own margin for new examples: angle in [10, 80] deg
DIST_SAFE = 0.3      # and |r| > 0.3 A


def orient(syms, xyz):
    """r = CM -> mass-weighted centre of the atoms of the heaviest element
    (highest atomic number); acute angles (deg) between r and the principal
    axes of inertia (Ia <= Ib <= Ic)."""
    cm = com(syms, xyz)
    heavy = max(set(syms), key=lambda s: ZNUM[s])
    hv = [(MASS[s], p) for s, p in zip(syms, xyz) if s == heavy]
    mh = sum(m for m, _ in hv)
    hc = scl(1.0 / mh, [sum(m * p[i] for m, p in hv) for i in range(3)])
    vec = sub(hc, cm)
    dcm = norm(vec)
    I = [[0.0] * 3 for _ in range(3)]
    for s, p in zip(syms, xyz):
        m, r = MASS[s], sub(p, cm)
        r2 = dot(r, r)
        for i in range(3):
            for j in range(3):
                I[i][j] += m * ((r2 if i == j else 0.0) - r[i] * r[j])
    vals, vecs = jacobi(I)
    angs = []
    for e in vecs:
        if dcm < 1e-12:
            angs.append(float("nan"))
        else:
            c = abs(dot(e, vec)) / (norm(e) * dcm)
            angs.append(math.degrees(math.acos(min(1.0, c))))   # acute angle 0..90
    return heavy, dcm, angs, vals


def judge(dcm, angs):
    """program rule: >= 2 axes with |90 - angle| > 5 deg and |r| > 0.1 A.
    margin = (|90 - angle| - 5) of the second-best axis (deg; > 0 = accepted).
    safe = both counting axes in [10, 80] deg and |r| > 0.3 A."""
    dev = sorted((90.0 - a for a in angs if a == a), reverse=True)
    n_ok = sum(1 for d in dev if d > ANG_TOL)
    margin = (dev[1] - ANG_TOL) if len(dev) >= 2 else float("nan")
    ok = dcm > DIST_TOL and n_ok >= 2
    n_safe = sum(1 for a in angs if a == a and ANG_SAFE <= a <= 90.0 - ANG_SAFE)
    safe = ok and dcm > DIST_SAFE and n_safe >= 2
    return ok, n_ok, margin, safe


def check_molecule(label, syms, xyz):
    heavy, dcm, angs, vals = orient(syms, xyz)
    ok, n_ok, margin, safe = judge(dcm, angs)
    print("  %-22s heavy=%-2s |CM->centre| = %.4f A  principal moments = %s"
          % (label, heavy, dcm, " ".join("%.3f" % x for x in vals)))
    print("  %-22s angles to axes (Ia<=Ib<=Ic, acute) = %s deg -> %d axis/axes >5 deg from 90,"
          " margin %+.2f deg: %s%s"
          % ("", ", ".join("%.2f" % a for a in angs), n_ok, margin,
             "PASS" if ok else "FAIL", " (comfortable)" if safe else ""))
    return dict(label=label, heavy=heavy, dist=dcm, angles=angs, moments=vals,
                ok=ok, margin=margin, safe=safe)


def min_inter(syms, xyz, n1):
    best = (1e9, None, None)
    for i in range(n1):
        for j in range(n1, len(xyz)):
            d = dist(xyz[i], xyz[j])
            if d < best[0]:
                best = (d, "%s%d" % (syms[i], i + 1), "%s%d" % (syms[j], j + 1))
    return best


def contact_classes(syms, xyz, n1):
    best = {}
    for i in range(n1):
        for j in range(n1, len(xyz)):
            k = (syms[i] == "H") + (syms[j] == "H")
            d = dist(xyz[i], xyz[j])
            if k not in best or d < best[k][0]:
                best[k] = (d, "%s%d-%s%d" % (syms[i], i + 1, syms[j], j + 1))
    return " / ".join("%s %.3f" % (best[k][1], best[k][0]) if k in best else "-"
                      for k in (0, 1, 2))


def report_hbond(tag, xyz, d, h, a):
    print("  H-bond %s: D...A = %.3f  H...A = %.3f  D-H...A = %.1f deg"
          % (tag, dist(xyz[d], xyz[a]), dist(xyz[h], xyz[a]), angle(xyz[d], xyz[h], xyz[a])))


def main():
    # internal-geometry diagnostics for ring closures
    s, x = uracil()
    print("uracil ring closure: C6-N1 = %.4f A, C5-C6-N1 = %.2f, C6-N1-C2 = %.2f deg"
          % (dist(x[5], x[0]), angle(x[4], x[5], x[0]), angle(x[5], x[0], x[1])))
    s, x = pyridine()
    print("pyridine ring closure: C6-N = %.4f A, C5-C6-N = %.2f, C6-N-C2 = %.2f deg"
          % (dist(x[5], x[0]), angle(x[4], x[5], x[0]), angle(x[5], x[0], x[1])))

    # screen of candidate monomers (program rule, plus our safe margin)
    print("\nmonomer screen (angles = acute angles of CM->heavy centre to Ia, Ib, Ic):")
    for label, mono in [
            ("N-methylformamide (trans)", n_methylformamide()), ("glycine (I)", glycine()),
            ("ethanol (trans)", ethanol()), ("ethanol (gauche)", ethanol(gauche=True)),
            ("acetaldehyde", acetaldehyde()), ("2-methylpyridine", methylpyridine()),
            ("2-chloroethanol (OH->Cl)", chloroethanol()),
            ("2-chloroethanol (OH anti)", chloroethanol(ccoh=180.0)),
            ("dimethyl sulfoxide", dimethyl_sulfoxide()), ("chloroethane", chloroethane()),
            ("2-chloropyridine", chloropyridine()), ("methanethiol", methanethiol()),
            ("ethanethiol (gauche)", ethanethiol()), ("thioacetamide", thioacetamide()),
            ("methyl formate (cis)", methyl_formate()), ("hydroxylamine (trans)", hydroxylamine()),
            ("nitromethane", nitromethane())]:
        heavy, dcm, angs, _ = orient(*mono)
        ok, n_ok, margin, safe = judge(dcm, angs)
        print("  %-26s %-2s |r| %.3f  %s  margin %+6.2f  %s"
              % (label, heavy, dcm, "/".join("%5.2f" % a for a in angs), margin,
                 "safe" if safe else ("pass (small margin)" if ok else "FAIL")))

    dimers = [
        ("formic-acid-dimer", cyclic_c2h(formic_acid(), 1, 2, 4, 2.70), True,
         [("O-H...O=C", 2, 4, 6)]),
        ("formamide-dimer", cyclic_c2h(formamide(), 1, 2, 4, 2.92), True,
         [("N-H...O=C", 2, 4, 7)]),
        ("uracil-dimer", cyclic_c2h(uracil(), 7, 2, 9, 2.90), True,
         [("N3-H...O4'", 2, 9, 19)]),
        ("formaldehyde-pyridine", formaldehyde_pyridine(), True, []),
        ("benzene-dimer", benzene_pd(), False, []),
        ("methanol-dimer", methanol_dimer(), True, [("O-H...O", 1, 2, 7)]),
        # ---- added examples (both molecules accepted with a safe margin)
        ("n-methylformamide-dimer", n_methylformamide_dimer(), True,
         [("N-H...O=C", 2, 5, 9 + 1)]),
        ("glycine-dimer", glycine_dimer(), True, [("O-H...O=C", 4, 5, 10 + 3)]),
        ("ethanol-dimer", ethanol_dimer(), True, [("O-H...O", 2, 3, 9 + 2)]),
        ("acetaldehyde-2-methylpyridine", acetaldehyde_methylpyridine(), True, []),
        ("n-methylformamide-2-methylpyridine", nmf_methylpyridine(), True,
         [("N-H...N(py)", 2, 5, 9 + 0)]),
        ("2-chloroethanol-dimethylsulfoxide", chloroethanol_dmso(), True,
         [("O-H...O=S", 3, 4, 9 + 1)]),
    ]
    allres = []
    for name, (syms, xyz, n1), _, hbs in dimers:
        text = geometry_block(syms, xyz, n1)
        write(name, "input-GEOMETRY.xyz", text)
        if name in UD_VALUES:
            write(name, "UD-input-GEOMETRY.xyz", text + ud_tail(*UD_VALUES[name]))
        print("\n%s: %d atoms, N1 = %d" % (name, len(syms), n1))
        for tag, d, h, a in hbs:
            report_hbond(tag, xyz, d, h, a)
        dmin, ai, aj = min_inter(syms, xyz, n1)
        print("  closest intermolecular pair: %s-%s %.3f A %s"
              % (ai, aj, dmin, "OK" if dmin > 1.6 else "TOO CLOSE"))
        print("  closest non-H / H...non-H / H...H contacts: %s"
              % contact_classes(syms, xyz, n1))
        r1 = check_molecule("molecule 1", syms[:n1], xyz[:n1])
        r2 = check_molecule("molecule 2", syms[n1:], xyz[n1:])
        allres.append((name, r1, r2, dmin))
    print("\nsummary (program rule: >= 2 axes with |90 - angle| > 5 deg, |r| > 0.1 A;"
          " margin = second-best |90 - angle| - 5;\n benzene-dimer is meant to be refused):")
    for name, r1, r2, dmin in allres:
        print("  %-35s mol1 %s (%s; |r| %.3f; margin %+6.2f)  mol2 %s (%s; |r| %.3f; margin %+6.2f)"
              "  min inter %.3f" %
              (name, "PASS" if r1["ok"] else "FAIL", "/".join("%.2f" % a for a in r1["angles"]),
               r1["dist"], r1["margin"], "PASS" if r2["ok"] else "FAIL",
               "/".join("%.2f" % a for a in r2["angles"]), r2["dist"], r2["margin"], dmin))


if __name__ == "__main__":
    main()
