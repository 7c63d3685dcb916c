// Playback control and the music start-up entry points: starting and
// stopping on the headless null device, the hand-over to and from the
// mixing thread, and the silent path when no device opens.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "music/music.h"
#include "platform/headless/headless.h"
#include "tests/unit/music/xm_builder.h"

namespace {

std::atomic<int> ticks{0};
void counting_tick(Song*) { ticks.fetch_add(1); }

void open_output()
{
    install_memory_source();
    ASSERT_TRUE(open_sound_output(OUTPUT_RATE));
}

Song stand_in_song(int bpm)
{
    Song song = {};
    song.tick_handler = counting_tick;
    song.default_bpm = static_cast<int16_t>(bpm);
    song.default_speed = 6;
    song.channel_count = 4;
    song.initial_global_volume = 64;
    return song;
}

// Keeps the null device playing from another thread, a block every 2 ms,
// so the mixing thread is busy while the main thread stops it.
struct DevicePlaying {
    std::atomic<bool> running{true};
    std::thread player;
    DevicePlaying()
        : player([this] {
              while (running) {
                  headless_audio_advance(444 * 4);
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          })
    {
    }
    ~DevicePlaying()
    {
        running = false;
        player.join();
    }
};

void wait_for_ticks(int count)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks.load() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::vector<uint8_t> small_module()
{
    TestModule module;
    module.instruments = {instrument_with(TestSample{})};
    return build_module(module);
}

}  // namespace

TEST(music_play_song, At130BpmTheRingHolds105Ticks)
{
    open_output();
    Song song = stand_in_song(130);
    ASSERT_TRUE(play_song(&song));
    EXPECT_EQ(song.bpm, 130);
    EXPECT_EQ(song.frames_per_tick, 424);
    EXPECT_EQ(ticks.load(), 105) << "ticks at frames 0, 424, ..., 44096";
    EXPECT_EQ(song.tick_frames_left, 120);
    EXPECT_EQ(sound_output.write_block, 0);
    EXPECT_EQ(headless_audio_loop(), sound_output.output_buffer);
    EXPECT_EQ(headless_audio_loop_bytes(), 177600u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(sound_output.mix_buffer) % 16, 0u);
    EXPECT_EQ(sound_output.playing_song, &song);
    EXPECT_NE(sound_output.thread, nullptr);
    EXPECT_TRUE(stop_song(&song));
}

TEST(music_play_song, ResetsThePlayStateAndTheTracks)
{
    open_output();
    Song song = stand_in_song(125);
    song.row = 17;
    song.order_index = 3;
    song.tick = 4;
    song.pattern_delay = 12;
    song.tick_frames_left = 99;
    song.next_row = 5;
    song.next_order = 6;
    song.global_volume = 3;
    song.speed = 31;
    for (TrackChannel& channel : channels) {
        channel.volume = 40;
        channel.voice = &sound_output.voices[200];
    }
    ASSERT_TRUE(play_song(&song));
    EXPECT_EQ(song.row, 0);
    EXPECT_EQ(song.order_index, 0);
    EXPECT_EQ(song.tick, 0);
    EXPECT_EQ(song.pattern_delay, 0);
    EXPECT_EQ(song.next_row, -1);
    EXPECT_EQ(song.next_order, -1);
    EXPECT_EQ(song.global_volume, 64);
    EXPECT_EQ(song.speed, 6);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(channels[i].voice, &sound_output.voices[i]);
        EXPECT_EQ(channels[i].volume, 0);
    }
    EXPECT_EQ(channels[4].volume, 40) << "tracks beyond the song's channels are left alone";
    stop_song(&song);
}

TEST(music_play_song, NullSongOrNoOutput)
{
    EXPECT_FALSE(play_song(nullptr));
    EXPECT_FALSE(stop_song(nullptr));
    EXPECT_FALSE(free_song(nullptr));
    Song song = stand_in_song(125);
    EXPECT_FALSE(play_song(&song)) << "the output was never opened";
    EXPECT_EQ(ticks.load(), 0);
}

TEST(music_stop_song, WithNothingPlaying)
{
    Song song = stand_in_song(125);
    EXPECT_TRUE(stop_song(&song));
    EXPECT_TRUE(sound_output.stop_requested);
    EXPECT_EQ(sound_output.thread, nullptr);
    EXPECT_EQ(sound_output.mix_buffer, nullptr);
    EXPECT_EQ(sound_output.playing_song, nullptr);
}

TEST(music_stop_song, HandOverFromABusyMixingThread)
{
    open_output();
    Song song = stand_in_song(255);
    {
        DevicePlaying device;
        ASSERT_TRUE(play_song(&song));
        wait_for_ticks(400);
        EXPECT_GE(ticks.load(), 400) << "the mixing thread refills the ring";
        ASSERT_TRUE(stop_song(&song));
        EXPECT_TRUE(sound_output.thread_finished);
        EXPECT_FALSE(sound_output.mixing);
        EXPECT_EQ(sound_output.thread, nullptr);
        EXPECT_EQ(sound_output.mix_buffer, nullptr);
        EXPECT_EQ(sound_output.playing_song, nullptr);
        int after_stop = ticks.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(ticks.load(), after_stop) << "nothing mixes after the stop";
    }
    // The device still loops the ring; it now holds silence.
    for (int i = 0; i < 2 * sound_output.ring_frames; ++i)
        ASSERT_EQ(sound_output.output_buffer[i], 0) << i;
}

TEST(music_stop_song, PlayingAgainRestartsFromTheBeginning)
{
    open_output();
    Song song = stand_in_song(130);
    DevicePlaying device;
    ASSERT_TRUE(play_song(&song));
    wait_for_ticks(150);
    ASSERT_TRUE(play_song(&song));
    int restarted = ticks.load();
    EXPECT_EQ(song.row, 0);
    EXPECT_NE(sound_output.thread, nullptr);
    ASSERT_TRUE(stop_song(&song));
    EXPECT_GE(restarted, 150 + 105);
}

TEST(music_free_song, StopsThePlayingSongBeforeReleasingIt)
{
    open_output();
    std::vector<uint8_t> bytes = small_module();
    Song* song = load_bytes(bytes);
    ASSERT_NE(song, nullptr);
    song->tick_handler = counting_tick;
    DevicePlaying device;
    ASSERT_TRUE(play_song(song));
    wait_for_ticks(200);
    EXPECT_TRUE(free_song(song));
    EXPECT_EQ(sound_output.playing_song, nullptr);
    EXPECT_EQ(sound_output.thread, nullptr);
    EXPECT_TRUE(sound_output.thread_finished);
}

// A module whose one note keeps sounding: a looped 8-bit sample.
std::vector<uint8_t> sounding_module()
{
    TestSample sample;
    sample.length = 64;
    sample.loop_length = 64;
    sample.type = 0x01;
    for (int i = 0; i < 64; ++i) sample.data.push_back(static_cast<uint8_t>(i % 8 == 0 ? 40 : 0));
    TestModule module;
    module.instruments = {instrument_with(sample)};
    module.patterns[0].packed = plain_cell(49, 1);
    for (int i = 1; i < 64 * 2; ++i) module.patterns[0].packed.push_back(0x80);
    return build_module(module);
}

// Voices outlive a stopped song; those left on a released song's samples
// must not read them when the next song mixes (the ASan build sees it).
TEST(music_free_song, VoicesLetGoOfTheReleasedSongsSamples)
{
    std::vector<uint8_t> bytes = sounding_module();
    Song* song = load_bytes(bytes);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(start_offline_render(song, OUTPUT_RATE));
    const Sample* sample = song->instruments[0].samples[0];
    int holding = 0;
    for (const Voice& voice : sound_output.voices) holding += voice.sample == sample;
    ASSERT_EQ(holding, 1) << "the note sounds on one voice";
    EXPECT_TRUE(free_song(song));
    for (int v = 0; v < VOICE_SLOTS; ++v) ASSERT_EQ(sound_output.voices[v].sample, nullptr) << v;

    Song* next = load_bytes(bytes);
    ASSERT_NE(next, nullptr);
    ASSERT_TRUE(start_offline_render(next, OUTPUT_RATE));
    EXPECT_TRUE(free_song(next));
}

TEST(music_startup, OpensTheOutputLoadsAndStartsTheSong)
{
    start_sound_output();
    EXPECT_FALSE(music_disabled);
    EXPECT_TRUE(file_callbacks_installed());
    EXPECT_TRUE(headless_audio_is_open());
    EXPECT_EQ(sound_output.rate, 22050);

    std::vector<uint8_t> bytes = small_module();
    memory_file.position = 1234;  // wherever an earlier load left it
    Song* song = load_embedded_song(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(memory_file.base, bytes.data());
    EXPECT_EQ(memory_file.size, static_cast<int>(bytes.size()));
    start_song(song);
    EXPECT_EQ(sound_output.playing_song, song);
    EXPECT_EQ(headless_audio_loop_bytes(), 177600u);
    free_song(song);

    std::vector<uint8_t> garbage(500, 0x41);
    EXPECT_EQ(load_embedded_song(garbage.data(), 500), nullptr);
    EXPECT_EQ(load_embedded_song(nullptr, 0), nullptr);
    start_song(nullptr);
    EXPECT_EQ(sound_output.playing_song, nullptr);
}

TEST(music_startup, WithoutADeviceTheIntroRunsSilent)
{
    headless_set_failures(FAIL_AUDIO_DEVICE);
    start_sound_output();
    EXPECT_TRUE(music_disabled);
    EXPECT_FALSE(headless_audio_is_open());

    std::vector<uint8_t> bytes = small_module();
    EXPECT_EQ(load_embedded_song(bytes.data(), static_cast<int>(bytes.size())), nullptr);
    Song song = stand_in_song(125);
    start_song(&song);
    EXPECT_EQ(ticks.load(), 0);
    EXPECT_EQ(sound_output.playing_song, nullptr);

    // Once off, for good: a later start does nothing at all.
    headless_set_failures(FAIL_NONE);
    set_file_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    start_sound_output();
    EXPECT_TRUE(music_disabled);
    EXPECT_FALSE(file_callbacks_installed());
    EXPECT_FALSE(headless_audio_is_open());
}
