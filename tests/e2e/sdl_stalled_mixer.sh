#!/usr/bin/env bash
# A mixing thread held up for longer than the audio ring (3.5 s against
# 2.01 s) while the device plays on: the device repeats the old music of
# the ring it was not given anew, then the thread catches up in one poll
# and the song goes on where it stopped, one ring late; nothing crashes.
#
# The thread is really stopped: hold_thread seizes that one thread with
# ptrace (a signal would stop the whole process), keeps it stopped and
# lets it go. SDL's disk audio driver plays the ring in real time into a
# file, which is compared with the offline render of the same song block
# by block (pcm_lag): every block heard is the song at the same place, or
# exactly whole rings earlier.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
start_xvfb 1024x768

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" start_intro --windowed
win=$(window_id "$WINDOW_TITLE") || fail "no intro window"
mixer=$(thread_id $APP_PID brindlec-mixer 10) || fail "no mixing thread"
sleep 2
"$BRINDLEC_BIN/hold_thread" "$mixer" 3500 >"$work/held" || fail "cannot hold the mixing thread"
sleep 4
kill -0 $APP_PID 2>/dev/null || fail "the intro ended during the stall"
close_with "$win" Escape 10 "$work/err"

"$BRINDLEC_BIN/brindlec-music" --wav "$work/song.wav" --seconds 30 >"$work/render.log" 2>&1 || { cat "$work/render.log"; fail "no offline render"; }
"$BRINDLEC_BIN/pcm_lag" "$work/audio.raw" "$work/song.wav" >"$work/lag" || fail "no music in the capture"
cat "$work/held"
grep -E '^(run|unmatched|repeated_blocks)' "$work/lag"
# Two runs: on time until the ring ran out, then one ring late to the end.
read -r _ lag0 first0 _ _ lag1 first1 last1 more <<<"$(grep '^run ' "$work/lag" | tr '\n' ' ')"
[ -z "$more" ] && [ -n "$last1" ] && [ "$lag0 $first0 $lag1" = "0 0 1" ] ||
    fail "expected the song on time from its start, then one ring late"
# The old music repeated is the one ring the device played unrefreshed
# (100 blocks); after it the song went on, at least 2 s of it; nothing
# played that is no part of the song.
grep -qx 'repeated_blocks 100' "$work/lag" && grep -qx 'unmatched 0' "$work/lag" && [ $((last1 - first1)) -ge 199 ] ||
    fail "not one ring of old music repeated and the song going on after it"
echo "ok: stalled 3.5 s: one ring of old music repeated, then the song went on; status 0"
