#!/usr/bin/env bash
# Full screen on a display that offers no 1024 x 768 mode: the display-mode
# message, the display left as it was, and the intro ends with status 0.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
start_xvfb 800x600
before=$(xdpyinfo | awk '/dimensions:/ {print $2}')

start_intro --fullscreen
box=$(window_id "$ERROR_CAPTION") || { cat "$work/err"; fail "no error box for the refused mode"; }
[ -z "$(window_id "$WINDOW_TITLE" 1)" ] || fail "a window was opened despite the refused mode"
close_with "$box" Return 10 "$work/err"
after=$(xdpyinfo | awk '/dimensions:/ {print $2}')
[ "$before" = "$after" ] || fail "display changed from $before to $after"
echo "ok: refused mode reported, display untouched, status 0"
