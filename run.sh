#!/usr/bin/env bash
# Installs what is missing, builds Brindlec and plays it.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
ensure_packages $BUILD_PACKAGES
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBRINDLEC_TESTS=OFF -DBRINDLEC_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target brindlec
exec ./build/brindlec "$@"
