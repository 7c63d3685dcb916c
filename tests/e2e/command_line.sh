#!/usr/bin/env bash
# The intro's command line and the no-display path.
. "$(dirname "$0")/support/lib.sh"
bin="$BRINDLEC_BIN/brindlec"

"$bin" --help | grep -q -- "--windowed" || fail "--help does not describe --windowed"
"$bin" --version | grep -q "^brindlec [0-9]" || fail "--version"
"$bin" --bogus 2>/dev/null; [ $? = 2 ] || fail "unknown argument must exit 2"
"$bin" --bogus 2>&1 >/dev/null | grep -q "unknown argument" || fail "no message for an unknown argument"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$bin" --windowed 2>&1)
status=$?
[ $status = 1 ] || fail "no display must exit 1 (got $status)"
[ "$(printf '%s\n' "$out" | wc -l)" = 1 ] || fail "no display must print one line, got: $out"
echo "ok: --help, --version, unknown argument, no display"
