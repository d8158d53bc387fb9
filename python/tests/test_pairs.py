"""kavor-batch pairs and kavor.pairs against kavor-batch analyze on the
extracted pairs, and against a brute-force enumeration over lattice images.

The boxes are built here from whole molecules (bench/make_box.py), so which
molecule meets which image, and at what shift, is known independently of
the program's molecule finding and cell list.
"""
import itertools
import math
import subprocess
import sys

import ase.io
import numpy as np
import pytest

import kavor
import kavor.ase
from conftest import EXAMPLES, ROOT, program, same_bits

sys.path.insert(0, str(ROOT / "bench"))
import make_box  # noqa: E402

NMF = str(EXAMPLES / "n-methylformamide-dimer")
MASS = {"H": 1.008, "C": 12.011, "N": 14.007, "O": 15.999}
VALUES = ("r", "theta", "phi", "alpha", "beta", "gamma")


def pairs_table(*args):
    """(exit status, stderr, rows as dicts) of kavor-batch pairs."""
    run = subprocess.run([program("kavor-batch"), "pairs"] + [str(a) for a in args],
                         capture_output=True, text=True)
    lines = run.stdout.split("\n")
    header = lines[0].split("\t") if lines[0] else []
    return run.returncode, run.stderr, [dict(zip(header, line.split("\t"))) for line in lines[1:] if line]


def values(row):
    return [float(row[k]) if row[k] else math.nan for k in VALUES]


# Each case: (file, truth) where truth is (cell or None, [(first atom, whole
# positions, labels)], wrap of each molecule's first atom) or None.
def write_box(path, count, seed, cell=None, k=None, sites=None):
    labels, wrapped, cell, molecules, wrap = make_box.make_box(NMF, count, seed, cell, k, sites)
    with open(path, "w") as out:
        make_box.write_xyz(out, labels, wrapped, cell)
    truth = [(first, whole, labels[first:first + len(whole)], wrap[first]) for first, whole in molecules]
    return path, (cell, truth)


def case_triclinic_box(tmp):
    return write_box(tmp / "box.xyz", 40, 11)


def case_small_cell(tmp):
    # Two molecules in a cell under 7 Angstrom wide: each meets its own images.
    cell = make_box.triclinic(6.6, 6.6 * 1.04, 6.6 * 0.97, 75.0, 95.0, 105.0)
    return write_box(tmp / "small.xyz", 2, 3, cell, 2, [(0, 0, 0), (1, 1, 1)])


def case_cluster(tmp):
    _, (_, truth) = write_box(tmp / "unused.xyz", 12, 3)
    path = tmp / "cluster.xyz"
    with open(path, "w") as out:
        atoms = [(label, p) for _, whole, labels, _ in truth for label, p in zip(labels, whole)]
        out.write("%d\ncluster without a cell\n" % len(atoms))
        for label, p in atoms:
            out.write("%s %.17g %.17g %.17g\n" % (label, *p))
    return path, (None, [(f, w, l, [0, 0, 0]) for f, w, l, _ in truth])


def case_narrow_cell(tmp):
    # Waters in a cell 3 Angstrom wide along a, narrower than the contact
    # distance: each meets its own images one, two and more cells away.
    cell = make_box.triclinic(3.0, 9.0, 9.5, 85.0, 95.0, 100.0)
    water = [("O", (0.0, 0.0, 0.0)), ("H", (0.0, 0.757, 0.586)), ("H", (0.0, -0.757, 0.586))]
    labels, wrapped, truth = [], [], []
    for centre in ((0.5, 0.05, 0.1), (0.3, 0.5, 0.6), (0.9, 0.8, 0.97)):
        origin = make_box.frac_to_cart(cell, centre)
        whole = [tuple(o + d for o, d in zip(origin, p)) for _, p in water]
        wraps = []
        for (label, _), x in zip(water, whole):
            f = make_box.cart_to_frac(cell, x)
            t = [math.floor(v) for v in f]
            labels.append(label)
            wraps.append(t)
            wrapped.append(make_box.frac_to_cart(cell, [f[i] - t[i] for i in range(3)]))
        truth.append((len(labels) - 3, whole, [label for label, _ in water], wraps[0]))
    path = tmp / "narrow.xyz"
    with open(path, "w") as out:
        make_box.write_xyz(out, labels, wrapped, cell)
    return path, (cell, truth)


def case_crystal(tmp):
    return EXAMPLES / "crystals" / "ethylpentanoylurea-98K.cif", None


CASES = {"triclinic_box": case_triclinic_box, "small_cell": case_small_cell,
         "narrow_cell": case_narrow_cell, "crystal": case_crystal, "cluster": case_cluster}


@pytest.mark.parametrize("case", sorted(CASES))
def test_rows_equal_analyze_on_the_extracted_pairs(case, tmp_path):
    path, _ = CASES[case](tmp_path)
    extract = tmp_path / "pairs"
    status, err, rows = pairs_table(path, "--extract", extract, "--xyz", tmp_path / "pairs.xyz")
    assert status == 0, err
    assert len(rows) >= 3 and all(r["status"] != "unreadable" for r in rows)
    dirs = [extract / str(k + 1) for k in range(len(rows))]
    run = subprocess.run([program("kavor-batch"), "analyze"] + [str(d) for d in dirs],
                         capture_output=True, text=True, check=True)
    analysed = [dict(zip(run.stdout.split("\n")[0].split("\t"), line.split("\t")))
                for line in run.stdout.split("\n")[1:] if line]
    assert len(analysed) == len(rows)
    for row, other in zip(rows, analysed):
        for column in ("status", "name", "message") + VALUES:
            assert row[column] == other[column], (row, other)
    # the --xyz frames hold the extracted geometries and the row's values
    frames = ase.io.read(tmp_path / "pairs.xyz", index=":")
    assert len(frames) == len(rows)
    for k in (0, len(rows) - 1):
        block = (extract / str(k + 1) / "input-GEOMETRY.xyz").read_text().split("\n")
        n = int(block[0])
        positions = np.array([[float(v) for v in line.split()[1:4]] for line in block[1:n + 1]])
        assert same_bits(frames[k].positions, positions)
        assert frames[k].info["n1"] == int(block[n + 2]) and frames[k].info["status"] == rows[k]["status"]
        assert frames[k].info.get("r") == (float(rows[k]["r"]) if rows[k]["r"] else None)
    if path.suffix == ".xyz":  # the package gives the same rows
        table = kavor.ase.pairs(ase.io.read(path))
        assert [(int(r["mol1"]), int(r["mol2"]), r["shift"]) for r in rows] == \
            [(t["mol1"], t["mol2"], "%d %d %d" % tuple(t["shift"])) for t in table]
        assert same_bits([values(r) for r in rows], [[t[v] for v in VALUES] for t in table])
        assert [r["status"] for r in rows] == list(table["status"])
    # --unique keeps a subsequence of the rows and counts every row once
    _, _, unique = pairs_table(path, "--unique")
    assert sum(int(u["count"]) for u in unique) == len(rows)
    full = iter(rows)
    for u in unique:
        assert any(all(u[c] == r[c] for c in r) for r in full)


def brute_force(cell, molecules, distance, by_com):
    """{(mol1, mol2, shift)} over every image within reach, mol1/mol2 from 1."""
    if cell is None:
        images = [(0, 0, 0)]
    else:
        volume = abs(np.dot(cell[0], np.cross(cell[1], cell[2])))
        widths = [volume / np.linalg.norm(np.cross(cell[(k + 1) % 3], cell[(k + 2) % 3])) for k in range(3)]
        extent = max(np.ptp(np.array(w), axis=0).max() for _, w, _, _ in molecules)
        reach = [math.ceil((2 * extent + distance) / w) + 1 for w in widths]
        images = itertools.product(*(range(-m, m + 1) for m in reach))
    images = [np.array(n) for n in images]
    found = set()
    for (i, (_, pi, li, wi)), (j, (_, pj, lj, wj)) in itertools.combinations_with_replacement(
            enumerate(molecules), 2):
        a, b = np.array(pi), np.array(pj)
        ma, mb = np.array([MASS[x] for x in li]), np.array([MASS[x] for x in lj])
        for n in images:
            if i == j and not (n[np.nonzero(n)[0][0]] > 0 if n.any() else False):
                continue
            t = n @ np.array(cell) if cell is not None else np.zeros(3)
            if by_com:
                d = np.linalg.norm((mb @ b) / mb.sum() + t - (ma @ a) / ma.sum())
            else:
                d = np.sqrt(((b[None, :, :] + t - a[:, None, :]) ** 2).sum(axis=2)).min()
            if d <= distance:
                shift = tuple(int(x) for x in n + np.array(wj) - np.array(wi))
                found.add((i + 1, j + 1, shift))
    return found


@pytest.mark.parametrize("case", ["triclinic_box", "small_cell", "narrow_cell", "cluster"])
@pytest.mark.parametrize("criterion", [("--contact", 3.8), ("--com", 6.5)])
def test_pairs_equal_a_brute_force_enumeration_over_images(case, criterion, tmp_path):
    path, (cell, molecules) = CASES[case](tmp_path)
    option, distance = criterion
    status, err, rows = pairs_table(path, option, distance)
    assert status == 0, err
    got = {(int(r["mol1"]), int(r["mol2"]), tuple(int(x) for x in r["shift"].split())) for r in rows}
    assert len(got) == len(rows)
    assert got == brute_force(cell, molecules, distance, option == "--com")
    if case in ("small_cell", "narrow_cell") and option == "--contact":
        assert any(m1 == m2 for m1, m2, _ in got)  # a molecule meets its own image
    if case == "narrow_cell" and option == "--com":
        assert any(abs(n[0]) >= 2 for _, _, n in got)  # two cells away and more
    ordered = kavor.ase.pairs(ase.io.read(path), ordered=True, **{option[2:]: distance})
    swapped = {(m2, m1, tuple(-x for x in n)) for m1, m2, n in got}
    assert {(t["mol1"], t["mol2"], tuple(t["shift"])) for t in ordered} == got | swapped


def polymer_box(path):
    """A zigzag chain along a (a = 2.54 Angstrom, bonded to its own image)
    and a water molecule beside it."""
    lines = ['Lattice="2.54 0 0 0 10 0 0 0 10" pbc="T T T"',
             "C 0 2 2", "C 1.27 2.87 2", "H 0 1.37 2.89", "H 0 1.37 1.11",
             "H 1.27 3.5 2.89", "H 1.27 3.5 1.11",
             "O 1 7 7", "H 1 7.59 7.76", "H 1 7.59 6.24"]
    path.write_text("%d\n%s\n" % (len(lines) - 1, "\n".join(lines)))
    return path


def faces_box(path):
    """Molecules with atoms exactly on the cell's faces (fractional 0 and 1)."""
    cell = make_box.triclinic(13.0, 13.0, 13.0, 90.0, 90.0, 90.0)
    labels, _, _, molecules, _ = make_box.make_box(NMF, 3, 7, cell, 2, [(0, 0, 0), (1, 0, 1), (0, 1, 1)])
    shifted = []
    for m, (first, whole) in enumerate(molecules):
        k = m % 3  # put one coordinate of the first atom exactly on a face
        target = 0.0 if m != 1 else 13.0
        delta = np.zeros(3)
        delta[k] = target - whole[0][k]
        shifted.append((first, [tuple(np.array(p) + delta) for p in whole]))
    with open(path, "w") as out:
        make_box.write_xyz(out, labels, [p for _, w in shifted for p in w], cell)
    return path, (cell, [(f, w, labels[f:f + len(w)], [0, 0, 0]) for f, w in shifted])


BAD = {
    "cif_without_operations": ("bad.cif", "data_x\n_cell_length_a 5\n_cell_length_b 6\n_cell_length_c 7\n"
                               "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                               "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
                               "_atom_site_fract_z\nC1 0.1 0.2 0.3\n", "no symmetry operations"),
    "zero_volume_cell": ("flat.xyz", '3\nLattice="5 0 0 0 5 0 5 5 0"\nO 0 0 0\nH 1 0 0\nH 0 1 0\n',
                         "no volume"),
    "lattice_of_8_numbers": ("eight.xyz", '3\nLattice="5 0 0 0 5 0 0 0"\nO 0 0 0\nH 1 0 0\nH 0 1 0\n',
                             "Lattice needs 9 numbers"),
}


@pytest.mark.parametrize("case", sorted(BAD))
def test_bad_input_is_an_error_naming_the_file(case, tmp_path):
    name, text, words = BAD[case]
    (tmp_path / name).write_text(text)
    status, err, rows = pairs_table(tmp_path / name)
    assert status == 2 and words in err and err.startswith("kavor-batch: error: " + str(tmp_path / name))
    assert [r["status"] for r in rows] == ["unreadable"] and words in rows[0]["message"]


def test_bad_cells_refused_by_the_package():
    with pytest.raises(ValueError, match="no volume"):
        kavor.pairs(["O", "H", "H"], np.eye(3), cell=[[5, 0, 0], [0, 5, 0], [5, 5, 0]])
    with pytest.raises(ValueError, match="no cell"):
        kavor.pairs(["O", "H", "H"], np.eye(3), pbc=True)


def test_a_chain_through_the_cell_is_not_molecular(tmp_path):
    status, err, rows = pairs_table(polymer_box(tmp_path / "chain.xyz"))
    assert status == 0, err
    chain = [r for r in rows if "1" in (r["mol1"], r["mol2"])]
    assert chain and all(r["status"] == "not_molecular" and r["r"] == "" for r in chain)
    assert ("1", "1", "1 0 0") in {(r["mol1"], r["mol2"], r["shift"]) for r in rows}
    assert all(r["status"] != "not_molecular" for r in rows if r not in chain)


def test_atoms_on_the_cell_faces(tmp_path):
    path, (cell, molecules) = faces_box(tmp_path / "faces.xyz")
    status, err, rows = pairs_table(path, "--contact", 4.5)
    assert status == 0, err
    assert all(r["status"] != "not_molecular" for r in rows)
    got = {(int(r["mol1"]), int(r["mol2"]), tuple(int(x) for x in r["shift"].split())) for r in rows}
    assert got and got == brute_force(cell, molecules, 4.5, False)


def test_unique_joins_the_same_dimers_of_a_moved_copy(tmp_path):
    # the box, the same box again, and the box moved as a whole: every dimer
    # appears three times, with values equal or within rounding
    labels, wrapped, cell, _, _ = make_box.make_box(NMF, 40, 11)
    path = tmp_path / "three.xyz"
    with open(path, "w") as out:
        for move in ((0, 0, 0), (0, 0, 0), (0.37, -1.2, 2.5)):
            make_box.write_xyz(out, labels, [tuple(np.add(p, move)) for p in wrapped], cell)
    _, _, rows = pairs_table(path)
    _, _, unique = pairs_table(path, "--unique")
    first = [r for r in rows if r["frame"] == "1"]
    assert len(rows) == 3 * len(first) and len(first) > 10
    assert [(u["mol1"], u["mol2"], u["shift"], u["r"]) for u in unique] == \
        [(r["mol1"], r["mol2"], r["shift"], r["r"]) for r in first]
    assert all(u["count"] == "3" for u in unique)


def test_mdanalysis_trajectory_gives_the_pairs_of_each_frame(tmp_path):
    mda = pytest.importorskip("MDAnalysis")
    import kavor.mda
    path, (cell, molecules) = case_triclinic_box(tmp_path)
    frames = ase.io.read(path, index=":")
    sizes = [len(w) for _, w, _, _ in molecules]
    u = mda.Universe.empty(len(frames[0]), n_residues=len(sizes),
                           atom_resindex=np.repeat(np.arange(len(sizes)), sizes), trajectory=True)
    u.add_TopologyAttr("elements", frames[0].get_chemical_symbols())
    u.atoms.positions = frames[0].positions
    u.dimensions = frames[0].cell.cellpar()
    table = kavor.mda.pairs(u.atoms, by="residues")
    expected = kavor.ase.pairs(frames[0])
    assert list(table["frame"]) == [0] * len(expected)
    assert [(t["mol1"], t["mol2"], tuple(t["shift"])) for t in table] == \
        [(t["mol1"], t["mol2"], tuple(t["shift"])) for t in expected]
    # single-precision coordinates: the same dimers, r to about 1e-5 Angstrom
    assert np.allclose(table["r"], expected["r"], atol=1e-4)


def test_extract_never_mixes_runs(tmp_path):
    path, _ = case_small_cell(tmp_path)
    extract = tmp_path / "pairs"
    extract.mkdir()
    (extract / "old").write_text("an earlier run\n")
    status, err, rows = pairs_table(path, "--extract", extract)
    assert status == 2 and "not empty" in err and rows == []
    assert sorted(p.name for p in extract.iterdir()) == ["old"]
    status, err, rows = pairs_table(path, "--extract", extract, "--force")
    assert status == 0 and rows
    assert sorted(p.name for p in extract.iterdir()) == sorted(str(k + 1) for k in range(len(rows)))
    # nothing of the run is left beside DIR
    assert sorted(p.name for p in tmp_path.iterdir()) == ["pairs", "small.xyz"]


def test_shards_concatenate_to_the_whole_table(tmp_path):
    frames = [case_small_cell(tmp_path)[0], write_box(tmp_path / "b.xyz", 6, 5)[0], case_small_cell(tmp_path)[0]]
    trajectory = tmp_path / "trajectory.xyz"
    trajectory.write_text("".join(open(f).read() for f in frames) + "3\nnot a frame\nC 0 0\n")
    status, _, whole = pairs_table(trajectory)
    assert status == 2 and whole[-1]["status"] == "unreadable"
    shards = []
    for k in ("1/3", "2/3", "3/3"):
        shards += pairs_table(trajectory, "--shard", k)[2]
    assert shards == whole
