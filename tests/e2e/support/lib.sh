# Shared helpers for the end-to-end scripts: a private X server, waiting for
# windows, screenshots.
set -u

fail() { echo "FAIL: $*" >&2; exit 1; }

# start_xvfb WxH: starts Xvfb on a free display and exports DISPLAY.
start_xvfb() {
    local size=$1 n
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 ${size}x24 -nolisten tcp ${XVFB_EXTRA:-} >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=:$n
        for _ in $(seq 50); do
            xdpyinfo >/dev/null 2>&1 && { trap stop_xvfb EXIT; return 0; }
            kill -0 $XVFB_PID 2>/dev/null || break
            sleep 0.1
        done
    done
    fail "cannot start Xvfb"
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
