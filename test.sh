#!/usr/bin/env bash
# Installs what is missing, builds Brindlec with its tests and runs every
# test: unit, end-to-end (Xvfb, SDL, Wine) and the sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure
