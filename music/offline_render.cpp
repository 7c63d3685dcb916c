// Rendering offline: the output opened without a device, the song started
// on it as play_song starts it, and the device's reading of the looping
// ring played by the caller. What comes out is what a device would play
// from the ring's first frame, block for block.
#include <cstring>

#include "music/music_engine.h"

// Frames the stand-in device has played since the ring started.
uint64_t offline_played_frames = 0;

bool start_offline_render(Song* song, int rate)
{
    offline_played_frames = 0;
    return song && open_offline_output(rate) && prepare_playback(song);
}

void render_offline(int16_t* destination, uint32_t frames)
{
    if (!sound_output.output_buffer || sound_output.block_frames <= 0) {
        std::memset(destination, 0, frames * 4u);
        return;
    }
    const uint64_t ring = static_cast<uint64_t>(sound_output.ring_frames);
    const uint32_t block = static_cast<uint32_t>(sound_output.block_frames);
    while (frames > 0) {
        // The device reads up to the end of the block it is in, then the
        // mixing thread refills what it has read.
        uint32_t at = static_cast<uint32_t>(offline_played_frames % ring);
        uint32_t count = block - at % block;
        if (count > frames) count = frames;
        std::memcpy(destination, sound_output.output_buffer + 2 * static_cast<size_t>(at), count * 4u);
        destination += 2 * static_cast<size_t>(count);
        frames -= count;
        offline_played_frames += count;
        fill_played_blocks(offline_played_frames);
    }
}
