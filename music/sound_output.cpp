// Sound output and mixing thread: the looping audio ring, the block fill
// that advances the song tick by tick, and the thread that keeps the ring
// one lap ahead of the device.
#include <cstdlib>
#include <cstring>

#include "music/music_engine.h"
#include "platform/platform.h"

SoundOutput sound_output;

// thread_finished starts true: no mixing thread is running at program start.
// It is set by a start-up initialiser rather than in the record's own
// initialiser, so that the record (256 voices) stays zero-filled storage
// instead of 20 KiB of initialised data in the executable.
[[maybe_unused]] static const bool no_thread_at_start = (sound_output.thread_finished = true);

// Block length: 20 ms plus 3 frames, kept to whole groups of 4 frames so
// every block of floats starts 16-byte aligned (444 frames at 22050 Hz).
static int block_frames_for(int rate) { return (rate * 20 / 1000 + 3) / 4 * 4; }

// Rate, block, ring and ramp lengths, and the voices cleared, each with
// its slot number and a step of 1.0.
static void set_output_format(int rate)
{
    sound_output.rate = rate;
    sound_output.block_frames = block_frames_for(rate);
    // BUFFER_MS / 20 blocks, twice over: 100 blocks, about 2 s of music.
    sound_output.ring_frames = (BUFFER_MS / 20) * sound_output.block_frames * 2;
    sound_output.ramp_frames = rate * 128 / 44100;
    sound_output.ramp_scale = 1.0f / static_cast<float>(sound_output.ramp_frames);
    std::memset(sound_output.voices, 0, sizeof sound_output.voices);
    for (int i = 0; i < VOICE_SLOTS; ++i) {
        sound_output.voices[i].index = i;
        sound_output.voices[i].increment = 1;
    }
}

bool open_sound_output(int rate)
{
    if (!file_callbacks_installed()) return false;
    if (rate < MIN_OUTPUT_RATE || rate > MAX_OUTPUT_RATE) return false;
    close_sound_output();
    sound_output.rate = rate;
    if (!platform_audio_open(rate)) return false;
    sound_output.device_open = true;
    set_output_format(rate);
    return true;
}

bool open_offline_output(int rate)
{
    if (rate < MIN_OUTPUT_RATE || rate > MAX_OUTPUT_RATE) return false;
    close_sound_output();
    set_output_format(rate);
    return true;
}

void close_sound_output(void)
{
    // The mixing thread writes the ring the device reads: end it first.
    if (sound_output.playing_song) stop_song(sound_output.playing_song);
    if (sound_output.device_open) platform_audio_close();
    sound_output.device_open = false;
    sound_output.header_prepared = false;
    // With the device closed nothing reads the ring any more.
    std::free(sound_output.output_buffer);
    sound_output.output_buffer = nullptr;
}

int tick_frames(int rate, int bpm)
{
    if (bpm < 1) bpm = 1;  // a tempo of 0 has no tick length at all
    // A tick lasts 1000 / (bpm x 0.4) ms: floor(2.5 x rate / bpm) frames,
    // computed exactly in integers (424 at 130 BPM, 441 at 125 BPM). The
    // rate is at most MAX_OUTPUT_RATE, so 5 x rate fits, and halving
    // before dividing by the BPM rounds down the same way.
    int frames = rate * 5 / 2 / bpm;
    return frames > 0 ? frames : 1;
}

void set_tempo(Song* song, int bpm)
{
    if (!song) return;
    song->bpm = bpm;
    song->frames_per_tick = tick_frames(sound_output.rate, bpm);
}

void fill_block(void)
{
    Song* song = sound_output.playing_song;
    if (!song || !sound_output.mix_buffer || !sound_output.output_buffer) return;
    int frames = sound_output.block_frames;
    int start = sound_output.write_block * frames;
    float* mix = sound_output.mix_buffer + 2 * start;
    std::memset(mix, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
    int done = 0;
    int left = song->tick_frames_left;
    while (done < frames) {
        if (left <= 0) {
            // Read the length after the tick: a tempo command in this very
            // tick already sets how long it lasts.
            if (song->tick_handler) song->tick_handler(song);
            left = song->frames_per_tick > 0 ? song->frames_per_tick : 1;
        }
        int n = left < frames - done ? left : frames - done;
        mix_voices(mix + 2 * done, n);
        done += n;
        left -= n;
    }
    song->tick_frames_left = left;  // an unfinished tick goes on in the next block
    clip_to_pcm16(sound_output.output_buffer + 2 * start, mix, frames);
    sound_output.write_block += 1;
    if (sound_output.write_block >= sound_output.ring_frames / frames) sound_output.write_block = 0;
}

int fill_played_blocks(uint64_t played_frames)
{
    if (!sound_output.playing_song || !sound_output.mix_buffer || !sound_output.output_buffer) return 0;
    // The block the device is reading now; it is never written.
    uint64_t in_ring = played_frames % static_cast<uint64_t>(sound_output.ring_frames);
    int playing = static_cast<int>(in_ring) / sound_output.block_frames;
    // A device that has run ahead is caught up here: every block up to the
    // playing one.
    int filled = 0;
    while (sound_output.write_block != playing) {
        sound_output.mixing = true;
        fill_block();
        sound_output.mixing = false;
        filled++;
    }
    return filled;
}

int output_block_frames(void) { return sound_output.block_frames; }

const Song* output_song(void) { return sound_output.playing_song; }

int output_block_peak(uint64_t block)
{
    const int frames = sound_output.block_frames;
    if (frames <= 0 || !sound_output.output_buffer) return 0;
    const uint64_t blocks = static_cast<uint64_t>(sound_output.ring_frames / frames);
    if (blocks == 0) return 0;
    const int16_t* values = sound_output.output_buffer + 2 * static_cast<size_t>(block % blocks) * frames;
    int peak = 0;
    for (int i = 0; i < 2 * frames; ++i) {
        int magnitude = std::abs(static_cast<int>(values[i]));
        if (magnitude > peak) peak = magnitude;
    }
    return peak;
}

int output_thread(void*)
{
    sound_output.thread_finished = false;
    while (!sound_output.stop_requested) {
        fill_played_blocks(platform_audio_position() / 4);
        platform_sleep_ms(5);
    }
    sound_output.thread_finished = true;
    return 0;
}
