#!/usr/bin/env bash
# kavor-batch against one program process per frame or point, measured side
# by side in one run on the 18-atom n-methylformamide dimer.
#   analyze: frames per second with one thread and with every core, against
#            one kavor process per frame in its own directory; peak memory
#            for 1000 and 100000 frames.
#   build:   placements per second with the contact check and the index only,
#            with --xyz as well, against one ud-kavor process per point; peak
#            memory for 10^3 and 10^6 points.
# Usage: bench/batch_bench.sh   (builds a release into build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/${KAVOR_BENCH_BUILD_DIR:-build-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKAVOR_BENCH=OFF > /dev/null
cmake --build "$build" --target kavor ud-kavor kavor-batch > /dev/null
work="$build/batch-bench"
rm -rf "$work" && mkdir -p "$work"
cores="$(nproc)"
example="$root/examples/n-methylformamide-dimer"

source "$root/bench/measure.sh"

/usr/bin/python3 bench/make_trajectory.py "$example" 1000 1 > "$work/t1000.xyz"
for _ in $(seq 10); do cat "$work/t1000.xyz"; done > "$work/t10000.xyz"
for _ in $(seq 100); do cat "$work/t1000.xyz"; done > "$work/t100000.xyz"

echo "== kavor-batch analyze, n-methylformamide dimer (18 atoms), $cores cores"
# One kavor process per frame, each in its own directory (200 frames, one at a time).
/usr/bin/python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
lines = open(os.path.join(work, "t1000.xyz")).read().split("\n")
for k in range(200):
    frame = lines[k * 20:(k + 1) * 20]
    d = os.path.join(work, "frames", "%03d" % k)
    os.makedirs(d)
    with open(os.path.join(d, "input-GEOMETRY.xyz"), "w") as f:
        f.write(frame[0] + "\n" + "\n".join(frame[2:]) + "\n\n9\n")
PY
start=$(date +%s.%N)
for d in "$work"/frames/*/; do (cd "$d" && "$build/kavor" > summary.txt); done
per_process=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
read -r s1 m1 <<< "$(measure "$build/kavor-batch" analyze --n1 9 --jobs 1 -o "$work/a1.tsv" "$work/t10000.xyz")"
read -r sn mn <<< "$(measure "$build/kavor-batch" analyze --n1 9 --jobs "$cores" -o "$work/an.tsv" "$work/t10000.xyz")"
read -r sk mk <<< "$(measure "$build/kavor-batch" analyze --n1 9 --jobs "$cores" -o "$work/ak.tsv" "$work/t1000.xyz")"
read -r sb mb <<< "$(measure "$build/kavor-batch" analyze --n1 9 --jobs "$cores" -o "$work/ab.tsv" "$work/t100000.xyz")"
cmp -s "$work/a1.tsv" "$work/an.tsv" || { echo "threads changed the table" >&2; exit 1; }
printf '  one kavor process per frame (1 core):   %s frames/s\n' "$(rate 200 "$per_process")"
printf '  kavor-batch --jobs 1, 10000 frames:     %s frames/s   peak %s MiB\n' "$(rate 10000 "$s1")" "$m1"
printf '  kavor-batch --jobs %d, 10000 frames:     %s frames/s   peak %s MiB\n' "$cores" "$(rate 10000 "$sn")" "$mn"
printf '  kavor-batch --jobs %d, 1000 frames:      %s frames/s   peak %s MiB\n' "$cores" "$(rate 1000 "$sk")" "$mk"
printf '  kavor-batch --jobs %d, 100000 frames:    %s frames/s   peak %s MiB\n' "$cores" "$(rate 100000 "$sb")" "$mb"
awk -v a="$(rate 10000 "$s1")" -v b="$(rate 200 "$per_process")" 'BEGIN { printf "  one thread against one process per frame: %.0f times\n", a / b }'

echo "== kavor-batch build, same pair"
ud="$example/UD-input-GEOMETRY.xyz"
grid3=(--r 3:12.9:1.1 --theta 0:180:20 --phi 0:350:40 --alpha 45 --beta 90 --gamma 30)       # 10x10x9 = 900
grid6=(--r 3:12.9:0.1 --theta 0:179:1.8 --phi 0:354:3.6 --alpha 45 --beta 90 --gamma 30)    # 100x100x99 = 990000
grid5=(--r 3:3.9:0.1 --theta 0:179:1.8 --phi 0:354:3.6 --alpha 45 --beta 90 --gamma 30)     # 10x100x99 = 99000
mkdir -p "$work/points"
start=$(date +%s.%N)
for k in $(seq 100); do
  d="$work/points/$k"; mkdir -p "$d"
  { head -n 22 "$ud"; printf '%s\n' "$(awk -v k="$k" 'BEGIN { print 3 + k * 0.05 }')" 90 45 "user-defined Euler angles" 45 90 30 end; } > "$d/UD-input-GEOMETRY.xyz"
  (cd "$d" && "$build/ud-kavor" > summary.txt)
done
per_point=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
read -r b3 m3 <<< "$(measure "$build/kavor-batch" build "$ud" --jobs 1 -o /dev/null "${grid3[@]}")"
read -r b6 m6 <<< "$(measure "$build/kavor-batch" build "$ud" --jobs 1 -o /dev/null "${grid6[@]}")"
read -r bn mn6 <<< "$(measure "$build/kavor-batch" build "$ud" --jobs "$cores" -o /dev/null "${grid6[@]}")"
read -r bx mx <<< "$(measure "$build/kavor-batch" build "$ud" --jobs 1 -o /dev/null --xyz "$work/scan.xyz" "${grid5[@]}")"
printf '  one ud-kavor process per point (1 core):       %s points/s\n' "$(rate 100 "$per_point")"
printf '  --jobs 1, index only, 900 points:              %s points/s   peak %s MiB\n' "$(rate 900 "$b3")" "$m3"
printf '  --jobs 1, index only, 990000 points:           %s points/s   peak %s MiB\n' "$(rate 990000 "$b6")" "$m6"
printf '  --jobs %d, index only, 990000 points:           %s points/s   peak %s MiB\n' "$cores" "$(rate 990000 "$bn")" "$mn6"
printf '  --jobs 1, index and --xyz, 99000 points:       %s points/s   peak %s MiB\n' "$(rate 99000 "$bx")" "$mx"
