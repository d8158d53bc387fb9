#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are installed.
# Usage: scripts/ensure-deps.sh [run|test|pip]
#   pip: also what `pip install --no-build-isolation .` needs in a venv made
#   with --system-site-packages (README, section Python)
# As root, missing packages are installed with apt-get; otherwise the missing
# packages are named and the script stops with status 1.
set -euo pipefail

purpose="${1:-run}"
# The Python package's module is built with the programs. gemmi reads the
# crystals (CIF) of kavor-batch pairs: header-only, its CIF parser needs PEGTL.
packages=(g++ cmake ninja-build liblapack-dev libgtest-dev pybind11-dev python3-dev python3-numpy
          gemmi-dev tao-pegtl-dev)
if [[ "$purpose" == test ]]; then
  # Benchmarks are built with the tests; libFuzzer comes with clang's runtime;
  # the Python tests read and write trajectories with ASE and MDAnalysis and
  # run the plotting example.
  packages+=(libbenchmark-dev clang libclang-rt-14-dev
             python3-pytest python3-ase python3-matplotlib python3-mdanalysis)
elif [[ "$purpose" == pip ]]; then
  # venv and pip themselves, and setuptools with wheel as the build backend.
  packages+=(python3-venv python3-pip python3-setuptools python3-wheel)
fi

missing=()
for package in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ "$(id -u)" -eq 0 ]]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "missing Debian packages: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
