// Envelopes, fadeout, Lxx and auto-vibrato.
#include <algorithm>

#include "tests/unit/tick/tiny_module.h"

namespace {

int volume_env() { return channels[0].volume_env_value; }

// Points (0, 64), (10, 32), (20, 0): the values of ticks 0..20.
const std::vector<int> ramp = {64, 60, 57, 54, 51, 48, 44, 41, 38, 35, 32, 28, 25, 22, 19, 16, 12, 9, 6, 3, 0};

// `head`, then ramp[from..to), then `tail`.
std::vector<int> with_ramp(std::vector<int> head, size_t from, size_t to, const std::vector<int>& tail = {})
{
    head.insert(head.end(), ramp.begin() + (long)from, ramp.begin() + (long)to);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Instrument 1 with the ramp as its volume envelope (sustain at point 1,
// loop from point 0 to 2 where `type` asks for them) and `row0` on row 0.
Instrument& ramp_module(TinyModule& module, uint8_t type, PatternNote row0 = {C4, 1, 0, 0, 0})
{
    Instrument& instrument = module.instrument(1);
    instrument.volume_envelope[0] = {0, 64};
    instrument.volume_envelope[1] = {10, 32};
    instrument.volume_envelope[2] = {20, 0};
    instrument.volume_points = 3;
    instrument.volume_type = type;
    instrument.volume_sustain = 1;
    instrument.volume_loop_end = 2;
    module.put(0, 0, 0, row0);
    module.start();
    return instrument;
}

TEST(tick_envelope, ValuesPerTickWithSustainLoopAndLxx)
{
    const struct {
        const char* name;
        uint8_t type, position;  // position: Lxx on row 0, 0 for none
        int release_row;         // a key-off note on this row (tick 6 x row); -1 for none
        std::vector<int> expected;
    } cases[] = {
        {"three points", ENVELOPE_ON, 0, -1, with_ramp({}, 0, 21, {0, 0, 0, 0})},
        {"sustain at point 1 holds until the release at tick 18", ENVELOPE_ON | ENVELOPE_SUSTAIN, 0, 3,
         with_ramp(with_ramp({}, 0, 11, std::vector<int>(8, 32)), 11, 21)},
        {"a loop from point 0 to 2 repeats every 20 ticks, released or not", ENVELOPE_ON | ENVELOPE_LOOP, 0, 5,
         with_ramp(with_ramp(with_ramp({}, 0, 20), 0, 20), 0, 20)},
        {"L05 sets tick 5 and continues", ENVELOPE_ON, 0x05, -1, with_ramp({}, 5, 9)},
        {"L15 is beyond the last point and finishes", ENVELOPE_ON, 0x15, -1, {0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        TinyModule module(1);
        if (c.release_row >= 0) module.put(0, c.release_row, 0, {KEY_OFF, 0, 0, 0, 0});
        ramp_module(module, c.type, {C4, 1, 0, (uint8_t)(c.position ? EFFECT_ENVELOPE_POSITION : 0), c.position});
        EXPECT_EQ(tick_values(&module.song, (int)c.expected.size(), volume_env), c.expected) << c.name;
    }
}

TEST(tick_envelope, TwoPointsAtOneTickMakeTheValueJump)
{
    const struct {
        std::vector<EnvelopePoint> points;
        std::vector<int> expected;
    } cases[] = {
        {{{0, 64}, {4, 64}, {4, 16}, {8, 0}}, {64, 64, 64, 64, 16, 12, 8, 4, 0, 0}},
        {{{0, 64}, {4, 32}, {4, 8}}, {64, 56, 48, 40, 8, 8}},  // a step into the last point
    };
    for (const auto& c : cases) {
        TinyModule module(1);
        Instrument& instrument = module.instrument(1);
        std::copy(c.points.begin(), c.points.end(), instrument.volume_envelope);
        instrument.volume_points = (uint8_t)c.points.size();
        instrument.volume_type = ENVELOPE_ON;
        module.start({{C4, 1, 0, 0, 0}});
        EXPECT_EQ(tick_values(&module.song, (int)c.expected.size(), volume_env), c.expected) << c.points.size();
    }
}

TEST(tick_envelope, DamagedEnvelopesStayInsideThePointTable)
{
    {
        TinyModule module(1);
        Instrument& instrument = ramp_module(module, ENVELOPE_ON | ENVELOPE_LOOP);
        for (int i = 0; i < ENVELOPE_POINTS; ++i)
            instrument.volume_envelope[i] = {(uint16_t)(10 * i), (uint16_t)(64 - 3 * i)};
        instrument.volume_points = 200;          // the table holds 20, a file gives 12
        instrument.volume_loop_start = 150;      // not a point: the loop is off
        instrument.volume_envelope[1].y = 9000;  // read as 64
        run_ticks(&module.song, 10);
        EXPECT_EQ(channels[0].volume_env_value, 64);
        run_ticks(&module.song, 120);
        EXPECT_EQ(channels[0].volume_env_done, 1);  // at point 11, the twelfth
        EXPECT_EQ(channels[0].volume_env_point, 11);
        EXPECT_EQ(channels[0].volume_env_value, 64 - 3 * 11);
    }
    {
        // A segment running backwards holds its start value.
        TinyModule module(1);
        ramp_module(module, ENVELOPE_ON).volume_envelope[2] = {5, 0};
        run_ticks(&module.song, 200);
        EXPECT_EQ(channels[0].volume_env_value, 32);
        EXPECT_EQ(channels[0].volume_env_fixed, 32 << 16);
    }
    {
        // L00 before a first point that lies at tick 10.
        TinyModule module(1);
        Instrument& instrument = ramp_module(module, ENVELOPE_ON, {C4, 1, 0, EFFECT_ENVELOPE_POSITION, 0x00});
        for (int i = 0; i < 3; ++i) instrument.volume_envelope[i].x += 10;
        play_tick(&module.song);
        EXPECT_EQ(channels[0].volume_env_value, 64);
    }
}

TEST(tick_fadeout, ReleasedNoteFadesByTheInstrumentsFadeoutPerTick)
{
    TinyModule module(1);
    module.put(0, 1, 0, {KEY_OFF, 0, 0, 0, 0});
    ramp_module(module, ENVELOPE_ON | ENVELOPE_SUSTAIN).fadeout = 256;
    run_ticks(&module.song, 6);
    EXPECT_EQ(channels[0].fadeout_volume, 65536);
    EXPECT_EQ(tick_values(&module.song, 1, [] { return channels[0].fadeout_volume; })[0], 65536 - 256);
    run_ticks(&module.song, 254);
    EXPECT_EQ(channels[0].fadeout_volume, 256);
    EXPECT_EQ(tick_values(&module.song, 4, [] { return channels[0].fadeout_volume; }), std::vector<int>(4, 0));
    EXPECT_EQ(channels[0].voice->volume, 0);
}

TEST(tick_envelope, PanningEnvelopeSwingsACentredVoiceAcrossTheRange)
{
    TinyModule module(1);
    Instrument& instrument = module.instrument(1);
    instrument.panning_envelope[0] = {0, 0};
    instrument.panning_envelope[1] = {8, 64};
    instrument.panning_points = 2;
    instrument.panning_type = ENVELOPE_ON;
    module.start({{C4, 1, 0, 0, 0}});
    play_tick(&module.song);
    EXPECT_EQ(channels[0].voice->target_left, 127);
    EXPECT_EQ(channels[0].voice->target_right, 0);
    // Ticks 0, 4 and 8: values 0, 32 and 64.
    EXPECT_EQ(tick_values(&module.song, 8, [] { return channels[0].voice->panning; })[3], 128);
    EXPECT_EQ(channels[0].voice->panning, 255);
}

TEST(tick_autovibrato, WaveformValues)
{
    const int cases[][3] = {
        // type, position, value
        {0, 0, 0},   {0, 1, 1},     {0, 64, 63},   {0, 127, 1},   {0, 128, 0},  {0, 192, -63},
        {1, 0, 64},  {1, 127, 64},  {1, 128, -64}, {1, 255, -64},
        {2, 0, 0},   {2, 127, -64}, {2, 128, 64},  {2, 255, 0},
        {3, 0, 0},   {3, 127, 63},  {3, 128, 64},  {3, 129, -64}, {3, 255, -1},
        {4, 64, 63}, {255, 192, -63},  // undefined types play the sine
    };
    for (const auto& c : cases) EXPECT_EQ(autovibrato_value(c[0], c[1]), c[2]) << "type " << c[0] << " at " << c[1];
}

std::vector<int> autovibrato_offsets(int type, int depth, int sweep, int rate, int ticks)
{
    TinyModule module(1);
    Instrument& instrument = module.instrument(1);
    instrument.vibrato_type = (uint8_t)type;
    instrument.vibrato_depth = (uint8_t)depth;
    instrument.vibrato_sweep = (uint8_t)sweep;
    instrument.vibrato_rate = (uint8_t)rate;
    module.start({{C4, 1, 0, 0, 0}});
    return tick_values(&module.song, ticks, [] { return channels[0].pitch_offset; });
}

TEST(tick_autovibrato, SineDepth8Rate4RepeatsEvery64TicksAndTheSweepGrowsToFullDepth)
{
    std::vector<int> offsets = autovibrato_offsets(0, 8, 0, 4, 128);
    EXPECT_EQ(*std::min_element(offsets.begin(), offsets.end()), -8);
    EXPECT_EQ(*std::max_element(offsets.begin(), offsets.end()), 7);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[16], 7);   // (8 x 63) >> 6
    EXPECT_EQ(offsets[48], -8);  // (8 x -63) >> 6 rounds down
    EXPECT_TRUE(std::equal(offsets.begin(), offsets.begin() + 64, offsets.begin() + 64));
    EXPECT_EQ(autovibrato_offsets(9, 8, 0, 4, 128), offsets);  // type 9 plays as 0
    EXPECT_EQ(autovibrato_offsets(1, 8, 4, 1, 7), (std::vector<int>{0, 2, 4, 6, 8, 8, 8}));
}

TEST(tick_autovibrato, SetsTheFrequencyOnEveryTick)
{
    TinyModule module(1);
    module.start({{C4, 1, 0, 0, 0}});
    run_ticks(&module.song, 2);
    channels[0].voice->increment_fraction = 0;  // forget what tick 0 set
    play_tick(&module.song);
    EXPECT_EQ(channels[0].voice->increment_fraction, 1628971042u);
}

}  // namespace
