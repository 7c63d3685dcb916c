#!/usr/bin/env bash
# The browser build in headless chromium (WebGL on SwiftShader): the
# question, the 800 x 600 window with the title, the music, Esc, Play
# again, full screen, stills against brindlec-capture's frames (left by
# gl_subset.sh), the single file from file://, a phone's touch screen, a
# browser without AudioWorklet and one without WebGL. The browser build is
# the web preset's (BRINDLEC_WEB_DIR, build-web by default).
. "$(dirname "$0")/support/lib.sh"
browser_test chromium
