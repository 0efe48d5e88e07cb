#!/usr/bin/env bash
# Configures and builds one configuration:
#   scripts/build.sh release   -> build/        (optimised, warnings are errors)
#   scripts/build.sh sanitize  -> build-asan/   (AddressSanitizer + UBSan, tests only)
set -euo pipefail
cd "$(dirname "$0")/.."

config=${1:-release}
jobs=${KARVO_JOBS:-$(nproc)}
case "$config" in
  release)
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARVO_WERROR=ON
    cmake --build build -j "$jobs"
    ;;
  sanitize)
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKARVO_WERROR=ON -DKARVO_SANITIZE=ON
    cmake --build build-asan -j "$jobs"
    ;;
  *)
    echo "usage: scripts/build.sh [release|sanitize]" >&2
    exit 2
    ;;
esac
