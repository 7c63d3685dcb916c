// Effects: the volume column and the effect commands, tick by tick.
#include <algorithm>
#include <functional>
#include <iterator>

#include "tests/unit/tick/tiny_module.h"

namespace {

int volume() { return channels[0].volume; }
int period() { return channels[0].period; }
int panning() { return channels[0].panning; }
int pitch_offset() { return channels[0].pitch_offset; }
int volume_offset() { return channels[0].volume_offset; }
int voice_volume() { return channels[0].voice->volume; }
int slot() { return voice_slot(channels[0]); }

const PatternNote C4_PLAIN = {C4, 1, 0, 0, 0}, C4_AT_32 = {C4, 1, 0x30, 0, 0}, C4_AT_16 = {C4, 1, 0x20, 0, 0};

PatternNote fx(int effect, int param, int volume = 0)
{
    return {0, 0, (uint8_t)volume, (uint8_t)effect, (uint8_t)param};
}
PatternNote ext(int sub, int x) { return fx(EFFECT_EXTENDED, sub << 4 | x); }

// Frequency of channel 0's voice in Hz, from its 32.32 increment.
double voice_frequency()
{
    const Voice* voice = channels[0].voice;
    return (voice->increment + voice->increment_fraction / 4294967296.0) * OUTPUT_RATE;
}

TEST(tick_effects, ChannelStatePerTick)
{
    struct EffectCase {
        const char* name;
        std::vector<PatternNote> rows;  // channel 0 from row 0, speed 6
        int first_row;                  // the row whose tick 0 is observed first
        std::function<int()> probe;
        std::vector<int> expected;      // after each tick from there on
    };
    const EffectCase cases[] = {
        {"A10 raises on ticks 1 to 5", {C4_AT_32, fx(EFFECT_VOLUME_SLIDE, 0x10)}, 1, volume, {32, 33, 34, 35, 36, 37}},
        {"volume column 71 raises on every tick", {C4_AT_32, fx(0, 0, 0x71)}, 1, volume, {33, 34, 35, 36, 37, 38}},
        {"volume column 91 raises once", {C4_AT_32, fx(0, 0, 0x91)}, 1, volume, {33, 33, 33, 33, 33, 33}},
        {"A00 after A04 slides on by 4", {{C4, 1, 0x50, EFFECT_VOLUME_SLIDE, 0x04}, fx(EFFECT_VOLUME_SLIDE, 0)}, 1,
         volume, {44, 40, 36, 32, 28, 24}},
        {"C50 leaves 80, A10 then brings 64", {{C4, 1, 0, EFFECT_SET_VOLUME, 0x50}, fx(EFFECT_VOLUME_SLIDE, 0x10)}, 0,
         volume, {80, 80, 80, 80, 80, 80, 80, 64}},
        {"EA2 and EB0 share a memory", {{C4, 1, 0x30, EFFECT_EXTENDED, 0xA2}, ext(EXTENDED_FINE_VOLUME_DOWN, 0)}, 0,
         volume, {34, 34, 34, 34, 34, 34, 32, 32}},
        {"EC3 cuts from tick 3", {C4_PLAIN, ext(EXTENDED_NOTE_CUT, 3)}, 1, volume, {64, 64, 64, 0, 0, 0}},
        {"EC0 never cuts", {C4_PLAIN, ext(EXTENDED_NOTE_CUT, 0)}, 1, volume, {64, 64, 64, 64, 64, 64}},
        {"T12 on 2 ticks, off 3, across rows", {{C4, 1, 0, EFFECT_TREMOR, 0x12}, fx(EFFECT_TREMOR, 0x12)}, 0,
         voice_volume, {127, 127, 0, 0, 0, 127, 127, 0, 0, 0, 127, 127}},
        {"744 tremolo offsets", {{C4, 1, 0x30, EFFECT_TREMOLO, 0x44}}, 0, volume_offset, {0, 0, 6, 11, 14, 15}},
        {"after a tremolo the volume stays", {{C4, 1, 0x30, EFFECT_TREMOLO, 0x44}, fx(0, 0)}, 1, volume, {47}},
        {"47F then 400: vibrato speed 7, depth 15", {{C4, 1, 0, EFFECT_VIBRATO, 0x7F}, fx(EFFECT_VIBRATO, 0)}, 0,
         pitch_offset, {0, 0, -72, -116, -104, -44, 32, 32, 96, 116, 84, 8}},
        {"volume column A7 and BF vibrate like 47F", {{C4, 1, 0xA7, 0, 0}, fx(0, 0, 0xBF)}, 1, pitch_offset,
         {0, 0, -72, -116, -104, -44}},
        {"arpeggio 047", {{C4, 1, 0, EFFECT_ARPEGGIO, 0x47}}, 0, pitch_offset, {0, 256, 448, 0, 256, 448}},
        {"1FF stops at period 56", {C4_PLAIN, fx(EFFECT_PORTA_UP, 0xFF)}, 1, period, {4608, 3588, 2568, 1548, 528, 56}},
        {"210 then 200 slides down by 64", {{C4, 1, 0, EFFECT_PORTA_DOWN, 0x10}, fx(EFFECT_PORTA_DOWN, 0)}, 1, period,
         {4928, 4992, 5056, 5120, 5184, 5248}},
        {"E13 and X12 fine slides once", {C4_PLAIN, ext(EXTENDED_FINE_PORTA_UP, 3), fx(EFFECT_EXTRA_FINE_PORTA, 0x12)},
         1, period, {4596, 4596, 4596, 4596, 4596, 4596, 4594, 4594}},
        {"ED2 starts the note at tick 2", {C4_PLAIN, {E4, 1, 0, EFFECT_EXTENDED, 0xD2}}, 1, period,
         {4608, 4608, 4352, 4352, 4352, 4352}},
        {"ED2 triggers on tick 2", {C4_PLAIN, {E4, 1, 0, EFFECT_EXTENDED, 0xD2}}, 1, slot, {0, 0, 32, 32, 32, 32}},
        {"ED0 never plays its note", {C4_PLAIN, {E4, 1, 0, EFFECT_EXTENDED, 0xD0}, fx(0, 0)}, 1, slot,
         {0, 0, 0, 0, 0, 0, 0}},
        {"ED7 is beyond the row", {C4_PLAIN, {E4, 1, 0, EFFECT_EXTENDED, 0xD7}, fx(0, 0)}, 1, period,
         {4608, 4608, 4608, 4608, 4608, 4608, 4608}},
        {"R93 retriggers on tick 3", {C4_AT_16, fx(EFFECT_MULTI_RETRIGGER, 0x93)}, 1, slot, {0, 0, 0, 32, 32, 32}},
        {"R93 adds 1 to the volume", {C4_AT_16, fx(EFFECT_MULTI_RETRIGGER, 0x93)}, 1, volume, {16, 16, 16, 17, 17, 17}},
        {"R03 keeps the volume", {C4_AT_16, fx(EFFECT_MULTI_RETRIGGER, 0x03)}, 1, volume, {16, 16, 16, 16, 16, 16}},
        {"R03 keeps the gain", {C4_AT_16, fx(EFFECT_MULTI_RETRIGGER, 0x03)}, 1, voice_volume, {31, 31, 31, 31, 31, 31}},
        {"E92 retriggers on ticks 2 and 4", {C4_PLAIN, ext(EXTENDED_RETRIGGER, 2)}, 1, slot, {0, 0, 32, 32, 0, 0}},
        {"volume column D8 drives panning below 0", {{C4, 1, 0, EFFECT_SET_PANNING, 0x10}, fx(0, 0, 0xD8)}, 1,
         panning, {8, 0, -8, -16, -24, -32}},
        {"P20 slides right on later ticks", {C4_PLAIN, fx(EFFECT_PANNING_SLIDE, 0x20)}, 1, panning,
         {128, 130, 132, 134, 136, 138}},
        {"E8F and volume column C4 set panning", {{C4, 1, 0, EFFECT_EXTENDED, 0x8F}, fx(0, 0, 0xC4)}, 0, panning,
         {240, 240, 240, 240, 240, 240, 64}},
    };
    for (const EffectCase& c : cases) {
        TinyModule module(1);
        module.start(c.rows);
        run_ticks(&module.song, 6 * c.first_row);
        EXPECT_EQ(tick_values(&module.song, (int)c.expected.size(), c.probe), c.expected) << c.name;
    }
}

TEST(tick_effects, VibratoDepthFifteenPeaksAt116ForEveryShape)
{
    for (int shape = 0; shape < 4; ++shape) {
        TinyModule module(1);
        module.put(0, 0, 0, {C4, 1, 0, EFFECT_EXTENDED, (uint8_t)(0x40 | shape)});
        for (int row = 1; row < 64; ++row) module.put(0, row, 0, fx(EFFECT_VIBRATO, 0x3F));
        module.start();
        std::vector<int> offsets = tick_values(&module.song, 6 * 30, [] { return std::abs(pitch_offset()); });
        EXPECT_EQ(*std::max_element(offsets.begin(), offsets.end()), 116) << "shape " << shape;
    }
}

TEST(tick_effects, VibratoSineAmplitudesMirrorAroundSixteen)
{
    const int quarter[17] = {0, 25, 49, 74, 97, 120, 142, 162, 181, 197, 212, 225, 236, 244, 251, 254, 255};
    for (int p = 0; p <= 16; ++p) {
        EXPECT_EQ(vibrato_amplitude(p, 0), quarter[p]) << p;
        EXPECT_EQ(vibrato_amplitude(-p, 0), quarter[p]) << -p;
        EXPECT_EQ(vibrato_amplitude(32 - p, 0), quarter[p]) << 32 - p;
    }
    EXPECT_EQ(vibrato_amplitude(31, 1), 248);
    EXPECT_EQ(vibrato_amplitude(-32, 1), 255);
    EXPECT_EQ(vibrato_amplitude(-1, 1), 7);
    EXPECT_EQ(vibrato_amplitude(-5, 2), 255);
}

TEST(tick_effects, ArpeggioRaisesBySemitonesUnderBothTables)
{
    for (uint16_t flags : {0, (int)SONG_LINEAR_FREQUENCIES}) {
        TinyModule module(1);
        module.song.flags = flags;
        module.start({{C4, 1, 0, EFFECT_ARPEGGIO, 0x47}});
        play_tick(&module.song);
        const double base = voice_frequency();
        for (int semitones : {4, 7, 0, 4, 7}) {
            play_tick(&module.song);
            const double expected = base * std::pow(2.0, semitones / 12.0);
            EXPECT_NEAR(voice_frequency(), expected, expected * 0.003) << "flags " << flags;
        }
    }
}

TEST(tick_effects, SampleOffsetStartsTheNoteOfItsRowOnly)
{
    TinyModule module(1);
    module.instrument(2).samples[0] = module.add_sample(1000, LOOP_NONE);
    const struct {
        PatternNote cell;
        uint32_t position;  // after tick 0; 7 is where the mixer left the voice
        int slot;
    } rows[] = {
        {{C4, 1, 0, 0, 0}, 0, 0},
        {{C4, 2, 0, EFFECT_SAMPLE_OFFSET, 0x02}, 512, 32},
        {{C4, 2, 0, EFFECT_SAMPLE_OFFSET, 0x00}, 512, 0},  // the memory
        {{C4, 2, 0, 0, 0}, 0, 32},
        {{0, 0, 0, EFFECT_SAMPLE_OFFSET, 0x03}, 7, 32},  // no note: only remembered
        {{C4, 2, 0, 0, 0}, 0, 0},
        {{C4, 2, 0, EFFECT_SAMPLE_OFFSET, 0x00}, 768, 32},
        {{0, 0, 0, EFFECT_SAMPLE_OFFSET, 0x04}, 7, 32},  // beyond the end, no note: no rewind
    };
    for (size_t row = 0; row < std::size(rows); ++row) module.put(0, (int)row, 0, rows[row].cell);
    module.start();
    for (size_t row = 0; row < std::size(rows); ++row) {
        if (row > 0) {
            run_ticks(&module.song, 5);
            channels[0].voice->position = 7;
        }
        play_tick(&module.song);
        EXPECT_EQ(channels[0].voice->position, rows[row].position) << "row " << row;
        EXPECT_EQ(slot(), rows[row].slot) << "row " << row;
    }
}

TEST(tick_effects, SampleOffsetBeyondTheLoopEndRestartsTheOldSound)
{
    TinyModule module(1);
    module.instrument(2).samples[0] = module.add_sample(1000, LOOP_NONE);
    module.put_rows({{C4, 1, 0, 0, 0}, {E4, 2, 0, EFFECT_SAMPLE_OFFSET, 0x04}});  // 1024 >= 1000
    module.start();
    run_ticks(&module.song, 6);
    channels[0].voice->position = 20;
    channels[0].voice->position_fraction = 99;
    play_tick(&module.song);
    EXPECT_EQ(slot(), 0);
    EXPECT_EQ(channels[0].voice->sample, &module.sample(1));
    EXPECT_EQ(channels[0].voice->position + channels[0].voice->position_fraction, 0u);
    EXPECT_EQ(channels[0].period, 4352);  // at the new period
}

TEST(tick_effects, SlidesKeepPeriodsWithinTheLimit)
{
    // 2FF adds 1020 on each later tick, E1F takes 60 once per row.
    const uint8_t effects[][3] = {{EFFECT_PORTA_DOWN, 0xFF, 2}, {EFFECT_EXTENDED, 0x1F, 1}};
    for (const auto& effect : effects) {
        TinyModule module(1, 2, 64);  // order 1 repeats for ever
        module.song.restart_position = 1;
        module.song.default_speed = effect[2];
        module.put(0, 0, 0, {C4, 1, 0, effect[0], effect[1]});
        for (int row = 0; row < 64; ++row) module.put(1, row, 0, fx(effect[0], effect[1]));
        module.start();
        run_ticks(&module.song, 20000);
        EXPECT_EQ(std::abs(channels[0].period), (int)PERIOD_LIMIT) << (int)effect[0];
        EXPECT_GE(voice_frequency(), 99.0);
    }
}

TEST(tick_effects, E5xTunesTheNoteOfItsRowOnly)
{
    // Finetune (x - 8) x 16 in place of the sample's 3: E50 a semitone
    // down, E58 untuned, E5F 7/8 of a semitone up.
    const struct {
        uint16_t flags;
        int x, period, sample_period;  // C-4 with E5x, then C-4 alone
    } cases[] = {
        {SONG_LINEAR_FREQUENCIES, 0x0, 4672, 4607}, {SONG_LINEAR_FREQUENCIES, 0x8, 4608, 4607},
        {SONG_LINEAR_FREQUENCIES, 0xF, 4552, 4607}, {0, 0x0, 1813, 1710},
        {0, 0x8, 1712, 1710},                       {0, 0xF, 1628, 1710},
    };
    for (const auto& c : cases) {
        TinyModule module(1);
        module.song.flags = c.flags;
        module.sample(1).finetune = 3;
        const uint8_t e5x = (uint8_t)(0x50 | c.x);
        module.start({{C4, 1, 0, EFFECT_EXTENDED, e5x}, {C4, 1, 0, 0, 0}, {C4, 9, 0, EFFECT_EXTENDED, e5x}});
        play_tick(&module.song);
        EXPECT_EQ(channels[0].period, c.period) << "E5" << c.x << " flags " << c.flags;
        run_ticks(&module.song, 6);
        EXPECT_EQ(channels[0].period, c.sample_period) << "E5" << c.x << " flags " << c.flags;
        EXPECT_EQ(module.sample(1).finetune, 3);
        run_ticks(&module.song, 6);  // instrument 9 plays the shared empty sample
        EXPECT_EQ(empty_sample.finetune, 0);
    }
}

}  // namespace
