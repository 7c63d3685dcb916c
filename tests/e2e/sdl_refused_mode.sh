# Full screen on a display that offers no 1024 x 768 mode: the display-mode
# message, the display left as it was, and the intro ends with status 0.
. "$(dirname "$0")/support/lib.sh"
work=$(mktemp -d)
start_xvfb 800x600
before=$(xdpyinfo | awk '/dimensions:/ {print $2}')

"$BRINDLEC_BIN/brindlec" --fullscreen >"$work/out" 2>&1 &
APP_PID=$!
box=$(window_id "ERROR") || { cat "$work/out"; fail "no error box for the refused mode"; }
[ -z "$(window_id "Brindlec by qvt71" 1)" ] || fail "a window was opened despite the refused mode"
xdotool key --window "$box" Return
wait_exit $APP_PID 10
status=$?
APP_PID=
[ $status = 0 ] || fail "exit status $status"
after=$(xdpyinfo | awk '/dimensions:/ {print $2}')
[ "$before" = "$after" ] || fail "display changed from $before to $after"
echo "ok: refused mode reported, display untouched, status 0"
