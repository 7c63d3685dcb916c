// The sound output and playback: ring arithmetic, tempo, the block fill
// with its tick boundaries, the refill of played blocks, starting and
// stopping on the headless null device with its mixing thread, and the
// music start-up entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/headless/headless.h"
#include "tests/unit/music/xm_builder.h"

namespace {

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
        EXPECT_FLOAT_EQ(sound_output.ramp_scale, 1.0f / float(c[3]));
        ASSERT_TRUE(open_offline_output(c[0]));
        EXPECT_EQ(sound_output.rate, c[0]);
    }
    for (int i = 0; i < VOICE_SLOTS; ++i) {
        const Voice& v = sound_output.voices[i];
        ASSERT_TRUE(v.index == i && v.increment == 1u && v.increment_fraction == 0u && !v.sample && !v.volume) << i;
    }
    const auto* track_bytes = reinterpret_cast<const unsigned char*>(channels);
    EXPECT_EQ(std::count(track_bytes, track_bytes + sizeof channels, 0x5A), long(sizeof channels));
    const int tempos[][4] = {  // rate, BPM, frames per tick, BPM stored
        {22050, 130, 424, 130}, {22050, 125, 441, 125}, {22050, 32, 1722, 32}, {22050, 255, 216, 255},
        {44100, 130, 848, 130}, {22050, 1, 55125, 1}, {22050, 0, 55125, 1}, {22050, -7, 55125, 1},
        {8000, 32767, 1, 32767},  // a tick shorter than a frame lasts one frame
    };
    for (const auto& c : tempos) {
        ASSERT_TRUE(open_offline_output(c[0]));
        Song song = {};
        set_tempo(&song, c[1]);
        EXPECT_EQ(std::vector<int>({song.frames_per_tick, song.bpm}), std::vector<int>({c[2], c[3]})) << c[1];
    }
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
    // Alternating lengths, each set by its own tick.
    tick_lengths = {300, 50};
    ticks = song.tick_frames_left = 0;
    // The device plays block 5: blocks 0..4 are refilled, not the playing one.
    EXPECT_EQ(fill_played_blocks(5 * 444 + 443), 5);
    EXPECT_EQ(fill_played_blocks(5 * 444 + 443), 0);
    EXPECT_EQ(tick_starts_in_block(0), (std::vector<int>{0, 300, 350}));
    EXPECT_EQ(tick_starts_in_block(1), (std::vector<int>{206, 256}));
    // Past the ring's length the position maps back into it: block 2.
    EXPECT_EQ(fill_played_blocks(uint64_t(44400) * 3 + 2 * 444), 97);
    EXPECT_EQ(sound_output.write_block, 2);
    EXPECT_TRUE(stop_song(&song));
    EXPECT_EQ(fill_played_blocks(444 * 50), 0) << "nothing plays";
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
    // Opening the output again stops what plays.
    ASSERT_TRUE(open_sound_output(44100));
    EXPECT_TRUE(!sound_output.playing_song && !sound_output.thread && !sound_output.output_buffer);
    close_sound_output();
    EXPECT_FALSE(headless_audio_is_open());
    EXPECT_FALSE(play_song(&song) || play_song(nullptr) || stop_song(nullptr) || free_song(nullptr));
}

// The mixing thread refills what the device plays; stopping hands the
// ring back from a busy thread, and the device then loops silence.
TEST(music_playback, TheMixingThreadRefillsUntilStopped) {
    install_memory_source();
    ASSERT_TRUE(open_sound_output(OUTPUT_RATE));
    Song song = impulse_song();
    ASSERT_TRUE(play_song(&song));
    for (int waited = 0; ticks.load() < 444 + 200 && waited < 20000; ++waited)
        headless_audio_advance(444 * 4), std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(ticks.load(), 444 + 200) << "the mixing thread refills the ring";
    EXPECT_TRUE(stop_song(&song));
    EXPECT_TRUE(sound_output.thread_finished && !sound_output.mixing && !sound_output.thread && !sound_output.mix_buffer);
    const int after_stop = ticks.load();
    headless_audio_advance(444 * 40);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ticks.load(), after_stop) << "nothing mixes after the stop";
    for (int i = 0; i < 2 * sound_output.ring_frames; ++i) ASSERT_EQ(sound_output.output_buffer[i], 0) << i;
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
    EXPECT_TRUE(free_song(song));
    EXPECT_TRUE(!sound_output.playing_song && !sound_output.mix_buffer);
    for (int v = 0; v < VOICE_SLOTS; ++v) ASSERT_EQ(sound_output.voices[v].sample, nullptr) << v;
    Song* next = load_bytes(bytes);
    ASSERT_TRUE(next && start_offline_render(next, OUTPUT_RATE));
    EXPECT_TRUE(free_song(next));
}
