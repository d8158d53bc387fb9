#!/usr/bin/env python3
"""The exact analysis against the closed form a user would write in numpy,
measured in one run on the same frames.

The closed form: principal axes of each molecule by one stacked numpy eigh of
the inertia tensors (the programs' masses), each axis signed towards the
molecule's heaviest atom, the third axis made right-handed, then r, theta,
phi of molecule 2's centre of mass in molecule 1's axes and z-y-z Euler
angles of the relative rotation in closed form. None of the analysis's
orientation rules, passes or grid fits: r agrees with the analysis, but the
axes' order and signs follow simpler conventions, so the angles are not the
analysis's. It serves only as the speed floor the exact analysis is measured
against.

Rows, each for this build and, with --before DIR, for a second build (the
commit before a change), all on the same frames in one run:
  analyze_frames 1 / 2 threads    kavor.analyze_frames on one (F, N, 3) array
  kavor-batch 1 / 2 threads       kavor-batch analyze on the same frames as an
                                  XYZ file, table to /dev/null
  one kavor process per frame     each in its own directory (--processes
                                  frames, scaled)
  numpy closed form, vectorised   all frames in one call
  numpy closed form, loop         the same function once per frame (--loop
                                  frames, scaled)
Each figure is the best of --repeat runs: the machine may be shared.

usage: closed_form.py [--build DIR] [--before DIR] [--frames F] [--loop L]
                      [--processes P] [--repeat K]
DIR is a build directory holding kavor, kavor-batch and python/ (default
build-bench).
"""
import argparse
import os
import platform
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

from python_bench import best_of, read_frames

ROOT = Path(__file__).resolve().parents[1]
EXAMPLE = ROOT / "examples" / "n-methylformamide-dimer"
N1 = 9

# The programs' masses are single-precision literals, widened to double.
MASSES = {"H": np.float32(1.008), "C": np.float32(12.011), "N": np.float32(14.007),
          "O": np.float32(15.999)}


def frame_axes(x, m):
    """Centres of mass (..., 3) and axes (..., 3, 3), one axis a row, of
    molecules x (..., N, 3) with masses m (N,)."""
    centre = np.einsum("n,...ni->...i", m, x) / m.sum()
    r = x - centre[..., None, :]
    r2 = np.einsum("...ni,...ni->...n", r, r)
    tensor = (np.einsum("n,...n->...", m, r2)[..., None, None] * np.eye(3)
              - np.einsum("n,...ni,...nj->...ij", m, r, r))
    _, vectors = np.linalg.eigh(tensor)  # ascending moments, axes as columns
    axes = np.swapaxes(vectors, -1, -2)
    heavy = r[..., int(np.argmax(m)), :]
    sign = np.where(np.einsum("...ki,...i->...k", axes, heavy) < 0.0, -1.0, 1.0)
    axes = axes * sign[..., None]
    axes[..., 2, :] = np.cross(axes[..., 0, :], axes[..., 1, :])
    return centre, axes


def closed_form(x, m, n1):
    """r, theta, phi, alpha, beta, gamma (degrees) of pairs x (..., N, 3)."""
    c1, a1 = frame_axes(x[..., :n1, :], m[:n1])
    c2, a2 = frame_axes(x[..., n1:, :], m[n1:])
    d = np.einsum("...ij,...j->...i", a1, c2 - c1)
    r = np.linalg.norm(d, axis=-1)
    theta = np.arccos(np.clip(d[..., 2] / r, -1.0, 1.0))
    phi = np.arctan2(d[..., 1], d[..., 0]) % (2 * np.pi)
    rot = np.einsum("...ik,...jk->...ij", a1, a2)  # molecule 2's axes in molecule 1's
    beta = np.arccos(np.clip(rot[..., 2, 2], -1.0, 1.0))
    alpha = np.arctan2(rot[..., 1, 2], rot[..., 0, 2]) % (2 * np.pi)
    gamma = np.arctan2(rot[..., 2, 1], -rot[..., 2, 0]) % (2 * np.pi)
    return np.stack([r, np.degrees(theta), np.degrees(phi), np.degrees(alpha),
                     np.degrees(beta), np.degrees(gamma)], axis=-1)


def frames_worker(build, trajectory, jobs, repeat):
    """Seconds of kavor.analyze_frames of one build, in a fresh interpreter
    (two builds' modules cannot share one process)."""
    code = ("import sys\n"
            "sys.path.insert(0, sys.argv[1] + '/python'); sys.path.insert(0, sys.argv[5])\n"
            "import numpy, kavor, closed_form as cf\n"
            "labels, frames = cf.read_frames(sys.argv[2], numpy)\n"
            "print(cf.best_of(int(sys.argv[4]), lambda: kavor.analyze_frames(labels, frames, cf.N1, "
            "jobs=int(sys.argv[3]))))\n")
    out = subprocess.run([sys.executable, "-c", code, str(build), str(trajectory), str(jobs), str(repeat),
                          str(ROOT / "bench")], check=True, capture_output=True, text=True).stdout
    return float(out)


def per_process(build, trajectory, count, scratch):
    """Seconds of one kavor process per frame on the first `count` frames."""
    lines = Path(trajectory).read_text().split("\n")
    n = int(lines[0])
    dirs = []
    for k in range(count):
        frame = lines[k * (n + 2):(k + 1) * (n + 2)]
        d = Path(scratch) / ("p-%s-%04d" % (Path(build).name, k))
        d.mkdir()
        (d / "input-GEOMETRY.xyz").write_text(frame[0] + "\n" + "\n".join(frame[2:]) + "\n\n%d\n" % N1)
        dirs.append(d)
    start = time.perf_counter()
    for d in dirs:
        subprocess.run([str(Path(build) / "kavor")], cwd=d, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build-bench"))
    parser.add_argument("--before", default="")
    parser.add_argument("--frames", type=int, default=10000)
    parser.add_argument("--loop", type=int, default=1000)
    parser.add_argument("--processes", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    builds = [Path(args.build).resolve()] + ([Path(args.before).resolve()] if args.before else [])

    with tempfile.TemporaryDirectory() as scratch:
        trajectory = Path(scratch) / "frames.xyz"
        with open(trajectory, "w") as out:
            subprocess.run([sys.executable, str(ROOT / "bench" / "make_trajectory.py"), str(EXAMPLE),
                            str(args.frames), "1"], stdout=out, check=True)
        labels, frames = read_frames(trajectory, np)
        f = len(frames)
        m = np.array([MASSES[label] for label in labels], dtype=np.float64)

        # The vectorised and the looped closed form are one function.
        vectorised = closed_form(frames, m, N1)
        looped = np.array([closed_form(x, m, N1) for x in frames[:args.loop]])
        assert np.array_equal(np.isnan(vectorised[:args.loop]), np.isnan(looped))
        assert np.allclose(vectorised[:args.loop], looped, rtol=0.0, atol=1e-9, equal_nan=True)

        rows = []
        for jobs in (1, 2):
            rows.append(("kavor.analyze_frames, %d thread%s" % (jobs, "" if jobs == 1 else "s"),
                         [f / frames_worker(b, trajectory, jobs, args.repeat) for b in builds]))
        for jobs in (1, 2):
            rates = []
            for b in builds:
                batch = [str(b / "kavor-batch"), "analyze", "--n1", str(N1), "--jobs", str(jobs),
                         "-o", "/dev/null", str(trajectory)]
                rates.append(f / best_of(args.repeat, lambda: subprocess.run(batch, check=True)))
            rows.append(("kavor-batch analyze, %d thread%s" % (jobs, "" if jobs == 1 else "s"), rates))
        rows.append(("one kavor process per frame (*)",
                     [args.processes / per_process(b, trajectory, args.processes, scratch) for b in builds]))
        t_vec = best_of(args.repeat, lambda: closed_form(frames, m, N1))
        subset = frames[:args.loop]
        t_loop = best_of(args.repeat, lambda: [closed_form(x, m, N1) for x in subset])
        rows.append(("numpy closed form, vectorised", [f / t_vec]))
        rows.append(("numpy closed form, loop (*)", [len(subset) / t_loop]))

    model = ""
    try:
        model = next(line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                     if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    print("%d frames of the %d-atom n-methylformamide pair, best of %d; %s, %d cores, numpy %s" % (
        f, len(labels), args.repeat, model or platform.machine(), os.cpu_count() or 1, np.__version__))
    header = "%-36s %14s" % ("frames/second", "this build")
    if len(builds) > 1:
        header += " %14s %8s" % ("before", "speedup")
    print(header)
    for name, rates in rows:
        line = "%-36s %14.0f" % (name, rates[0])
        if len(rates) > 1:
            line += " %14.0f %7.2fx" % (rates[1], rates[0] / rates[1])
        print(line)
    print("(*) one process per frame on %d frames, the loop on %d, scaled" % (args.processes, args.loop))
    if len(builds) > 1:
        print("before: %s" % builds[1])


if __name__ == "__main__":
    main()
