#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Asks apt only when something is missing, so repeated runs cost nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libgmp-dev
  libmpfr-dev libmpc-dev  # floating-point references of the tests and benchmarks
  libflint-dev            # polynomial reference of the tests and karvo-bench-polys
  pari-gp                 # gp: regenerates tests/data rows, reference of karvo-bench-classpolys
  clang libclang-rt-14-dev
  bsdutils  # script(1): the end-to-end tests run karvo-cli on a terminal
  python3   # scripts/mutants.sh picks and plants the mutants
  qt6-base-dev  # the window, karvo (Qt 6 Widgets); its tests use the offscreen platform
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    SUDO=sudo
  else
    SUDO=
  fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
