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

# The whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer
# (with LeakSanitizer), and everything that touches the mixing thread under
# ThreadSanitizer.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEC_SANITIZE=address -DBRINDLEC_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan -j"$jobs" --output-on-failure -L unit

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEC_SANITIZE=thread -DBRINDLEC_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
ctest --test-dir build-tsan -j"$jobs" --output-on-failure -L "music|tick|song"
