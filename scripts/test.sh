#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: all suites in the
# optimised build, each fuzz target for a bounded time, then the unit suites
# again under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release
ctest --test-dir build --output-on-failure

scripts/fuzz.sh "${KARVO_FUZZ_SECONDS:-60}"

scripts/build.sh sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -L unit
