"""kavor.ase on a multi-frame file written and read by ASE, against kavor-batch."""
import ase.io
import numpy as np
from ase import Atoms

import kavor
import kavor.ase
from conftest import (EXAMPLES, batch_rows, batch_values, make_trajectory, read_block,
                      read_xyz_frames, same_bits)


def test_ase_trajectory_equals_kavor_batch(tmp_path):
    frames = read_xyz_frames(make_trajectory(tmp_path / "t.xyz", 30, 3))
    images = [Atoms(labels, positions) for _, labels, positions in frames]
    # Other atoms in between: analysed on their own, and refused (symmetric).
    labels, positions, _ = read_block(EXAMPLES / "benzene-dimer" / "input-GEOMETRY.xyz")
    images.insert(4, Atoms(labels, positions))
    path = tmp_path / "ase.xyz"
    ase.io.write(path, images)  # extended XYZ

    table = kavor.ase.analyze_trajectory(ase.io.iread(path))
    rows = batch_rows("--n1", "auto", path)
    assert list(table["status"]) == [row["status"] for row in rows]
    assert table["status"][4] == "symmetric_both" and table["status"][5] == "ok"
    values = np.array([[row[f] for f in kavor.FRAME_DTYPE.names[:6]] for row in table])
    assert same_bits(values, [batch_values(row) for row in rows])

    read = ase.io.read(path, index=":")
    assert same_bits(kavor.ase.analyze(read[0], n1=9).values, values[0])
    assert len(kavor.ase.analyze_trajectory([])) == 0


def test_batch_build_xyz_reads_into_ase_info(tmp_path):
    """kavor-batch build --xyz: each frame's info holds its index row, and its
    positions are kavor.place's for the same point (as ud-kavor writes them)."""
    import subprocess
    from conftest import program

    pair = EXAMPLES / "ethanol-dimer" / "input-GEOMETRY.xyz"
    index = subprocess.run([program("kavor-batch"), "build", str(pair), "--r", "2:8:3", "--theta", "30",
                            "--phi", "0:300:150", "--alpha", "20", "--beta", "90", "--gamma", "40",
                            "--xyz", str(tmp_path / "scan.xyz")],
                           capture_output=True, text=True, check=True).stdout.split("\n")
    header = index[0].split("\t")
    rows = [dict(zip(header, line.split("\t"))) for line in index[1:] if line]
    frames = ase.io.read(tmp_path / "scan.xyz", index=":")
    assert len(frames) == len(rows) == 9
    labels, positions, n1 = read_block(pair)
    for atoms, row in zip(frames, rows):
        info = atoms.info
        assert info["point"] == int(row["point"]) and info["name"] == row["name"]
        assert info["contacts"] == int(row["contacts"]) and info["min_distance"] == float(row["min_distance"])
        values = [info[k] for k in ("r", "theta", "phi", "alpha", "beta", "gamma")]
        assert values == [float(row[k]) for k in ("r", "theta", "phi", "alpha", "beta", "gamma")]
        placed = kavor.place(labels, positions, n1, *values)
        assert placed.name == row["name"]
        # The file holds ud-kavor's eight decimals.
        assert np.array_equal(atoms.positions, np.round(placed.positions, 8))
        assert atoms.get_chemical_symbols() == labels
