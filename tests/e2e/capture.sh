#!/usr/bin/env bash
# brindlec-capture: repeatable frames and music, the music's start, the
# fallback without ffmpeg, the scene trace of the whole intro, its contact
# sheet and video, and bad arguments.
. "$(dirname "$0")/support/lib.sh"
capture="$BRINDLEC_BIN/brindlec-capture"
make_work_dir
cd "$work"

# Bad arguments and a failing encoder.
for args in "--bogus" "--at 12x --out d" "--at 100" "--video out.avi" "--size 10x10 --trace" \
            "--video odd.mp4 --size 201x150" "--sheet s.png" "--from 5000 --to 4000 --trace" \
            "--preset turbo --trace" "--crf 52 --trace" "--crf -1 --trace" \
            "--gl opengl2 --trace" "--trace --gl" ""; do
    "$capture" $args >/dev/null 2>&1
    [ $? = 2 ] || fail "'$args' must exit 2"
done
if command -v ffmpeg >/dev/null; then
    "$capture" --video /nonexistent/dir/x.mp4 --to 300 --size 160x120 2>err.txt
    [ $? = 1 ] && grep -q "ffmpeg" err.txt || fail "a failing encoder must exit 1 and say so: $(cat err.txt)"
fi

# Without ffmpeg: a PNG sequence and a WAV, identical on a second run.
for run in 1 2; do
    env PATH=/nonexistent "$capture" --video run$run.mp4 --from 6600 --to 7500 --size 160x120 2>msg$run.txt ||
        fail "fallback capture $run failed: $(cat msg$run.txt)"
done
grep -q "ffmpeg is not installed" msg1.txt || fail "the fallback does not say so"
[ "$(ls run1-frames | wc -l)" = 31 ] || fail "6600..7500 ms is 31 frames, got $(ls run1-frames | wc -l)"
diff -r run1-frames run2-frames >/dev/null && cmp -s run1.wav run2.wav || fail "two captures of the same span differ"

# The music starts in the frame in which the title sequence starts it:
# the first frame at or after 480 ms, i.e. audio frame 10584 (22050 Hz).
env PATH=/nonexistent "$capture" --video start.mp4 --to 1200 --size 160x120 2>/dev/null || fail "start capture"
[ "$(head -c 40 start.wav | tail -c 4)" = data ] || fail "start.wav has no 44-byte header"
first=$(od -An -v -td2 -w4 -j44 start.wav | awk '$1 != 0 || $2 != 0 {print NR - 1; exit}')
[ "${first:--1}" -ge 10584 ] && [ "${first:--1}" -lt $((10584 + 662)) ] ||
    fail "first music sample at audio frame $first, not in the frame at 480 ms"

# The whole intro on the ideal clock (a frame every 30 ms from 120 ms on):
# scene 0 ends at 6900; scene 1 in the first frame after 51000, scene 2 in
# the first after 95000, scene 3 in the first at or after 125000; the end
# scroller's closing movement is complete 3486 frames after its first
# frame at 125040, and the run ends by itself with 0. The same run lays out
# a frame every 5 s as a contact sheet for review, and with ffmpeg makes
# a video that lasts until the end frame, within one frame, with music.
command -v ffmpeg >/dev/null && video="--video whole.mkv" || video=
"$capture" --trace --sheet "$BRINDLEC_BIN/contact-sheet.png" --every 5000 $video --size 160x120 >trace 2>errors ||
    { cat errors; fail "whole-intro capture"; }
printf 'scene 1 at 6900\nscene 2 at 51030\nscene 3 at 95010\nscene 4 at 125010\nend at 229590\n' | diff - trace ||
    fail "scene trace differs (expected - got +)"
[ -s "$BRINDLEC_BIN/contact-sheet.png" ] || fail "no contact sheet"
if [ -n "$video" ]; then
    duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 whole.mkv)
    python3 -c "import sys; sys.exit(0 if abs(float('$duration') * 1000 - 229620) <= 30 else 1)" ||
        fail "video lasts $duration s, the intro ends at 229590 ms"
    streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 whole.mkv | sort | tr '\n' ' ')
    [ "$streams" = "audio video " ] || fail "the video should carry pictures and music, has: $streams"
fi
echo "ok: capture repeatable, music start, fallback, scene trace, contact sheet, length, bad arguments"
