#!/usr/bin/env bash
# kavor-batch pairs on a periodic box of 400 n-methylformamide molecules
# (3600 atoms, a triclinic cell, molecules straddling its faces), against
# kavor-batch analyze on the same pairs, measured side by side in one run:
#   pairs/s of `pairs` (molecule finding across images, wholeness, pair
#   finding, extraction of each pair and its analysis) and rows/s of
#   `analyze` on those pairs (written by pairs --xyz), both with every core;
#   the table columns they share must be equal; peak memory for 20 and for
#   60 frames (memory stays flat in frames).
# Usage: bench/pairs_bench.sh   (builds a release into build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/${KAVOR_BENCH_BUILD_DIR:-build-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKAVOR_BENCH=OFF > /dev/null
cmake --build "$build" --target kavor-batch > /dev/null
work="$build/pairs-bench"
rm -rf "$work" && mkdir -p "$work"
cores="$(nproc)"
frames="${PAIRS_BENCH_FRAMES:-20}"

source "$root/bench/measure.sh"

/usr/bin/python3 bench/make_box.py examples/n-methylformamide-dimer 400 1 --frames "$frames" > "$work/box.xyz"
/usr/bin/python3 bench/make_box.py examples/n-methylformamide-dimer 400 1 --frames $((3 * frames)) > "$work/box3.xyz"
"$build/kavor-batch" pairs --jobs "$cores" --xyz "$work/pairs.xyz" -o /dev/null "$work/box.xyz"

best_pairs=0 best_analyze=0
for _ in 1 2 3; do
  read -r sp mp <<< "$(measure "$build/kavor-batch" pairs --jobs "$cores" -o "$work/pairs.tsv" "$work/box.xyz")"
  read -r sa ma <<< "$(measure "$build/kavor-batch" analyze --n1 9 --jobs "$cores" -o "$work/analyze.tsv" "$work/pairs.xyz")"
  if [[ $best_pairs == 0 ]] || awk -v a="$sp" -v b="$best_pairs" 'BEGIN { exit !(a < b) }'; then best_pairs=$sp; fi
  if [[ $best_analyze == 0 ]] || awk -v a="$sa" -v b="$best_analyze" 'BEGIN { exit !(a < b) }'; then best_analyze=$sa; fi
done
rows=$(($(wc -l < "$work/pairs.tsv") - 1))
# status r theta phi alpha beta gamma name message: columns 8-16 of pairs, 3-11 of analyze
cmp -s <(cut -f8-16 "$work/pairs.tsv") <(cut -f3-11 "$work/analyze.tsv") ||
  { echo "pairs and analyze disagree on the same pairs" >&2; exit 1; }
read -r _ m3 <<< "$(measure "$build/kavor-batch" pairs --jobs "$cores" -o /dev/null "$work/box3.xyz")"

echo "== kavor-batch pairs, 400 n-methylformamide molecules in a triclinic box, $frames frames, $cores cores (best of 3)"
printf '  pairs:                      %s pairs/s  (%d pairs, %.3f s)\n' "$(rate "$rows" "$best_pairs")" "$rows" "$best_pairs"
printf '  analyze on the same pairs:  %s rows/s\n' "$(rate "$rows" "$best_analyze")"
awk -v p="$best_pairs" -v a="$best_analyze" 'BEGIN { printf "  pairs / analyze:            %.2f (target >= 0.8)\n", a / p }'
printf '  peak memory: %s MiB for %d frames, %s MiB for %d frames\n' "$mp" "$frames" "$m3" $((3 * frames))
