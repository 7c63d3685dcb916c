#!/usr/bin/env bash
# The browser build in Chromium, Firefox ESR and WebKitGTK (or the engines
# named: bench/web_bench.sh firefox webkit): frame times over the whole
# intro, when the music starts, the music under a stalled page, and the size
# of the files; see web_bench.js. About five minutes an engine. Builds the
# web preset first; Firefox and WebKitGTK play under Xvfb into a PulseAudio
# null sink. Figures from a machine busy with other work are noisy.
. "$(dirname "$0")/../tests/e2e/support/lib.sh"
set -e
cd "$BRINDLEC_SOURCE_DIR"
. scripts/packages.sh
ensure_node_modules
cmake --preset web >/dev/null
cmake --build --preset web >/dev/null
make_work_dir
start_xvfb 1280x1024
start_null_sink
[ $# -gt 0 ] || set -- chromium firefox webkit
node bench/web_bench.js "$PWD/build-web" "$work" "$@"
