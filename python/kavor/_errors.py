"""Orderly stops of the analysis as exceptions.

kavor ends an analysis it cannot complete with a message and a stop code
(the code kavor-batch writes in its status column). Each code has its own
subclass of AnalysisStop, so that a caller can catch, say, a symmetric
molecule and let anything else through.
"""


class AnalysisStop(Exception):
    """The analysis stopped: ``status`` is the stop code, ``message`` kavor's text."""

    status = "stopped"

    def __init__(self, message, status=None):
        super().__init__(message)
        self.message = message
        if status is not None:
            self.status = status


class TooManyAtoms(AnalysisStop):
    status = "too_many_atoms"


class AtomCounts(AnalysisStop):
    """A molecule with fewer than 3 atoms, or a pair with fewer than 6."""

    status = "atom_counts"


class NoElement(AnalysisStop):
    status = "no_element"


class SymmetricMolecule(AnalysisStop):
    """A molecule whose principal axes cannot be oriented (benzene, for one)."""


class SymmetricMolecule1(SymmetricMolecule):
    status = "symmetric_1"


class SymmetricMolecule2(SymmetricMolecule):
    status = "symmetric_2"


class SymmetricBoth(SymmetricMolecule):
    status = "symmetric_both"


class AlignmentFailed(AnalysisStop):
    status = "alignment_failed"


class EulerNotFound(AnalysisStop):
    status = "euler_not_found"


class DistanceTooLarge(AnalysisStop):
    """r above 9999.9 Angstrom, beyond what a result name can show."""

    status = "distance_too_large"


class CoordinatesTooLarge(AnalysisStop):
    status = "coordinates"


class N1NotFound(AnalysisStop):
    """The bonded fragment of the first atom is not a leading block of atoms."""

    status = "n1_not_found"


class NotMolecular(AnalysisStop):
    """A fragment bonded to its own periodic image: a chain or network, not a molecule."""

    status = "not_molecular"


_BY_STATUS = {
    cls.status: cls
    for cls in (TooManyAtoms, AtomCounts, NoElement, SymmetricMolecule1, SymmetricMolecule2,
                SymmetricBoth, AlignmentFailed, EulerNotFound, DistanceTooLarge,
                CoordinatesTooLarge, N1NotFound, NotMolecular)
}


def stop_for(status, message):
    """The exception for a stop code (AnalysisStop itself for a code without a subclass)."""
    cls = _BY_STATUS.get(status)
    return cls(message) if cls else AnalysisStop(message, status)
