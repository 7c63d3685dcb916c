// The load-and-play routine shared by the fuzz harness and the unit test
// that replays the corpus and every input that ever crashed or hung: any
// bytes are loaded from memory and, when they load, rendered offline for
// a few hundred ticks, with no device.
#ifndef BRINDLEC_TESTS_FUZZ_PLAY_MODULE_H
#define BRINDLEC_TESTS_FUZZ_PLAY_MODULE_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "music/music_engine.h"

namespace fuzz_play {

// Ticks to play, and the blocks after the first ring that they may take
// at most (a slow tempo: 300 ticks at 32 BPM would be 23 s of music).
enum { TICK_LIMIT = 300, EXTRA_BLOCK_LIMIT = 300 };

struct PlayResult {
    bool loaded = false;
    int ticks = 0;   // ticks the tick engine ran
    int blocks = 0;  // blocks mixed, the first ring included
};

inline int tick_count = 0;

// The loader stores play_tick as the song's handler; this one counts.
inline void counting_tick(Song* song)
{
    tick_count += 1;
    play_tick(song);
}

// What must hold after every block whatever the module said: the mixed
// values are numbers, and no voice stands beyond the end of its sample.
inline void check_block(int block)
{
    const float* mix = sound_output.mix_buffer + 2 * block * sound_output.block_frames;
    for (int i = 0; i < 2 * sound_output.block_frames; ++i)
        if (!std::isfinite(mix[i]))
            std::fprintf(stderr, "play_module: value %d of block %d is %f\n", i, block, mix[i]), std::abort();
    for (int v = 0; v < MIXED_VOICES; ++v) {
        const Voice& voice = sound_output.voices[v];
        const Sample* const sample = voice.sample;
        const uint64_t end = sample ? uint64_t{sample->loop_start} + sample->loop_length : 0;
        if (sample && (sample->loop_start > sample->length || end > sample->length || voice.position > end))
            std::fprintf(stderr, "play_module: voice %d at %u of a sample of %u (loop %u + %u)\n", v,
                         voice.position, sample->length, sample->loop_start, sample->loop_length),
                std::abort();
    }
}

// Loads `size` bytes as a module and plays what loads. Every buffer the
// run took is released again before it returns.
inline PlayResult play_module(const uint8_t* data, size_t size)
{
    PlayResult result;
    Song* song = load_song_from_memory(data, size, nullptr);
    if (!song) return result;
    result.loaded = true;
    song->tick_handler = counting_tick;
    tick_count = 0;
    // A fresh output for every module: voices cleared, as at start-up.
    if (start_offline_render(song, OUTPUT_RATE)) {
        const int ring_blocks = sound_output.ring_frames / sound_output.block_frames;
        for (int block = 0; block < ring_blocks; ++block) check_block(block);
        result.blocks = ring_blocks;
        std::vector<int16_t> heard(2 * static_cast<size_t>(sound_output.block_frames));
        // Each block heard is mixed anew, a ring ahead.
        for (int extra = 0; extra < EXTRA_BLOCK_LIMIT && tick_count < TICK_LIMIT; ++extra) {
            render_offline(heard.data(), static_cast<uint32_t>(sound_output.block_frames));
            check_block((sound_output.write_block + ring_blocks - 1) % ring_blocks);
            result.blocks += 1;
        }
    }
    result.ticks = tick_count;
    free_song(song);
    close_sound_output();
    return result;
}

}  // namespace fuzz_play

#endif
