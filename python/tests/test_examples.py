"""The scripts in examples/python, run as a user runs them."""
import os
import subprocess
import sys

import ase.io
import numpy as np

import kavor.ase
from conftest import EXAMPLES, ROOT, batch_rows, batch_values, make_trajectory, read_xyz_frames, same_bits

SCRIPTS = ROOT / "examples" / "python"


def run_script(name, *args):
    return subprocess.run([sys.executable, str(SCRIPTS / name)] + [str(a) for a in args],
                          capture_output=True, text=True, check=True, env=os.environ).stdout


def test_mdanalysis_recipe_equals_kavor_batch(tmp_path):
    # Coordinates that are already single-precision numbers, so that
    # MDAnalysis reads exactly what kavor-batch reads.
    frames = read_xyz_frames(make_trajectory(tmp_path / "t.xyz", 20, 5))
    path = tmp_path / "float32.xyz"
    with open(path, "w") as out:
        for comment, labels, positions in frames:
            out.write("%d\n%s\n" % (len(labels), comment))
            for label, xyz in zip(labels, positions.astype(np.float32)):
                out.write("%s %s %s %s\n" % ((label,) + tuple(repr(float(v)) for v in xyz)))
    lines = run_script("mdanalysis_trajectory.py", path, 9).split("\n")
    printed = [line.split() for line in lines if line]
    rows = batch_rows("--n1", "9", path)
    assert [p[1] for p in printed] == [row["status"] for row in rows] == ["ok"] * 20
    assert same_bits([[float(v) for v in p[2:]] for p in printed], [batch_values(row) for row in rows])


def test_histogram_example_writes_a_png(tmp_path):
    path = make_trajectory(tmp_path / "t.xyz", 40, 9, mixed=True)
    # Frames whose labels name no element cannot be read by ASE.
    kept = [f for f in read_xyz_frames(path) if "unknown-labels" not in f[0]]
    with open(path, "w") as out:
        for comment, labels, positions in kept:
            out.write("%d\n%s\n" % (len(labels), comment))
            out.writelines("%s %r %r %r\n" % ((label,) + tuple(xyz)) for label, xyz in zip(labels, positions.tolist()))
    png = tmp_path / "hist.png"
    printed = run_script("trajectory_histograms.py", path, png)
    assert printed.startswith("36 frames, 24 analysed, stops: n1_not_found symmetric_both")
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_scan_example_round_trips(tmp_path):
    out = tmp_path / "scan.xyz"
    printed = run_script("scan.py", EXAMPLES / "n-methylformamide-dimer" / "input-GEOMETRY.xyz", out)
    frames = ase.io.read(out, index=":")
    assert printed.startswith("%d frames written" % len(frames)) and 0 < len(frames) < 35
    for atoms in frames:
        assert atoms.info["contacts"] == 0 and atoms.info["min_distance"] > 1.9
        # The analyzer finds each placed pair where the builder put it.
        p = kavor.ase.analyze(atoms, n1=9)
        assert (p.degrees.r, p.degrees.theta) == (atoms.info["r"], atoms.info["theta"])


def test_mdanalysis_pairs_example_draws_the_pairs_of_the_bundled_box(tmp_path):
    atoms = ase.io.read(EXAMPLES / "boxes" / "n-methylformamide-box.xyz")
    pdb = tmp_path / "box.pdb"
    ase.io.write(pdb, atoms)  # CRYST1 carries the cell to MDAnalysis
    png = tmp_path / "pairs.png"
    printed = run_script("mdanalysis_pairs.py", pdb, png)
    table = kavor.ase.pairs(ase.io.read(pdb), com=6.5)
    assert printed.split() == ["1", "frames,", str(len(table)), "pairs,",
                               str(int((table["status"] == "ok").sum())), "analysed"]
    assert len(table) > 20 and png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
