// The software mixer on raw samples: the end of a sample, forward and
// ping-pong loops, gain ramps, and the conversion to PCM.
#include <gtest/gtest.h>

#include <vector>

#include "music/music.h"

namespace {

const uint64_t ONE = 1ull << 32;  // 1.0 in 32.32

// A sample over `values` (0, 100, 200, ... when only a length is given),
// with the spare values after their end.
struct RawSample {
    std::vector<int16_t> values;
    Sample sample = {};
    RawSample(std::vector<int16_t> data, uint8_t loop_type = LOOP_NONE, uint32_t loop_start = 0, uint32_t loop_length = 0)
        : values(std::move(data)) {
        values.resize(values.size() + SAMPLE_PADDING, 0);
        const uint32_t length = uint32_t(values.size() - SAMPLE_PADDING);
        sample = {values.data(), length, loop_start, loop_type == LOOP_NONE ? length : loop_length, 64, 0, 128, 16,
                  loop_type, 0};
    }
    RawSample(size_t length, uint8_t loop_type, uint32_t loop_start, uint32_t loop_length)
        : RawSample(std::vector<int16_t>(length), loop_type, loop_start, loop_length) {
        for (size_t i = 0; i < length; ++i) values[i] = int16_t(100 * i);
    }
};

uint64_t position_of(const Voice* voice) { return uint64_t(voice->position) << 32 | voice->position_fraction; }

// A voice on `sample` at `position`, at constant gains `target` (no ramp pending).
Voice* settled_voice(int slot, const Sample* sample, uint64_t increment, int target = 255, uint64_t position = 0) {
    Voice* voice = &sound_output.voices[slot];
    *voice = {slot, 0, 0, 0, sample, target, target, uint32_t(position >> 32), uint32_t(position), uint32_t(increment),
              uint32_t(increment >> 32), 1, target, target, 256 * target, 256 * target, 0, 0, 0};
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

}  // namespace

TEST_F(music_mixer, NonLoopingSampleEndsAfterCeilingOfDistanceOverIncrementFrames) {
    const double cases[][3] = {{1.0, 100, 100}, {0.5, 3, 6}, {0.4, 1, 3}, {0.75, 3, 4}, {2.0, 5, 3}, {3.0, 9, 3}, {0.1, 1, 10}};
    for (const auto& c : cases) {  // increment, length, frames heard
        RawSample raw(std::vector<int16_t>(size_t(c[1]), 1000));
        Voice* voice = settled_voice(0, &raw.sample, uint64_t(c[0] * ONE));
        EXPECT_EQ(sounding(mix_left(150)), int(c[2])) << c[0] << " " << c[1];
        EXPECT_TRUE(voice->sample == nullptr && position_of(voice) == 0u);
        EXPECT_EQ(sounding(mix_left(10)), 0) << "an ended voice stays silent";
    }
    RawSample interpolated({0, 1000, 3000});
    settled_voice(0, &interpolated.sample, ONE / 4);
    EXPECT_EQ(mix_left(12), (std::vector<float>{0, 250, 500, 750, 1000, 1500, 2000, 2500, 3000, 2250, 1500, 750}));
}

TEST_F(music_mixer, LoopsWrapAndReflectAtTheirEnds) {
    RawSample forward(40, LOOP_FORWARD, 10, 20), bouncing(40, LOOP_PINGPONG, 10, 20), once(100, LOOP_NONE, 0, 0);
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
    };
    for (const auto& c : cases) {
        Voice* voice = settled_voice(0, c.sample, c.increment, 255, c.from);
        voice->direction = c.direction_from;
        mix_left(1);
        EXPECT_EQ(position_of(voice), c.to) << c.from;
        EXPECT_EQ(voice->direction, c.direction_to) << c.from;
        EXPECT_EQ(voice->sample, c.sample == &once.sample ? nullptr : c.sample) << c.from;
    }
    // A silent voice (a faded-out note still looping) moves exactly as a sounding one.
    for (const Sample* sample : {&forward.sample, &bouncing.sample}) {
        Voice *silent = settled_voice(1, sample, ONE + ONE / 3, 0), *heard = settled_voice(2, sample, ONE + ONE / 3, 1);
        for (int call = 0; call < 10; ++call) {
            mix_left(97);
            ASSERT_TRUE(position_of(silent) == position_of(heard) && silent->direction == heard->direction) << call;
        }
    }
}

TEST_F(music_mixer, RampsRiseLinearlyAcrossCallsAndRestartFromTheGainReached) {
    EXPECT_EQ(sound_output.ramp_frames, 64);
    RawSample raw(std::vector<int16_t>(1000, 1000)), short_sample(std::vector<int16_t>(10, 1000));
    Voice* voice = settled_voice(0, &raw.sample, ONE, 0);
    voice->target_left = 255;  // a note starts: gains 0, targets set
    voice->target_right = 51;
    std::vector<float> out(2 * 100, 0.0f);
    for (int i = 0; i < 100; i += 16) mix_voices(out.data() + 2 * i, std::min(16, 100 - i));
    for (int i = 0; i < 200; ++i) ASSERT_NEAR(out[i], (i % 2 ? 200.0f : 1000.0f) * std::min(i / 2, 64) / 64, 0.05f) << i;
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

TEST_F(music_mixer, VoicesAddUpOnlyTheFirst64SlotsAreMixedAndEmptySlotsEnd) {
    RawSample a(std::vector<int16_t>(10, 1000)), b(std::vector<int16_t>(10, -300));
    settled_voice(0, &a.sample, ONE);
    settled_voice(40, &b.sample, ONE, 51);
    settled_voice(MIXED_VOICES, &a.sample, ONE);
    settled_voice(MIXED_VOICES - 1, &empty_sample, ONE);
    std::vector<float> out(2 * 4, 1.0f);
    mix_voices(out.data(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[2 * i], 1.0f + 1000.0f - 60.0f);
    EXPECT_TRUE(sound_output.voices[MIXED_VOICES].sample && sound_output.voices[MIXED_VOICES].position == 0u);
    EXPECT_EQ(sound_output.voices[MIXED_VOICES - 1].sample, nullptr) << "the empty sample ends at once";
    mix_voices(out.data(), 0);
    mix_voices(out.data(), -5);
    EXPECT_EQ(sound_output.voices[0].position, 4u);
    // To PCM: halves to even, clamped; nothing to do leaves it alone.
    const float in[] = {32767.5f, -32768.5f, 1.5f, 2.5f, -1.5f, -2.5f, 0.49f, -0.5f, 40000.0f, -40000.0f, 32766.5f, 123.25f};
    const int16_t expected[] = {32767, -32768, 2, 2, -2, -2, 0, 0, 32767, -32768, 32766, 123};
    int16_t pcm[12] = {};
    clip_to_pcm16(pcm, in, 6);
    clip_to_pcm16(pcm, in + 2, 0);
    clip_to_pcm16(pcm, in + 2, -1);
    clip_to_pcm16(nullptr, in, 1);
    clip_to_pcm16(pcm, nullptr, 1);
    EXPECT_TRUE(std::equal(pcm, pcm + 12, expected));
}
