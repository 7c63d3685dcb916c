#!/usr/bin/env bash
# No audio device: the intro runs silent, with no message and no mixing
# thread, and still shows its titles and moves on to scene 1. Two ways a
# viewer's machine lacks sound: an audio driver with no sound card behind
# it (ALSA pointed at a card that does not exist), and no usable audio
# driver at all.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
start_xvfb 1024x768

# run_silent LABEL WAIT_FOR_SCENE1 ENV...: one run without a device.
run_silent() {
    local label=$1 scene1=$2 win
    shift 2
    local -x "$@"
    start_intro --windowed --trace
    win=$(window_id "$WINDOW_TITLE") || fail "$label: no intro window"
    # The captions begin at 0.51 s, just after the music was due to start.
    wait_for_caption "$win" 10 >/dev/null || fail "$label: no title text"
    [ -z "$(window_id "$ERROR_CAPTION" 1)" ] || fail "$label: a message box was shown"
    thread_id $APP_PID brindlec-mixer 0 >/dev/null && fail "$label: a mixing thread runs without a device"
    if [ "$scene1" = yes ]; then
        wait_for_line "$work/out" '^scene 1 at' 15 || fail "$label: the intro did not reach scene 1"
        # --trace: a frame came before the change, and the heap in use (some MiB, under
        # 1 GiB) at most once a second.
        awk '/^heap in use/ { heap++; sane += $4 > 1024 && $4 < 1048576 } /^frame before at/ { before = $4 }
             /^scene 1 at/ { ok = before > 0 && before < $4 && heap <= $4 / 1000 && sane == heap; exit } END { exit !ok }' \
            "$work/out" || { cat "$work/out"; fail "$label: --trace"; }
    fi
    kill -0 $APP_PID 2>/dev/null || fail "$label: the intro ended by itself"
    # Esc ends the intro as it goes down.
    xdotool keydown --window "$win" Escape 2>/dev/null || true
    expect_exit_zero 10 "$work/err"
    [ "$scene1" = no ] || [ "$(grep -c '^scene ' "$work/out")" = 1 ] || fail "$label: --trace told a scene twice"
    xdotool keyup Escape 2>/dev/null || true
    # Not a word from the intro itself (the audio library may talk).
    ! grep -q '^brindlec' "$work/err" || { cat "$work/err"; fail "$label: the intro printed a message"; }
    echo "ok: $label: silent, no message, titles shown"
}

run_silent "no sound card" yes SDL_AUDIODRIVER=alsa AUDIODEV=hw:99,0
run_silent "no audio driver" no SDL_AUDIODRIVER=no-such-driver
