"""kavor.analyze and kavor.analyze_frames against the programs themselves."""
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import kavor
from conftest import (EXAMPLES, batch_rows, batch_values, example_names, make_trajectory,
                      program, read_block, read_xyz_frames, same_bits)


def run_kavor(example, tmp_path):
    """kavor's own view of an example: console (lines joined), report r, result stem."""
    shutil.copy(EXAMPLES / example / "input-GEOMETRY.xyz", tmp_path)
    out = subprocess.run([program("kavor")], cwd=tmp_path, capture_output=True, text=True,
                         check=True).stdout
    console = " ".join(line.strip(" \t\r").replace("\t", " ")
                       for line in out.split("\n") if line.strip(" \t\r"))
    stems = [p.name[:-len("-KAVOR.xyz")] for p in tmp_path.glob("*-KAVOR.xyz")]
    if not stems:
        return console, None, None, None
    report = (tmp_path / "LOG-PARAM-ONLY.txt").read_text().split("\n")
    r = [float(line[8:]) for line in report if line.startswith("  r     ")][-1]
    summary = [line for line in out.split("\n")]
    position = summary[[i for i, s in enumerate(summary) if "POSITION:" in s][0] + 2]
    rotation = summary[[i for i, s in enumerate(summary) if "ROTATION:" in s][0] + 2]
    return console, r, stems[0], (position, rotation)


@pytest.fixture(scope="module")
def batch_by_example():
    rows = batch_rows(*[EXAMPLES / name for name in example_names()])
    return dict(zip(example_names(), rows))


@pytest.mark.parametrize("example", example_names())
def test_example_equals_kavor(example, tmp_path, batch_by_example):
    labels, positions, n1 = read_block(EXAMPLES / example / "input-GEOMETRY.xyz")
    console, r, stem, summary = run_kavor(example, tmp_path)
    row = batch_by_example[example]
    if stem is None:
        with pytest.raises(kavor.AnalysisStop) as stop:
            kavor.analyze(labels, positions, n1)
        assert stop.value.status == row["status"] != "ok"
        assert type(stop.value) is not kavor.AnalysisStop  # each stop has its subclass
        assert stop.value.message and console.endswith(stop.value.message)
        return
    p = kavor.analyze(labels, positions, n1)
    assert p.r == r  # the report's 17 digits: to the bit
    assert same_bits(p.values, batch_values(row))
    assert p.name == stem == row["name"]
    d = p.degrees
    position = "%7.1f" % d.r + "".join("%4d" % v if v is not None else "  NAD" for v in d[1:3])
    assert summary == (position if d.theta is not None else "%7.1f  NAD  NAD" % d.r,
                       "%4d%4d%4d" % d[3:])
    # Atomic numbers instead of symbols name the same elements.
    numbers = [{"H": 1, "C": 6, "N": 7, "O": 8, "S": 16, "Cl": 17}[s] for s in labels]
    assert kavor.analyze(np.array(numbers), positions, n1) == p


def analyse_grouped(frames, n1, jobs):
    """analyze_frames once per distinct label sequence; rows back in file order."""
    table = np.empty(len(frames), dtype=kavor.FRAME_DTYPE)
    groups = {}
    for k, (_, labels, _) in enumerate(frames):
        groups.setdefault(tuple(labels), []).append(k)
    for labels, ks in groups.items():
        table[ks] = kavor.analyze_frames(labels, np.stack([frames[k][2] for k in ks]), n1,
                                         jobs=jobs)
    return table


# A seeded trajectory with perturbed pairs, symmetric pairs, an interleaved
# split and shared centres; frames whose labels name no element are left out
# (the package refuses them as input).
@pytest.mark.parametrize("n1, jobs", [(9, 1), (None, None)])
def test_frames_equal_kavor_batch(n1, jobs, tmp_path):
    path = make_trajectory(tmp_path / "t.xyz", 120, 7, mixed=True)
    frames = [f for f in read_xyz_frames(path) if "unknown-labels" not in f[0]]
    rows = [row for row, f in zip(batch_rows("--n1", n1 or "auto", path), read_xyz_frames(path))
            if "unknown-labels" not in f[0]]
    table = analyse_grouped(frames, n1, jobs)
    assert list(table["status"]) == [row["status"] for row in rows]
    assert "ok" in table["status"] and len(set(table["status"])) > 1  # stops compared too
    values = np.array([[row[f] for f in kavor.FRAME_DTYPE.names[:6]] for row in table])
    assert same_bits(values, [batch_values(row) for row in rows])


def nmf():
    return read_block(EXAMPLES / "n-methylformamide-dimer" / "input-GEOMETRY.xyz")


def with_nan(positions):
    positions = positions.copy()
    positions[4, 1] = np.nan
    return positions


LABELS, POSITIONS, N1 = nmf()
BAD_INPUTS = [
    # (arguments of analyze, exception, words of the message)
    ((LABELS, POSITIONS[:-1], N1), ValueError, "shape (18, 3)"),
    ((LABELS, POSITIONS.T, N1), ValueError, "shape (18, 3)"),
    ((LABELS, POSITIONS.ravel(), N1), ValueError, "shape (18, 3)"),
    ((LABELS, POSITIONS.astype(str), N1), TypeError, "real numbers"),
    ((LABELS, POSITIONS.astype(complex), N1), TypeError, "real numbers"),
    ((LABELS, with_nan(POSITIONS), N1), ValueError, "atom 4 has a coordinate"),
    ((LABELS, np.where(POSITIONS == 0, np.inf, POSITIONS), N1), ValueError, "not a finite"),
    ((LABELS, POSITIONS, 0), ValueError, "n1 must be from 1 to 17"),
    ((LABELS, POSITIONS, 18), ValueError, "n1 must be from 1 to 17"),
    ((LABELS, POSITIONS, 2**70), ValueError, "n1 must be"),
    ((LABELS, POSITIONS, 9.0), TypeError, "n1 must be a whole number"),
    ((LABELS, POSITIONS, True), TypeError, "n1 must be a whole number"),
    ((["Xx"] + LABELS[1:], POSITIONS, N1), ValueError, "label of atom 0 ('Xx') names no element"),
    ((["c"] + LABELS[1:], POSITIONS, N1), ValueError, "('c') names no element"),
    ((["Cl1"] + LABELS[1:], POSITIONS, N1), ValueError, "('Cl1') names no element"),
    (([93] + LABELS[1:], POSITIONS, N1), ValueError, "('93') names no element"),
    # Labels the core cannot take as text, shown escaped.
    ((LABELS[:1] + ["\udc80"] + LABELS[2:], POSITIONS, N1), ValueError,
     "label of atom 1 ('\\udc80') names no element"),
    ((np.array(LABELS[:2] + ["\ud800"] + LABELS[3:]), POSITIONS, N1), ValueError,
     "label of atom 2 ('\\ud800')"),
    ((LABELS[:3] + ["C\0H"] + LABELS[4:], POSITIONS, N1), ValueError,
     "label of atom 3 ('C\\x00H') names no element"),
    (([6.0] + LABELS[1:], POSITIONS, N1), TypeError, "label of atom 0 must be"),
    (("CONHCHHHHCONHCHHHH", POSITIONS, N1), TypeError, "not a single string"),
    ((np.array(LABELS)[None], POSITIONS, N1), ValueError, "one-dimensional"),
    (([], np.zeros((0, 3)), None), ValueError, "at least 2 atoms"),
]


@pytest.mark.parametrize("args, error, words", BAD_INPUTS)
def test_bad_input_is_refused(args, error, words):
    with pytest.raises(error, match=re.escape(words)):
        kavor.analyze(*args)


def test_bad_frames_are_refused():
    frames = np.stack([POSITIONS, with_nan(POSITIONS)])
    with pytest.raises(ValueError, match="frame 1: atom 4"):
        kavor.analyze_frames(LABELS, frames, N1)
    with pytest.raises(ValueError, match=r"shape \(F, 18, 3\)"):
        kavor.analyze_frames(LABELS, POSITIONS, N1)
    with pytest.raises(ValueError, match="jobs"):
        kavor.analyze_frames(LABELS, frames[:1], N1, jobs=0)
    assert len(kavor.analyze_frames(LABELS, np.zeros((0, 18, 3)), N1)) == 0


def test_ctrl_c_interrupts_analyze_frames_between_frames():
    # About 4 s of frames on one thread here; the interrupt comes after 0.2 s.
    frames = np.repeat(POSITIONS[None], 60000, axis=0)
    sent = []

    def interrupt():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    # A shell's background job starts Python with SIGINT ignored, and Python
    # then leaves it so: take Ctrl-C as an interactive session would.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timer = threading.Timer(0.2, interrupt)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            kavor.analyze_frames(LABELS, frames, N1, jobs=1)
        raised = time.monotonic()
    finally:
        timer.join()
        signal.signal(signal.SIGINT, previous)
    assert raised - sent[0] < 1.0


def test_threads_that_cannot_start_are_done_without():
    # Under an address-space limit most of 4096 thread stacks cannot be
    # mapped: the frames are shared among the threads that did start.
    script = """
import resource, sys
import numpy as np
import kavor
sys.path.insert(0, %r)
from test_analysis import LABELS, POSITIONS, N1
frames = np.repeat(POSITIONS[None], 300, axis=0)
with open("/proc/self/status") as status:
    used = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (used + (256 << 20), resource.RLIM_INFINITY))
table = kavor.analyze_frames(LABELS, frames, N1, jobs=4096)
print(sorted(set(table["status"])), repr(table["r"][0]), repr(table["r"][-1]))
""" % str(Path(__file__).parent)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    r = repr(kavor.analyze(LABELS, POSITIONS, N1).r)
    assert run.stdout.split() == ["['ok']", r, r]


def test_status_table_drives_readme_and_classes():
    """Every stop code has its class, and the README's status table says what the library's does."""
    rows = [line.split(" | ") for line in (EXAMPLES.parent / "README.md").read_text().split("\n")
            if line.startswith("| `")]
    readme = {cells[0][3:-1]: cells[1][:-2] for cells in rows if cells[0][3:-1] in kavor.STATUS_CODES}
    assert readme == {code: text for code, _, _, text in kavor._kavor.status_table}
    assert kavor.STATUS_CODES[0] == "ok"
    for code in kavor.STATUS_CODES[1:]:
        stop = kavor._errors.stop_for(code, "text")
        assert stop.status == code and type(stop) is not kavor.AnalysisStop
        assert isinstance(stop, kavor.SymmetricMolecule) == code.startswith("symmetric")
    assert issubclass(kavor.SymmetricMolecule1, kavor.SymmetricMolecule)


# The programs' masses: single-precision values of the decimal masses.
_MASSES = {s: float(np.float32(m)) for s, m in
           {"H": 1.008, "C": 12.011, "N": 14.007, "O": 15.999, "S": 32.06, "Cl": 35.45}.items()}


@pytest.mark.parametrize("example", example_names())
def test_molecules_equal_a_direct_computation(example):
    """Centre and moments from numpy; each axis an eigenvector of its moment, frames right-handed."""
    labels, positions, n1 = read_block(EXAMPLES / example / "input-GEOMETRY.xyz")
    try:
        molecules, oriented = kavor.analyze(labels, positions, n1).molecules, True
    except kavor.AnalysisStop as stop:
        molecules, oriented = stop.molecules, False
    assert molecules is not None
    masses = np.array([_MASSES[s] for s in labels])
    for k, (rows, moment_of_axis) in enumerate([(slice(0, n1), [2, 1, 0]),
                                                (slice(n1, None), [1, 0, 2])]):
        m, x = masses[rows], positions[rows]
        centre = (m[:, None] * x).sum(axis=0) / m.sum()
        d = x - centre
        tensor = np.eye(3) * (m * (d * d).sum(axis=1)).sum() - (m[:, None, None] * d[:, :, None]
                                                                * d[:, None, :]).sum(axis=0)
        mol = molecules[k]
        np.testing.assert_allclose(mol.centre, centre, rtol=1e-12, atol=1e-12)
        np.testing.assert_allclose(mol.moments, np.linalg.eigvalsh(tensor), rtol=1e-9)
        np.testing.assert_allclose(mol.axes @ mol.axes.T, np.eye(3), atol=1e-12)
        for axis, j in zip(mol.axes, moment_of_axis):
            np.testing.assert_allclose(tensor @ axis, mol.moments[j] * axis, atol=1e-8 * mol.moments[2])
        if oriented:
            assert np.linalg.det(mol.axes) == pytest.approx(1.0)
