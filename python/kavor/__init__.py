"""kavor: the placement of one molecule relative to another in a dimer.

The six placement parameters of molecule 1 in molecule 2's frame of principal
axes (r, theta, phi; Euler angles alpha, beta, gamma), computed by the same
C++ code as the programs kavor and kavor-batch, to the last bit; and the
reverse, molecule 1 placed at given parameters as ud-kavor places it.

    import kavor
    p = kavor.analyze(["C", "O", ...], positions, n1=9)
    p.r, p.theta, p.name
    built = kavor.place(labels, positions, 9, 5.5, 60, 120, 10, 80, 200)
    built.positions, built.contacts

    table = kavor.pairs(labels, positions, cell=cell)   # neighbouring molecules
    table["mol1"], table["shift"], table["r"]

kavor.ase works on ASE Atoms objects and trajectories, kavor.mda on
MDAnalysis trajectories.
"""
from ._analysis import (FRAME_DTYPE, STATUS_CODES, Molecule, Placement, Summary, analyze,
                        analyze_frames, leading_fragment)
from ._errors import *  # noqa: F401,F403 (AnalysisStop and a class per stop code)
from ._errors import __all__ as _stop_classes
from ._kavor import __version__
from ._pairs import PAIR_DTYPE, pairs
from ._placement import Builder, Contact, PlacedPair, place

__all__ = [
    "FRAME_DTYPE", "STATUS_CODES", "Molecule", "Placement", "Summary", "analyze",
    "analyze_frames", "leading_fragment", "Builder", "Contact", "PlacedPair", "place",
    "PAIR_DTYPE", "pairs",
] + _stop_classes
