#!/usr/bin/env bash
# Installs what is missing, builds the programs and runs the main job on an
# example: certifies the candidate of examples/chain-331.in, then verifies
# the certificate in full. Everything is written in a scratch folder, never
# in the repository. Fails when either step does not succeed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release

cli=$PWD/build/bin/karvo-cli
example=examples/chain-331.in
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$example" "$scratch/"
"$cli" --version

echo
echo "== Certifying $example (working files and certificate in $scratch)"
"$cli" certify "$scratch/$(basename "$example")" | tee "$scratch/certify.log"
grep -q '^Status=Candidate certified prime' "$scratch/certify.log"

shopt -s nullglob
certificates=("$scratch"/karvo-*.out)
if ((${#certificates[@]} != 1)); then
  echo "expected one certificate, found ${#certificates[@]}" >&2
  exit 1
fi

echo
echo "== Verifying $(basename "${certificates[0]}") in full"
"$cli" --full verify "${certificates[0]}" | tee "$scratch/verify.log"
grep -q '^Status=Valid certificate' "$scratch/verify.log"

echo
echo "== Outcome: the candidate of $example is certified prime, and its certificate is valid"
