// The load-and-play routine shared by the fuzz harness and the unit test
// that replays the corpus and every input that ever crashed or hung: any
// bytes go through the memory source into load_song and, when they load,
// play offline through fill_block for a few hundred ticks, with no device.
#ifndef BRINDLEC_TESTS_FUZZ_PLAY_MODULE_H
#define BRINDLEC_TESTS_FUZZ_PLAY_MODULE_H

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "music/music.h"

namespace fuzz_play {

// Ticks to play, and the blocks after the first ring that they may take
// at most (a slow tempo: 300 ticks at 32 BPM would be 23 s of music).
enum { TICK_LIMIT = 300, EXTRA_BLOCK_LIMIT = 300 };

struct PlayResult {
    bool loaded = false;
    int ticks = 0;   // ticks the tick engine ran
    int blocks = 0;  // blocks mixed, the first ring included
};

inline int& tick_count()
{
    static int ticks = 0;
    return ticks;
}

// The loader stores play_tick as the song's handler; this one counts.
inline void counting_tick(Song* song)
{
    tick_count() += 1;
    play_tick(song);
}

// What must hold after every block whatever the module said: the mixed
// values are numbers, and no voice stands beyond the end of its sample.
inline void check_block(int block)
{
    const float* mix = sound_output.mix_buffer + 2 * block * sound_output.block_frames;
    for (int i = 0; i < 2 * sound_output.block_frames; ++i) {
        if (!std::isfinite(mix[i])) {
            std::fprintf(stderr, "play_module: mixed value %d of block %d is %f\n", i, block, mix[i]);
            std::abort();
        }
    }
    for (int v = 0; v < MIXED_VOICES; ++v) {
        const Voice& voice = sound_output.voices[v];
        if (!voice.sample) continue;
        uint64_t end = uint64_t{voice.sample->loop_start} + voice.sample->loop_length;
        if (voice.sample->loop_start > voice.sample->length || end > voice.sample->length ||
            voice.position > end) {
            std::fprintf(stderr, "play_module: voice %d at %u of a sample of %u (loop %u + %u)\n", v,
                         voice.position, voice.sample->length, voice.sample->loop_start,
                         voice.sample->loop_length);
            std::abort();
        }
    }
}

inline void fill_checked_block(PlayResult* result)
{
    int block = sound_output.write_block;
    fill_block();
    check_block(block);
    result->blocks += 1;
}

// Loads `size` bytes as a module and plays what loads. Every buffer the
// run took is released again before it returns.
inline PlayResult play_module(const uint8_t* data, size_t size)
{
    PlayResult result;
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
    memory_file.base = data;
    memory_file.size = size < INT_MAX ? static_cast<int>(size) : INT_MAX;
    memory_file.position = 0;
    Song* song = load_song("");
    if (!song) return result;
    result.loaded = true;
    // A fresh output for every module: voices cleared, as at start-up.
    open_offline_output(OUTPUT_RATE);
    song->tick_handler = counting_tick;
    tick_count() = 0;
    if (prepare_playback(song)) {
        int ring_blocks = sound_output.ring_frames / sound_output.block_frames;
        for (int block = 0; block < ring_blocks; ++block) check_block(block);
        result.blocks = ring_blocks;
        for (int extra = 0; extra < EXTRA_BLOCK_LIMIT && tick_count() < TICK_LIMIT; ++extra)
            fill_checked_block(&result);
    }
    result.ticks = tick_count();
    free_song(song);
    close_sound_output();
    return result;
}

}  // namespace fuzz_play

#endif
