#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one
# for a bounded time over a scratch copy of its corpus
# (tests/fuzz/corpus/<target without "fuzz_">/, never written to). Any crash,
# leak, sanitizer report or failed check fails the run; the inputs that
# caused it are kept in build-fuzz/artifacts/<target>/.
#   scripts/fuzz.sh [seconds per target, default 60]
# Needs clang and libclang-rt-14-dev (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
jobs=${KARVO_JOBS:-$(nproc)}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKARVO_FUZZ=ON -DKARVO_BUILD_TESTS=OFF -DKARVO_WERROR=ON
cmake --build build-fuzz -j "$jobs" --target fuzz-targets

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The targets save files at every run; a memory-backed folder keeps the
# disk out of the way.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=/dev/shm
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

shopt -s nullglob
targets=(build-fuzz/fuzz/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets were built" >&2
  exit 1
fi

failed=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus=tests/fuzz/corpus/${name#fuzz_}
  work=$scratch/$name
  mkdir -p "$work/corpus" "$work/artifacts"
  if [[ -d $corpus ]]; then
    cp -R "$corpus/." "$work/corpus/"
  fi
  # The class-group reader is small: a quarter of the time covers it.
  budget=$seconds
  if [[ $name == fuzz_galoisdata ]]; then
    budget=$(((seconds + 3) / 4))
  fi
  echo "== $name: ${budget}s over a copy of $corpus"
  # The fuzzer reports every new input; only the closing statistics, or the
  # report of a failure, are worth showing.
  if "$target" -max_total_time="$budget" -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    grep -E '^(stat::|Done )' "$work/log" || true
    echo "== $name: passed"
  else
    tail -n 80 "$work/log" >&2
    kept=build-fuzz/artifacts/$name
    mkdir -p "$kept"
    cp -R "$work/artifacts/." "$kept/"
    cp "$work/log" "$kept/fuzz.log"
    echo "== $name: FAILED; inputs and log kept in $kept" >&2
    failed+=("$name")
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing passed: ${#targets[@]} target(s), ${seconds}s each (galoisdata a quarter)"
