#!/usr/bin/env bash
# The real intro under Xvfb with real SDL, the question answered in the
# real dialog: "Yes", full screen in the display's 1024 x 768 mode; "No",
# the 800 x 600 window shows the title, Space does not end it, Esc ends
# it with 0. Then its error boxes, each closed with Return, the intro
# ending with status 0: full screen on a display that offers no
# 1024 x 768 mode (the display-mode message, no window, the display left
# as it was), and a display without OpenGL (Xvfb without GLX: the crash
# box, never a segfault).
. "$(dirname "$0")/support/lib.sh"
make_work_dir
start_xvfb 1024x768

start_intro
answer_yes
[ "$(size_of "$win")" = 1024x768 ] || fail "the full-screen window is $(size_of "$win"), not 1024x768"
close_with "$win" Escape 10 "$work/err"
echo "ok: Yes: full screen in the display's 1024 x 768 mode, Esc -> 0"

start_intro
answer_no
[ "$(size_of "$win")" = 800x600 ] || fail "window is $(size_of "$win"), not 800x600"
# The first caption shows from 0.51 s to 2.1 s of the intro clock.
wait_for_caption "$win" 8 >/dev/null || fail "no title text in the window"
timeout 10 import -window "$win" "$BRINDLEC_BIN/e2e-sdl-window.png" 2>/dev/null
press_key "$win" space && sleep 1 && kill -0 $APP_PID 2>/dev/null || fail "a key other than Esc ended the intro"
close_with "$win" Escape 10 "$work/err"
echo "ok: question, 800x600 window with title text, Space plays on, Esc -> 0"

start_xvfb 800x600
before=$(xdpyinfo | awk '/dimensions:/ {print $2}')
start_intro --fullscreen
box=$(window_id "$ERROR_CAPTION") || { cat "$work/err"; fail "no error box for the refused mode"; }
[ -z "$(window_id "$WINDOW_TITLE" 1)" ] || fail "a window was opened despite the refused mode"
close_with "$box" Return 10 "$work/err"
[ "$(xdpyinfo | awk '/dimensions:/ {print $2}')" = "$before" ] || fail "the display changed from $before"
echo "ok: refused mode reported, display untouched, status 0"

XVFB_EXTRA="-extension GLX" start_xvfb 1024x768
xdpyinfo | grep -qw GLX && fail "this X server still offers GLX"
start_intro --windowed
box=$(window_id "$ERROR_CAPTION") || { cat "$work/err"; fail "no crash box without GLX"; }
close_with "$box" Return 10 "$work/err"
echo "ok: no GLX -> crash box, status 0"
