# A display without OpenGL (Xvfb without GLX): the crash box, never a
# segfault, and the intro ends with status 0.
. "$(dirname "$0")/support/lib.sh"
work=$(mktemp -d)
XVFB_EXTRA="-extension GLX" start_xvfb 1024x768
xdpyinfo | grep -qw GLX && fail "this X server still offers GLX"

"$BRINDLEC_BIN/brindlec" --windowed >"$work/out" 2>&1 &
APP_PID=$!
box=$(window_id "ERROR") || { cat "$work/out"; fail "no crash box without GLX"; }
xdotool key --window "$box" Return
wait_exit $APP_PID 10
status=$?
APP_PID=
[ $status = 0 ] || { cat "$work/out"; fail "exit status $status"; }
echo "ok: no GLX -> crash box, status 0"
