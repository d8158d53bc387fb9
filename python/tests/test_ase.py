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
