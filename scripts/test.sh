#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest (core
# tests, widget tests off-screen, fuzzers for a few seconds). Non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
ctest --output-on-failure -j"$(nproc)"
