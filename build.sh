#!/usr/bin/env bash
# One entry point for building, running and testing on a fresh Debian machine.
#   ./build.sh run      build kavor and run it on a bundled example pair
#   ./build.sh test     build and run every test (plain, then under
#                       AddressSanitizer + UndefinedBehaviorSanitizer; the
#                       Python package's tests on the plain build), then
#                       run each fuzzer for FUZZ_SECONDS (default 60; 0 skips)
#   ./build.sh install  build and put the programs in ./bin and the Python
#                       package kavor in ./lib/python
#   ./build.sh bench    build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"
root="$PWD"
jobs="$(nproc)"
# Debian's interpreter: the one whose numpy, pytest and ASE the package uses.
python=/usr/bin/python3

configure_and_build() {  # dir, extra cmake arguments...
  local dir="$1"; shift
  cmake -S "$root" -B "$root/$dir" -G Ninja -DPython_EXECUTABLE="$python" "$@" > /dev/null
  cmake --build "$root/$dir" -j "$jobs"
}

case "${1:-}" in
  run)
    bash scripts/ensure-deps.sh run
    configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    example="${EXAMPLE:-n-methylformamide-dimer}"
    scratch="$root/scratch/$example"
    rm -rf "$scratch" && mkdir -p "$scratch"
    cp "examples/$example/input-GEOMETRY.xyz" "$scratch/"
    echo "== running kavor in $scratch on examples/$example"
    (cd "$scratch" && "$root/build/kavor")
    echo "== files written"
    ls -l "$scratch"
    for file in "$scratch"/*KAVOR.xyz "$scratch"/*.bild; do
      echo "== $(basename "$file")"
      cat "$file"
    done
    echo "== report: $scratch/LOG-PARAM-ONLY.txt ($(wc -l < "$scratch/LOG-PARAM-ONLY.txt") lines)"
    ;;
  test)
    bash scripts/ensure-deps.sh test
    # The test builds treat every compiler warning as an error.
    configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    # The Python tests run on their own below, with their summary shown.
    ctest --test-dir build --output-on-failure -j "$jobs" -LE python
    KAVOR_BUILD_DIR="$root/build" PYTHONPATH="$root/build/python" \
      "$python" -m pytest -q -p no:cacheprovider python/tests
    # A sanitized module could not be loaded into an unsanitized interpreter.
    configure_and_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKAVOR_SANITIZE=ON -DKAVOR_BENCH=OFF \
      -DKAVOR_PYTHON=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
    if [[ "${FUZZ_SECONDS:-60}" != 0 && -x scripts/fuzz.sh ]]; then
      bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
    fi
    ;;
  install)
    bash scripts/ensure-deps.sh run
    configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --install build --prefix "$root"
    echo "programs in $root/bin; for the Python package: export PYTHONPATH=$root/lib/python"
    ;;
  bench)
    bash scripts/ensure-deps.sh test
    configure_and_build build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    for program in build-bench/bench/*_bench; do "$program"; done
    bash bench/batch_bench.sh
    bash bench/pairs_bench.sh
    "$python" bench/python_bench.py --build build-bench
    # KAVOR_BENCH_BEFORE=DIR: a release build of an earlier commit, measured
    # in the same run for a before/after table.
    "$python" bench/closed_form.py --build build-bench ${KAVOR_BENCH_BEFORE:+--before "$KAVOR_BENCH_BEFORE"}
    ;;
  *)
    echo "usage: ./build.sh run|test|install|bench" >&2
    exit 2
    ;;
esac
