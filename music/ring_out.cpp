// The ring-out after a song's end: its notes let go, then ticks that read
// no row, until its last notes have fallen silent. What a player that
// plays a song to its end runs in place of the second pass.
#include "music/music_engine.h"

void release_notes(const Song* song)
{
    for (int c = 0; c < played_channel_count(song); ++c) {
        TrackChannel* channel = &channels[c];
        if (resolve_instrument(song, channel)->volume_type & ENVELOPE_ON) channel->key_off = 1;
    }
}

bool play_ring_out_tick(Song* song)
{
    process_empty_tick(song);
    return voices_silent();
}
