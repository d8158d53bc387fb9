"""Shared helpers: the built programs (the oracle), example pairs, trajectories.

KAVOR_BUILD_DIR names the build directory holding kavor, ud-kavor and
kavor-batch (build.sh and ctest set it); the package itself is imported
from PYTHONPATH.
"""
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
BUILD = Path(os.environ.get("KAVOR_BUILD_DIR", ROOT / "build")).resolve()


def program(name):
    path = BUILD / name
    if not path.is_file():
        pytest.fail("%s not built: set KAVOR_BUILD_DIR to the build directory" % path)
    return str(path)


def example_names():
    return sorted(p.name for p in EXAMPLES.iterdir() if (p / "input-GEOMETRY.xyz").is_file())


def read_block(path):
    """(labels, positions, n1) of a file in kavor's input layout."""
    lines = Path(path).read_text().split("\n")
    n = int(lines[0].split()[0])
    rows = [line.split() for line in lines[1:n + 1]]
    labels = [row[0] for row in rows]
    positions = np.array([[float(v) for v in row[1:4]] for row in rows])
    return labels, positions, int(lines[n + 2].split()[0])


def read_xyz_frames(path):
    """[(comment, labels, positions)] of a multi-frame standard XYZ file."""
    lines = Path(path).read_text().split("\n")
    frames, i = [], 0
    while i < len(lines) and lines[i].strip():
        n = int(lines[i])
        rows = [line.split() for line in lines[i + 2:i + 2 + n]]
        frames.append((lines[i + 1], [row[0] for row in rows],
                       np.array([[float(v) for v in row[1:4]] for row in rows])))
        i += n + 2
    return frames


def make_trajectory(path, frames, seed, mixed=False, example="n-methylformamide-dimer"):
    args = [sys.executable, str(ROOT / "bench" / "make_trajectory.py"), str(EXAMPLES / example),
            str(frames), str(seed)] + (["--mixed"] if mixed else [])
    with open(path, "w") as out:
        subprocess.run(args, stdout=out, check=True)
    return path


def batch_rows(*args):
    """The rows of kavor-batch analyze as dicts of its columns."""
    run = subprocess.run([program("kavor-batch"), "analyze"] + [str(a) for a in args],
                         capture_output=True, text=True, check=True)
    lines = run.stdout.split("\n")
    header = lines[0].split("\t")
    return [dict(zip(header, line.split("\t"))) for line in lines[1:] if line]


def batch_values(row):
    """The six numbers of a row, NaN for an empty field (an undefined angle)."""
    return [float(row[k]) if row[k] else float("nan")
            for k in ("r", "theta", "phi", "alpha", "beta", "gamma")]


def same_bits(a, b):
    """Equal doubles, NaN equal to NaN."""
    a, b = np.asarray(a, dtype=float), np.asarray(b, dtype=float)
    return a.shape == b.shape and bool(np.all((a == b) | (np.isnan(a) & np.isnan(b))))
