"""kavor.place against ud-kavor run on the same pair and values."""
import subprocess

import numpy as np
import pytest

import kavor
import kavor.ase
from ase import Atoms
from conftest import EXAMPLES, program, read_block

# Points: ordinary ones, the range edges ud-kavor nudges (theta 0 and 180,
# beta 0 with gamma replaced, beta 180, 360 degrees), a pair too close for a
# direction, short contacts, and values it refuses.
POINTS = [
    (5.5, 60.0, 120.0, 10.0, 80.0, 200.0),
    (4.25, 0.0, 0.0, 0.0, 0.0, 0.0),
    (3.2, 180.0, 359.6, 360.0, 180.0, 359.5),
    (6.0, 90.0, 45.0, 30.0, 0.4, 90.0),
    (0.05, 90.0, 90.0, 10.0, 20.0, 30.0),
    (1.5, 90.0, 45.0, 30.0, 60.0, 90.0),
    (5.0, 181.0, 0.0, 0.0, 90.0, 0.0),
    (5.0, 90.0, 0.0, 0.0, 180.6, 0.0),
    (-0.5, 90.0, 0.0, 0.0, 90.0, 0.0),
    (12000.0, 90.0, 90.0, 0.0, 90.0, 0.0),
]
PAIRS = ["n-methylformamide-dimer", "ethanol-dimer", "2-chloroethanol-dimethylsulfoxide",
         "benzene-dimer"]


def run_ud_kavor(example, values, tmp_path):
    """ud-kavor's console (lines joined) and its input-GEOMETRY.xyz lines, if written."""
    block = (EXAMPLES / example / "input-GEOMETRY.xyz").read_text().rstrip("\n")
    text = (block + "\nuser-defined position: r (Angstrom), theta, phi (degrees)\n%r\n%r\n%r\n"
            "user-defined Euler angles: alpha, beta, gamma (degrees)\n%r\n%r\n%r\nend\n" % values)
    (tmp_path / "UD-input-GEOMETRY.xyz").write_text(text)
    out = subprocess.run([program("ud-kavor")], cwd=tmp_path, capture_output=True, text=True,
                         check=True).stdout
    written = tmp_path / "input-GEOMETRY.xyz"
    lines = written.read_text().split("\n") if written.exists() else None
    results = [p.name for p in tmp_path.glob("[[]*.xyz")]  # "[0005.5-060-120]-(...)-UD-KAVOR.xyz"
    names = {name[:name.index(")-") + 1] for name in results}
    short = any("SHORT-CONTACTS" in name for name in results)
    return " ".join(out.split()), lines, names, short


@pytest.mark.parametrize("example", PAIRS)
def test_place_equals_ud_kavor(example, tmp_path):
    labels, positions, n1 = read_block(EXAMPLES / example / "input-GEOMETRY.xyz")
    builder = kavor.Builder(labels, positions, n1)
    outcomes = set()
    for k, values in enumerate(POINTS):
        scratch = tmp_path / str(k)
        scratch.mkdir()
        console, lines, names, short = run_ud_kavor(example, values, scratch)
        if lines is None:
            with pytest.raises((ValueError, kavor.AnalysisStop)) as stop:
                builder.place(*values)
            assert console.endswith(str(stop.value)), values
            outcomes.add(type(stop.value).__name__)
            continue
        placed = builder.place(*values)
        n = len(labels)
        expected = ["%2d%15.8f%15.8f%15.8f" % (z, *xyz)
                    for z, xyz in zip(placed.numbers, placed.positions)]
        assert lines[2:n + 2] == expected, values
        assert names == {placed.name}
        assert short == bool(placed.contacts), values
        for c in placed.contacts:
            assert c.i < n1 <= c.k
            assert abs(np.linalg.norm(placed.positions[c.i] - placed.positions[c.k]) - c.distance) < 1e-12
        assert placed.min_distance <= min((c.distance for c in placed.contacts), default=np.inf)
        outcomes.add("contacts" if placed.contacts else "placed")
    expected_outcomes = ({"SymmetricBoth", "ValueError"} if example == "benzene-dimer"
                         else {"placed", "contacts", "ValueError"})
    assert outcomes == expected_outcomes


def test_place_through_ase():
    labels, positions, n1 = read_block(EXAMPLES / "n-methylformamide-dimer" / "input-GEOMETRY.xyz")
    atoms = Atoms(labels, positions)
    placed = kavor.ase.place(atoms, None, 5.5, 60, 120, 10, 80, 200)
    direct = kavor.place(labels, positions, n1, 5.5, 60, 120, 10, 80, 200)
    assert np.array_equal(placed.positions, direct.positions)
    assert placed.get_chemical_symbols() == labels
    assert placed.info["name"] == direct.name and placed.info["r"] == 5.5
    # ...and analysed again, the placed pair is where it was put.
    assert kavor.ase.analyze(placed).degrees[:3] == (5.5, 60, 120)
    with pytest.raises(ValueError, match="polar angle out of range"):
        kavor.ase.place(atoms, 9, 5.0, 200, 0, 0, 90, 0)
    with pytest.raises(TypeError, match="r must be a real number"):
        kavor.place(labels, positions, n1, "5", 60, 120, 10, 80, 200)
    with pytest.raises(ValueError, match="theta must be a finite number"):
        kavor.place(labels, positions, n1, 5, np.nan, 120, 10, 80, 200)
