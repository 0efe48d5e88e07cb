#!/usr/bin/env bash
# Retakes the pictures of the window in docs/ shown in the README: karvo's
# window certifies a 497-bit prime and verifies its certificate on a virtual
# X display, and each page is captured while shown (tools/screenshots).
# Needs a configured build/ (scripts/build.sh release) and Xvfb (Debian
# package xvfb, which provides xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build build --target karvo-screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Built up from a 47-bit prime by steps N = k R + 1, so that every test of
# the chain is an N-1 test and the certification takes a moment only.
printf '[KARVO - Input]\r\n[Candidate]\r\nN=%s%s\r\n' \
  139404965900204169458046766276056820256397474435585406543422967344251356363 \
  509694056019415061094439962782376380390012616499077292861395736235504003558743 \
  >"$work/candidate.in"
xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" \
  env QT_QPA_PLATFORM=xcb build/bin/karvo-screenshots "$work/candidate.in" docs
