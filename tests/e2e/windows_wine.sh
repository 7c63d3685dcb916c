#!/usr/bin/env bash
# The Windows intro end to end under Wine and Xvfb, through its real
# message boxes and window (the x64 build: these machines run no 32-bit
# code). With no sound device wave-out does not open and the intro runs
# silent without a word.
#   1. 1024 x 768 screen, No: an 800 x 600 window shows the title text;
#      Esc ends the intro with status 0; no error box.
#   2. Yes: full screen at 1024 x 768, title text, Esc, status 0.
#   3. 800 x 600 screen, Yes: the 1024 x 768 mode is refused, the error
#      box says so, and the intro ends with status 0 and no window.
#   4. With a sound device (ALSA writing to a file) the music is heard.
. "$(dirname "$0")/support/lib.sh"

require_tools cmake x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-objdump \
    Xvfb xwininfo xdotool import convert od
# Debian's wine64 alone has the loader and server under /usr/lib/wine; the
# wine package adds the commands on the PATH.
if command -v wine >/dev/null && command -v wineserver >/dev/null; then
    wine=$(command -v wine) wineserver=$(command -v wineserver)
else
    wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
    export WINELOADER=$wine
fi
[ -x "$wine" ] && [ -x "$wineserver" ] || fail "Wine (wine64) is not installed"
build_windows_preset windows-x64
exe=$windows_exe
check_imports x86_64-w64-mingw32-objdump "$exe"

work=$BRINDLEC_BIN/windows-wine
mkdir -p "$work"
# No Mono or Gecko installers when the prefix is made; no PulseAudio, so
# the sound device is only what ALSA offers, and an ALSA configuration of
# our own: the silent runs get no device at all, whatever the machine has.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winepulse.drv=d"
: >"$work/no-sound.conf"
export ALSA_CONFIG_PATH=$work/no-sound.conf
at_exit '"$wineserver" -k 2>/dev/null'

# A screen of the given size; the Wine session of the prefix belongs to
# the old screen and ends with it.
start_screen() {
    "$wineserver" -k 2>/dev/null
    start_xvfb "$1"
}

# Starts the intro and answers its question with KEY (n: No, y: Yes);
# then waits for WINDOW (the intro's or the error box) and sets `window`.
start_intro() {
    "$wine" "$exe" >"$work/wine.log" 2>&1 &
    APP_PID=$!
    local box
    box=$(window_id "$QUESTION_CAPTION" 60) || fail "no question within 60 s"
    press_key "$box" "$1"
    window=$(window_id "$2" 30) || fail "no \"$2\" window within 30 s"
}

# The intro window's client area is "X Y WIDTH HEIGHT" and shows the title
# text in the middle of the picture while the titles run (they end 6.9 s
# after the intro clock starts, which starts after the window appears); no
# error box comes up meanwhile. Then Esc ends the intro with status 0.
expect_title_text_then_escape() {
    local geometry shot=$work/screen.png middle=0 all=0 start=$SECONDS x y width height
    geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print x, y, w, h}')
    read -r x y width height <<<"$geometry"
    eval "$1" || fail "window at \"$geometry\", wanted $1"
    bright() { convert "$shot" -crop "$1" +repage -colorspace Gray -threshold 50% -format '%[fx:round(mean*w*h)]' info:; }
    while [ $((SECONDS - start)) -lt 6 ] && ! [ "$middle" -ge 500 -a "$middle" -ge $((all * 9 / 10)) ]; do
        sleep 0.5
        [ -z "$(window_id "$ERROR_CAPTION" 0)" ] || fail "an error box came up"
        import -window root "$shot"
        middle=$(bright "${width}x$((height / 2))+$x+$((y + height / 4))")
        all=$(bright "${width}x$height+$x+$y")
    done
    # The glyphs of one title are a few thousand pixels.
    [ "$middle" -ge 500 ] && [ "$middle" -ge $((all * 9 / 10)) ] ||
        { cp "$shot" "$work/failed-screen.png"; fail "no title text ($middle bright pixels in the middle, $all in all)"; }
    echo "title text: $middle bright pixels"
    press_key "$window" Escape
    expect_exit_zero 20
}

start_screen 1024x768
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix"
    "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(cat "$work/wineboot.log")"
fi

echo "1. windowed, silent"
start_intro n "$WINDOW_TITLE"
# The client area is 800 x 600, below and right of the frame.
expect_title_text_then_escape '[ "$width $height" = "800 600" ] && [ "$x" -gt 0 ] && [ "$y" -gt 0 ] && [ "$x" -lt 40 ] && [ "$y" -lt 60 ]'
[ -z "$(window_id "$WINDOW_TITLE" 0)" ] || fail "the window is still there"

echo "2. full screen"
start_intro y "$WINDOW_TITLE"
expect_title_text_then_escape '[ "$geometry" = "0 0 1024 768" ]'

echo "3. full screen refused"
start_screen 800x600
start_intro y "$ERROR_CAPTION"
[ -z "$(window_id "$WINDOW_TITLE" 0)" ] || fail "a window was opened in a refused mode"
press_key "$window" Return
expect_exit_zero 20

echo "4. music through wave-out"
if [ -f "$BRINDLEC_SOURCE_DIR/data/song.xm" ]; then
    # ALSA's default device writes what it plays to a file, as fast as it
    # is given it.
    sound=$work/sound.raw
    rm -f "$sound"
    echo "pcm.!default { type file; slave { pcm { type null } }; file \"$sound\"; format \"raw\" }" >"$work/sound.conf"
    start_screen 1024x768
    export ALSA_CONFIG_PATH=$work/sound.conf
    start_intro n "$WINDOW_TITLE"
    # The song starts 0.48 s into the intro; 4 s gives it time to sound.
    sleep 4
    [ -z "$(window_id "$ERROR_CAPTION" 0)" ] || fail "an error box came up"
    press_key "$window" Escape
    expect_exit_zero 20
    [ -s "$sound" ] || fail "wave-out played nothing"
    # 16-bit frames: how many values are far from silence.
    loud=$(od -An -v -td2 -w2 "$sound" 2>/dev/null | awk '$1 > 512 || $1 < -512 {n++} END {print n + 0}')
    echo "sound: $(stat -c %s "$sound" 2>/dev/null) bytes, $loud loud values"
    [ "$loud" -ge 1000 ] || fail "wave-out played silence"
else
    echo "no data/song.xm in the source tree: the intro carries no music to hear"
fi
echo "PASS"
