#!/usr/bin/env bash
# The browser build in WebKitGTK (MiniBrowser over WebDriver) under Xvfb,
# with a PulseAudio null sink of its own: the question, the title, the
# music from the AudioWorklet, Esc, two stills, no error and no failed
# request.
. "$(dirname "$0")/support/lib.sh"
browser_test webkit
