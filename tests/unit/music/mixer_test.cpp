// The software mixer on raw samples: end of a sample, frame counts to the
// end, forward and ping-pong loops, gain ramps, and the conversion to PCM.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "music/music.h"
#include "tests/unit/music/voice_support.h"

using namespace voice_support;

namespace {

class music_mixer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(open_offline_output(22050)); }
};

// Frames whose left value is not 0.
int sounding_frames(const std::vector<float>& out)
{
    int count = 0;
    for (size_t i = 0; i < out.size(); i += 2) count += out[i] != 0.0f;
    return count;
}

}  // namespace

TEST_F(music_mixer, NonLoopingSampleEndsAfterExactlyItsLength)
{
    RawSample raw(constant(100, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE);
    std::vector<float> out(2 * 150, 0.0f);
    mix_voices(out.data(), 150);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(out[2 * i], 1000.0f) << i;
    for (int i = 100; i < 150; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
    EXPECT_EQ(voice->sample, nullptr);
    EXPECT_EQ(position_of(voice), 0u);
    std::vector<float> more(2 * 10, 0.0f);
    mix_voices(more.data(), 10);
    EXPECT_EQ(sounding_frames(more), 0);
}

TEST_F(music_mixer, FramesToTheEndAreTheCeilingOfDistanceOverIncrement)
{
    struct Case {
        double increment;
        size_t length;
        int frames;
    } cases[] = {
        {0.5, 3, 6}, {0.4, 1, 3}, {1.0, 7, 7}, {0.75, 3, 4}, {2.0, 5, 3}, {3.0, 9, 3}, {0.1, 1, 10},
    };
    for (const Case& c : cases) {
        RawSample raw(constant(c.length, 1000));
        Voice* voice = settled_voice(0, &raw.sample, static_cast<uint64_t>(c.increment * ONE));
        std::vector<float> out(2 * 40, 0.0f);
        mix_voices(out.data(), 40);
        EXPECT_EQ(sounding_frames(out), c.frames) << "increment " << c.increment << " length " << c.length;
        EXPECT_EQ(voice->sample, nullptr);
    }
}

TEST_F(music_mixer, InterpolatesBetweenNeighbouringValues)
{
    RawSample raw({0, 1000, 3000});
    settled_voice(0, &raw.sample, ONE / 4);
    std::vector<float> out(2 * 12, 0.0f);
    mix_voices(out.data(), 12);
    const float expected[] = {0, 250, 500, 750, 1000, 1500, 2000, 2500, 3000, 2250, 1500, 750};
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(out[2 * i], expected[i]) << i;
}

TEST_F(music_mixer, ForwardLoopWrapsByWholeLoopLengths)
{
    RawSample raw(ramp_values(40), LOOP_FORWARD, 10, 20);
    Voice* voice = settled_voice(0, &raw.sample, ONE + ONE / 2);
    set_position(voice, 29 * ONE + 3 * ONE / 4);  // 29.75, crossing 30 to 31.25
    std::vector<float> out(2, 0.0f);
    mix_voices(out.data(), 1);
    EXPECT_EQ(voice->position, 11u);
    EXPECT_EQ(voice->position_fraction, ONE / 4);
    EXPECT_EQ(voice->direction, 1);
    EXPECT_EQ(voice->sample, &raw.sample);
}

TEST_F(music_mixer, PingPongReflectsAtBothEnds)
{
    RawSample raw(ramp_values(40), LOOP_PINGPONG, 10, 20);
    Voice* voice = settled_voice(0, &raw.sample, 3 * ONE / 4);
    set_position(voice, 29 * ONE + ONE / 2);  // 29.5 + 0.75 = 30.25 -> 29.75 - 2^-32
    std::vector<float> out(2, 0.0f);
    mix_voices(out.data(), 1);
    EXPECT_EQ(position_of(voice), 29 * ONE + 3 * ONE / 4 - 1);
    EXPECT_EQ(voice->direction, 2);

    set_position(voice, 10 * ONE + ONE / 4);  // 10.25 - 0.75 = 9.5 -> 10.5 - 2^-32
    mix_voices(out.data(), 1);
    EXPECT_EQ(position_of(voice), 10 * ONE + ONE / 2 - 1);
    EXPECT_EQ(voice->direction, 1);
}

// Ping-pong reflections, one boundary at a time, as the loop defines them.
struct Reference {
    int64_t position;
    bool backward;
};

Reference reference_step(Reference r, int64_t step, int64_t start, int64_t end)
{
    r.position += r.backward ? -step : step;
    if (!r.backward && r.position >= end) {
        r.position = 2 * end - r.position - 1;
        r.backward = true;
    } else if (r.backward && r.position <= start) {
        r.position = r.position == start ? start : 2 * start - r.position - 1;
        r.backward = false;
    } else {
        return r;
    }
    while (r.backward ? r.position < start : r.position >= end) {
        r.position = r.backward ? 2 * start - r.position - 1 : 2 * end - r.position - 1;
        r.backward = !r.backward;
    }
    return r;
}

TEST_F(music_mixer, PingPongAgreesWithReflectingOneBoundaryAtATime)
{
    std::mt19937 random(1234);
    for (int trial = 0; trial < 300; ++trial) {
        uint32_t loop_start = random() % 8;
        uint32_t loop_length = 1 + random() % 6;
        uint32_t length = loop_start + loop_length + random() % 3;
        RawSample raw(ramp_values(length), LOOP_PINGPONG, loop_start, loop_length);
        // Steps from a small fraction up to several loop lengths per frame.
        uint64_t step = 1 + (static_cast<uint64_t>(random()) << 4) % (20 * ONE);
        Voice* voice = settled_voice(0, &raw.sample, step);
        uint64_t start_position = loop_start * ONE + static_cast<uint64_t>(random()) % (loop_length * ONE);
        set_position(voice, start_position);
        int frames = 1 + static_cast<int>(random() % 50);
        std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
        mix_voices(out.data(), frames);

        Reference r = {static_cast<int64_t>(start_position), false};
        int64_t s = static_cast<int64_t>(loop_start * ONE);
        int64_t e = static_cast<int64_t>((loop_start + loop_length) * ONE);
        for (int i = 0; i < frames; ++i) r = reference_step(r, static_cast<int64_t>(step), s, e);
        ASSERT_EQ(position_of(voice), static_cast<uint64_t>(r.position)) << "trial " << trial;
        ASSERT_EQ(voice->direction, r.backward ? 2 : 1) << "trial " << trial;
    }
}

TEST_F(music_mixer, PositionBeyondTheEndPlaysAsAtTheEnd)
{
    RawSample once(constant(100, 1000));
    Voice* voice = settled_voice(0, &once.sample, ONE);
    set_position(voice, 150 * ONE);
    std::vector<float> out(2 * 8, 0.0f);
    mix_voices(out.data(), 8);
    EXPECT_EQ(sounding_frames(out), 0);
    EXPECT_EQ(voice->sample, nullptr);

    RawSample looped(ramp_values(40), LOOP_FORWARD, 10, 20);
    voice = settled_voice(0, &looped.sample, ONE);
    set_position(voice, 4000000000ull * ONE);
    std::fill(out.begin(), out.end(), 0.0f);
    mix_voices(out.data(), 1);
    EXPECT_EQ(out[0], 1000.0f) << "continues at the loop start";
    EXPECT_EQ(voice->position, 11u);

    // Moving backward from beyond the end of a ping-pong loop.
    RawSample bouncing(ramp_values(40), LOOP_PINGPONG, 10, 20);
    voice = settled_voice(0, &bouncing.sample, ONE);
    set_position(voice, 39 * ONE);
    voice->direction = 2;
    mix_voices(out.data(), 1);
    EXPECT_EQ(voice->direction, 2);
    EXPECT_EQ(position_of(voice), 29 * ONE - 1);
}

TEST_F(music_mixer, RampFromSilenceTakes64FramesAndRisesLinearly)
{
    EXPECT_EQ(sound_output.ramp_frames, 64);
    RawSample raw(constant(1000, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = 255;  // a note starts: gains 0, targets set
    voice->target_right = 51;
    std::vector<float> out(2 * 100, 0.0f);
    mix_voices(out.data(), 100);
    for (int i = 0; i < 64; ++i) {
        ASSERT_NEAR(out[2 * i], 1000.0f * static_cast<float>(i) / 64.0f, 0.01f) << i;
        ASSERT_NEAR(out[2 * i + 1], 200.0f * static_cast<float>(i) / 64.0f, 0.01f) << i;
    }
    for (int i = 64; i < 100; ++i) {
        ASSERT_FLOAT_EQ(out[2 * i], 1000.0f) << i;
        ASSERT_FLOAT_EQ(out[2 * i + 1], 200.0f) << i;
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
    std::vector<float> out(2 * 32, 0.0f);
    mix_voices(out.data(), 32);  // half way up
    EXPECT_EQ(voice->ramp_left, 32);
    EXPECT_EQ(voice->current_left, 32640);  // gain 0.5 as 8.8

    voice->target_left = voice->target_right = 0;
    std::vector<float> down(2 * 80, 0.0f);
    mix_voices(down.data(), 80);
    for (int i = 0; i < 64; ++i)
        ASSERT_NEAR(down[2 * i], 500.0f - 1000.0f * 127.0f / 255.0f * static_cast<float>(i) / 64.0f, 0.05f)
            << i;
    for (int i = 64; i < 80; ++i) ASSERT_EQ(down[2 * i], 0.0f) << i;
    EXPECT_EQ(voice->current_left, 0);
    EXPECT_EQ(voice->ramp_left, 0);
    EXPECT_EQ(voice->sample, &raw.sample) << "a voice at gain 0 keeps its sample";
}

TEST_F(music_mixer, RampContinuesAcrossCallsWhileTargetsStay)
{
    RawSample raw(constant(1000, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = voice->target_right = 255;
    std::vector<float> out(2 * 64, 0.0f);
    for (int i = 0; i < 64; i += 16) mix_voices(out.data() + 2 * i, 16);
    for (int i = 0; i < 64; ++i) ASSERT_NEAR(out[2 * i], 1000.0f * static_cast<float>(i) / 64.0f, 0.05f);
    EXPECT_EQ(voice->ramp_left, 0);
}

TEST_F(music_mixer, SilentVoiceMovesExactlyLikeASoundingOne)
{
    for (uint8_t loop : {LOOP_FORWARD, LOOP_PINGPONG}) {
        RawSample raw(ramp_values(50), loop, 7, 31);
        Voice* silent = settled_voice(1, &raw.sample, ONE + ONE / 3, 0);
        Voice* sounding = settled_voice(2, &raw.sample, ONE + ONE / 3, 1);
        std::vector<float> out(2 * 1000, 0.0f);
        for (int call = 0; call < 10; ++call) {
            mix_voices(out.data(), 97);
            ASSERT_EQ(position_of(silent), position_of(sounding)) << "call " << call;
            ASSERT_EQ(silent->direction, sounding->direction) << "call " << call;
        }
    }
}

TEST_F(music_mixer, SampleEndInsideARampStopsTheVoice)
{
    RawSample raw(constant(10, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = voice->target_right = 255;
    std::vector<float> out(2 * 64, 0.0f);
    mix_voices(out.data(), 64);
    EXPECT_EQ(sounding_frames(out), 9);  // frame 0 is at gain 0
    EXPECT_EQ(voice->sample, nullptr);
}

TEST_F(music_mixer, OnlyTheFirst64SlotsAreMixedAndEmptySlotsAreSkipped)
{
    RawSample raw(constant(100, 1000));
    settled_voice(MIXED_VOICES, &raw.sample, ONE);
    settled_voice(MIXED_VOICES - 1, &empty_sample, ONE);
    std::vector<float> out(2 * 10, 0.0f);
    mix_voices(out.data(), 10);
    EXPECT_EQ(sounding_frames(out), 0);
    EXPECT_NE(sound_output.voices[MIXED_VOICES].sample, nullptr);
    EXPECT_EQ(sound_output.voices[MIXED_VOICES - 1].sample, nullptr) << "the empty sample ends at once";

    settled_voice(3, &raw.sample, ONE);
    mix_voices(out.data(), 0);
    mix_voices(out.data(), -5);
    EXPECT_EQ(sound_output.voices[3].position, 0u);
}

TEST_F(music_mixer, VoicesAddUp)
{
    RawSample a(constant(10, 1000)), b(constant(10, -300));
    settled_voice(0, &a.sample, ONE);
    settled_voice(40, &b.sample, ONE, 51);
    std::vector<float> out(2 * 4, 1.0f);
    mix_voices(out.data(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[2 * i], 1.0f + 1000.0f - 60.0f);
}

TEST(music_clip_to_pcm16, RoundsHalvesToEvenAndClamps)
{
    const float in[] = {32767.5f, -32768.5f, 1.5f, 2.5f, -1.5f, -2.5f, 0.49f, -0.5f,
                        40000.0f, -40000.0f, 32766.5f, 123.25f};
    const int16_t expected[] = {32767, -32768, 2, 2, -2, -2, 0, 0, 32767, -32768, 32766, 123};
    int16_t out[12] = {};
    clip_to_pcm16(out, in, 6);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], expected[i]) << in[i];
}

TEST(music_clip_to_pcm16, NothingForNoFramesOrNoBuffer)
{
    const float in[] = {5.0f, 6.0f};
    int16_t out[2] = {7, 7};
    clip_to_pcm16(out, in, 0);
    clip_to_pcm16(out, in, -1);
    clip_to_pcm16(nullptr, in, 1);
    clip_to_pcm16(out, nullptr, 1);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 7);
}
