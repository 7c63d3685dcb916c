// Playback control: starting a song on the sound output (ring filled once
// on the calling thread, then handed to the device and the mixing thread)
// and stopping it again.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "music/music_engine.h"
#include "platform/platform.h"

void reset_playback(Song* song)
{
    if (!song) return;
    // Play position back to row 0 of order 0, tempo and speed from the header.
    song->next_order = -1;
    song->next_row = -1;
    song->global_volume = song->initial_global_volume;
    song->speed = song->default_speed;
    song->row = 0;
    song->order_index = 0;
    song->tick_frames_left = 0;
    song->tick = 0;
    song->pattern_delay = 0;
    set_tempo(song, song->default_bpm);
    // Every track starts cleared, on the voice slot of its own number.
    int count = song->channel_count;
    if (count > MAX_CHANNELS) count = MAX_CHANNELS;
    for (int i = 0; i < count; ++i) {
        std::memset(&channels[i], 0, sizeof channels[i]);
        channels[i].voice = &sound_output.voices[i];
    }
}

// The PCM ring (kept across songs: a device may still be reading it) and
// the float mix buffer, whose start is taken at the first 16-byte boundary.
static bool allocate_ring(void)
{
    size_t frames = static_cast<size_t>(sound_output.ring_frames);
    if (!sound_output.output_buffer)
        sound_output.output_buffer = static_cast<int16_t*>(std::calloc(frames, 4));
    else
        std::memset(sound_output.output_buffer, 0, frames * 4);
    sound_output.mix_allocation = std::calloc(frames * 8 + 256, 1);
    if (!sound_output.output_buffer || !sound_output.mix_allocation) {
        std::free(sound_output.mix_allocation);
        sound_output.mix_allocation = nullptr;
        return false;
    }
    uintptr_t address = reinterpret_cast<uintptr_t>(sound_output.mix_allocation);
    sound_output.mix_buffer = reinterpret_cast<float*>((address + 15) & ~static_cast<uintptr_t>(15));
    return true;
}

bool prepare_playback(Song* song)
{
    if (!song || sound_output.block_frames <= 0) return false;
    stop_song(song);
    reset_playback(song);
    if (!allocate_ring()) return false;
    sound_output.playing_song = song;
    // The whole ring once: the song's first ticks run here, on this thread.
    sound_output.write_block = 0;
    do {
        fill_block();
    } while (sound_output.write_block != 0);
    return true;
}

bool play_song(Song* song)
{
    if (!song || !sound_output.device_open) return false;
    if (!prepare_playback(song)) return false;
    uint32_t bytes = static_cast<uint32_t>(sound_output.ring_frames) * 4;
    sound_output.header_prepared = platform_audio_play_loop(sound_output.output_buffer, bytes);
    sound_output.stop_requested = false;
    sound_output.thread_finished = false;
    sound_output.thread = platform_start_thread(output_thread, nullptr);
    if (!sound_output.thread) sound_output.thread_finished = true;  // the ring plays unrefreshed
    return true;
}

bool stop_song(Song* song)
{
    if (!song) return false;
    sound_output.stop_requested = true;
    while (sound_output.mixing) {
    }
    if (sound_output.thread) {
        while (!sound_output.thread_finished) platform_sleep_ms(50);
        platform_forget_thread(sound_output.thread);
        sound_output.thread = nullptr;
    }
    std::free(sound_output.mix_allocation);
    sound_output.mix_allocation = nullptr;
    sound_output.mix_buffer = nullptr;
    if (sound_output.header_prepared) {
        platform_audio_release_loop();
        sound_output.header_prepared = false;
    }
    // A device still looping the ring now plays silence instead of
    // repeating the last two seconds for ever.
    if (sound_output.output_buffer)
        std::memset(sound_output.output_buffer, 0, static_cast<size_t>(sound_output.ring_frames) * 4);
    sound_output.playing_song = nullptr;
    return true;
}
