"""The placement: molecule 1 put where the user asks, as ud-kavor puts it.

r in Angstrom, the angles in degrees, with ud-kavor's accepted ranges
(r >= 0; theta 0..180; phi, alpha, gamma 0..360; beta 0..180), its nudges at
the range edges and its arithmetic: the positions are those ud-kavor writes
to input-GEOMETRY.xyz, to the last bit.
"""
import numbers
from collections import namedtuple
from dataclasses import dataclass

import numpy as np

from . import _kavor
from ._analysis import coordinates_of, leading_fragment, n1_of, tokens_of
from ._errors import stop_for

# An intermolecular pair at or below 1.9 Angstrom: i an atom of molecule 1,
# k one of molecule 2 (indices from 0 into the positions), distance in Angstrom.
Contact = namedtuple("Contact", "i k distance")

# Stops that are ud-kavor refusing the user's values rather than the pair.
_REFUSALS = ("user_value", "distance_too_large")


@dataclass(frozen=True, eq=False)
class PlacedPair:
    positions: np.ndarray   # (N, 3), Angstrom, in molecule 2's frame
    numbers: np.ndarray     # atomic numbers, in the order of the input
    contacts: list          # Contact pairs, in ud-kavor's order (molecule 1, then 2)
    min_distance: float     # shortest intermolecular distance, Angstrom
    name: str               # "[0005.5-060-120]-(010-080-200)", ud-kavor's result name


def _real(value, name):
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s must be a real number, got %r" % (name, value))
    return float(value)


class Builder:
    """A pair analysed once in ud-kavor's mode; place() puts molecule 1 anywhere.

    labels, positions and n1 as for kavor.analyze (n1=None: the bonded
    fragment of the first atom). Faster than kavor.place for many points.
    """

    def __init__(self, labels, positions, n1):
        tokens = tokens_of(labels)
        positions = coordinates_of(positions, "positions")
        n1 = n1_of(n1)
        if n1 is None:
            n1 = leading_fragment(tokens, positions)
        self._base = _kavor.PlacementBase(tokens, positions, n1)

    def place(self, r, theta, phi, alpha, beta, gamma):
        """A PlacedPair; a value ud-kavor refuses raises ValueError with its
        message, a pair it cannot analyse the AnalysisStop of its stop."""
        values = [_real(v, k) for v, k in zip((r, theta, phi, alpha, beta, gamma),
                                                ("r", "theta", "phi", "alpha", "beta", "gamma"))]
        result = self._base.place(*values)
        status, message = result[:2]
        if status in _REFUSALS:
            raise ValueError(message)
        if status != "ok":
            raise stop_for(status, message)
        positions, atomic_numbers, contacts, min_distance, name = result[2:]
        return PlacedPair(positions, atomic_numbers, [Contact(*c) for c in contacts],
                          min_distance, name)


def place(labels, positions, n1, r, theta, phi, alpha, beta, gamma):
    """Molecule 1 placed at (r, theta, phi) with Euler angles (alpha, beta, gamma)."""
    return Builder(labels, positions, n1).place(r, theta, phi, alpha, beta, gamma)
