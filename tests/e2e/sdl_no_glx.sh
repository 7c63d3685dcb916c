#!/usr/bin/env bash
# A display without OpenGL (Xvfb without GLX): the crash box, never a
# segfault, and the intro ends with status 0.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
XVFB_EXTRA="-extension GLX" start_xvfb 1024x768
xdpyinfo | grep -qw GLX && fail "this X server still offers GLX"

"$BRINDLEC_BIN/brindlec" --windowed >"$work/out" 2>&1 &
APP_PID=$!
box=$(window_id "$ERROR_CAPTION") || { cat "$work/out"; fail "no crash box without GLX"; }
press_key "$box" Return
expect_exit_zero 10 "$work/out"
echo "ok: no GLX -> crash box, status 0"
