#!/usr/bin/env bash
# The release end to end under 32-bit Wine and Xvfb, through its real
# message boxes and window: the packed brindlec.exe, which unpacks itself
# in memory (Wine keeps data pages from running, so the intro runs only if
# its code pages were made executable), and brindlec-unpacked.exe, each
# through every step. With no sound device wave-out does not open and the
# intro runs silent without a word.
#   1. 1024 x 768 screen, No: an 800 x 600 window shows the title text;
#      Esc ends the intro with status 0; no error box.
#   2. Yes: full screen at 1024 x 768, title text, Esc, status 0.
#   3. 800 x 600 screen, Yes: the 1024 x 768 mode is refused, the error
#      box says so, and the intro ends with status 0 and no window.
#   4. With a sound device (ALSA writing to a file) the music is heard.
. "$(dirname "$0")/support/lib.sh"

require_tools cmake i686-w64-mingw32-g++-win32 Xvfb xwininfo xdotool import convert od
build_windows_preset windows-x86
work=$BRINDLEC_BIN/windows-wine
use_wine32 "$work"

# A screen of the given size; the Wine session belongs to the old screen
# and ends with it.
start_screen() { "$wineserver" -k 2>/dev/null; start_xvfb "$1"; }

# The intro window's client area is "X Y WIDTH HEIGHT" and shows the title
# text (the titles end 6.9 s after the intro clock starts, which starts
# after the window appears); no error box comes up meanwhile. Then Esc ends
# the intro with status 0.
expect_title_text_then_escape() {
    local geometry x y width height
    geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print x, y, w, h}')
    read -r x y width height <<<"$geometry"
    eval "$1" || fail "window at \"$geometry\", wanted $1"
    wait_for_caption "$window" 6 >/dev/null || fail "no title text in the window"
    [ -z "$(window_id "$ERROR_CAPTION" 0)" ] || fail "an error box came up"
    close_with "$window" Escape 20
}

programs=("$windows_exe" "$unpacked_exe")
start_screen 1024x768
# A first run (CI's) finds the prefix as a 64-bit Wine left it at the same
# path, which 32-bit Wine refuses: it is made anew.
stale='WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n'
[ -e "$WINEPREFIX" ] || { mkdir -p "$WINEPREFIX" && printf "$stale" >"$WINEPREFIX/system.reg"; }
make_wine_prefix
for exe in "${programs[@]}"; do
    echo "1. $(basename "$exe"): windowed, silent"
    start_wine_intro "$exe" n "$WINDOW_TITLE"
    # The client area is 800 x 600, below and right of the frame.
    expect_title_text_then_escape '[ "$width $height" = "800 600" ] && [ "$x" -gt 0 ] && [ "$y" -gt 0 ] && [ "$x" -lt 40 ] && [ "$y" -lt 60 ]'
    [ -z "$(window_id "$WINDOW_TITLE" 0)" ] || fail "the window is still there"

    echo "2. $(basename "$exe"): full screen"
    start_wine_intro "$exe" y "$WINDOW_TITLE"
    expect_title_text_then_escape '[ "$geometry" = "0 0 1024 768" ]'
done

start_screen 800x600
for exe in "${programs[@]}"; do
    echo "3. $(basename "$exe"): full screen refused"
    start_wine_intro "$exe" y "$ERROR_CAPTION"
    [ -z "$(window_id "$WINDOW_TITLE" 0)" ] || fail "a window was opened in a refused mode"
    close_with "$window" Return 20
done

# ALSA's default device writes what it plays to a file, as fast as it is
# given it.
sound=$work/sound.raw
echo "pcm.!default { type file; slave { pcm { type null } }; file \"$sound\"; format \"raw\" }" >"$work/sound.conf"
export ALSA_CONFIG_PATH=$work/sound.conf
start_screen 1024x768
for exe in "${programs[@]}"; do
    echo "4. $(basename "$exe"): music through wave-out"
    rm -f "$sound"
    start_wine_intro "$exe" n "$WINDOW_TITLE"
    # The song starts 0.48 s into the intro; 4 s gives it time to sound.
    sleep 4
    [ -z "$(window_id "$ERROR_CAPTION" 0)" ] || fail "an error box came up"
    close_with "$window" Escape 20
    # 16-bit frames: how many values are far from silence.
    loud=$(od -An -v -td2 -w2 "$sound" 2>/dev/null | awk '$1 > 512 || $1 < -512 {n++} END {print n + 0}')
    echo "sound: $(stat -c %s "$sound" 2>/dev/null) bytes, $loud loud values"
    [ "$loud" -ge 1000 ] || fail "wave-out played silence"
done
echo "PASS"
