// Pitch and voice update: period tables, frequencies, gains, panning,
// triggers and partner slots.
#include "tests/unit/tick/tiny_module.h"

namespace {

Song song_with_table(bool linear, int global_volume = 64)
{
    Song song{};
    song.flags = linear ? SONG_LINEAR_FREQUENCIES : 0;
    song.global_volume = global_volume;
    return song;
}

TEST(tick_pitch, LinearAndAmigaPeriods)
{
    Song linear = song_with_table(true), amiga = song_with_table(false);
    const int linear_cases[][3] = {{48, 0, 4608}, {60, 0, 3840},    {0, 0, 7680},     {48, -3, 4609},
                                   {48, 3, 4607}, {48, -128, 4672}, {95, 127, 1537}};
    for (const auto& c : linear_cases) EXPECT_EQ(note_to_period(&linear, c[0], c[1]), c[2]) << c[0] << " " << c[1];
    const int amiga_cases[][3] = {{0, 0, 27392}, {12, 0, 13696}, {24, 0, 6848}, {36, 0, 3424},
                                  {48, 0, 1712},  {60, 0, 856},   {72, 0, 428},  {84, 0, 214},
                                  {95, 0, 113},   {48, -128, 1813}, {48, 127, 1616}};
    for (const auto& c : amiga_cases) {
        EXPECT_EQ(amiga_period(c[0], c[1]), c[2]) << c[0] << " " << c[1];
        EXPECT_EQ(note_to_period(&amiga, c[0], c[1]), c[2]);
    }
}

TEST(tick_pitch, Frequencies)
{
    sound_output.rate = OUTPUT_RATE;
    const struct {
        bool linear;
        int period, pitch_offset, hertz;
    } cases[] = {
        {true, 4608, 0, 8363},  {true, 3840, 0, 16726}, {true, 7680, 0, 522},
        {true, 4608, 64, 8860},                          // a positive offset raises under the linear table
        {false, 1712, 0, 8362}, {false, 1712, 64, 8061},  // and lowers under the Amiga table
        {true, 20000, 0, 100},  {false, -5, 0, 100},      // the 100 Hz floor
        {true, -100000, 0, 256 * OUTPUT_RATE - 1},        // what the mixer can still step
        {false, 1, 0, 256 * OUTPUT_RATE - 1},
    };
    for (const auto& c : cases) {
        Song song = song_with_table(c.linear);
        EXPECT_EQ(period_frequency(&song, c.period, c.pitch_offset), c.hertz) << c.linear << " " << c.period;
    }
}

// update_voice for a channel on a fresh voice 0 in the given state.
const Voice& update(int flags, int volume, int env, int fadeout, int global, int panning, int panning_env,
                    int period = 4608)
{
    open_offline_output(OUTPUT_RATE);  // voices as a fresh output leaves them
    Song song = song_with_table(true, global);
    TrackChannel channel{};
    channel.voice = &sound_output.voices[0];
    channel.update_flags = (uint8_t)flags;
    channel.volume = volume;
    channel.volume_env_value = env;
    channel.fadeout_volume = fadeout;
    channel.panning = panning;
    channel.panning_env_value = panning_env;
    channel.period = period;
    update_voice(&channel, &empty_sample, &song);
    return sound_output.voices[0];
}

TEST(tick_voice, IncrementOfMiddleCAndAZeroPeriodLeavesIt)
{
    EXPECT_EQ(update(UPDATE_FREQUENCY, 64, 64, 65536, 64, 128, 32).increment_fraction, 1628971042u);
    EXPECT_EQ(sound_output.voices[0].increment, 0u);
    EXPECT_EQ(update(UPDATE_FREQUENCY, 64, 64, 65536, 64, 128, 32, 0).increment, 1u);  // as the output left it
    EXPECT_EQ(sound_output.voices[0].increment_fraction, 0u);
}

TEST(tick_voice, GainsAndPanning)
{
    const int gains[][5] = {
        // volume, envelope, fadeout, global volume, gain
        {64, 64, 65536, 64, 127}, {64, 64, 65536, 32, 63}, {32, 64, 65536, 64, 63}, {64, 32, 65536, 64, 63},
        {64, 64, 32768, 64, 63},  {80, 64, 65536, 64, 159}, {0, 64, 65536, 64, 0},   {64, 64, 0, 64, 0},
    };
    for (const auto& c : gains)
        EXPECT_EQ(update(UPDATE_VOLUME | UPDATE_PANNING, c[0], c[1], c[2], c[3], 128, 32).volume, c[4])
            << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
    const int pannings[][5] = {
        // panning, envelope value, voice panning, left and right target at gain 127:
        // 0 is full left, 255 full right
        {128, 32, 128, 63, 63}, {128, 0, 0, 127, 0},    {128, 64, 255, 0, 127}, {255, 0, 255, 0, 127},
        {255, 64, 255, 0, 127}, {64, 0, 0, 127, 0},     {-32, 32, 0, 127, 0},   {300, 32, 255, 0, 127},
        {200, 32, 200, 27, 99},
    };
    for (const auto& c : pannings) {
        const Voice& voice = update(UPDATE_VOLUME | UPDATE_PANNING, 64, 64, 65536, 64, c[0], c[1]);
        EXPECT_EQ(voice.panning, c[2]) << c[0] << " with " << c[1];
        EXPECT_EQ(voice.target_left, c[3]) << c[0] << " with " << c[1];
        EXPECT_EQ(voice.target_right, c[4]) << c[0] << " with " << c[1];
    }
}

TEST(tick_voice, TriggerStartsFromTheOffsetOrFromZeroAndPairsSoundingSlots)
{
    TinyModule module(1);
    Sample* sample = module.add_sample(1000, LOOP_NONE);
    module.start();
    const uint32_t offsets[][2] = {{512, 512}, {999, 999}, {1000, 0}, {70000, 0}};
    for (const auto& o : offsets) {
        TrackChannel channel{};
        channel.voice = &sound_output.voices[5];
        channel.voice->sample = nullptr;  // silent: the slot is kept
        channel.voice->start_offset = (int32_t)o[0];
        channel.update_flags = UPDATE_TRIGGER;
        channel.period = 4608;
        update_voice(&channel, sample, &module.song);
        EXPECT_EQ(voice_slot(channel), 5);
        EXPECT_EQ(channel.voice->position, o[1]) << o[0];
        EXPECT_EQ(channel.voice->start_offset, 0);
        EXPECT_EQ(channel.voice->direction, 1);
    }
    for (int slot : {0, 3, 31, 32, 35, 63}) {
        TrackChannel channel{};
        channel.voice = &sound_output.voices[slot];
        channel.voice->sample = &module.sample(1);
        channel.update_flags = UPDATE_TRIGGER;
        update_voice(&channel, &module.sample(2), &module.song);
        const int partner = slot < 32 ? slot + 32 : slot - 32;
        EXPECT_EQ(voice_slot(channel), partner);
        EXPECT_EQ(channel.voice->index, partner);
        EXPECT_EQ(channel.voice->sample, &module.sample(2));
        EXPECT_EQ(sound_output.voices[slot].sample, &module.sample(1));
    }
}

}  // namespace
