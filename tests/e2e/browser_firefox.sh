#!/usr/bin/env bash
# The browser build in Firefox ESR under Xvfb (WebGL on llvmpipe), with a
# PulseAudio null sink of its own: the question, the title, the music from
# the AudioWorklet, Esc, two stills, no error and no failed request. And
# without a sound server, whose AudioContext never runs: a silent intro.
. "$(dirname "$0")/support/lib.sh"
browser_test firefox-without-sound
browser_test firefox
