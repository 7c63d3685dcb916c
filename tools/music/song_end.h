// Playing a module to its end: the tick handler that plays the song's
// first pass, then lets the notes still sounding ring out until they fall
// silent (at most a few seconds, the last of them fading), and keeps a
// record of where the song was at each tick for whoever shows it.
#ifndef BRINDLEC_TOOLS_MUSIC_SONG_END_H
#define BRINDLEC_TOOLS_MUSIC_SONG_END_H

#include <cstdint>
#include <functional>

#include "music/music.h"

// The ring-out after the first pass: at most TAIL_MS, its last FADE_MS
// fading to silence so that a held note does not end in a click.
const int TAIL_MS = 3000;
const int FADE_MS = 1000;

// Frames the ring-out may last at `rate`.
uint64_t tail_frames(int rate);

// Where the song was at a tick, and how loud the output was just before.
struct SongMoment {
    uint64_t frame = 0;  // output frame the tick started at
    int order = 0, pattern = 0, row = 0;
    int peak = 0;          // largest PCM magnitude of the last block mixed before it, 0..32768
    bool ringing = false;  // after the first pass: the ring-out
};

// Puts the song-end handler in song->tick_handler, before playback or an
// offline render starts the song; the song's ticks are counted from its
// first. `pass` is the song's first pass (measure_song_pass); with `loop`
// the song plays on for ever, as play_tick alone plays it, and has no end.
// `rate` is the output's, for the ring-out's length.
void start_song_end(Song* song, const SongPass& pass, int rate, bool loop);

// True once the ring-out is over; *end_frame is then the output frame at
// which the music ends (the first pass's frames plus the ring-out). Any
// thread.
bool song_end_reached(uint64_t* end_frame);

// Renders what the offline render started on the song plays (see
// start_offline_render), a second at a time, handing the frames to
// `write`: `limit` frames, or fewer when the song-end handler finds the
// music's end before. Stops early when `write` returns false. Returns the
// frames handed over.
uint64_t render_song(uint64_t limit, int rate, const std::function<bool(const int16_t*, uint32_t)>& write);

// The last tick started at or before `frame`, as far as the record reaches
// back (512 ticks, some ten seconds; the oldest of them for a frame before
// those). Any thread.
SongMoment song_moment_at(uint64_t frame);

#endif
