// The software mixer on raw samples: the end of a sample, forward and
// ping-pong loops, gain ramps, and the conversion to PCM.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/unit/music/voice_support.h"

using namespace voice_support;

namespace {

class music_mixer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(open_offline_output(22050)); }
};

// The left values of `frames` frames mixed at once.
std::vector<float> mix_left(int frames)
{
    std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f), left;
    mix_voices(out.data(), frames);
    for (size_t i = 0; i < out.size(); i += 2) left.push_back(out[i]);
    return left;
}

int sounding(const std::vector<float>& left)
{
    return static_cast<int>(left.size() - std::count(left.begin(), left.end(), 0.0f));
}

}  // namespace

TEST_F(music_mixer, NonLoopingSampleEndsAfterCeilingOfDistanceOverIncrementFrames)
{
    const struct {
        double increment;
        size_t length;
        int frames;
    } cases[] = {{1.0, 100, 100}, {0.5, 3, 6}, {0.4, 1, 3}, {0.75, 3, 4}, {2.0, 5, 3}, {3.0, 9, 3}, {0.1, 1, 10}};
    for (const auto& c : cases) {
        RawSample raw(constant(c.length, 1000));
        Voice* voice = settled_voice(0, &raw.sample, static_cast<uint64_t>(c.increment * ONE));
        std::vector<float> left = mix_left(150);
        EXPECT_EQ(sounding(left), c.frames) << c.increment << " " << c.length;
        EXPECT_EQ(voice->sample, nullptr);
        EXPECT_EQ(position_of(voice), 0u);
        if (c.increment == 1.0) { EXPECT_EQ(std::count(left.begin(), left.end(), 1000.0f), 100); }
    }
    EXPECT_EQ(sounding(mix_left(10)), 0) << "an ended voice stays silent";
}

TEST_F(music_mixer, InterpolatesBetweenNeighbouringValues)
{
    RawSample raw({0, 1000, 3000});
    settled_voice(0, &raw.sample, ONE / 4);
    EXPECT_EQ(mix_left(12), (std::vector<float>{0, 250, 500, 750, 1000, 1500, 2000, 2500, 3000, 2250, 1500, 750}));
}

TEST_F(music_mixer, LoopsWrapAndReflectAtTheirEnds)
{
    RawSample forward(ramp_values(40), LOOP_FORWARD, 10, 20), bouncing(ramp_values(40), LOOP_PINGPONG, 10, 20);
    const struct {
        const Sample* sample;
        uint64_t increment, from, to;
        int direction_from, direction_to;
    } cases[] = {
        {&forward.sample, ONE + ONE / 2, 29 * ONE + 3 * ONE / 4, 11 * ONE + ONE / 4, 1, 1},  // by a whole loop length
        {&bouncing.sample, 3 * ONE / 4, 29 * ONE + ONE / 2, 29 * ONE + 3 * ONE / 4 - 1, 1, 2},  // 30.25: 29.75 - 2^-32
        {&bouncing.sample, 3 * ONE / 4, 10 * ONE + ONE / 4, 10 * ONE + ONE / 2 - 1, 2, 1},      // 9.5: 10.5 - 2^-32
        {&bouncing.sample, ONE, 39 * ONE, 29 * ONE - 1, 2, 2},  // backward from beyond the end of the loop
    };
    for (const auto& c : cases) {
        Voice* voice = settled_voice(0, c.sample, c.increment);
        set_position(voice, c.from);
        voice->direction = static_cast<uint8_t>(c.direction_from);
        mix_left(1);
        EXPECT_EQ(position_of(voice), c.to);
        EXPECT_EQ(voice->direction, c.direction_to);
        EXPECT_EQ(voice->sample, c.sample);
    }
}

TEST_F(music_mixer, PositionBeyondTheEndPlaysAsAtTheEnd)
{
    RawSample once(constant(100, 1000)), looped(ramp_values(40), LOOP_FORWARD, 10, 20);
    Voice* voice = settled_voice(0, &once.sample, ONE);
    set_position(voice, 150 * ONE);
    EXPECT_EQ(sounding(mix_left(8)), 0);
    EXPECT_EQ(voice->sample, nullptr);
    voice = settled_voice(0, &looped.sample, ONE);
    set_position(voice, 4000000000ull * ONE);
    EXPECT_EQ(mix_left(1)[0], 1000.0f) << "continues at the loop start";
    EXPECT_EQ(voice->position, 11u);
}

// Ping-pong reflections, one boundary at a time, as the loop defines them.
TEST_F(music_mixer, PingPongAgreesWithReflectingOneBoundaryAtATime)
{
    std::mt19937 random(1234);
    for (int trial = 0; trial < 300; ++trial) {
        const uint32_t loop_start = random() % 8, loop_length = 1 + random() % 6;
        RawSample raw(ramp_values(loop_start + loop_length + random() % 3), LOOP_PINGPONG, loop_start, loop_length);
        // Steps from a small fraction up to several loop lengths per frame.
        const int64_t step = 1 + static_cast<int64_t>((static_cast<uint64_t>(random()) << 4) % (20 * ONE));
        Voice* voice = settled_voice(0, &raw.sample, static_cast<uint64_t>(step));
        int64_t position =
            static_cast<int64_t>(loop_start * ONE + static_cast<uint64_t>(random()) % (loop_length * ONE));
        set_position(voice, static_cast<uint64_t>(position));
        const int frames = 1 + static_cast<int>(random() % 50);
        mix_left(frames);
        const int64_t start = static_cast<int64_t>(loop_start * ONE),
                      end = static_cast<int64_t>((loop_start + loop_length) * ONE);
        bool backward = false;
        for (int i = 0; i < frames; ++i) {
            position += backward ? -step : step;
            if (backward && position == start) backward = false;
            while (backward ? position < start : position >= end)
                position = backward ? 2 * start - position - 1 : 2 * end - position - 1, backward = !backward;
        }
        ASSERT_EQ(position_of(voice), static_cast<uint64_t>(position)) << "trial " << trial;
        ASSERT_EQ(voice->direction, backward ? 2 : 1) << "trial " << trial;
    }
}

TEST_F(music_mixer, RampFromSilenceTakes64FramesAndRisesLinearlyAcrossCalls)
{
    EXPECT_EQ(sound_output.ramp_frames, 64);
    RawSample raw(constant(1000, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = 255;  // a note starts: gains 0, targets set
    voice->target_right = 51;
    std::vector<float> out(2 * 100, 0.0f);
    for (int i = 0; i < 100; i += 16) mix_voices(out.data() + 2 * i, std::min(16, 100 - i));
    for (int i = 0; i < 100; ++i) {
        ASSERT_NEAR(out[2 * i], 1000.0f * std::min(i, 64) / 64.0f, 0.05f) << i;
        ASSERT_NEAR(out[2 * i + 1], 200.0f * std::min(i, 64) / 64.0f, 0.05f) << i;
    }
    EXPECT_EQ(voice->ramp_left, 0);
    EXPECT_EQ(voice->current_left, 255 * 256);
    EXPECT_EQ(voice->current_right, 51 * 256);
}

TEST_F(music_mixer, TargetChangeMidRampStartsANewRampFromTheGainReached)
{
    RawSample raw(constant(1000, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = voice->target_right = 255;
    mix_left(32);  // half way up
    EXPECT_EQ(voice->ramp_left, 32);
    EXPECT_EQ(voice->current_left, 32640);  // gain 0.5 as 8.8
    voice->target_left = voice->target_right = 0;
    std::vector<float> down = mix_left(80);
    for (int i = 0; i < 80; ++i)
        ASSERT_NEAR(down[i], i < 64 ? 500.0f - 1000.0f * 127.0f / 255.0f * i / 64.0f : 0.0f, 0.05f) << i;
    EXPECT_EQ(voice->current_left, 0);
    EXPECT_EQ(voice->ramp_left, 0);
    EXPECT_EQ(voice->sample, &raw.sample) << "a voice at gain 0 keeps its sample";

    RawSample short_sample(constant(10, 1000));
    voice = settled_voice(0, &short_sample.sample, ONE, 0);
    voice->target_left = voice->target_right = 255;
    EXPECT_EQ(sounding(mix_left(64)), 9) << "the end inside a ramp stops the voice (frame 0 is at gain 0)";
    EXPECT_EQ(voice->sample, nullptr);
}

TEST_F(music_mixer, SilentVoiceMovesExactlyLikeASoundingOne)
{
    for (uint8_t loop : {LOOP_FORWARD, LOOP_PINGPONG}) {
        RawSample raw(ramp_values(50), loop, 7, 31);
        Voice* silent = settled_voice(1, &raw.sample, ONE + ONE / 3, 0);
        Voice* sounding_voice = settled_voice(2, &raw.sample, ONE + ONE / 3, 1);
        for (int call = 0; call < 10; ++call) {
            mix_left(97);
            ASSERT_EQ(position_of(silent), position_of(sounding_voice)) << "call " << call;
            ASSERT_EQ(silent->direction, sounding_voice->direction) << "call " << call;
        }
    }
}

TEST_F(music_mixer, VoicesAddUpOnlyTheFirst64SlotsAreMixedAndEmptySlotsEnd)
{
    RawSample a(constant(10, 1000)), b(constant(10, -300));
    settled_voice(0, &a.sample, ONE);
    settled_voice(40, &b.sample, ONE, 51);
    settled_voice(MIXED_VOICES, &a.sample, ONE);
    settled_voice(MIXED_VOICES - 1, &empty_sample, ONE);
    std::vector<float> out(2 * 4, 1.0f);
    mix_voices(out.data(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[2 * i], 1.0f + 1000.0f - 60.0f);
    EXPECT_NE(sound_output.voices[MIXED_VOICES].sample, nullptr);
    EXPECT_EQ(sound_output.voices[MIXED_VOICES].position, 0u);
    EXPECT_EQ(sound_output.voices[MIXED_VOICES - 1].sample, nullptr) << "the empty sample ends at once";
    mix_voices(out.data(), 0);
    mix_voices(out.data(), -5);
    EXPECT_EQ(sound_output.voices[0].position, 4u);
}

TEST(music_clip_to_pcm16, RoundsHalvesToEvenClampsAndIgnoresNothingToDo)
{
    // Seven frames: eight values a step where the loop takes them eight at a
    // time, the rest one by one. Sums beyond the 32-bit range clamp too.
    const float in[] = {32767.5f, -32768.5f, 1.5f,  2.5f,   -1.5f,    -2.5f,  3e9f,
                        -3e9f,    0.49f,     -0.5f, 40000.0f, -40000.0f, 32766.5f, 123.25f};
    const int16_t expected[] = {32767, -32768, 2, 2, -2, -2, 32767, -32768, 0, 0, 32767, -32768, 32766, 123};
    int16_t out[14] = {};
    clip_to_pcm16(out, in, 7);
    EXPECT_TRUE(std::equal(out, out + 14, expected));
    clip_to_pcm16(out, in + 2, 0);
    clip_to_pcm16(out, in + 2, -1);
    clip_to_pcm16(nullptr, in, 1);
    clip_to_pcm16(out, nullptr, 1);
    EXPECT_TRUE(std::equal(out, out + 14, expected));
}
