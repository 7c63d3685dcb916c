// The sound output: ring arithmetic, tempo, the block fill with its tick
// boundaries, and the mixing thread on the headless null audio device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "music/music.h"
#include "platform/headless/headless.h"
#include "tests/unit/music/voice_support.h"

using namespace voice_support;

namespace {

void install_memory_source()
{
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
}

// Stand-in tick handler: each tick restarts a one-value sample on voice 0,
// so every tick start shows as one frame of 1000 in the output, and sets
// its own length from `tick_lengths`, cycling.
std::atomic<int> ticks{0};
std::vector<int> tick_lengths = {100};
RawSample impulse({1000});

void impulse_tick(Song* song)
{
    int n = ticks.fetch_add(1);
    settled_voice(0, &impulse.sample, ONE);
    song->frames_per_tick = tick_lengths[static_cast<size_t>(n) % tick_lengths.size()];
}

// Frame numbers (within block `block`) holding a tick start.
std::vector<int> tick_starts_in_block(int block)
{
    std::vector<int> starts;
    const int16_t* frames = sound_output.output_buffer + 2 * block * sound_output.block_frames;
    for (int i = 0; i < sound_output.block_frames; ++i)
        if (frames[2 * i] == 1000) starts.push_back(i);
    return starts;
}

bool wait_for_ticks(int count)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks.load() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace

TEST(music_sound_output, RingArithmeticAt22050And44100)
{
    install_memory_source();
    struct Case {
        int rate, block_frames, ring_frames, ramp_frames;
    } cases[] = {{22050, 444, 44400, 64}, {44100, 884, 88400, 128}, {8000, 160, 16000, 23}};
    for (const Case& c : cases) {
        ASSERT_TRUE(open_sound_output(c.rate));
        EXPECT_TRUE(headless_audio_is_open());
        EXPECT_EQ(sound_output.rate, c.rate);
        EXPECT_EQ(sound_output.block_frames, c.block_frames);
        EXPECT_EQ(sound_output.ring_frames, c.ring_frames);
        EXPECT_EQ(sound_output.ring_frames / sound_output.block_frames, 100);
        EXPECT_EQ(sound_output.ramp_frames, c.ramp_frames);
        EXPECT_FLOAT_EQ(sound_output.ramp_scale, 1.0f / static_cast<float>(c.ramp_frames));
    }
}

TEST(music_sound_output, OpenClearsTheVoices)
{
    install_memory_source();
    sound_output.voices[7].sample = &empty_sample;
    sound_output.voices[7].index = 99;
    sound_output.voices[200].volume = 5;
    ASSERT_TRUE(open_sound_output(22050));
    for (int i = 0; i < VOICE_SLOTS; ++i) {
        const Voice& voice = sound_output.voices[i];
        ASSERT_EQ(voice.index, i);
        ASSERT_EQ(voice.increment, 1u);
        ASSERT_EQ(voice.increment_fraction, 0u);
        ASSERT_EQ(voice.sample, nullptr);
        ASSERT_EQ(voice.volume, 0);
    }
}

TEST(music_sound_output, UnusableRatesAreRefusedBeforeTheDevice)
{
    install_memory_source();
    for (int rate : {0, -22050, MIN_OUTPUT_RATE - 1, MAX_OUTPUT_RATE + 1}) {
        EXPECT_FALSE(open_sound_output(rate)) << rate;
        EXPECT_FALSE(headless_audio_is_open()) << rate;
        EXPECT_FALSE(open_offline_output(rate)) << rate;
    }
}

TEST(music_sound_output, DeviceThatDoesNotOpen)
{
    install_memory_source();
    headless_set_failures(FAIL_AUDIO_DEVICE);
    EXPECT_FALSE(open_sound_output(22050));
    EXPECT_FALSE(sound_output.device_open);
}

TEST(music_sound_output, TempoToFramesPerTick)
{
    struct Case {
        int rate, bpm, frames, stored_bpm;
    } cases[] = {
        {22050, 130, 424, 130}, {22050, 125, 441, 125}, {22050, 32, 1722, 32},  {22050, 255, 216, 255},
        {44100, 130, 848, 130}, {44100, 125, 882, 125}, {22050, 0, 55125, 1},   {22050, -7, 55125, 1},
        {8000, 32767, 1, 32767},  // a tick shorter than a frame lasts one frame
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(open_offline_output(c.rate));
        Song song = {};
        set_tempo(&song, c.bpm);
        EXPECT_EQ(song.frames_per_tick, c.frames) << c.rate << " Hz, " << c.bpm << " BPM";
        EXPECT_EQ(song.bpm, c.stored_bpm);
    }
    set_tempo(nullptr, 120);
}

TEST(music_sound_output, BlockWithSeveralTicksAndATickRunningIntoTheNext)
{
    ASSERT_TRUE(open_offline_output(22050));
    tick_lengths = {100};
    Song song = {};
    song.tick_handler = impulse_tick;
    ASSERT_TRUE(prepare_playback(&song));
    EXPECT_EQ(ticks.load(), 444) << "44400 frames of ticks of 100";
    // The first block starts with a tick, before its first frame is mixed.
    EXPECT_EQ(tick_starts_in_block(0), (std::vector<int>{0, 100, 200, 300, 400}));
    EXPECT_EQ(tick_starts_in_block(1), (std::vector<int>{56, 156, 256, 356}));
    EXPECT_EQ(tick_starts_in_block(2), (std::vector<int>{12, 112, 212, 312, 412}));

    // Alternating lengths, each set by its own tick.
    ticks = 0;
    tick_lengths = {300, 50};
    song.tick_frames_left = 0;
    sound_output.write_block = 5;
    fill_block();
    EXPECT_EQ(sound_output.write_block, 6);
    EXPECT_EQ(tick_starts_in_block(5), (std::vector<int>{0, 300, 350}));
    EXPECT_EQ(song.tick_frames_left, 300 - (444 - 350));
    fill_block();
    EXPECT_EQ(tick_starts_in_block(6), (std::vector<int>{206, 256}));
    EXPECT_EQ(ticks.load(), 5);
    stop_song(&song);
}

TEST(music_sound_output, MixingThreadCatchesUpAndNeverWritesThePlayingBlock)
{
    install_memory_source();
    ASSERT_TRUE(open_sound_output(22050));
    tick_lengths = {444};  // one tick per block: ticks count the blocks filled
    Song song = {};
    song.tick_handler = impulse_tick;
    song.default_bpm = 125;
    ASSERT_TRUE(play_song(&song));
    EXPECT_EQ(ticks.load(), 100);
    const uint64_t block_bytes = 444 * 4;

    // Held up for 10 blocks: one poll fills blocks 0..9, not the playing 10.
    headless_audio_advance(10 * block_bytes + 8);
    ASSERT_TRUE(wait_for_ticks(110));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ticks.load(), 110);

    // Past the ring's length the position maps back into it: block 60.
    headless_audio_advance(150 * block_bytes);
    ASSERT_TRUE(wait_for_ticks(160));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ticks.load(), 160);

    ASSERT_TRUE(stop_song(&song));
    EXPECT_EQ(sound_output.write_block, 60);
    EXPECT_TRUE(sound_output.thread_finished);
    EXPECT_EQ(sound_output.thread, nullptr);
}

TEST(music_sound_output, OpeningAgainStopsWhatPlays)
{
    install_memory_source();
    ASSERT_TRUE(open_sound_output(22050));
    Song song = {};
    song.tick_handler = impulse_tick;
    song.default_bpm = 125;
    ASSERT_TRUE(play_song(&song));
    ASSERT_NE(sound_output.thread, nullptr);
    ASSERT_TRUE(open_sound_output(44100));
    EXPECT_EQ(sound_output.playing_song, nullptr);
    EXPECT_EQ(sound_output.thread, nullptr);
    EXPECT_EQ(sound_output.output_buffer, nullptr);
    EXPECT_TRUE(headless_audio_is_open());
    EXPECT_EQ(sound_output.ring_frames, 88400);
    close_sound_output();
    EXPECT_FALSE(headless_audio_is_open());
}
