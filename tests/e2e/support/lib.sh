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
    return 0
}
trap clean_up EXIT

# make_work_dir: a fresh folder in $work, removed at exit.
make_work_dir() {
    work=$(mktemp -d)
    at_exit "rm -rf '$work'"
}

# --- The X server ---------------------------------------------------------------

# start_xvfb WxH: starts Xvfb (ending one started before) on a free display
# and exports DISPLAY. The server picks the display itself (-displayfd) and
# writes its number once it accepts connections: scripts running side by
# side never race for a display number or end up on each other's server.
# XVFB_EXTRA adds arguments.
start_xvfb() {
    local size=$1 number_file n=""
    stop_xvfb
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp ${XVFB_EXTRA:-} 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        n=$(head -1 "$number_file")
        [ -n "$n" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$number_file"
    [ -n "$n" ] || fail "cannot start Xvfb"
    export DISPLAY=:$n
    # The X server we started, and no other video driver SDL might fall
    # back to (a Wayland or off-screen one would hide what is tested here).
    export SDL_VIDEODRIVER=x11
    xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
    return 0
}

# --- Windows and the program under test ----------------------------------------

# window_id NAME [SECONDS]: the id of the first top-level window titled
# NAME, waiting up to SECONDS (20; 0 looks once) for it to appear; fails
# (status 1) as soon as the program under test has ended.
window_id() {
    local name=$1 limit=${2:-20} id tries=0
    while :; do
        id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$name\":" | head -1 | awk '{print $1}')
        [ -n "$id" ] && { echo "$id"; return 0; }
        [ "$tries" -ge $((limit * 10)) ] && return 1
        [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null && return 1
        tries=$((tries + 1))
        sleep 0.1
    done
}

# window_size ID: "W H" of the window.
window_size() {
    xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}'
}

# press_key WINDOW KEY: a key press sent to the window (xdotool's
# complaints about Xvfb's input focus, or a key-up that finds the window
# gone, are no news).
press_key() {
    xdotool key --window "$1" "$2" 2>/dev/null
    return 0
}

# bright_fraction FILE: the share of pixels brighter than mid-grey.
bright_fraction() {
    convert "$1" -colorspace Gray -threshold 50% -format "%[fx:mean]" info:
}

# wait_exit PID SECONDS: the exit status of PID, or 124 after SECONDS.
wait_exit() {
    local pid=$1 limit=$2
    for _ in $(seq $((limit * 10))); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    return 124
}

# expect_exit_zero SECONDS [LOG]: waits for the program under test to end;
# fails, showing LOG, unless it ended with status 0.
expect_exit_zero() {
    local status
    wait_exit "$APP_PID" "$1"
    status=$?
    APP_PID=
    [ "$status" = 0 ] || { [ -n "${2:-}" ] && cat "$2" >&2; fail "exit status $status"; }
}

# now: wall-clock seconds with a fraction.
now() { date +%s.%N; }

# thread_id PID NAME [SECONDS]: the id of the thread of PID named NAME,
# waiting for it to appear; fails when it does not.
thread_id() {
    local pid=$1 name=$2 limit=${3:-10} task
    for _ in $(seq $((limit * 10))); do
        for task in /proc/"$pid"/task/*; do
            [ "$(cat "$task/comm" 2>/dev/null)" = "$name" ] && { basename "$task"; return 0; }
        done
        sleep 0.1
    done
    return 1
}

# has_thread PID NAME: whether PID has a thread named NAME now.
has_thread() {
    grep -qx "$2" /proc/"$1"/task/*/comm 2>/dev/null
}

# timestamp_lines: copies its input, each line prefixed with the wall
# time at which it arrived.
timestamp_lines() {
    local line
    while IFS= read -r line; do printf '%s %s\n' "$(now)" "$line"; done
}

# wait_for_line FILE PATTERN SECONDS: waits until a line of FILE matches.
wait_for_line() {
    local file=$1 pattern=$2 limit=$3
    for _ in $(seq $((limit * 10))); do
        grep -qE "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# wait_for_caption ID SECONDS: waits until the window shows text on black
# (the title captions); prints the wall time at which it was seen.
wait_for_caption() {
    local win=$1 limit=$2 shot fraction
    shot=$(mktemp --suffix=.png)
    for _ in $(seq $((limit * 10))); do
        local at
        at=$(now)
        import -window "$win" "$shot" 2>/dev/null
        fraction=$(bright_fraction "$shot" 2>/dev/null)
        if awk -v f="${fraction:-0}" 'BEGIN {exit !(f > 0.002 && f < 0.2)}'; then
            rm -f "$shot"
            echo "$at"
            return 0
        fi
        sleep 0.05
    done
    rm -f "$shot"
    return 1
}

# --- The Windows build ------------------------------------------------------------

# The tests need these tools; CI installs them, so a missing one fails.
require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
    done
}

# build_windows_preset PRESET: configures and builds the preset with
# MinGW-w64 in a folder of its own under the native build folder (both
# quick when nothing changed), so CI cross-builds the intro as part of the
# suite; sets windows_exe to the program.
build_windows_preset() {
    local preset=$1
    local dir=$BRINDLEC_BIN/$preset
    mkdir -p "$dir"
    (cd "$BRINDLEC_SOURCE_DIR" && cmake --preset "$preset" -B "$dir") >"$dir/configure.log" 2>&1 ||
        { cat "$dir/configure.log" >&2; fail "configuring $preset"; }
    # One job: CTest may be building the other preset at the same time.
    cmake --build "$dir" --parallel 1 >"$dir/build.log" 2>&1 ||
        { cat "$dir/build.log" >&2; fail "building $preset"; }
    windows_exe=$dir/brindlec.exe
    [ -f "$windows_exe" ] || fail "$preset built no brindlec.exe"
}

# The DLLs the program may import: those every Windows ships.
allowed_dlls="opengl32.dll glu32.dll gdi32.dll user32.dll kernel32.dll winmm.dll msvcrt.dll"

# check_imports OBJDUMP EXE: fails unless every DLL that OBJDUMP lists for
# EXE is an allowed one.
check_imports() {
    local objdump=$1 exe=$2 dll dlls
    dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
    [ -n "$dlls" ] || fail "$exe imports nothing (objdump found no import table)"
    for dll in $dlls; do
        case " $allowed_dlls " in
        *" $dll "*) ;;
        *) fail "$exe imports $dll, which Windows does not ship" ;;
        esac
    done
    echo "imports: $(echo $dlls)"
}
