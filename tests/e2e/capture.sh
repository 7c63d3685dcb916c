#!/usr/bin/env bash
# brindlec-capture: repeatable frames and music, the music's start, the
# fallback without ffmpeg, the video's length, and bad arguments.
. "$(dirname "$0")/support/lib.sh"
capture="$BRINDLEC_BIN/brindlec-capture"
make_work_dir
cd "$work"

# Bad arguments and a failing encoder.
for args in "--bogus" "--at 12x --out d" "--at 100" "--video out.avi" "--size 10x10 --trace" \
            "--video odd.mp4 --size 201x150" "--sheet s.png" "--from 5000 --to 4000 --trace" \
            "--gl opengl2 --trace" "--trace --gl" ""; do
    "$capture" $args >/dev/null 2>&1
    [ $? = 2 ] || fail "'$args' must exit 2"
done
if command -v ffmpeg >/dev/null; then
    "$capture" --video /nonexistent/dir/x.mp4 --to 300 --size 160x120 2>err.txt
    [ $? = 1 ] || fail "a failing encoder must exit 1"
    grep -q "ffmpeg" err.txt || fail "no message for the failing encoder: $(cat err.txt)"
fi

# Without ffmpeg: a PNG sequence and a WAV, identical on a second run.
for run in 1 2; do
    env PATH=/nonexistent "$capture" --video run$run.mp4 --from 6600 --to 7500 --size 160x120 2>msg$run.txt ||
        fail "fallback capture $run failed: $(cat msg$run.txt)"
done
grep -q "ffmpeg is not installed" msg1.txt || fail "the fallback does not say so"
frames=$(ls run1-frames | wc -l)
[ "$frames" = 31 ] || fail "6600..7500 ms is 31 frames, got $frames"
diff -r run1-frames run2-frames >/dev/null || fail "two captures of the same span differ in their frames"
cmp -s run1.wav run2.wav || fail "two captures of the same span differ in their music"

# The music starts in the frame in which the title sequence starts it:
# the first frame at or after 480 ms, i.e. audio frame 10584 (22050 Hz).
env PATH=/nonexistent "$capture" --video start.mp4 --to 1200 --size 160x120 2>/dev/null || fail "start capture"
first=$(python3 - start.wav <<'PY'
import struct, sys, wave
w = wave.open(sys.argv[1]); data = w.readframes(w.getnframes())
values = struct.unpack('<%dh' % (len(data) // 2), data)
print(next((i // 2 for i, v in enumerate(values) if v != 0), -1))
PY
)
[ "$first" -ge 10584 ] && [ "$first" -lt $((10584 + 662)) ] ||
    fail "first music sample at audio frame $first, not in the frame at 480 ms"

# With ffmpeg: the whole intro's video lasts until the end frame, within one frame.
if command -v ffmpeg >/dev/null; then
    end=$("$capture" --trace --video whole.mkv --size 160x120 2>/dev/null | awk '/^end at/ {print $3}')
    [ -n "$end" ] || fail "whole-intro capture"
    duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 whole.mkv)
    python3 -c "import sys; d=float('$duration')*1000; e=$end+30; sys.exit(0 if abs(d-e) <= 30 else 1)" ||
        fail "video lasts $duration s, the intro ends at $end ms"
    streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 whole.mkv | sort | tr '\n' ' ')
    [ "$streams" = "audio video " ] || fail "the video should carry pictures and music, has: $streams"
fi
echo "ok: capture repeatable, music start, fallback, length, bad arguments"
