"""kavor on ASE Atoms: one pair, a trajectory of pairs, a placed pair.

Molecule 1 is the first n1 atoms of each Atoms object; n1=None finds it as
the bonded fragment of the first atom (covalent radii + 0.4 Angstrom), which
must be a leading block of atoms, as kavor-batch analyze --n1 auto does.
Positions are taken as they are (Angstrom); analyze and place do not look
at the cell, pairs does.
"""
import numpy as np
from ase import Atoms

from . import _analysis, _pairs, _placement


def analyze(atoms, n1=None):
    """The Placement of one pair (see kavor.analyze); stops raise AnalysisStop."""
    return _analysis.analyze(atoms.get_chemical_symbols(), atoms.positions, n1)


def analyze_trajectory(images, n1=None, jobs=None):
    """One FRAME_DTYPE row per image (see kavor.analyze_frames).

    images: any iterable of Atoms (a list, ase.io.iread(...)). Consecutive
    images with the same elements in the same order are analysed together;
    stopped frames get their status, not an exception.
    """
    tables = []
    symbols, positions = None, []

    def flush():
        if positions:
            tables.append(_analysis.analyze_frames(symbols, np.stack(positions), n1, jobs))
            positions.clear()

    for atoms in images:
        current = atoms.get_chemical_symbols()
        if current != symbols:
            flush()
            symbols = current
        positions.append(atoms.positions)
    flush()
    if not tables:
        return np.empty(0, dtype=_analysis.FRAME_DTYPE)
    return np.concatenate(tables)


def place(atoms, n1, r, theta, phi, alpha, beta, gamma):
    """New Atoms: the pair with molecule 1 placed as ud-kavor places it.

    r in Angstrom, angles in degrees (see kavor.place). The result's info
    holds the requested values, "name" (ud-kavor's result name), "contacts"
    (intermolecular pairs at or below 1.9 Angstrom) and "min_distance"
    (Angstrom), ready for ase.io.write to an extended XYZ file. A refused
    value raises ValueError with ud-kavor's message.
    """
    placed = _placement.place(atoms.get_chemical_symbols(), atoms.positions, n1,
                              r, theta, phi, alpha, beta, gamma)
    result = Atoms(numbers=placed.numbers, positions=placed.positions)
    result.info.update(r=r, theta=theta, phi=phi, alpha=alpha, beta=beta, gamma=gamma,
                       name=placed.name, contacts=len(placed.contacts),
                       min_distance=placed.min_distance)
    return result


def _pairs_of(atoms, **options):
    cell = atoms.cell.array if atoms.pbc.any() else None
    return _pairs.pairs(atoms.get_chemical_symbols(), atoms.positions, cell=cell,
                        pbc=atoms.pbc if cell is not None else None, **options)


def pairs(atoms, contact=3.8, com=None, ordered=False, jobs=None):
    """The analysed pairs of neighbouring molecules (see kavor.pairs).

    atoms: one Atoms, whose cell and pbc are used (no periodic direction: a
    finite cluster), or any iterable of Atoms (a list, ase.io.iread(...)),
    whose tables are joined with a leading "frame" column counting from 0.
    """
    options = dict(contact=contact, com=com, ordered=ordered, jobs=jobs)
    if isinstance(atoms, Atoms):
        return _pairs_of(atoms, **options)
    return _pairs.with_frame([(f, _pairs_of(a, **options)) for f, a in enumerate(atoms)])
