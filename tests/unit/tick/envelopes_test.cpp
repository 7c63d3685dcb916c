// Envelopes, fadeout, Lxx and auto-vibrato.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/tick/tiny_module.h"

namespace {

// Points (0, 64), (10, 32), (20, 0): the values of ticks 0..20.
const std::vector<int> ramp_values = {64, 60, 57, 54, 51, 48, 44, 41, 38, 35, 32,
                                      28, 25, 22, 19, 16, 12, 9,  6,  3,  0};

struct EnvelopeCase {
    const char* name;
    uint8_t type;
    int release_row;  // a key-off note on this row (tick 6 x row); -1 for none
    std::vector<int> expected;  // volume_env_value after ticks 0, 1, 2, ...
};

void PrintTo(const EnvelopeCase& c, std::ostream* out) { *out << c.name; }

std::vector<int> concat(std::vector<int> a, const std::vector<int>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<int> slice(const std::vector<int>& v, size_t from, size_t to)
{
    return std::vector<int>(v.begin() + (long)from, v.begin() + (long)to);
}

const std::vector<int> looped = concat(concat(slice(ramp_values, 0, 20), slice(ramp_values, 0, 20)),
                                       slice(ramp_values, 0, 20));

const EnvelopeCase envelope_cases[] = {
    {"three points", ENVELOPE_ON, -1, concat(ramp_values, {0, 0, 0, 0})},
    {"sustain at point 1 holds until the release at tick 18", ENVELOPE_ON | ENVELOPE_SUSTAIN, 3,
     concat(concat(slice(ramp_values, 0, 11), std::vector<int>(8, 32)), slice(ramp_values, 11, 21))},
    {"a loop from point 0 to 2 repeats every 20 ticks, released or not", ENVELOPE_ON | ENVELOPE_LOOP, 5,
     looped},
};

class tick_envelope : public ::testing::TestWithParam<EnvelopeCase> {};

Instrument& give_ramp_envelope(TinyModule& module, uint8_t type)
{
    Instrument& instrument = module.instrument(1);
    instrument.volume_envelope[0] = {0, 64};
    instrument.volume_envelope[1] = {10, 32};
    instrument.volume_envelope[2] = {20, 0};
    instrument.volume_points = 3;
    instrument.volume_type = type;
    instrument.volume_sustain = 1;
    instrument.volume_loop_start = 0;
    instrument.volume_loop_end = 2;
    return instrument;
}

TEST_P(tick_envelope, ValuesPerTick)
{
    const EnvelopeCase& c = GetParam();
    TinyModule module(1);
    give_ramp_envelope(module, c.type);
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    if (c.release_row >= 0) module.put(0, c.release_row, 0, {KEY_OFF, 0, 0, 0, 0});
    start_ticks(&module.song);
    std::vector<int> values;
    for (size_t tick = 0; tick < c.expected.size(); ++tick) {
        play_tick(&module.song);
        values.push_back(channels[0].volume_env_value);
    }
    EXPECT_EQ(values, c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(tick, tick_envelope, ::testing::ValuesIn(envelope_cases),
                         case_name<EnvelopeCase>);

TEST(tick_envelope_position, L05SetsTickFiveAndContinues)
{
    TinyModule module(1);
    give_ramp_envelope(module, ENVELOPE_ON);
    module.put(0, 0, 0, {C4, 1, 0, EFFECT_ENVELOPE_POSITION, 0x05});
    start_ticks(&module.song);
    std::vector<int> values;
    for (int tick = 0; tick < 4; ++tick) {
        play_tick(&module.song);
        values.push_back(channels[0].volume_env_value);
    }
    EXPECT_EQ(values, slice(ramp_values, 5, 9));
}

TEST(tick_envelope_position, L15IsBeyondTheLastPointAndFinishes)
{
    TinyModule module(1);
    give_ramp_envelope(module, ENVELOPE_ON);
    module.put(0, 0, 0, {C4, 1, 0, EFFECT_ENVELOPE_POSITION, 0x15});
    start_ticks(&module.song);
    play_tick(&module.song);
    EXPECT_EQ(channels[0].volume_env_value, 0);
    EXPECT_EQ(channels[0].volume_env_done, 1);
    run_ticks(&module.song, 5);
    EXPECT_EQ(channels[0].volume_env_value, 0);
}

TEST(tick_envelope, DamagedPointCountsStayInsideThePointTable)
{
    TinyModule module(1);
    Instrument& instrument = give_ramp_envelope(module, ENVELOPE_ON | ENVELOPE_LOOP);
    for (int i = 0; i < ENVELOPE_POINTS; ++i)
        instrument.volume_envelope[i] = {(uint16_t)(10 * i), (uint16_t)(64 - 3 * i)};
    instrument.volume_points = 200;         // the table holds 20, a file gives 12
    instrument.volume_loop_start = 150;     // not a point: the loop is off
    instrument.volume_loop_end = 2;
    instrument.volume_envelope[1].y = 9000;  // read as 64
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 10);
    EXPECT_EQ(channels[0].volume_env_value, 64);
    run_ticks(&module.song, 120);
    EXPECT_EQ(channels[0].volume_env_done, 1);  // at point 11, the twelfth
    EXPECT_EQ(channels[0].volume_env_point, 11);
    EXPECT_EQ(channels[0].volume_env_value, 64 - 3 * 11);
}

TEST(tick_envelope, SegmentRunningBackwardsHoldsItsStartValue)
{
    TinyModule module(1);
    Instrument& instrument = give_ramp_envelope(module, ENVELOPE_ON);
    instrument.volume_envelope[2] = {5, 0};  // before point 1: never reached
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 200);
    EXPECT_EQ(channels[0].volume_env_value, 32);
    EXPECT_EQ(channels[0].volume_env_fixed, 32 << 16);
}

TEST(tick_envelope_position, BeforeTheFirstPointStaysInRange)
{
    TinyModule module(1);
    Instrument& instrument = give_ramp_envelope(module, ENVELOPE_ON);
    instrument.volume_envelope[0] = {10, 64};  // the first point is expected at tick 0
    instrument.volume_envelope[1] = {20, 32};
    instrument.volume_envelope[2] = {30, 0};
    module.put(0, 0, 0, {C4, 1, 0, EFFECT_ENVELOPE_POSITION, 0x00});
    start_ticks(&module.song);
    play_tick(&module.song);
    EXPECT_EQ(channels[0].volume_env_value, 64);
}

TEST(tick_fadeout, ReleasedNoteFadesByTheInstrumentsFadeoutPerTick)
{
    TinyModule module(1);
    give_ramp_envelope(module, ENVELOPE_ON | ENVELOPE_SUSTAIN).fadeout = 256;
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    module.put(0, 1, 0, {KEY_OFF, 0, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 6);
    EXPECT_EQ(channels[0].fadeout_volume, 65536);
    play_tick(&module.song);
    EXPECT_EQ(channels[0].fadeout_volume, 65536 - 256);
    run_ticks(&module.song, 254);
    EXPECT_EQ(channels[0].fadeout_volume, 256);
    run_ticks(&module.song, 1);
    EXPECT_EQ(channels[0].fadeout_volume, 0);
    EXPECT_EQ(channels[0].voice->volume, 0);
    run_ticks(&module.song, 3);
    EXPECT_EQ(channels[0].fadeout_volume, 0);
}

TEST(tick_envelope_panning, SwingsACentredVoiceAcrossTheRange)
{
    TinyModule module(1);
    Instrument& instrument = module.instrument(1);
    instrument.panning_envelope[0] = {0, 0};
    instrument.panning_envelope[1] = {8, 64};
    instrument.panning_points = 2;
    instrument.panning_type = ENVELOPE_ON;
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    play_tick(&module.song);
    EXPECT_EQ(channels[0].voice->panning, 0);
    EXPECT_EQ(channels[0].voice->target_left, 0);
    EXPECT_EQ(channels[0].voice->target_right, 127);
    run_ticks(&module.song, 4);  // tick 4: value 32, centre
    EXPECT_EQ(channels[0].voice->panning, 128);
    run_ticks(&module.song, 4);  // tick 8: value 64
    EXPECT_EQ(channels[0].voice->panning, 255);
}

struct WaveCase {
    int type, position, value;
};

TEST(tick_autovibrato, WaveformValues)
{
    const WaveCase cases[] = {
        {0, 0, 0},    {0, 1, 1},     {0, 64, 63},   {0, 127, 1},  {0, 128, 0},   {0, 192, -63},
        {1, 0, 64},   {1, 127, 64},  {1, 128, -64}, {1, 255, -64},
        {2, 0, 0},    {2, 127, -64}, {2, 128, 64},  {2, 255, 0},
        {3, 0, 0},    {3, 127, 63},  {3, 128, 64},  {3, 129, -64}, {3, 255, -1},
        {4, 64, 63},  {255, 192, -63},  // undefined types play the sine
    };
    for (const WaveCase& c : cases)
        EXPECT_EQ(autovibrato_value(c.type, c.position), c.value)
            << "type " << c.type << " at " << c.position;
}

std::vector<int> autovibrato_offsets(int type, int depth, int sweep, int rate, int ticks)
{
    TinyModule module(1);
    Instrument& instrument = module.instrument(1);
    instrument.vibrato_type = (uint8_t)type;
    instrument.vibrato_depth = (uint8_t)depth;
    instrument.vibrato_sweep = (uint8_t)sweep;
    instrument.vibrato_rate = (uint8_t)rate;
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    std::vector<int> offsets;
    for (int tick = 0; tick < ticks; ++tick) {
        play_tick(&module.song);
        offsets.push_back(channels[0].pitch_offset);
    }
    return offsets;
}

TEST(tick_autovibrato, SineDepth8Rate4RepeatsEvery64Ticks)
{
    std::vector<int> offsets = autovibrato_offsets(0, 8, 0, 4, 128);
    EXPECT_EQ(*std::min_element(offsets.begin(), offsets.end()), -8);
    EXPECT_EQ(*std::max_element(offsets.begin(), offsets.end()), 7);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[16], 7);   // (8 x 63) >> 6
    EXPECT_EQ(offsets[48], -8);  // (8 x -63) >> 6 rounds down
    for (int tick = 0; tick < 64; ++tick) EXPECT_EQ(offsets[tick], offsets[tick + 64]) << tick;
    EXPECT_EQ(autovibrato_offsets(9, 8, 0, 4, 128), offsets);  // type 9 plays as 0
}

TEST(tick_autovibrato, SweepGrowsToFullDepth)
{
    EXPECT_EQ(autovibrato_offsets(1, 8, 4, 1, 7), (std::vector<int>{0, 2, 4, 6, 8, 8, 8}));
}

TEST(tick_autovibrato, SetsTheFrequencyOnEveryTick)
{
    TinyModule module(1);
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 2);
    channels[0].voice->increment_fraction = 0;  // forget what tick 0 set
    play_tick(&module.song);
    EXPECT_EQ(channels[0].voice->increment_fraction, 1628971042u);
}

}  // namespace
