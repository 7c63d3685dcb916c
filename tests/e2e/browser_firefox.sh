#!/usr/bin/env bash
# The browser build in Firefox ESR under Xvfb (WebGL on llvmpipe), with a
# PulseAudio null sink of its own: the question, the title, the music from
# the AudioWorklet, Esc, two stills, no error and no failed request.
. "$(dirname "$0")/support/lib.sh"
browser_test firefox
