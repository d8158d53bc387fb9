"""Orderly stops of the analysis as exceptions.

kavor ends an analysis it cannot complete with a message and a stop code
(the code kavor-batch writes in its status column). Each code has its own
subclass of AnalysisStop, made here from the library's status table, so that
a caller can catch, say, a symmetric molecule and let anything else through.
"""
from . import _kavor


class AnalysisStop(Exception):
    """The analysis stopped: ``status`` is the stop code, ``message`` kavor's text.

    ``molecules`` holds each molecule's principal axes (kavor.Molecule) when
    the stop came after the per-molecule analysis, else None.
    """

    status = "stopped"

    def __init__(self, message, status=None, molecules=None):
        super().__init__(message)
        self.message = message
        self.molecules = molecules
        if status is not None:
            self.status = status


class SymmetricMolecule(AnalysisStop):
    """A molecule whose principal axes cannot be oriented (benzene, for one)."""


_BY_STATUS = {}
__all__ = ["AnalysisStop", "SymmetricMolecule"]

for _code, _name, _base, _text in _kavor.status_table[1:]:
    _cls = type(_name, (globals()[_base] if _base else AnalysisStop,),
                {"status": _code, "__doc__": "The analysis stopped: %s." % _text,
                 "__module__": __name__})
    globals()[_name] = _cls
    _BY_STATUS[_code] = _cls
    __all__.append(_name)


def stop_for(status, message, molecules=None):
    """The exception for a stop code (AnalysisStop itself for a code without a subclass)."""
    cls = _BY_STATUS.get(status)
    return cls(message, molecules=molecules) if cls else AnalysisStop(message, status, molecules)
