#!/usr/bin/env python3
"""The Python package against kavor-batch on the same frames, in one run.

  analyze_frames   kavor.analyze_frames on F frames held as one (F, N, 3) array
  kavor-batch      kavor-batch analyze on the same frames as an XYZ file, the
                   same number of threads, table to /dev/null (reading the
                   text is part of its work)
  Python loop      kavor.analyze called once per frame on a subset, the time
                   scaled to F frames

Each figure is the best of --repeat runs (the machine may be shared). The
frames are the seeded 18-atom n-methylformamide trajectory of
bench/make_trajectory.py, read once with the standard library.

usage: python_bench.py [--build DIR] [--frames F] [--loop L] [--jobs J] [--repeat K]
DIR is a build directory (default build-bench): DIR/kavor-batch and the
package in DIR/python are used.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def read_frames(path, np):
    lines = Path(path).read_text().split("\n")
    n = int(lines[0])
    labels = [line.split()[0] for line in lines[2:n + 2]]
    frames = []
    for start in range(0, len(lines) - 1, n + 2):
        frames.append([[float(v) for v in line.split()[1:4]] for line in lines[start + 2:start + 2 + n]])
    return labels, np.array(frames)


def best_of(repeat, work):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build-bench"))
    parser.add_argument("--frames", type=int, default=10000)
    parser.add_argument("--loop", type=int, default=1000)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    sys.path.insert(0, str(build / "python"))
    import numpy as np
    import kavor

    with tempfile.TemporaryDirectory() as scratch:
        trajectory = Path(scratch) / "frames.xyz"
        with open(trajectory, "w") as out:
            subprocess.run([sys.executable, str(ROOT / "bench" / "make_trajectory.py"),
                            str(ROOT / "examples" / "n-methylformamide-dimer"), str(args.frames), "1"],
                           stdout=out, check=True)
        labels, frames = read_frames(trajectory, np)
        batch = [str(build / "kavor-batch"), "analyze", "--n1", "9", "--jobs", str(args.jobs),
                 "-o", "/dev/null", str(trajectory)]

        t_frames = best_of(args.repeat, lambda: kavor.analyze_frames(labels, frames, 9, jobs=args.jobs))
        t_batch = best_of(args.repeat, lambda: subprocess.run(batch, check=True))
        subset = frames[:args.loop]
        t_loop = best_of(args.repeat, lambda: [kavor.analyze(labels, f, 9) for f in subset])
        t_loop *= len(frames) / len(subset)

    f = len(frames)
    print("%d frames of %d atoms, %d thread%s, best of %d" % (
        f, len(labels), args.jobs, "" if args.jobs == 1 else "s", args.repeat))
    print("%-34s %9s %14s %10s" % ("", "seconds", "frames/second", "vs batch"))
    for name, t in (("kavor.analyze_frames", t_frames), ("kavor-batch analyze", t_batch),
                    ("Python loop over kavor.analyze (*)", t_loop)):
        print("%-34s %9.3f %14.0f %9.2fx" % (name, t, f / t, t / t_batch))
    print("(*) %d frames on one thread, scaled to %d" % (len(subset), f))


if __name__ == "__main__":
    main()
