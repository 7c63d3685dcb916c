// The song's first pass: the tick engine run from the start of the song
// with nothing mixed, until the sequence comes back to a row it has
// already played. The same play_tick as playback, so the length found is
// the length heard.
#include <cstring>

#include "music/music_engine.h"

// What the measurement borrows and gives back: the tracks, the voices
// (update_voice writes them) and the song's play state.
static TrackChannel saved_channels[MAX_CHANNELS];
static Voice saved_voices[VOICE_SLOTS];

// One bit per order and row: played in this pass.
static uint32_t rows_played[MAX_ORDERS * MAX_ROWS / 32];

static int row_bit(int order, int row) { return order * MAX_ROWS + row; }

static bool was_played(int order, int row)
{
    int bit = row_bit(order, row);
    return (rows_played[bit / 32] >> (bit % 32)) & 1u;
}

static void mark_played(int order, int row, bool played)
{
    int bit = row_bit(order, row);
    uint32_t mask = 1u << (bit % 32);
    if (played)
        rows_played[bit / 32] |= mask;
    else
        rows_played[bit / 32] &= ~mask;
}

// Tick 0 of a row has just played. True when the row was played before:
// the second pass begins with it. A pattern loop that jumps back from this
// row (the next row lies in the same order, not after this one) plays its
// rows again as part of this pass, so they are no longer counted played.
static bool row_repeats(const Song* song, SongPass* pass)
{
    int order = song->order_index, row = song->row;
    if (order < 0 || order >= MAX_ORDERS || row < 0 || row >= MAX_ROWS) return false;
    if (was_played(order, row)) {
        pass->end_order = order;
        pass->end_row = row;
        return true;
    }
    mark_played(order, row, true);
    pass->rows += 1;
    if (song->next_order == -1 && song->next_row >= 0 && song->next_row <= row)
        for (int r = song->next_row; r <= row; ++r) mark_played(order, r, false);
    return false;
}

bool measure_song_pass(Song* song, int rate, SongPass* pass)
{
    std::memset(pass, 0, sizeof *pass);
    if (!song || rate < MIN_OUTPUT_RATE || rate > MAX_OUTPUT_RATE || sound_output.playing_song) return false;
    Song saved_song = *song;
    std::memcpy(saved_channels, channels, sizeof channels);
    std::memcpy(saved_voices, sound_output.voices, sizeof saved_voices);
    std::memset(rows_played, 0, sizeof rows_played);
    reset_playback(song);
    while (pass->ticks < MAX_PASS_TICKS) {
        bool row_tick = song->tick == 0;
        play_tick(song);
        if (row_tick && row_repeats(song, pass)) {
            pass->ended = true;
            break;
        }
        // A tempo command in this tick already sets how long it lasts.
        pass->ticks += 1;
        pass->frames += static_cast<uint64_t>(tick_frames(rate, song->bpm));
    }
    *song = saved_song;
    std::memcpy(channels, saved_channels, sizeof channels);
    std::memcpy(sound_output.voices, saved_voices, sizeof saved_voices);
    return true;
}
