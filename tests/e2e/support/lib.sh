# Shared helpers for the end-to-end scripts: a private X server, waiting for
# windows, screenshots.
set -u

fail() { echo "FAIL: $*" >&2; exit 1; }

# start_xvfb WxH: starts Xvfb on a free display and exports DISPLAY. The
# server picks the display itself (-displayfd) and writes its number once
# it accepts connections: scripts running side by side never race for a
# display number or end up on each other's server.
start_xvfb() {
    local size=$1 number_file n=""
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 ${size}x24 -nolisten tcp ${XVFB_EXTRA:-} 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    trap stop_xvfb EXIT
    for _ in $(seq 100); do
        n=$(head -1 "$number_file")
        [ -n "$n" ] && break
        kill -0 $XVFB_PID 2>/dev/null || break
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
    [ -n "${APP_PID:-}" ] && kill $APP_PID 2>/dev/null
    [ -n "${XVFB_PID:-}" ] && kill $XVFB_PID 2>/dev/null
    wait 2>/dev/null
    return 0
}

# window_id NAME [SECONDS]: the id of the first top-level window whose name
# is NAME, waiting for it to appear.
window_id() {
    local name=$1 limit=${2:-20} id
    for _ in $(seq $((limit * 10))); do
        id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$name\"" | head -1 | awk '{print $1}')
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# window_size ID: "W H" of the window.
window_size() {
    xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}'
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
