# The helpers every end-to-end script shares (sourced first thing): the
# shell options, where the build is, the intro's window captions, a
# private X server, waiting for windows, threads and exits, failing, and
# cleaning up whatever a script started, however it ends.
#
# The options are `set -u` alone: the scripts run the intro and the tools
# to see them fail as often as to see them work, and check every status
# they care about themselves.
set -u

# Run by hand the scripts find the source tree from here and the build in
# build/; CTest passes both.
BRINDLEC_SOURCE_DIR=${BRINDLEC_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)}
BRINDLEC_BIN=${BRINDLEC_BIN:-$BRINDLEC_SOURCE_DIR/build}
export BRINDLEC_SOURCE_DIR BRINDLEC_BIN

# The intro's windows as the user sees them: the question, the intro
# itself, and every error box.
QUESTION_CAPTION="FullScreen?"
WINDOW_TITLE="Brindlec by qvt71"
ERROR_CAPTION="ERROR"

fail() { echo "FAIL: $*" >&2; exit 1; }

# --- Cleaning up ---------------------------------------------------------------

# At exit the program under test (APP_PID) is ended, the steps registered
# with at_exit run, and the X server goes.
APP_PID=
XVFB_PID=
exit_steps=()
at_exit() { exit_steps+=("$1"); }
clean_up() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    local step
    for step in "${exit_steps[@]}"; do eval "$step"; done
    stop_xvfb
}
trap clean_up EXIT

# make_work_dir: a fresh folder in $work, removed at exit.
make_work_dir() { work=$(mktemp -d) && at_exit "rm -rf '$work'"; }

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds
# (status 0) or SECONDS have passed (status 1); 0 looks once.
poll() {
    local tries=$(($1 * 10))
    shift
    until "$@"; do
        [ "$tries" -gt 0 ] || return 1
        tries=$((tries - 1))
        sleep 0.1
    done
}

# --- The X server ---------------------------------------------------------------

# start_xvfb WxH: starts Xvfb (ending one started before) on a free display
# and exports DISPLAY. The server picks the display itself (-displayfd) and
# writes its number once it accepts connections: scripts running side by
# side never race for a display number or end up on each other's server.
# Without -noreset the server resets whenever its last client disconnects
# (xdpyinfo, xwininfo), and refuses the intro's connection meanwhile
# ("x11 not available"). XVFB_EXTRA adds arguments.
start_xvfb() {
    local number_file n
    stop_xvfb
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset ${XVFB_EXTRA:-} 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    poll 10 eval '[ -s "$number_file" ] || ! kill -0 "$XVFB_PID" 2>/dev/null'
    n=$(head -1 "$number_file")
    rm -f "$number_file"
    [ -n "$n" ] || fail "cannot start Xvfb"
    # The X server we started, and no other video driver SDL might fall
    # back to (a Wayland or off-screen one would hide what is tested here).
    export DISPLAY=:$n SDL_VIDEODRIVER=x11
    xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
}

stop_xvfb() {
    [ -n "$XVFB_PID" ] && { kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; }
    XVFB_PID=
}

# --- Windows and the program under test ----------------------------------------

# window_id NAME [SECONDS]: the id of the first top-level window titled
# NAME, waiting up to SECONDS (20; 0 looks once) for it to appear; fails
# (status 1) as soon as the program under test has ended.
find_window() {
    id=$(xwininfo -root -tree 2>/dev/null | awk -v name="\"$1\":" 'index($0, name) {print $1; exit}')
    [ -n "$id" ] || { [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null && id=gone; }
    [ -n "$id" ]
}
window_id() { local id=; poll "${2:-20}" find_window "$1" && [ "$id" != gone ] && echo "$id"; }

# press_key WINDOW KEY: a key press sent to the window (xdotool's
# complaints about Xvfb's input focus, or a key-up that finds the window
# gone, are no news). When the press closes the window, the key-up sent to
# it is lost and the key stays down in the server, and the next program
# on the same display would see it held as its window gains the focus:
# the key is let go on the server too.
press_key() {
    xdotool key --window "$1" "$2" 2>/dev/null || true
    xdotool keyup "$2" 2>/dev/null || true
}

# shows_text FILE: whether the picture is text on black, the title
# captions: between 0.2 % and 20 % of its pixels brighter than mid-grey.
shows_text() {
    awk -v f="$(convert "$1" -colorspace Gray -threshold 50% -format "%[fx:mean]" info: 2>/dev/null)" \
        'BEGIN {exit !(f > 0.002 && f < 0.2)}'
}

# wait_exit PID SECONDS: the exit status of PID, or 124 after SECONDS.
wait_exit() {
    poll "$2" eval "! kill -0 $1 2>/dev/null" || { kill "$1" 2>/dev/null; return 124; }
    wait "$1"
}

# expect_exit_zero SECONDS [LOG]: waits for the program under test to end;
# fails, showing LOG, unless it ended with status 0.
expect_exit_zero() {
    wait_exit "$APP_PID" "$1"
    local status=$?
    APP_PID=
    [ "$status" = 0 ] || { [ -n "${2:-}" ] && cat "$2" >&2; fail "exit status $status"; }
}
# close_with WINDOW KEY SECONDS [LOG]: the key pressed, then as expect_exit_zero.
close_with() { press_key "$1" "$2" && expect_exit_zero "$3" "${4:-}"; }

# start_intro ARGUMENT...: the Linux intro in the background (APP_PID),
# its output in $work/out and $work/err; an environment goes before it.
start_intro() { "$BRINDLEC_BIN/brindlec" "$@" >"$work/out" 2>"$work/err" & APP_PID=$!; }

# size_of WINDOW: its size, as WIDTHxHEIGHT.
size_of() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

# answer_no [SECONDS], answer_yes [SECONDS]: the question, its text shown
# (a box some 490 pixels wide, 200 without), answered No (Escape answers
# it) or Yes (Return); sets `win` to the intro's window.
answer_with() {
    local box
    box=$(window_id "$QUESTION_CAPTION" "${2:-20}") || fail "the question did not appear"
    [ "$(size_of "$box" | cut -dx -f1)" -gt 300 ] || fail "the question box shows no text: $(size_of "$box")"
    press_key "$box" "$1"
    win=$(window_id "$WINDOW_TITLE" "${2:-20}") || fail "no intro window after answering with $1"
}
answer_no() { answer_with Escape "$@"; }
answer_yes() { answer_with Return "$@"; }

# wav_sizes FILE: the file's size, and the RIFF and data sizes its header
# declares.
wav_sizes() { echo "$(stat -c %s "$1")" $(od -An -tu4 -j4 -N4 "$1") $(od -An -tu4 -j40 -N4 "$1"); }

# song_unbroken LAG: whether pcm_lag's LAG says the device played the song
# from its start without a gap or a repeat, nothing else.
song_unbroken() { [ "$(grep -c '^run ' "$1")" = 1 ] && grep -q '^run 0 0 ' "$1" && grep -qx 'unmatched 0' "$1"; }

# now: wall-clock seconds with a fraction.
now() { date +%s.%N; }

# thread_id PID NAME [SECONDS]: the id of the thread of PID named NAME,
# waiting up to SECONDS (10; 0 looks once) for it to appear; fails when it
# does not.
find_thread() { task=$(grep -lx "$2" /proc/"$1"/task/*/comm 2>/dev/null | head -1); [ -n "$task" ]; }
thread_id() { local task; poll "${3:-10}" find_thread "$1" "$2" && basename "$(dirname "$task")"; }

# timestamp_lines: copies its input, each line prefixed with the wall
# time at which it arrived.
timestamp_lines() { local line; while IFS= read -r line; do printf '%s %s\n' "$(now)" "$line"; done; }

# wait_for_line FILE PATTERN SECONDS: waits until a line of FILE matches.
wait_for_line() { poll "$3" grep -sqE "$2" "$1"; }

# wait_for_caption ID SECONDS: waits until the window shows text on black
# (the title captions); prints a wall time by which it showed them (the
# end of the screenshot that saw them). import can wait for ever on a
# window that goes away while it reads it: it gets 5 s.
caption_shown() { timeout 5 import -window "$1" "$shot" 2>/dev/null && at=$(now) && shows_text "$shot"; }
wait_for_caption() { local at shot=$work/caption.png; poll "$2" caption_shown "$1" && echo "$at"; }

# --- The Windows build ------------------------------------------------------------

# The tests need these tools; CI installs them, so a missing one fails.
require_tools() {
    local tool
    for tool in "$@"; do command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"; done
}

# build_windows_preset PRESET: configures and builds the preset with
# MinGW-w64 in a folder of its own under the native build folder (both
# quick when nothing changed), so CI cross-builds the intro as part of the
# suite; sets windows_exe to the program (the packed release) and
# unpacked_exe to the intro as linked.
build_windows_preset() {
    local preset=$1
    local dir=$BRINDLEC_BIN/$preset
    mkdir -p "$dir"
    (cd "$BRINDLEC_SOURCE_DIR" && cmake --preset "$preset" -B "$dir") >"$dir/configure.log" 2>&1 ||
        { cat "$dir/configure.log" >&2; fail "configuring $preset"; }
    # One job: CTest may be building the other preset at the same time.
    cmake --build "$dir" --parallel 1 >"$dir/build.log" 2>&1 ||
        { cat "$dir/build.log" >&2; fail "building $preset"; }
    windows_exe=$dir/brindlec.exe unpacked_exe=$dir/brindlec-unpacked.exe
    [ -f "$windows_exe" ] && [ -f "$unpacked_exe" ] || fail "$preset built no brindlec.exe and brindlec-unpacked.exe"
}

# --- Browsers ------------------------------------------------------------------

# start_null_sink: a PulseAudio server of its own with one null sink (Firefox
# starts no AudioContext without a sound server), in a private HOME and
# XDG_RUNTIME_DIR under $work, which it exports for the browsers; ended at
# exit.
start_null_sink() {
    export HOME=$work/home XDG_RUNTIME_DIR=$work/run
    mkdir -p "$HOME" && mkdir -m 700 -p "$XDG_RUNTIME_DIR" || fail "no private HOME in $work"
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --load="module-null-sink sink_name=null" \
        --load=module-native-protocol-unix >"$work/pulseaudio.log" 2>&1 &
    local pid=$!
    at_exit "kill $pid 2>/dev/null; wait $pid 2>/dev/null"
    poll 10 test -S "$XDG_RUNTIME_DIR/pulse/native" ||
        { cat "$work/pulseaudio.log" >&2; fail "pulseaudio did not start"; }
}

# browser_test ENGINE: the browser test (support/browser_test.js) in
# chromium, firefox or webkit; the last two under Xvfb with a null sink
# (firefox-without-sound: Firefox under Xvfb with no sound server).
browser_test() {
    local web=${BRINDLEC_WEB_DIR:-$BRINDLEC_SOURCE_DIR/build-web}
    local reference=$BRINDLEC_BIN/reference-frames support=$BRINDLEC_SOURCE_DIR/tests/e2e/support
    [ -f "$web/brindlec.html" ] && [ -f "$web/brindlec-single.html" ] ||
        fail "no browser build in $web: cmake --preset web && cmake --build --preset web"
    [ -f "$reference/frame-226000.png" ] || fail "no reference frames in $reference (gl_subset.sh makes them)"
    [ -d "$support/node_modules/puppeteer-core" ] ||
        fail "no puppeteer-core in $support: npm ci --prefix tests/e2e/support (test.sh does)"
    make_work_dir
    [ "$1" = chromium ] || start_xvfb 1280x1024
    case $1 in
    firefox | webkit) start_null_sink ;;
    # No sound server at all: none from the session either.
    firefox-without-sound) export HOME=$work/home XDG_RUNTIME_DIR=$work/run && mkdir -p "$HOME" "$XDG_RUNTIME_DIR" ;;
    esac
    unset PULSE_SERVER
    node "$support/browser_test.js" "$1" "$(cd "$web" && pwd)" "$reference" "$BRINDLEC_BIN/frame_diff" "$work" ||
        fail "browser test in $1"
}

# --- 32-bit Wine -------------------------------------------------------------------

# use_wine32 DIR: Debian's 32-bit Wine (wine32:i386, with the i386 Mesa
# drivers for OpenGL) over a 32-bit prefix in DIR/prefix32, which
# make_wine_prefix makes once and later runs reuse; sets `wine` and
# `wineserver`. No Mono or Gecko installers, no PulseAudio, and no
# debugger to sit waiting over a crashed program. Silent: ALSA, Wine's
# only sound then, is given no device (DIR/no-sound.conf), so wave-out
# does not open; a script that wants the sound points ALSA_CONFIG_PATH at
# a device of its own afterwards. The Wine session ends at exit.
use_wine32() {
    wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver
    [ -x "$wine" ] && [ -x "$wineserver" ] || fail "32-bit Wine (wine32:i386) is not installed"
    mkdir -p "$1" && : >"$1/no-sound.conf"
    export WINEPREFIX=$1/prefix32 WINEARCH=win32 WINELOADER=$wine WINEDEBUG=-all ALSA_CONFIG_PATH=$1/no-sound.conf
    export WINEDLLOVERRIDES="mscoree,mshtml=;winepulse.drv=d;winedbg.exe=d"
    at_exit '"$wineserver" -k 2>/dev/null'
}

# make_wine_prefix: makes the prefix if there is no 32-bit one yet (about
# 12 s), on the X server in DISPLAY. One left by a 64-bit Wine at the same
# path is made anew: 32-bit Wine refuses to run in it.
make_wine_prefix() {
    grep -qx '#arch=win32' "$WINEPREFIX/system.reg" 2>/dev/null && return 0
    echo "making the Wine prefix"
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >"$WINEPREFIX.log" 2>&1 || fail "wineboot: $(cat "$WINEPREFIX.log")"
}

# start_wine_intro EXE KEY WINDOW: starts EXE under Wine and answers its
# question with KEY (n: No, y: Yes); then waits for WINDOW (the intro's or
# the error box) and sets `window`.
start_wine_intro() {
    "$wine" "$1" >"$WINEPREFIX.run.log" 2>&1 &
    APP_PID=$!
    local box
    box=$(window_id "$QUESTION_CAPTION" 60) || fail "no question within 60 s"
    press_key "$box" "$2"
    window=$(window_id "$3" 30) || fail "no \"$3\" window within 30 s"
}
