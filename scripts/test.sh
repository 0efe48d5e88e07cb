#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: all suites in the
# optimised build, each fuzz target for a bounded time, then the unit suites
# again under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

# The test budget is checked after every run, passed or failed: tests/ stays
# within 35% of the code.
finish() {
  local status=$?
  if ! scripts/test-ratio.sh && ((status == 0)); then
    echo "tests/ is over its budget of 35% of the code" >&2
    status=1
  fi
  exit "$status"
}
trap finish EXIT

scripts/install-deps.sh
scripts/build.sh release
ctest --test-dir build --output-on-failure

scripts/fuzz.sh "${KARVO_FUZZ_SECONDS:-60}"

scripts/build.sh sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -L unit
