#!/usr/bin/env bash
# Installs what is missing, checks the code's format, builds Brindlec with
# its tests and runs every test: unit, end-to-end (Xvfb, SDL, Wine, three
# browser engines) and the sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES
ensure_node_modules
jobs=$(nproc)

# The product code in the style .clang-format states: a submission that
# drifts from it fails here, before the long stages.
scripts/check-format.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
# The browser build, which the suite's browser tests open in Chromium,
# Firefox ESR and WebKitGTK.
cmake --preset web >/dev/null
cmake --build --preset web
ctest --test-dir build -j"$jobs" --output-on-failure

# The unit suite again under AddressSanitizer + UndefinedBehaviorSanitizer
# (with LeakSanitizer), and everything that touches the mixing thread under
# ThreadSanitizer.
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan
tests/sanitizer/sdl_run.sh build-tsan

# A minute of fuzzing the music player, then the whole intro in real time
# (about four minutes), with LeakSanitizer on the ASan build.
scripts/fuzz.sh
tests/soak/soak.sh build build-asan

# Every stage above stops the script when it fails, so reaching here means
# all of them passed: the format, the suite, ASan, TSan, fuzzing and the
# soak.
echo "stages: 6 passed, 0 failed"
