"""The analysis: six placement parameters of molecule 1 relative to molecule 2.

Conventions (those of kavor): r in Angstrom, the angles in degrees; theta is
undefined (None, NaN in arrays) when r is at most 0.099999 Angstrom, phi also
when theta is 0 or 180 in whole degrees. Values are the doubles kavor computes,
to the last bit.
"""
import operator
from collections import namedtuple
from dataclasses import dataclass, field, fields
from typing import Optional

import numpy as np

from . import _kavor
from ._errors import stop_for

# The six values of kavor's summary: r to 0.1 Angstrom, the angles in whole
# degrees (halves away from zero), None where the summary shows NAD.
Summary = namedtuple("Summary", "r theta phi alpha beta gamma")


@dataclass(frozen=True, eq=False)
class Molecule:
    """One molecule's principal axes of inertia, from kavor's first analysis of
    the input geometry, in the input's coordinates and the programs' masses."""

    centre: np.ndarray   # (3,) centre of mass, Angstrom
    moments: np.ndarray  # (3,) I_A <= I_B <= I_C, amu Angstrom^2
    axes: np.ndarray     # (3, 3) unit axes as rows: x, y, z (molecule 1) or X, Y, Z (molecule 2)


def _molecules(raw):
    """The library's PrincipalAxes of both molecules as Molecule, or None."""
    if raw is None:
        return None
    return tuple(Molecule(**{f.name: getattr(m, f.name) for f in fields(Molecule)}) for m in raw)


@dataclass(frozen=True)
class Placement:
    """Where molecule 1 sits in molecule 2's frame and how it is turned."""

    r: float                  # Angstrom, between the centres of mass
    theta: Optional[float]    # degrees, polar angle from Z, 0..180
    phi: Optional[float]      # degrees, azimuth from X towards Y, 0..360
    alpha: float              # z-y-z Euler angles of frame xyz relative to XYZ, degrees
    beta: float
    gamma: float
    name: str                 # "[0005.2-092-082]-(023-132-038)", as in the result files
    degrees: Summary
    # (molecule 1, molecule 2) as Molecule; not part of equality.
    molecules: tuple = field(default=None, compare=False, repr=False)

    @property
    def values(self):
        """(r, theta, phi, alpha, beta, gamma), NaN for an undefined angle."""
        nan = float("nan")
        return (self.r, nan if self.theta is None else self.theta,
                nan if self.phi is None else self.phi, self.alpha, self.beta, self.gamma)


STATUS_CODES = tuple(row[0] for row in _kavor.status_table)  # indexed by the library's code; [0] is "ok"
_STATUS_NAMES = np.array(STATUS_CODES)

# One row per frame of analyze_frames.
FRAME_DTYPE = np.dtype([("r", "f8"), ("theta", "f8"), ("phi", "f8"), ("alpha", "f8"),
                        ("beta", "f8"), ("gamma", "f8"), ("status", _STATUS_NAMES.dtype)])
_VALUE_FIELDS = FRAME_DTYPE.names[:6]


def tokens_of(labels):
    """Labels as the core takes them: symbols unchanged, atomic numbers as numerals."""
    if isinstance(labels, (str, bytes)):
        raise TypeError("labels must be a sequence of element symbols or atomic numbers, "
                        "not a single string")
    if isinstance(labels, np.ndarray):
        if labels.ndim != 1:
            raise ValueError("labels must be one-dimensional, got shape %s" % (labels.shape,))
        if labels.dtype.kind in "iu":
            return [str(z) for z in labels.tolist()]
        if labels.dtype.kind == "U":
            return _encodable(labels.tolist())
        if labels.dtype.kind != "O":
            raise TypeError("labels must be element symbols (str) or atomic numbers (int), "
                            "got an array of dtype %s" % labels.dtype)
    tokens = []
    for i, label in enumerate(labels):
        if isinstance(label, str):
            tokens.append(label)
        elif isinstance(label, (int, np.integer)) and not isinstance(label, (bool, np.bool_)):
            tokens.append(str(int(label)))
        else:
            raise TypeError("label of atom %d must be an element symbol (str) or an atomic "
                            "number (int), got %r" % (i, label))
    return _encodable(tokens)


def _encodable(tokens):
    """The tokens, refusing those the core cannot take as text: a lone surrogate
    has no UTF-8 form and a NUL would end the label early."""
    for i, token in enumerate(tokens):
        try:
            token.encode("utf-8")
        except UnicodeEncodeError:
            pass
        else:
            if "\0" not in token:
                continue
        raise ValueError("label of atom %d (%r) names no element: give a symbol with its case "
                         "('C', 'Cl') or an atomic number from 1 to 92" % (i, token))
    return tokens


def coordinates_of(values, name):
    """A float64 C-ordered array of real numbers (shapes are checked by the core's door)."""
    array = np.asarray(values)
    if array.dtype.kind not in "iuf":
        raise TypeError("%s must hold real numbers (Angstrom), got dtype %s" % (name, array.dtype))
    return np.ascontiguousarray(array, dtype=np.float64)


def _whole_number(value, name, allow_none):
    if value is None and allow_none:
        return None
    if isinstance(value, (bool, np.bool_)):
        raise TypeError("%s must be a whole number%s, got %r"
                        % (name, " or None" if allow_none else "", value))
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError("%s must be a whole number%s, got %r"
                        % (name, " or None" if allow_none else "", value)) from None


def jobs_of(jobs):
    """Threads for the core: 1 to 4096, or None for one per core."""
    jobs = _whole_number(jobs, "jobs", allow_none=True)
    if jobs is not None and not 1 <= jobs <= 4096:
        raise ValueError("jobs must be from 1 to 4096, got %d" % jobs)
    return jobs


def n1_of(n1):
    """n1 for the core: a whole number, or None for the bonded-fragment rule."""
    n1 = _whole_number(n1, "n1", allow_none=True)
    if n1 is not None and not -2**62 < n1 < 2**62:
        raise ValueError("n1 must be smaller than the number of atoms, got %d" % n1)
    return n1


def analyze(labels, positions, n1):
    """Analyses one pair as kavor does.

    labels: N element symbols ("C", "Cl": exact case) or atomic numbers 1..92.
    positions: (N, 3) coordinates in Angstrom.
    n1: molecule 1 is atoms 0..n1-1, molecule 2 the rest; None finds molecule 1
    as the bonded fragment of the first atom (it must be the leading block).

    Returns a Placement; an analysis kavor stops raises the AnalysisStop
    subclass of its stop code, with kavor's message (and the molecules when
    the stop came after the per-molecule analysis).
    """
    status, message, values, name, whole, molecules = _kavor.analyze(
        tokens_of(labels), coordinates_of(positions, "positions"), n1_of(n1))
    if status != "ok":
        raise stop_for(status, message, _molecules(molecules))
    r = values[0]
    return Placement(*values, name=name, degrees=Summary(float("%.1f" % r), *whole),
                     molecules=_molecules(molecules))


def analyze_frames(labels, frames, n1, jobs=None):
    """Analyses F frames of the same atoms, as kavor-batch analyze does.

    frames: (F, N, 3) coordinates in Angstrom; labels and n1 as for analyze
    (n1=None applies the bonded-fragment rule to each frame). The frames are
    analysed in C++ on `jobs` threads (None: one per core) without the GIL.

    Returns a structured array of FRAME_DTYPE, one row per frame: r, theta,
    phi, alpha, beta, gamma (NaN where undefined, all NaN for a stopped frame)
    and status, "ok" or the stop code. Stops are not raised.
    """
    jobs = jobs_of(jobs)
    values, codes = _kavor.analyze_frames(tokens_of(labels), coordinates_of(frames, "frames"),
                                          n1_of(n1), jobs)
    table = np.empty(len(codes), dtype=FRAME_DTYPE)
    for k, field in enumerate(_VALUE_FIELDS):
        table[field] = values[:, k]
    table["status"] = _STATUS_NAMES[codes]
    return table


def leading_fragment(labels, positions):
    """n1 by the bonded-fragment rule; raises N1NotFound when there is none."""
    n1, message = _kavor.leading_fragment(tokens_of(labels), coordinates_of(positions, "positions"))
    if n1 == 0:
        raise stop_for("n1_not_found", message)
    return n1
