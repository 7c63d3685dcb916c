#!/usr/bin/env bash
# brindlec-music as a musician uses it: the summary, a render to the song's
# end, playing to the end with a status line on a terminal (a pty through
# script) and none elsewhere, and Ctrl+C. Sound goes to SDL's disk driver,
# which plays in real time.
. "$(dirname "$0")/support/lib.sh"
music="$BRINDLEC_BIN/brindlec-music"
make_work_dir
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.raw"

# The embedded song, its first pass worked out from its order list:
# pattern 0 has 56 rows; pattern 7 (four times) 32 rows of which one lasts
# three (EE2); patterns 11 and 12 (seven times in all) 32 rows played twice
# (E60/E61); pattern 13 (twice) breaks after 24 rows; the other 44 orders
# have 32. Then order 57 goes on at the restart position, order 4. That is
# 2096 rows' time of 6 ticks at 130 BPM (22050 x 5 / 260 = 424 frames a
# tick): 241.824 s.
info=$("$music" --info) || fail "--info failed"
for line in "Title:       Brindlec" "Tracker:     brindlec-songgen" \
    "Duration:    04:01.824, then again from order 4, row 0" "Channels:    4" "Orders:      58, restart at 4" \
    "Patterns:    14" "Instruments: 13, 12 with samples" "Samples:     12" "   10  pad"; do
    printf '%s\n' "$info" | grep -qxF -- "$line" || fail "--info lacks \"$line\": $info"
done
! printf '%s\n' "$info" | grep -q "pattern " || fail "the summary holds the full dump"
"$music" --info --full | grep -q "^  pattern  13:  24 rows" || fail "--info --full lacks the patterns"
echo "ok: --info summary and --full"

# A module of four patterns of 8 rows of 3 ticks at 150 BPM: at 8000 Hz a
# tick is 8000 x 5 / 300 = 133 frames, the first pass 32 x 3 x 133 = 12768.
"$music" --make-test-module "$work/short.xm" --channels 4 --rows 8 || fail "--make-test-module failed"
pass=12768 tail=$((3 * 8000))
"$music" --wav "$work/end.wav" --rate 8000 "$work/short.xm" 2>/dev/null || fail "--wav to the end failed"
read -r size riff data <<<"$(wav_sizes "$work/end.wav")"
frames=$(((size - 44) / 4))
[ "$frames" -gt "$pass" ] && [ "$frames" -le $((pass + tail)) ] ||
    fail "the render to the end is $frames frames, not the pass ($pass) and a ring-out of at most $tail"
[ "$data $riff" = "$((frames * 4)) $((frames * 4 + 36))" ] || fail "the header declares $data, $riff bytes"
"$music" --wav "$work/pass.wav" --rate 8000 --seconds 1.596 "$work/short.xm" 2>/dev/null
cmp -s -n $((4 * pass)) <(tail -c +45 "$work/pass.wav") <(tail -c +45 "$work/end.wav") ||
    fail "the render to the end does not start with the first pass as --seconds renders it"
# Into a pipe, which cannot go back to its header: the ring-out is filled
# out with silence to the length the header declared.
"$music" --wav /dev/stdout --rate 8000 "$work/short.xm" 2>/dev/null | cat >"$work/piped.wav"
[ "$(stat -c %s "$work/piped.wav")" = $((44 + 4 * (pass + tail))) ] || fail "a piped render's length"
echo "ok: --wav renders the first pass and its ring-out ($frames frames)"

# Not a terminal: one line, no status line, and the player ends by itself
# (not by the timeout) after the 1.6 s pass and its ring-out.
out=$(timeout 30 "$music" "$work/short.xm" 2>"$work/play.err") || fail "playing to the end exited $?"
[ "$out" = "playing $work/short.xm, 00:01.598 (Ctrl+C ends)" ] || fail "playing printed: $out"
# What the device played is the render at its rate, every block of 444
# frames in order from the first (the blocks after the render's end aside).
"$music" --wav "$work/short.wav" "$work/short.xm" 2>/dev/null
"$BRINDLEC_BIN/pcm_lag" "$work/played.raw" "$work/short.wav" >"$work/lag" || fail "nothing was played"
read -r runs matched <<<"$(awk '/^run /{r = r $2 $3} /^blocks/{b = $2} /^unmatched/{print r, b - $2}' "$work/lag")"
[ "$runs" = 00 ] && [ "$matched" -ge $((($(stat -c %s "$work/short.wav") - 44) / 4 / 444)) ] ||
    fail "the device did not play the song as rendered: $(cat "$work/lag")"
! grep -q "order" "$work/play.err" || fail "a status line went to a file: $(cat "$work/play.err")"

# on_terminal NAME COMMAND: COMMAND on a pty (script), between two prints
# of the terminal's settings, into NAME.lines; fails unless it ended with
# status 0 and left the settings as they were.
on_terminal() {
    script -qfec "stty -g; $2; echo status=\$?; stty -g" "$work/$1.txt" >/dev/null
    tr '\r' '\n' <"$work/$1.txt" >"$work/$1.lines"
    grep -q "^status=0" "$work/$1.lines" ||
        fail "$1: the player did not end cleanly: $(cat -v "$work/$1.txt")"
    [ "$(grep -E '^[0-9a-f:]{40,}$' "$work/$1.lines" | sort -u | wc -l)" = 1 ] ||
        fail "$1: the terminal's settings changed"
}

# A terminal: the status line every fifth of a second, ended by a new line;
# the player ends by itself.
on_terminal tty "timeout 30 '$music' '$work/short.xm'"
grep -qE "^00:0[01]\.[0-9]{3} / 00:01\.598  order   [0-3]/4    pattern   [0-3]  row   [0-7]/8    \|[# ]{14}\|" \
    "$work/tty.lines" || fail "no status line: $(cat -v "$work/tty.txt")"
[ "$(grep -c "order .*pattern .*row " "$work/tty.lines")" -ge 5 ] || fail "the status line was not updated"
echo "ok: playing ends at the song's end, with a status line on a terminal only"

# Ctrl+C (SIGINT) ends a looping player cleanly at any time.
(
    poll 10 test -s "$work/pid" || exit
    sleep 2.5  # past the song's end: --loop plays on
    kill -0 "$(cat "$work/pid")" 2>/dev/null && echo playing >"$work/still"
    kill -INT "$(cat "$work/pid")"
) &
on_terminal loop "timeout 60 sh -c 'echo \$\$ >\"$work/pid\"; exec \"$music\" --loop \"$work/short.xm\"'"
[ -f "$work/still" ] && grep -q "looping (Ctrl+C ends)" "$work/loop.lines" ||
    fail "--loop ended by itself, did not start, or was not announced"
echo "ok: Ctrl+C ends the player and leaves the terminal as it was"
