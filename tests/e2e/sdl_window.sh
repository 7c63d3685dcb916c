#!/usr/bin/env bash
# The real intro under Xvfb with real SDL: the question answered "No" in
# the real dialog, the 800 x 600 window shows the title, Esc ends it with 0.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
start_xvfb 1024x768

start_intro
answer_no
read -r width height < <(xwininfo -id "$win" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
[ "$width" = 800 ] && [ "$height" = 600 ] || fail "window is ${width}x${height}, not 800x600"

# The first caption shows from 0.51 s to 2.1 s of the intro clock.
wait_for_caption "$win" 8 >/dev/null || fail "no title text in the window"
timeout 10 import -window "$win" "$BRINDLEC_BIN/e2e-sdl-window.png" 2>/dev/null

close_with "$win" Escape 10 "$work/err"
echo "ok: question, 800x600 window with title text, Esc -> 0"
