#!/usr/bin/env bash
# The browser build in headless chromium (WebGL on SwiftShader), driven
# over the DevTools protocol: the question, the 800 x 600 window with the
# title, the music, Esc, Play again, stills against brindlec-capture's
# frames (left by gl_subset.sh), the single file from file://, and a
# browser without WebGL. The browser build is the web preset's
# (BRINDLEC_WEB_DIR, build-web by default).
. "$(dirname "$0")/support/lib.sh"
web=${BRINDLEC_WEB_DIR:-$BRINDLEC_SOURCE_DIR/build-web}
reference="$BRINDLEC_BIN/reference-frames"
[ -f "$web/brindlec.html" ] && [ -f "$web/brindlec-single.html" ] ||
    fail "no browser build in $web: cmake --preset web && cmake --build --preset web"
[ -f "$reference/frame-226000.png" ] || fail "no reference frames in $reference (gl_subset.sh makes them)"
make_work_dir

# Debian's Node modules (node-ws) live in /usr/share/nodejs.
NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} \
    node "$BRINDLEC_SOURCE_DIR/tests/e2e/support/browser_test.js" "$(cd "$web" && pwd)" "$reference" \
    "$BRINDLEC_BIN/frame_diff" "$work" || fail "browser test"
