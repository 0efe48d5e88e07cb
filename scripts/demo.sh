#!/usr/bin/env bash
# Installs what is missing, builds the programs and runs the main job on an
# example.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release
build/bin/karvo-cli --version
