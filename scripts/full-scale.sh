#!/usr/bin/env bash
# Full-scale runs: builds a release, generates a 150000-atom pair with
# bench/make_big_pair.py and runs kavor and ud-kavor on it under
# /usr/bin/time -v, printing wall time and peak memory against the targets
# (kavor < 5 s, ud-kavor < 10 s, each < 200 MiB). Exits 1 if one is missed.
# Environment: KAVOR_RELEASE_BUILD_DIR (default build-release).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/${KAVOR_RELEASE_BUILD_DIR:-build-release}"
work="$build/full-scale"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKAVOR_BENCH=OFF > /dev/null
cmake --build "$build" --target kavor ud-kavor

rm -rf "$work"
mkdir -p "$work/pair" "$work/kavor" "$work/ud-kavor"
echo "== generating the pair"
python3 bench/make_big_pair.py "$work/pair"
cp "$work/pair/input-GEOMETRY.xyz" "$work/kavor/"
cp "$work/pair/UD-input-GEOMETRY.xyz" "$work/ud-kavor/"

status=0
measure() {  # program, seconds limit
  local program="$1" limit="$2"
  (cd "$work/$program" && /usr/bin/time -v "$build/$program" > stdout.txt 2> time.txt) || {
    echo "$program failed:" >&2; cat "$work/$program/time.txt" >&2; status=1; return; }
  local wall rss
  wall="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/$program/time.txt")"
  rss="$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$program/time.txt")"
  # m:ss.cc to seconds
  local seconds
  seconds="$(awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }' <<< "$wall")"
  local mib=$(( rss / 1024 ))
  local verdict=ok
  if awk -v s="$seconds" -v l="$limit" 'BEGIN { exit !(s >= l) }' || (( mib >= 200 )); then
    verdict=MISSED; status=1
  fi
  printf '%-9s wall %8.2f s (target < %s s)   max RSS %4d MiB (target < 200 MiB)   %s\n' \
    "$program" "$seconds" "$limit" "$mib" "$verdict"
}
echo "== 150000 atoms"
measure kavor 5
measure ud-kavor 10
echo "   short contacts reported: $(grep -c 'found intermolecular' "$work/ud-kavor/stdout.txt" || true)"
exit "$status"
