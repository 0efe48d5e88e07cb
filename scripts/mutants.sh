#!/usr/bin/env bash
# Measures how many planted faults the tests catch. Makes single-token
# mutants of src/ (comparison and logical operators, +1/-1, return
# true/false, ++/--), builds each in a Release tree of its own, runs ctest,
# and prints the survivors and the kill rate.
#   scripts/mutants.sh [count, default 60] [seed, default 1]
# KARVO_MUTANTS_ONLY=src/arith limits the mutants to one folder and
# KARVO_MUTANTS_CTEST='-R karvo_tests_arith' the tests run, for a quick
# look at one layer; the kill rate to report comes from a full run.
# The same seed on the same src/ picks the same mutants, so two commits of
# the test suite can be compared. Mutants that do not compile are replaced
# by the next ones and do not count. Works on a copy of the tree in
# ${KARVO_MUTANTS_DIR:-build-mutants}/; the checkout itself is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."

count=${1:-60}
seed=${2:-1}
jobs=${KARVO_JOBS:-$(nproc)}
top=$PWD
work=$(realpath -m "${KARVO_MUTANTS_DIR:-build-mutants}")
tree=$work/tree
build=$work/build

scripts/install-deps.sh

# A copy of the files git knows (committed or not), so that the mutants
# never land in the checkout. Only files that differ are rewritten, so the
# tree of an earlier run is rebuilt incrementally.
while IFS= read -r -d '' file; do
  if ! cmp -s "$file" "$tree/$file"; then
    mkdir -p "$tree/$(dirname "$file")"
    cp "$file" "$tree/$file"
  fi
done < <(git ls-files -z --cached --others --exclude-standard | grep -zv '^build')

# With ccache, putting a mutated file back costs nothing, and a second run
# over another tree with the same src/ finds every mutant already compiled.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$work
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKARVO_WERROR=OFF -DKARVO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

# Fixed random data, so that a mutant's fate depends on the tests alone; a
# suite stops at its first failure, which is all a kill needs.
export KARVO_TEST_SEED=$seed GTEST_FAIL_FAST=1
# Mutants run the suites one at a time in the order they are declared, the
# quick unit suites before the end-to-end ones, so that most kills cost
# seconds.
run_tests() {
  # shellcheck disable=SC2086
  ctest --test-dir "$build" -j "$2" --stop-on-failure --timeout "$1" ${KARVO_MUTANTS_CTEST:-} \
    >"$work/ctest.log" 2>&1
}
start=$(date +%s)
if ! run_tests 1800 "$jobs"; then
  cat "$work/ctest.log" >&2
  echo "the unmutated tree fails its tests; nothing to measure" >&2
  exit 1
fi
# A mutant that loops is killed by the time-out: five times a clean run, so
# that a busy machine does not count as a kill.
limit=$((5 * ($(date +%s) - start) + 60))

# Every mutation site as "file<TAB>line<TAB>column<TAB>from<TAB>to", in a
# seeded order; only the first ones that compile are used.
sites=$work/sites.tsv
(cd "$tree" && python3 - "$seed" "${KARVO_MUTANTS_ONLY:-src}" >"$sites") <<'EOF'
import pathlib, random, re, sys

swaps = [
    (r" < ", " <= "), (r" <= ", " < "), (r" > ", " >= "), (r" >= ", " > "),
    (r" == ", " != "), (r" != ", " == "), (r" && ", " || "), (r" \|\| ", " && "),
    (r" \+ 1\b", " - 1"), (r" - 1\b", " + 1"),
    (r"\breturn true\b", "return false"), (r"\breturn false\b", "return true"),
    (r"\+\+", "--"), (r"--", "++"),
]
sites = []
for path in sorted(pathlib.Path(sys.argv[2]).rglob("*")):
    if path.suffix not in (".cpp", ".h"):
        continue
    for number, line in enumerate(path.read_text().splitlines(), 1):
        code = line.split("//")[0]
        if code.lstrip().startswith(("#", "*", "/*")) or "static_assert" in code:
            continue
        for pattern, replacement in swaps:
            for match in re.finditer(pattern, code):
                if code[:match.start()].count('"') % 2:
                    continue  # inside a string literal
                sites.append((str(path), number, match.start(), match.group(0), replacement))
random.Random(int(sys.argv[1])).shuffle(sites)
for site in sites:
    print(*site, sep="\t")
EOF

killed=0
tested=0
survivors=()
while IFS=$'\t' read -r file line column from to; do
  ((tested < count)) || break
  original=$work/original
  cp "$tree/$file" "$original"
  python3 - "$tree/$file" "$line" "$column" "$from" "$to" <<'EOF'
import sys
path, line, column, old, new = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
lines = open(path).read().split("\n")
text = lines[line - 1]
assert text[column:column + len(old)] == old
lines[line - 1] = text[:column] + new + text[column + len(old):]
open(path, "w").write("\n".join(lines))
EOF
  label="$file:$line:$((column + 1)) '${from}' -> '${to}'"
  if cmake --build "$build" -j "$jobs" >/dev/null 2>&1; then
    tested=$((tested + 1))
    if run_tests "$limit" 1; then
      survivors+=("$label")
      echo "[$tested/$count] survived: $label"
    else
      killed=$((killed + 1))
      by=$(grep -oE '[0-9]+ - [A-Za-z0-9_]+ \(' "$work/ctest.log" | head -n 1 | cut -d' ' -f3)
      echo "[$tested/$count] killed:   $label by ${by:-ctest}"
    fi
  fi
  cp "$original" "$tree/$file"
done <"$sites"

# Leave the tree built as it is checked in.
cmake --build "$build" -j "$jobs" >/dev/null
echo
echo "Survivors (${#survivors[@]}):"
for survivor in "${survivors[@]}"; do
  echo "  $survivor"
done
if ((tested > 0)); then
  echo "Kill rate: $killed/$tested = $((100 * killed / tested))% (seed $seed)"
fi
