#!/usr/bin/env bash
# The browser build's frame times over the whole intro (about four minutes
# of real time) and the size of its files; see web_bench.js. Builds the web
# preset first. Figures from a machine busy with other work are noisy.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset web >/dev/null
cmake --build --preset web >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} node bench/web_bench.js "$PWD/build-web" "$work"
