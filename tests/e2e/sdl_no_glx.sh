#!/usr/bin/env bash
# A display without OpenGL (Xvfb without GLX): the crash box, never a
# segfault, and the intro ends with status 0.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
XVFB_EXTRA="-extension GLX" start_xvfb 1024x768
xdpyinfo | grep -qw GLX && fail "this X server still offers GLX"

start_intro --windowed
box=$(window_id "$ERROR_CAPTION") || { cat "$work/err"; fail "no crash box without GLX"; }
close_with "$box" Return 10 "$work/err"
echo "ok: no GLX -> crash box, status 0"
