#!/usr/bin/env bash
# karvo-cli certify against PARI/GP's primecert on the same random primes,
# one core each, one after the other. Prints CSV: digits,karvo_s,pari_s,ratio
# (ratio = karvo/pari, below 1 when Karvo is faster) and, on standard error,
# the number of tests per certificate and the split of Karvo's time between
# its two phases. Sizes: 100 200 300 500 700 digits; --with-1000 adds 1000.
# Usage: bench/certify-vs-pari.sh [--with-1000] [seed]
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=(100 200 300 500 700)
if [[ ${1:-} == --with-1000 ]]; then
  sizes+=(1000)
  shift
fi
seed=${1:-1}
cli=$PWD/build/bin/karvo-cli
[[ -x $cli ]] || { echo "build karvo-cli first (scripts/build.sh release)" >&2; exit 2; }
command -v gp >/dev/null || { echo "PARI/GP (gp) is needed" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }

echo "digits,karvo_s,pari_s,ratio"
for digits in "${sizes[@]}"; do
  prime=$(echo "setrand($seed + $digits); print(nextprime(10^($digits-1) + random(9*10^($digits-1))))" | gp -q)
  dir=$scratch/$digits
  mkdir -p "$dir"
  printf '[KARVO - Input]\n[Candidate]\nN=%s\n' "$prime" > "$dir/p.in"
  start=$(date +%s%N)
  taskset -c 0 "$cli" --no-idle --no-reports certify "$dir/p.in" > "$dir/task.txt" 2>/dev/null
  karvo=$(seconds "$start" "$(date +%s%N)")
  grep -q '^Status=Candidate certified prime' "$dir/task.txt" || { echo "not certified: $digits" >&2; exit 1; }
  out=$(ls "$dir"/karvo-*.out)
  start=$(date +%s%N)
  echo "if(!primecertisvalid(primecert($prime)), error(\"invalid\"))" |
    taskset -c 0 gp -q -D parisizemax=2000000000 > /dev/null
  pari=$(seconds "$start" "$(date +%s%N)")
  echo "$digits,$karvo,$pari,$(awk -v k="$karvo" -v p="$pari" 'BEGIN { printf "%.2f", k / p }')"
  {
    printf '%s digits: %s tests;' "$digits" "$(grep -m1 '^TestCount=' "$out" | cut -d= -f2)"
    for key in 1stPhase 2ndPhase; do printf ' %s %s' "$key" "$(grep -m1 "^$key=" "$out" | cut -d= -f2)"; done
    echo
  } >&2
done
