#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
# Environment: KAVOR_FUZZ_BUILD_DIR (default build-fuzz).
# Exits non-zero when a target finds a crash; the input that crashed is kept
# as crash-* in the build directory's fuzz-artifacts folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${1:-60}"
build="$root/${KAVOR_FUZZ_BUILD_DIR:-build-fuzz}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVOR_FUZZ=ON -DBUILD_TESTING=OFF -DKAVOR_BENCH=OFF > /dev/null
cmake --build "$build" --target reader_fuzz analyzer_fuzz builder_fuzz batch_fuzz

status=0
for target in reader analyzer builder batch; do
  # The seed corpus stays as committed; new inputs go to a working copy.
  work="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target"
  scratch="$build/fuzz-tmp/$target"
  mkdir -p "$work" "$artifacts" "$scratch"
  echo "== fuzzing $target for ${seconds}s"
  if ! TMPDIR="$scratch" "$build/tests/fuzz/${target}_fuzz" \
      -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$work" "$root/tests/fuzz/corpus/$target" 2> "$build/fuzz-$target.log"; then
    echo "== $target: crash found, see $build/fuzz-$target.log and $artifacts/" >&2
    tail -n 40 "$build/fuzz-$target.log" >&2
    status=1
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/fuzz-$target.log" || true
  fi
  rm -rf "$scratch"
done
exit "$status"
