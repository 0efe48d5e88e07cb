#!/usr/bin/env bash
# Prints the lines of tests/ against those of src/, apps/ and tools/ (every
# line of .cpp, .h, .cmake and CMakeLists.txt files) and their ratio. The
# budget is 35%: exits 1 above it.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' -o -name CMakeLists.txt \) \
    -print0 2>/dev/null | xargs -0 cat 2>/dev/null | wc -l
}
folders=()
for folder in src apps tools; do
  [[ -d $folder ]] && folders+=("$folder")
done
code=$(count "${folders[@]}")
tests=$(count tests)
percent=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.1f", 100 * t / c }')
echo "Test ratio: tests/ $tests lines, src/ apps/ tools/ $code lines: $percent% (budget 35%)"
awk -v t="$tests" -v c="$code" 'BEGIN { exit !(100 * t <= 35 * c) }'
