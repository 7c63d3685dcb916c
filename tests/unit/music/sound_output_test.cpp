// The sound output: ring arithmetic, tempo, the block fill with its tick
// boundaries, and the mixing thread on the headless null audio device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/headless/headless.h"
#include "tests/unit/music/voice_support.h"
#include "tests/unit/music/xm_builder.h"

using namespace voice_support;

namespace {

// Stand-in tick handler: each tick restarts a one-value sample on voice 0,
// so every tick start shows as one frame of 1000 in the output, and sets
// its own length from `tick_lengths`, cycling.
std::atomic<int> ticks{0};
std::vector<int> tick_lengths = {100};
RawSample impulse({1000});

Song impulse_song(void)
{
    Song song = {};
    song.default_bpm = 125;
    song.tick_handler = [](Song* s) {
        const int n = ticks.fetch_add(1);
        settled_voice(0, &impulse.sample, ONE);
        s->frames_per_tick = tick_lengths[static_cast<size_t>(n) % tick_lengths.size()];
    };
    return song;
}

// Frames of block `block` that start a tick.
std::vector<int> tick_starts_in_block(int block)
{
    std::vector<int> starts;
    const int16_t* frames = sound_output.output_buffer + 2 * block * sound_output.block_frames;
    for (int i = 0; i < sound_output.block_frames; ++i)
        if (frames[2 * i] == 1000) starts.push_back(i);
    return starts;
}

// Waits until `count` ticks ran, then a little longer to see no more come.
bool ticks_settle_at(int count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks.load() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return ticks.load() == count;
}

}  // namespace

TEST(music_sound_output, RingArithmeticAndFreshVoices)
{
    install_memory_source();
    sound_output.voices[7].sample = &empty_sample;
    sound_output.voices[200].volume = 5;
    const int cases[][4] = {{22050, 444, 44400, 64}, {44100, 884, 88400, 128}, {8000, 160, 16000, 23}};
    for (const auto& c : cases) {
        ASSERT_TRUE(open_sound_output(c[0]));
        EXPECT_TRUE(headless_audio_is_open());
        const int got[] = {sound_output.rate, sound_output.block_frames, sound_output.ring_frames,
                           sound_output.ramp_frames};
        EXPECT_TRUE(std::equal(got, got + 4, c)) << c[0] << " Hz";
        EXPECT_FLOAT_EQ(sound_output.ramp_scale, 1.0f / static_cast<float>(c[3]));
    }
    for (int i = 0; i < VOICE_SLOTS; ++i) {
        const Voice& voice = sound_output.voices[i];
        ASSERT_TRUE(voice.index == i && voice.increment == 1u && voice.increment_fraction == 0u && !voice.sample &&
                    voice.volume == 0) << "voice " << i;
    }
}

TEST(music_sound_output, UnusableRatesAndADeviceThatDoesNotOpenAreRefused)
{
    install_memory_source();
    for (int rate : {0, -22050, MIN_OUTPUT_RATE - 1, MAX_OUTPUT_RATE + 1}) {
        EXPECT_FALSE(open_sound_output(rate)) << rate;
        EXPECT_FALSE(headless_audio_is_open()) << rate;
        EXPECT_FALSE(open_offline_output(rate)) << rate;
    }
    headless_set_failures(FAIL_AUDIO_DEVICE);
    EXPECT_FALSE(open_sound_output(22050));
    EXPECT_FALSE(sound_output.device_open);
}

TEST(music_sound_output, TempoToFramesPerTick)
{
    const int cases[][4] = {
        // rate, BPM, frames per tick, BPM stored
        {22050, 130, 424, 130}, {22050, 125, 441, 125}, {22050, 32, 1722, 32}, {22050, 255, 216, 255},
        {44100, 130, 848, 130}, {44100, 125, 882, 125}, {22050, 0, 55125, 1},  {22050, -7, 55125, 1},
        {8000, 32767, 1, 32767},  // a tick shorter than a frame lasts one frame
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(open_offline_output(c[0]));
        Song song = {};
        set_tempo(&song, c[1]);
        EXPECT_EQ(song.frames_per_tick, c[2]) << c[0] << " Hz, " << c[1] << " BPM";
        EXPECT_EQ(song.bpm, c[3]);
    }
    set_tempo(nullptr, 120);
}

TEST(music_sound_output, BlockWithSeveralTicksAndATickRunningIntoTheNext)
{
    ASSERT_TRUE(open_offline_output(22050));
    Song song = impulse_song();
    ASSERT_TRUE(prepare_playback(&song));
    EXPECT_EQ(ticks.load(), 444) << "44400 frames of ticks of 100";
    // The first block starts with a tick, before its first frame is mixed.
    EXPECT_EQ(tick_starts_in_block(0), (std::vector<int>{0, 100, 200, 300, 400}));
    EXPECT_EQ(tick_starts_in_block(1), (std::vector<int>{56, 156, 256, 356}));
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
}

TEST(music_sound_output, MixingThreadCatchesUpAndNeverWritesThePlayingBlock)
{
    install_memory_source();
    ASSERT_TRUE(open_sound_output(22050));
    tick_lengths = {444};  // one tick a block: ticks count the blocks filled
    Song song = impulse_song();
    ASSERT_TRUE(play_song(&song));
    EXPECT_EQ(ticks.load(), 100);
    // Held up for 10 blocks: one poll fills blocks 0..9, not the playing 10.
    headless_audio_advance(10 * 444 * 4 + 8);
    EXPECT_TRUE(ticks_settle_at(110));
    // Past the ring's length the position maps back into it: block 60.
    headless_audio_advance(150 * 444 * 4);
    EXPECT_TRUE(ticks_settle_at(160));
    ASSERT_TRUE(stop_song(&song));
    EXPECT_EQ(sound_output.write_block, 60);
    EXPECT_TRUE(sound_output.thread_finished);
    EXPECT_EQ(sound_output.thread, nullptr);
}

TEST(music_sound_output, OpeningAgainStopsWhatPlays)
{
    install_memory_source();
    ASSERT_TRUE(open_sound_output(22050));
    Song song = impulse_song();
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
