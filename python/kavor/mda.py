"""kavor on MDAnalysis: the pairs of neighbouring molecules along a trajectory.

    import MDAnalysis as mda
    import kavor.mda
    u = mda.Universe("topology.tpr", "trajectory.xtc")
    table = kavor.mda.pairs(u.select_atoms("resname MEOH"), by="residues")

Each frame's box comes from its dimensions (a, b, c, alpha, beta, gamma);
frames without a box are finite clusters. Coordinates are MDAnalysis's
single-precision values widened to double.
"""
import numpy as np
from MDAnalysis.lib.mdamath import triclinic_vectors

from . import _pairs


def _labels(atomgroup):
    try:
        return [str(e) for e in atomgroup.elements]
    except Exception:  # no elements in the topology: guess them from the names
        from MDAnalysis.topology.guessers import guess_atom_element
        return [guess_atom_element(name) for name in atomgroup.names]


def _groups(atomgroup, by):
    if by == "fragments":
        try:
            return atomgroup.fragindices
        except Exception as error:
            raise ValueError("by='fragments' needs bonds in the topology (%s); use by='residues' "
                             "or by=None (molecules from kavor's bond rule)" % error) from None
    if by == "residues":
        return atomgroup.resindices
    if by is None:
        return None
    raise ValueError("by must be 'fragments', 'residues' or None, not %r" % (by,))


def pairs(atomgroup, by="fragments", contact=3.8, com=None, ordered=False, jobs=None,
          start=None, stop=None, step=None):
    """kavor.pairs for every frame of atomgroup's trajectory (start:stop:step).

    Molecules are MDAnalysis fragments (by="fragments"), residues
    (by="residues") or, with by=None, the bonded fragments of kavor's bond
    rule. Returns one PAIR_DTYPE array with a leading "frame" column (the
    trajectory's frame numbers).
    """
    labels = _labels(atomgroup)
    groups = _groups(atomgroup, by)
    tables = []
    for ts in atomgroup.universe.trajectory[start:stop:step]:
        box = ts.dimensions
        cell = None
        if box is not None and np.all(np.asarray(box[:3]) > 0):
            cell = triclinic_vectors(box).astype(np.float64)
        tables.append((ts.frame, _pairs.pairs(labels, atomgroup.positions, cell=cell, contact=contact,
                                              com=com, ordered=ordered, jobs=jobs, groups=groups)))
    return _pairs.with_frame(tables)
