#!/usr/bin/env bash
# The real SDL intro from a sanitizer build, under Xvfb with SDL's disk
# audio driver: the question answered "No" in the real dialog, the window,
# the audio device with SDL's audio thread copying the ring while the
# mixing thread refills it, the titles and the music for SECONDS, then Esc.
# Passes when the intro ends with status 0 and the sanitizer reports
# nothing: AddressSanitizer, LeakSanitizer at exit and UBSan for an
# "address" build, data races for a "thread" build.
#
#   tests/sanitizer/sdl_run.sh BUILD_DIR [SECONDS]   (default 10)
. "$(dirname "$0")/../e2e/support/lib.sh"
here=$BRINDLEC_SOURCE_DIR
bin=$(cd "${1:?usage: sdl_run.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-10}
make_work_dir

case $(ldd "$bin/brindlec") in
*libasan*) kind=AddressSanitizer ;;
*libtsan*) kind=ThreadSanitizer ;;
*) fail "$bin/brindlec is no sanitizer build" ;;
esac
export ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    LSAN_OPTIONS="suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0" \
    TSAN_OPTIONS="suppressions=$here/tests/sanitizer/tsan.supp"

start_xvfb 1024x768
BRINDLEC_BIN=$bin SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" start_intro
answer_no 30
thread_id $APP_PID brindlec-mixer 30 >/dev/null || fail "no mixing thread"
sleep "$seconds"
close_with "$win" Escape 60 "$work/err"
! grep -qE 'ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|runtime error:' "$work/err" ||
    { grep -v '^ALSA lib' "$work/err"; fail "$kind: a report above"; }
echo "ok: real SDL intro under $kind: question, window, music and its thread for $seconds s, Esc; nothing reported"
