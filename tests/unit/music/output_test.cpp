// The sound output: the software mixer on raw samples (the end of a
// sample, forward and ping-pong loops, gain ramps, PCM), ring arithmetic,
// tempo, the block fill with its tick boundaries, the refill of played
// blocks, and playback on the headless null device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/headless/headless.h"
#include "tests/unit/music/xm_builder.h"

namespace {

const uint64_t ONE = 1ull << 32;  // 1.0 in 32.32

// A sample over `values`, with the spare values after their end.
struct RawSample {
    std::vector<int16_t> values;
    Sample sample = {};
    RawSample(std::vector<int16_t> data, uint8_t loop_type = LOOP_NONE, uint32_t start = 0, uint32_t loop_length = 0)
        : values(std::move(data)) {
        values.resize(values.size() + SAMPLE_PADDING, 0);
        const uint32_t length = uint32_t(values.size() - SAMPLE_PADDING);
        sample = {values.data(), length, start, loop_type == LOOP_NONE ? length : loop_length, 64, 0, 128, 16,
                  loop_type, 0};
    }
};

uint64_t position_of(const Voice* voice) { return uint64_t(voice->position) << 32 | voice->position_fraction; }

// A voice on `sample` at `position`, at constant gains `left` and `right` (no ramp pending).
Voice* settled_voice(int slot, const Sample* sample, uint64_t increment, int left = 255, uint64_t position = 0,
                     int right = -1) {
    Voice* voice = &sound_output.voices[slot];
    right = right < 0 ? left : right;
    *voice = {slot, 0, 0, 0, sample, left, right, uint32_t(position >> 32), uint32_t(position), uint32_t(increment),
              uint32_t(increment >> 32), 1, left, right, 256 * left, 256 * right, 0, 0, 0};
    return voice;
}

// The left values of `frames` frames mixed at once.
std::vector<float> mix_left(int frames) {
    std::vector<float> out(2 * size_t(frames), 0.0f), left;
    mix_voices(out.data(), frames);
    for (size_t i = 0; i < out.size(); i += 2) left.push_back(out[i]);
    return left;
}
int sounding(const std::vector<float>& left) { return int(left.size() - std::count(left.begin(), left.end(), 0.0f)); }

class music_mixer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(open_offline_output(22050)); }
};


// Stand-in tick handler: each tick restarts a one-value sample on voice 0
// (settled at full gain, a step of 1.0), so every tick start shows as one
// frame of 1000 in the output, and sets its own length from `tick_lengths`,
// cycling, when there are any.
std::atomic<int> ticks{0};
std::vector<int> tick_lengths = {100};
int16_t impulse_data[1 + SAMPLE_PADDING] = {1000};
Sample impulse = {impulse_data, 1, 0, 1, 64, 0, 128, 16, LOOP_NONE, 0};
void impulse_tick(Song* song) {
    const int n = ticks.fetch_add(1);
    sound_output.voices[0] = {0, 0, 0, 0, &impulse, 255, 255, 0, 0, 0, 1, 1, 255, 255, 255 * 256, 255 * 256, 0, 0, 0};
    if (!tick_lengths.empty()) song->frames_per_tick = tick_lengths[size_t(n) % tick_lengths.size()];
}

Song impulse_song(int bpm = 125) {
    Song song = {};
    song.default_bpm = int16_t(bpm);
    song.channel_count = 4;
    song.initial_global_volume = 64;
    song.tick_handler = impulse_tick;
    return song;
}

// Frames of block `block` that start a tick.
std::vector<int> tick_starts_in_block(int block) {
    std::vector<int> starts;
    for (int i = 0; i < sound_output.block_frames; ++i)
        if (sound_output.output_buffer[2 * (block * sound_output.block_frames + i)] == 1000) starts.push_back(i);
    return starts;
}

void install_memory_source() { set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell); }

}  // namespace

TEST(music_sound_output, RingArithmeticTempoFreshVoicesAndRefusedRates) {
    install_memory_source();
    sound_output.voices[VOICE_SLOTS - 1].sample = &empty_sample;
    std::memset(channels, 0x5A, sizeof channels);  // opening the output writes nothing beyond it
    const int formats[][4] = {{22050, 444, 44400, 64}, {44100, 884, 88400, 128}, {8000, 160, 16000, 23}};
    for (const auto& c : formats) {  // rate, block, ring and ramp frames
        ASSERT_TRUE(open_sound_output(c[0]) && headless_audio_is_open());
        EXPECT_EQ(std::vector<int>({sound_output.rate, sound_output.block_frames, sound_output.ring_frames,
                                    sound_output.ramp_frames}), std::vector<int>(c, c + 4));
        EXPECT_TRUE(open_offline_output(c[0]) && sound_output.rate == c[0]);
    }
    for (const Voice& v : sound_output.voices)
        ASSERT_TRUE(v.index == &v - sound_output.voices && v.increment == 1 && !v.increment_fraction && !v.sample);
    const auto* track_bytes = reinterpret_cast<const unsigned char*>(channels);
    EXPECT_EQ(std::count(track_bytes, track_bytes + sizeof channels, 0x5A), long(sizeof channels));
    const int tempos[][4] = {  // rate, BPM, frames per tick, BPM stored
        {22050, 130, 424, 130}, {22050, 125, 441, 125}, {22050, 32, 1722, 32}, {22050, 255, 216, 255},
        {44100, 130, 848, 130}, {22050, 1, 55125, 1}, {22050, 0, 55125, 0}, {22050, -7, 55125, -7},
        {8000, 32767, 1, 32767},  // a tick shorter than a frame lasts one frame
    };
    for (const auto& c : tempos) {
        ASSERT_TRUE(open_offline_output(c[0]));
        Song song = {};
        set_tempo(&song, c[1]);
        EXPECT_EQ(std::vector<int>({song.frames_per_tick, song.bpm}), std::vector<int>({c[2], c[3]})) << c[1];
    }
    for (int rate : {MIN_OUTPUT_RATE, MAX_OUTPUT_RATE}) EXPECT_TRUE(open_sound_output(rate) && open_offline_output(rate));
    for (int rate : {0, MIN_OUTPUT_RATE - 1, MAX_OUTPUT_RATE + 1})
        EXPECT_FALSE(open_sound_output(rate) || open_offline_output(rate) || headless_audio_is_open()) << rate;
    headless_set_failures(FAIL_AUDIO_DEVICE);
    EXPECT_FALSE(open_sound_output(22050) || sound_output.device_open);
}

TEST(music_sound_output, BlocksHoldTheirTicksAndOnlyPlayedBlocksAreRefilled) {
    Song song = impulse_song();
    ASSERT_TRUE(start_offline_render(&song, 22050));
    EXPECT_EQ(ticks.load(), 444) << "44400 frames of ticks of 100";
    // The first block starts with a tick, before its first frame is mixed.
    EXPECT_EQ(tick_starts_in_block(0), (std::vector<int>{0, 100, 200, 300, 400}));
    EXPECT_EQ(tick_starts_in_block(1), (std::vector<int>{56, 156, 256, 356}));
    // The device plays block 5: blocks 0..4 are refilled, not the playing one.
    ticks = song.tick_frames_left = 0;
    EXPECT_EQ(std::vector<int>({fill_played_blocks(5 * 444 + 443), fill_played_blocks(5 * 444 + 443), ticks.load()}),
              std::vector<int>({5, 0, 5 * 444 / 100 + 1}));
    // Past the ring's length the position maps back into it: block 2.
    EXPECT_TRUE(fill_played_blocks(uint64_t(44400) * 3 + 2 * 444) == 97 && sound_output.write_block == 2);
    EXPECT_TRUE(stop_song(&song) && fill_played_blocks(444 * 50) == 0) << "stopped, nothing plays";
}

TEST(music_playback, PlayingResetsTheSongAndFillsTheRing) {
    install_memory_source();
    ASSERT_TRUE(open_sound_output(OUTPUT_RATE));
    Song song = impulse_song(130);
    song.row = 17, song.order_index = 3, song.tick = 4, song.pattern_delay = 12, song.tick_frames_left = 99;
    song.next_row = 5, song.next_order = 6, song.global_volume = 3, song.speed = 31, song.default_speed = 6;
    for (TrackChannel& channel : channels) channel.volume = 40, channel.voice = &sound_output.voices[200];
    tick_lengths = {};  // the song's tempo sets them
    ASSERT_TRUE(play_song(&song));
    EXPECT_EQ(ticks.load(), 105) << "ticks at frames 0, 424, ..., 44096";
    EXPECT_EQ(std::vector<int>({song.row, song.order_index, song.tick, song.pattern_delay, song.next_row,
                                song.next_order, song.global_volume, song.speed, song.bpm, song.tick_frames_left}),
              std::vector<int>({0, 0, 0, 0, -1, -1, 64, 6, 130, 120}));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(channels[i].voice == &sound_output.voices[i] && channels[i].volume == 0);
    EXPECT_EQ(channels[4].volume, 40) << "tracks beyond the song's channels are left alone";
    EXPECT_TRUE(headless_audio_loop() == sound_output.output_buffer && headless_audio_loop_bytes() == 177600u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(sound_output.mix_buffer) % 16, 0u);
    EXPECT_TRUE(sound_output.playing_song == &song && sound_output.thread);
    // The mixing thread refills what the device plays: two blocks' ticks.
    headless_audio_advance(2 * 4 * 444);
    for (int waited = 0; ticks.load() == 105 && waited < 10000; waited += 5) platform_sleep_ms(5);
    EXPECT_GT(ticks.load(), 105) << "no refill within 10 s";
    // Stopped, the thread is gone and the device, still looping the ring, plays silence.
    EXPECT_TRUE(stop_song(&song) && sound_output.thread_finished && !sound_output.thread && !sound_output.mix_buffer);
    EXPECT_EQ(std::count(sound_output.output_buffer, sound_output.output_buffer + 2 * 44400, 0), 2 * 44400);
    // Opening the output again stops what plays; closed, it plays nothing.
    ASSERT_TRUE(play_song(&song) && open_sound_output(44100) && !sound_output.playing_song && !sound_output.thread);
    close_sound_output();
    EXPECT_FALSE(headless_audio_is_open() || headless_audio_loop() || headless_audio_loop_bytes() || play_song(&song) ||
                 stop_song(nullptr) || free_song(nullptr));
}

// Voices outlive a stopped song; those left on a released song's samples
// must not read them when the next song mixes (the ASan build sees it).
TEST(music_playback, FreeingASongStopsItAndLetsGoOfItsSamples) {
    TestModule module;
    module.instruments = {instrument_with(wave_sample())};
    module.cells = {{0, 0, 0, cell(C4)}};
    const std::vector<uint8_t> bytes = build_module(module);
    Song* song = load_bytes(bytes);
    ASSERT_TRUE(song && start_offline_render(song, OUTPUT_RATE));
    const Sample* sample = song->instruments[0].samples[0];
    EXPECT_EQ(std::count_if(sound_output.voices, sound_output.voices + VOICE_SLOTS,
                            [&](const Voice& voice) { return voice.sample == sample; }), 1) << "the note sounds";
    EXPECT_TRUE(free_song(song) && !sound_output.playing_song && !sound_output.mix_buffer);
    for (int v = 0; v < VOICE_SLOTS; ++v) ASSERT_EQ(sound_output.voices[v].sample, nullptr) << v;
    Song* next = load_bytes(bytes);
    ASSERT_TRUE(next && start_offline_render(next, OUTPUT_RATE));
    EXPECT_TRUE(free_song(next));
}


TEST_F(music_mixer, NonLoopingSampleEndsAfterCeilingOfDistanceOverIncrementFrames) {
    // Increment, length, frames heard.
    const double cases[][3] = {{1, 100, 100}, {0.5, 3, 6}, {0.4, 1, 3}, {0.75, 3, 4}, {2, 5, 3}, {3, 9, 3}};
    for (const auto& c : cases) {
        RawSample raw(std::vector<int16_t>(size_t(c[1]), 1000));
        Voice* voice = settled_voice(0, &raw.sample, uint64_t(c[0] * ONE));
        EXPECT_EQ(sounding(mix_left(150)), int(c[2])) << c[0] << " " << c[1];
        EXPECT_TRUE(!voice->sample && !position_of(voice) && !sounding(mix_left(10))) << "ended, and silent since";
    }
    RawSample interpolated({0, 1000, 3000});
    const std::vector<float> expected{0, 375, 750, 1250, 2000, 2750, 2250, 1125, 0, 0, 0, 0};
    settled_voice(0, &interpolated.sample, ONE / 8 * 3);
    EXPECT_EQ(mix_left(12), expected);  // eight frames to its end: twice four frames at a time
    settled_voice(0, &interpolated.sample, ONE / 8 * 3);
    std::vector<float> heard = mix_left(7), rest = mix_left(5);  // 7: four frames at a time, then one at a time
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(heard, expected);
}

TEST_F(music_mixer, LoopsWrapAndReflectAtTheirEnds) {
    std::vector<int16_t> ramp(40);  // 0, 100, 200, ...
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(100 * i);
    RawSample forward(ramp, LOOP_FORWARD, 10, 20), bouncing(ramp, LOOP_PINGPONG, 10, 20), once(ramp),
        no_loop(ramp, LOOP_FORWARD, 10, 0);  // a loop of no length, which the loader never makes: a one-shot
    const struct {
        const Sample* sample;
        uint64_t increment, from, to;
        int direction_from, direction_to;
    } cases[] = {
        {&forward.sample, ONE + ONE / 2, 29 * ONE + 3 * ONE / 4, 11 * ONE + ONE / 4, 1, 1},  // by a whole loop length
        {&forward.sample, 65536 * ONE, 10 * ONE, 26 * ONE - 1, 1, 1},  // a step held just under 65536
        {&forward.sample, ONE, 4000000000ull * ONE, 11 * ONE, 1, 1},   // beyond the end: as at the end
        {&bouncing.sample, 3 * ONE / 4, 29 * ONE + ONE / 2, 29 * ONE + 3 * ONE / 4 - 1, 1, 2},  // 30.25: 29.75 - 2^-32
        {&bouncing.sample, 3 * ONE / 4, 10 * ONE + ONE / 4, 10 * ONE + ONE / 2 - 1, 2, 1},      // 9.5: 10.5 - 2^-32
        {&bouncing.sample, ONE, 39 * ONE, 29 * ONE - 1, 2, 2},      // backward from beyond the end of the loop
        {&bouncing.sample, 5 * ONE, 11 * ONE, 14 * ONE - 1, 2, 1},  // 6: 14 - 2^-32
        {&bouncing.sample, 40 * ONE, 25 * ONE, 25 * ONE, 1, 1},     // 65, then -5: reflected at both ends
        {&bouncing.sample, 30 * ONE, 11 * ONE, 21 * ONE, 2, 2},     // -19, then 39: at the start, then the end
        {&once.sample, ONE, 150 * ONE, 0, 1, 1},                    // beyond the end of a one-shot: ended
        {&no_loop.sample, ONE, 40 * ONE, 0, 1, 1},
    };
    for (const auto& c : cases) {
        Voice* voice = settled_voice(0, c.sample, c.increment, 255, c.from);
        voice->direction = c.direction_from;
        mix_left(1);
        EXPECT_EQ(position_of(voice), c.to) << c.from;
        EXPECT_EQ(voice->direction, c.direction_to) << c.from;
        EXPECT_EQ(voice->sample, c.to ? c.sample : nullptr) << c.from;
    }
    // A silent voice (a faded-out note still looping) moves exactly as a sounding one.
    Voice* silent = settled_voice(1, &bouncing.sample, ONE + ONE / 3, 0);
    Voice* heard = settled_voice(2, &bouncing.sample, ONE + ONE / 3, 1);
    for (int call = 0; call < 10; ++call, mix_left(97))
        ASSERT_TRUE(position_of(silent) == position_of(heard) && silent->direction == heard->direction) << call;
}

TEST_F(music_mixer, RampsRiseLinearlyAcrossCallsAndRestartFromTheGainReached) {
    EXPECT_EQ(sound_output.ramp_frames, 64);
    RawSample raw(std::vector<int16_t>(1000, 1000)), short_sample(std::vector<int16_t>(10, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = 255;  // a note starts: gains 0, targets set
    voice->target_right = 51;
    std::vector<float> out(2 * 100, 0.0f);
    for (int i = 0; i < 100; i += 16) mix_voices(out.data() + 2 * i, std::min(16, 100 - i));
    for (int i = 0; i < 200; ++i) ASSERT_NEAR(out[i], (i % 2 ? 200 : 1000) * std::min(i / 2, 64) / 64.0f, 0.05f) << i;
    EXPECT_TRUE(voice->ramp_left == 0 && voice->current_left == 255 * 256 && voice->current_right == 51 * 256);
    voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = voice->target_right = 255;
    mix_left(32);  // half way up: gain 0.5 as 8.8, then down again from there
    EXPECT_TRUE(voice->ramp_left == 32 && voice->current_left == 32640);
    voice->target_left = voice->target_right = 0;
    std::vector<float> down = mix_left(80);
    for (int i = 0; i < 80; ++i)
        ASSERT_NEAR(down[i], i < 64 ? 500.0f - 1000.0f * 127.0f / 255.0f * i / 64.0f : 0.0f, 0.05f) << i;
    EXPECT_TRUE(voice->current_left == 0 && voice->ramp_left == 0 && voice->sample == &raw.sample);
    voice = settled_voice(0, &short_sample.sample, ONE, 0);
    voice->target_left = voice->target_right = 255;
    EXPECT_EQ(sounding(mix_left(64)), 9) << "the end inside a ramp stops the voice (frame 0 is at gain 0)";
}

// Voices add up, each on the side it is panned to alone.
TEST_F(music_mixer, VoicesAddUpOnlyTheFirst64SlotsAreMixedAndEmptySlotsEnd) {
    RawSample a(std::vector<int16_t>(10, 1000)), b(std::vector<int16_t>(10, -300));
    settled_voice(0, &a.sample, ONE, 255, 0, 0);
    settled_voice(40, &b.sample, ONE, 0, 0, 255);
    settled_voice(41, &a.sample, ONE, 102, 0, 51);
    settled_voice(MIXED_VOICES, &a.sample, ONE);
    settled_voice(MIXED_VOICES - 1, &empty_sample, ONE);
    std::vector<float> out(2 * 4, 1.0f);
    mix_voices(out.data(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(out[2 * i] == 1.0f + 1000 + 400 && out[2 * i + 1] == 1.0f - 300 + 200) << i;
    EXPECT_TRUE(sound_output.voices[MIXED_VOICES].sample && sound_output.voices[MIXED_VOICES].position == 0u);
    EXPECT_EQ(sound_output.voices[MIXED_VOICES - 1].sample, nullptr) << "the empty sample ends at once";
    mix_voices(out.data(), 0);
    mix_voices(out.data(), -5);
    EXPECT_EQ(sound_output.voices[0].position, 4u);
    // To PCM: halves to even, clamped; nothing to do leaves it alone.
    const float in[] = {32767.5f, -32768.5f, 1.5f, 2.5f, -1.5f, -2.5f, 0.49f, -0.5f, 4e4f, -4e4f, 32766.5f, 123.25f};
    const int16_t expected[] = {32767, -32768, 2, 2, -2, -2, 0, 0, 32767, -32768, 32766, 123};
    int16_t pcm[12] = {};
    clip_to_pcm16(pcm, in, 6);
    clip_to_pcm16(pcm, in + 2, 0);
    clip_to_pcm16(pcm, nullptr, 1);
    EXPECT_TRUE(std::equal(pcm, pcm + 12, expected));
}
