"""Pairs of neighbouring molecules in a crystal, a periodic box or a cluster.

The molecules are found and made whole, and the pairs found and analysed,
by the same C++ code as kavor-batch pairs: each row equals that program's
row (and kavor's analysis of the pair's geometry), to the last bit.
"""
import numpy as np

from . import _kavor
from ._analysis import STATUS_CODES, coordinates_of, jobs_of, tokens_of

_STATUS_NAMES = np.array(STATUS_CODES)

# One row per pair. mol1 and mol2 count from 1 by the molecules' first atoms
# (as in kavor-batch pairs); molecule 2 is moved by shift lattice vectors.
PAIR_DTYPE = np.dtype([("mol1", "i4"), ("mol2", "i4"), ("shift", "i4", (3,)),
                       ("com_distance", "f8"), ("contact", "f8"), ("status", _STATUS_NAMES.dtype),
                       ("r", "f8"), ("theta", "f8"), ("phi", "f8"), ("alpha", "f8"),
                       ("beta", "f8"), ("gamma", "f8"), ("name", "U32")])
_VALUE_FIELDS = ("com_distance", "contact", "r", "theta", "phi", "alpha", "beta", "gamma")


def _criterion(contact, com):
    if com is not None:
        return float(com), True
    return float(contact), False


def pairs(labels, positions, cell=None, pbc=None, contact=3.8, com=None, ordered=False, jobs=None,
          groups=None):
    """The analysed pairs of neighbouring molecules of one frame.

    labels, positions: as for kavor.analyze, (N, 3) in Angstrom.
    cell: the lattice vectors a, b, c as the rows of a (3, 3) array (None: a
    finite cluster); pbc: three booleans, which of them are periodic (default
    all). Molecules are bonded fragments (covalent radii + 0.4 Angstrom, over
    every periodic image), made whole from their first atom; groups (one id
    per atom) gives the molecules instead. A pair is molecule mol1 with
    molecule mol2 moved by shift (na, nb, nc) lattice vectors whose closest
    atoms are at most `contact` Angstrom apart, or, with com, whose centres of
    mass are at most com Angstrom apart. ordered=True adds every pair with
    the roles swapped.

    Returns a structured array of PAIR_DTYPE, ordered by mol1, mol2, shift:
    r and the angles are NaN where undefined and for a stopped pair, whose
    status is its stop code (not_molecular for a molecule bonded to its own
    periodic image). Stops are not raised.
    """
    distance, by_com = _criterion(contact, com)
    cell_rows = None if cell is None else coordinates_of(cell, "cell")
    pbc_flags = None if pbc is None else [bool(p) for p in np.broadcast_to(np.asarray(pbc), (3,))]
    if groups is not None:
        groups = [int(g) for g in np.asarray(groups).ravel()]
    ints, values, codes, names = _kavor.pairs(
        tokens_of(labels), coordinates_of(positions, "positions"), cell_rows, pbc_flags, distance,
        by_com, bool(ordered), groups, jobs_of(jobs))
    table = np.empty(len(codes), dtype=PAIR_DTYPE)
    table["mol1"] = ints[:, 0]
    table["mol2"] = ints[:, 1]
    table["shift"] = ints[:, 2:5]
    for k, field in enumerate(_VALUE_FIELDS):
        table[field] = values[:, k]
    table["status"] = _STATUS_NAMES[codes]
    table["name"] = names
    return table


def with_frame(tables):
    """One array of (frame, index) tables: a leading frame column."""
    dtype = np.dtype([("frame", "i8")] + PAIR_DTYPE.descr)
    out = np.empty(sum(len(t) for _, t in tables), dtype=dtype)
    start = 0
    for frame, table in tables:
        part = out[start:start + len(table)]
        part["frame"] = frame
        for field in PAIR_DTYPE.names:
            part[field] = table[field]
        start += len(table)
    return out
