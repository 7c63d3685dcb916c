#!/usr/bin/env bash
# The intro's command line and the no-display path.
. "$(dirname "$0")/support/lib.sh"
bin="$BRINDLEC_BIN/brindlec"

help=$("$bin" --help) && grep -q -- "--windowed" <<<"$help" || fail "--help fails or does not describe --windowed"
"$bin" --version | grep -q "^brindlec [0-9]" || fail "--version"
err=$("$bin" --bogus 2>&1 >/dev/null)
[ $? = 2 ] && grep -q "unknown argument" <<<"$err" || fail "an unknown argument must exit 2 and say so: $err"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$bin" --windowed 2>&1)
status=$?
[ $status = 1 ] && [ "$(wc -l <<<"$out")" = 1 ] || fail "no display must exit 1 with one line, got $status: $out"
echo "ok: --help, --version, unknown argument, no display"

# brindlec-music --wav: the header declares exactly the frames written, and
# a render longer than a WAV file can hold is refused before anything is made.
music="$BRINDLEC_BIN/brindlec-music"
make_work_dir
"$music" --wav "$work/a.wav" --seconds 2.5 --rate 8000 2>/dev/null || fail "--wav of 2.5 s failed"
# File, RIFF and data sizes of 20000 frames.
[ "$(wav_sizes "$work/a.wav")" = "80044 80036 80000" ] || fail "2.5 s at 8000 Hz: sizes $(wav_sizes "$work/a.wav")"
od -An -v -td2 -j44 "$work/a.wav" | tr -s ' ' '\n' | grep -qv '^0*$' || fail "the render is silent"
out=$("$music" --wav "$work/long.wav" --seconds 86400 --rate 192000 2>&1)
[ $? = 1 ] && grep -q "more than a WAV file holds" <<<"$out" && [ ! -e "$work/long.wav" ] ||
    fail "a render beyond 4 GiB must fail with its reason and leave no file: $out"
# A write that fails part-way leaves no file that declares frames it lacks;
# a device named as the output is failed on but left in place.
(trap '' XFSZ; ulimit -f 16; "$music" --wav "$work/cut.wav" --seconds 2 --rate 8000 2>"$work/cut.err")
[ $? = 1 ] && grep -q "cannot write" "$work/cut.err" && [ ! -e "$work/cut.wav" ] ||
    fail "a write beyond the file size limit must fail with its reason and leave no file: $(cat "$work/cut.err")"
if [ -c /dev/full ]; then
    "$music" --wav /dev/full --seconds 2 --rate 8000 2>/dev/null && fail "writing to /dev/full must fail"
    [ -c /dev/full ] || fail "a failed render removed /dev/full"
fi
echo "ok: brindlec-music --wav sizes, the 4 GiB limit and failed writes"
