// The tick engine: effects, the volume column, notes and instruments,
// envelopes, fadeout and auto-vibrato tick by tick on channel 0; voice
// pairing, periods, frequencies, gains and panning; and the order and
// timing in which rows play.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "tests/unit/music/xm_builder.h"

namespace {

const TrackChannel& ch = channels[0];
enum Probe { VOLUME, PERIOD, PANNING, PITCH, TREMOLO, GAIN, SLOT, VIBRATO_AT, TREMOLO_AT, ENVELOPE, HEARD };
int probe(Probe what, const Playing& play) {
    // HEARD: 1 instrument 1's sample, 0 the shared empty sample, -1 nothing.
    const int heard = ch.voice->sample == play.sample(1) ? 1 : ch.voice->sample == &empty_sample ? 0 : -1;
    const int values[] = {ch.volume, ch.period, ch.panning, ch.pitch_offset, ch.volume_offset, ch.voice->volume,
                          voice_slot(ch), ch.vibrato_position, ch.tremolo_position, ch.volume_env_value, heard};
    return values[what];
}


// Points (0, 64), (10, 32), (20, 0): the values of ticks `from`..`to` - 1, then `tail`.
const std::vector<EnvelopePoint> THREE = {{0, 64}, {10, 32}, {20, 0}};
std::vector<int> ramp(size_t from, size_t to, std::vector<int> tail = {}) {
    const int values[] = {64, 60, 57, 54, 51, 48, 44, 41, 38, 35, 32, 28, 25, 22, 19, 16, 12, 9, 6, 3, 0};
    tail.insert(tail.begin(), values + from, values + to);
    return tail;
}

TEST(tick_effects, ChannelStatePerTick) {
    const PatternNote C4_AT_32 = cell(C4, 0x30), C4_AT_16 = cell(C4, 0x20), C4_ = cell(C4), NONE = cell(0);
    const uint8_t ON = ENVELOPE_ON, SUSTAIN = ENVELOPE_SUSTAIN, LOOP = ENVELOPE_LOOP, F4 = 54;
    const struct {
        const char* name;
        std::vector<PatternNote> rows;  // channel 0 from row 0, speed 6
        int first_row;                  // the row whose tick 0 is observed first
        Probe probe;
        std::vector<int> expected;  // after each tick from there on
        // Instrument 1, where not as tick_module makes it: its volume
        // envelope (sustained at point 1, looped from 0 to 2), its sample's
        // relative note and finetune, the table, its auto-vibrato type,
        // sweep, depth and rate.
        std::vector<EnvelopePoint> envelope = {};
        uint8_t envelope_type = 0;
        int8_t relative_note = 0, finetune = 0;
        uint16_t flags = SONG_LINEAR_FREQUENCIES;
        std::vector<uint8_t> autovibrato = {};
    } cases[] = {
        {"A10 raises on ticks 1 to 5", {C4_AT_32, cell(0, 0, 'A', 0x10)}, 1, VOLUME, {32, 33, 34, 35, 36, 37}},
        {"volume column 71 raises on every tick", {C4_AT_32, cell(0, 0x71)}, 1, VOLUME, {33, 34, 35, 36, 37, 38}},
        {"A00 after A04 slides on by 4", {cell(C4, 0x50, 'A', 4), cell(0, 0, 'A', 0)}, 1, VOLUME, {44, 40, 36, 32, 28}},
        {"501 slides the volume too", {C4_AT_32, cell(0, 0, '5', 0x01)}, 1, VOLUME, {32, 31, 30, 29, 28, 27}},
        {"610 slides the volume too", {C4_AT_32, cell(0, 0, '6', 0x10)}, 1, VOLUME, {32, 33, 34, 35, 36, 37}},
        {"C50 leaves 80, A10 then brings 64", {cell(C4, 0, 'C', 0x50), cell(0, 0, 'A', 0x10)}, 1, VOLUME, {80, 64}},
        {"EA2 and EB0 share a memory", {cell(C4, 0x30, 'E', 0xA2), cell(0, 0, 'E', 0xB0)}, 1, VOLUME, {32, 32}},
        {"EC3 cuts from tick 3", {C4_, cell(0, 0, 'E', 0xC3)}, 1, VOLUME, {64, 64, 64, 0, 0, 0}},
        {"T12 on 2 ticks, off 3, across rows", {cell(C4, 0, 'T', 0x12), cell(0, 0, 'T', 0x12)}, 0, GAIN,
         {127, 127, 0, 0, 0, 127, 127, 0, 0, 0, 127, 127}},
        {"744 at volume 56 rises to 64 at most", {cell(C4, 0x48, '7', 0x44)}, 0, TREMOLO, {0, 0, 6, 8, 8, 8}},
        {"and at volume 32 the volume stays", {cell(C4, 0x30, '7', 0x44), NONE}, 1, VOLUME, {47}},
        {"and at volume 2 falls to 0 at least", {cell(C4, 0x12, '7', 0x44), cell(0, 0, '7', 0x44), cell(0, 0, '7', 0x44)},
         2, TREMOLO, {0, -2, -2, -2, -2, -2}},
        {"47F then 400: vibrato speed 7, depth 15", {cell(C4, 0, '4', 0x7F), cell(0, 0, '4', 0)}, 0, PITCH,
         {0, 0, -72, -116, -104, -44, 32, 32, 96, 116, 84, 8}},
        {"volume column A7 and BF vibrate like 47F", {cell(C4, 0xA7), cell(0, 0xBF)}, 1, PITCH, {0, 0, -72, -116}},
        {"volume column BF keeps depth 15 over 473", {cell(C4, 0xBF, '4', 0x73)}, 0, PITCH,
         {0, -72, -104, 32, 116, 8}},
        {"601 goes on vibrating like 400", {cell(C4, 0, '4', 0x7F), cell(0, 0, '6', 0x01)}, 1, PITCH,
         {32, 32, 96, 116, 84, 8}},
        {"E43 is the square", {cell(0, 0, 'E', 0x43), cell(C4, 0, '4', 0xFF)}, 1, PITCH, {-116, -116, -116, -116, 116}},
        // Waveforms 0..3 restart at a note, 4..15 run on across notes.
        {"E43 restarts the vibrato", {cell(0, 0, 'E', 0x43), cell(C4, 0, '4', 0x8F), C4_}, 2, VIBRATO_AT, {0}},
        {"E44 keeps the vibrato running", {cell(0, 0, 'E', 0x44), cell(C4, 0, '4', 0x8F), C4_}, 2, VIBRATO_AT, {-24}},
        {"E7F keeps the tremolo running", {cell(0, 0, 'E', 0x7F), cell(C4, 0, '7', 0x8F), C4_}, 2, TREMOLO_AT, {-24}},
        {"arpeggio 047", {cell(C4, 0, '0', 0x47)}, 0, PITCH, {0, 256, 448, 0, 256, 448}},
        {"arpeggio 047 on the Amiga table", {cell(C4, 0, '0', 0x47)}, 0, PITCH, {0, -354, -570}, {}, 0, 0, 0, 0},
        // Tone portamento slides to the note without restarting it: voice and sample stay.
        {"305 down to C4", {cell(E4), cell(C4, 0, '3', 0x05)}, 1, PERIOD, {4352, 4372, 4392, 4412, 4432}},
        {"305 with another instrument", {C4_, cell(E4, 0, '3', 0x05, 2)}, 1, PERIOD, {4608, 4588, 4568, 4548, 4528}},
        {"with the same sample", {C4_, cell(E4, 0, '3', 0x05, 2)}, 1, HEARD, {1}},
        {"volume column F2, two semitones a tick", {C4_, cell(E4, 0xF2, '0', 0, 0)}, 1, PERIOD, {4608, 4480, 4352}},
        {"501 at the speed of 305", {C4_, cell(0, 0, '3', 5), cell(E4, 0, '5', 1, 0)}, 2, PERIOD, {4608, 4588}},
        {"1FF stops at period 56", {C4_, cell(0, 0, '1', 0xFF)}, 1, PERIOD, {4608, 3588, 2568, 1548, 528, 56}},
        {"210 then 200 slides down by 64", {cell(C4, 0, '2', 0x10), cell(0, 0, '2', 0)}, 1, PERIOD, {4928, 4992, 5056}},
        {"E13 and X12 fine slides once", {C4_, cell(0, 0, 'E', 0x13), cell(0, 0, 'X', 0x12)}, 1, PERIOD,
         {4596, 4596, 4596, 4596, 4596, 4596, 4594, 4594}},
        // E5x tunes the note of its row (x - 8) x 16 in place of the sample's 3.
        {"E50 a semitone down", {cell(C4, 0, 'E', 0x50)}, 0, PERIOD, {4672}, {}, 0, 0, 3},
        {"E5F 7/8 of a semitone up", {cell(C4, 0, 'E', 0x5F)}, 0, PERIOD, {4552}, {}, 0, 0, 3},
        {"E5F on the Amiga table", {cell(C4, 0, 'E', 0x5F)}, 0, PERIOD, {1628}, {}, 0, 0, 3, 0},
        {"the next row plays the sample's finetune", {cell(C4, 0, 'E', 0x50), C4_}, 1, PERIOD, {4607}, {}, 0, 0, 3},
        {"ED2 starts the note at tick 2", {C4_, cell(E4, 0, 'E', 0xD2)}, 1, PERIOD, {4608, 4608, 4352, 4352}},
        {"ED0 never plays its note", {C4_, cell(E4, 0, 'E', 0xD0), NONE}, 1, SLOT, {0, 0, 0, 0, 0, 0, 0}},
        {"R93 adds 1 to the volume on tick 3", {C4_AT_16, cell(0, 0, 'R', 0x93)}, 1, VOLUME, {16, 16, 16, 17, 17, 17}},
        {"R83 leaves it", {C4_AT_32, cell(0, 0, 'R', 0x83)}, 1, VOLUME, {32, 32, 32, 32, 32, 32}},
        {"R73 halves it", {C4_AT_32, cell(0, 0, 'R', 0x73)}, 1, VOLUME, {32, 32, 32, 16, 16, 16}},
        {"R63 takes two thirds", {C4_AT_32, cell(0, 0, 'R', 0x63)}, 1, VOLUME, {32, 32, 32, 21, 21, 21}},
        {"RE3 takes three halves", {C4_AT_16, cell(0, 0, 'R', 0xE3)}, 1, VOLUME, {16, 16, 16, 24, 24, 24}},
        {"E92 retriggers on ticks 2 and 4", {C4_, cell(0, 0, 'E', 0x92)}, 1, SLOT, {0, 0, 32, 32, 0, 0}},
        {"volume column D8 drives panning below 0", {cell(C4, 0, '8', 0x10), cell(0, 0xD8)}, 1, PANNING, {8, 0, -8}},
        {"E8F and volume column C4 set panning", {cell(C4, 0, 'E', 0x8F), cell(0, 0xC4)}, 0, PANNING,
         {240, 240, 240, 240, 240, 240, 64}},
        // Releasing an instrument without envelope silences it at once.
        {"K00 releases at tick 0", {C4_, cell(0, 0, 'K', 0)}, 0, GAIN, {127, 127, 127, 127, 127, 127, 0}},
        {"a key-off note too", {C4_, cell(KEY_OFF)}, 1, GAIN, {0}},
        // Resolving instrument, sample and the note it plays.
        {"instrument 9 of 2 plays the empty sample", {cell(C4, 0, '0', 0, 9)}, 0, HEARD, {0}},
        {"a sample map entry of 16 plays the empty sample", {cell(F4)}, 0, HEARD, {0}},
        {"C-0 with relative note -12 is not played", {cell(1)}, 0, HEARD, {-1}, {}, 0, -12},
        {"C-1 with relative note -12 plays C-0", {cell(13)}, 0, PERIOD, {7680}, {}, 0, -12},
        {"B-7 with relative note +24 plays B-9", {cell(96)}, 0, PERIOD, {64}, {}, 0, 24},
        {"B-7 with relative note +25 is beyond B-9", {cell(96)}, 0, HEARD, {-1}, {}, 0, 25},
        // A note alone keeps volume and envelope running; an instrument number restarts them.
        {"a note alone keeps the volume", {C4_, cell(C4, 0x30, '0', 0, 0), cell(D4, 0, '0', 0, 0)}, 2, VOLUME, {32}},
        {"an instrument number restores it", {C4_, cell(C4, 0x30, '0', 0, 0), cell(D4)}, 2, VOLUME, {64}},
        {"a note alone keeps the envelope running", {C4_, cell(D4, 0, '0', 0, 0)}, 1, ENVELOPE, {44}, THREE, ON},
        {"an instrument number restarts it", {C4_, cell(D4)}, 1, ENVELOPE, {64}, THREE, ON},
        // Volume envelopes.
        {"three points", {C4_}, 0, ENVELOPE, ramp(0, 21, {0, 0}), THREE, ON},
        {"and the gain follows them on every tick", {C4_}, 0, GAIN, {127, 119, 113, 107, 101, 95, 87}, THREE, ON},
        {"sustain at point 1 holds until the release at tick 18", {C4_, NONE, NONE, cell(KEY_OFF)}, 0, ENVELOPE,
         ramp(0, 11, {32, 32, 32, 32, 32, 32, 32, 32, 28, 25, 22, 19, 16, 12, 9, 6, 3, 0}), THREE, ON | SUSTAIN},
        {"a loop from point 0 to 2 repeats every 20 ticks, released or not", {C4_, NONE, NONE, cell(KEY_OFF)}, 0,
         ENVELOPE, ramp(0, 20, ramp(0, 20, ramp(0, 20))), THREE, ON | LOOP},
        {"L05 sets tick 5 and continues", {cell(C4, 0, 'L', 5)}, 0, ENVELOPE, ramp(5, 9), THREE, ON},
        {"L15 is beyond the last point and finishes", {cell(C4, 0, 'L', 0x15)}, 0, ENVELOPE, {0, 0}, THREE, ON},
        // On a point's own tick Lxx takes the segment before it (truncated to 63) and reaches 64 a tick later.
        {"L03 on the top of a rise", {cell(C4, 0, 'L', 3)}, 0, ENVELOPE, {63, 64, 42}, {{0, 0}, {3, 64}, {6, 0}}, ON},
        {"L00 before the first point holds its value", {cell(C4, 0, 'L', 0)}, 0, ENVELOPE, {64},
         {{10, 64}, {20, 32}, {30, 0}}, ON},
        {"two points at one tick make the value jump", {C4_}, 0, ENVELOPE, {64, 64, 64, 64, 16, 12, 8, 4, 0, 0},
         {{0, 64}, {4, 64}, {4, 16}, {8, 0}}, ON},
        {"two points both at tick 0: the second holds", {C4_}, 0, ENVELOPE, {32, 32}, {{0, 64}, {0, 32}}, ON},
        {"a segment running backwards holds its start value", {C4_}, 0, ENVELOPE, ramp(0, 11, {32, 32}),
         {{0, 64}, {10, 32}, {5, 0}}, ON},
        {"auto-vibrato square of depth 8 at rate 1 sweeps in over 4 ticks, turns at 128 and at 256", {C4_}, 0, PITCH,
         [] {
             std::vector<int> square = {0, 2, 4, 6};
             square.resize(128, 8), square.resize(256, -8), square.push_back(8);
             return square;
         }(), {}, 0, 0, 0, SONG_LINEAR_FREQUENCIES, {1, 4, 8, 1}},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module();
        module.flags = c.flags;
        TestInstrument& instrument = module.instruments[0];
        instrument.sample_map[F4 - 1] = 16;
        instrument.samples[0].relative_note = c.relative_note, instrument.samples[0].finetune = c.finetune;
        instrument.volume_envelope = c.envelope;
        const uint8_t fields[9] = {uint8_t(c.envelope.size()), 0, 1, 0, 2, 0, 0, 0, c.envelope_type};
        std::copy(fields, fields + 9, instrument.fields);
        std::copy(c.autovibrato.begin(), c.autovibrato.end(), instrument.fields + 10);
        module.put_rows(c.rows);
        Playing play(module);
        play.ticks(6 * c.first_row);
        EXPECT_EQ(play.values(int(c.expected.size()), [&] { return probe(c.probe, play); }), c.expected) << c.name;
    }
}

TEST(tick_effects, SampleOffsetStartsTheNoteOfItsRowOnly) {
    const struct {
        PatternNote cell;
        uint32_t position;  // after tick 0; 7 is where the mixer left the voice
        int slot;
    } rows[] = {
        {cell(C4), 0, 0},
        {cell(C4, 0, '9', 0x02, 2), 512, 32},
        {cell(C4, 0, '9', 0x00, 2), 512, 0},  // the memory
        {cell(C4, 0, '0', 0, 2), 0, 32},
        {cell(0, 0, '9', 0x03), 7, 32},  // no note: only remembered
        {cell(C4, 0, '0', 0, 2), 0, 0},
        {cell(C4, 0, '9', 0x00, 2), 768, 32},
        {cell(0, 0, '9', 0x04), 7, 32},  // at the end, no note: no rewind
        {cell(C4), 0, 0},
        {cell(E4, 0, '9', 0x04, 2), 0, 0},  // at the end (1024 of 1024): the old sound restarts
    };
    TestModule module = tick_module();
    module.instruments[1] = instrument_with(wave_sample(1024, false));
    for (size_t row = 0; row < std::size(rows); ++row) module.put(0, int(row), 0, rows[row].cell);
    Playing play(module);
    for (size_t row = 0; row < std::size(rows); ++row) {
        if (row > 0) play.ticks(5), ch.voice->position = 7;
        play.ticks(1);
        EXPECT_EQ(ch.voice->position + ch.voice->position_fraction, rows[row].position) << "row " << row;
        EXPECT_EQ(voice_slot(ch), rows[row].slot) << "row " << row;
    }
    EXPECT_TRUE(ch.voice->sample == play.sample(1) && ch.period == 4352);  // at the new note's period
}

TEST(tick_envelope, FadeoutPanningEnvelopeAndWaveforms) {
    TestModule module = tick_module();
    TestInstrument& instrument = module.instruments[0];
    instrument.volume_envelope = {{0, 64}, {10, 32}};
    instrument.panning_envelope = {{0, 0}, {8, 64}};
    const uint8_t fields[14] = {2, 2, 1, 0, 0, 0, 0, 0, ENVELOPE_ON | ENVELOPE_SUSTAIN, ENVELOPE_ON, 0, 0, 8, 4};
    std::copy(fields, fields + 14, instrument.fields);  // and a sine auto-vibrato of depth 8, rate 4
    instrument.fadeout = 128;  // the file's value, halved
    module.put_rows({cell(C4), cell(0), cell(KEY_OFF)});
    Playing play(module);
    // A centred voice swings fully left and right: the envelope's 0..64
    // over ticks 0..8 moves it 4 x (value - 32) from the centre.
    EXPECT_EQ(play.values(9, [] { return ch.voice->panning; }),
              (std::vector<int>{0, 32, 64, 96, 128, 160, 192, 224, 255}));
    play.ticks(3);
    // Released on tick 12, the note fades by 256 a tick.
    std::set<int> gains;  // and the gain falls with it on every tick, through each value from 63 to 0
    const std::vector<int> fade = play.values(258, [&] { return gains.insert(ch.voice->volume), ch.fadeout_volume; });
    EXPECT_TRUE(fade[0] == 65536 - 256 && fade[254] == 256 && fade[255] == 0 && gains.size() == 64 && !*gains.begin());
    // The auto-vibrato repeats every 64 ticks between (8 x -63) >> 6 and
    // (8 x 63) >> 6, and sets the voice's frequency on every tick.
    std::vector<int> sine = play.values(128, [] { return ch.pitch_offset; });
    EXPECT_TRUE(std::equal(sine.begin(), sine.begin() + 64, sine.begin() + 64));
    EXPECT_EQ(std::make_pair(*std::min_element(sine.begin(), sine.end()), *std::max_element(sine.begin(), sine.end())),
              std::make_pair(-8, 7));
    ch.voice->increment_fraction = 0;
    EXPECT_NE(play.values(1, [] { return ch.voice->increment_fraction; })[0], 0);
    // Positions -32..31: the sine peaks at 255 not 256, the ramp runs 0 up
    // to 248 then 255 down, the square is 255 throughout.
    EXPECT_EQ(std::vector<int>({vibrato_amplitude(0, 0), vibrato_amplitude(8, 0), vibrato_amplitude(-8, 0),
                                vibrato_amplitude(16, 0), vibrato_amplitude(0, 1), vibrato_amplitude(31, 1),
                                vibrato_amplitude(-1, 1), vibrato_amplitude(-32, 1), vibrato_amplitude(-5, 2)}),
              std::vector<int>({0, 181, 181, 255, 0, 248, 7, 255, 255}));
    // Positions 0..255: the ends of each shape; types above 3 play the sine.
    EXPECT_EQ(std::vector<int>({autovibrato_value(0, 64), autovibrato_value(1, 128), autovibrato_value(2, 127),
                                autovibrato_value(2, 128), autovibrato_value(3, 127), autovibrato_value(3, 128),
                                autovibrato_value(3, 129), autovibrato_value(3, 255), autovibrato_value(255, 192)}),
              std::vector<int>({63, -64, -64, 64, 63, 64, -64, -1, -63}));
}

// A trigger on a sounding voice moves the track to the slot 32 away (the
// effects table shows slots 0 and 32 taking turns); the old voice fades
// out with its sound, and a voice the mixer has ended is used again.
TEST(tick_notes, TriggerLeavesASoundingVoiceToFadeButReusesAnEndedOne) {
    TestModule module = tick_module(4);
    for (int row = 0; row < 4; ++row) module.put(0, row, 3, cell(C4));
    Playing play(module);
    const Voice &voice = sound_output.voices[3], &partner = sound_output.voices[35];
    play.ticks(1);
    sound_output.voices[3].position = 12;
    play.ticks(6);
    EXPECT_TRUE(voice_slot(channels[3]) == 35 && partner.index == 35 && partner.position == 0);
    EXPECT_TRUE(partner.volume == 127 && partner.current_left == 0);  // ramping up from silence
    EXPECT_TRUE(voice.sample == play.sample(1) && voice.position == 12u);
    EXPECT_EQ(voice.volume + voice.target_left + voice.target_right, 0);
    play.ticks(6);
    EXPECT_EQ(voice_slot(channels[3]), 3);
    sound_output.voices[3].sample = nullptr;  // the mixer ended a one-shot sample
    play.ticks(6);
    EXPECT_TRUE(voice_slot(channels[3]) == 3 && voice.sample == play.sample(1));
}

TEST(tick_pitch, PeriodsFrequenciesGainsAndPanning) {
    Song linear{}, amiga{};
    linear.flags = SONG_LINEAR_FREQUENCIES;
    // The ends of both tables (C-0 to B-7, finetune -128..127); the periods
    // between are those the notes of the effects tests play. On the Amiga
    // table C#-0 a semitone down is C-0, and C-0, with no note below it,
    // goes down by its step up.
    EXPECT_EQ(std::vector<int>({note_to_period(&linear, 0, 0), note_to_period(&linear, 95, 127),
                                note_to_period(&amiga, 0, 0), note_to_period(&amiga, 95, 0),
                                note_to_period(&amiga, 48, -128), note_to_period(&amiga, 48, 127),
                                note_to_period(&amiga, 1, -128), note_to_period(&amiga, 0, -128)}),
              std::vector<int>({7680, 1537, 27392, 113, 1813, 1616, 27392, 27392 + (27392 - 25854)}));
    open_offline_output(OUTPUT_RATE);
    const int frequencies[][4] = {  // linear, period, pitch offset, Hz
        {1, 4608, 0, 8363}, {1, 3840, 0, 16726}, {1, 4608, 64, 8860}, {0, 1712, 0, 8362}, {0, 1712, 64, 8061},
        {1, 20000, 0, 100}, {0, -5, 0, 100},  // the 100 Hz floor, and the fastest the mixer can step
        {1, -100000, 0, 256 * OUTPUT_RATE - 1}, {0, 1, 0, 256 * OUTPUT_RATE - 1},
    };
    for (const auto& c : frequencies)
        EXPECT_EQ(period_frequency(c[0] ? &linear : &amiga, c[1], c[2]), c[3]) << c[0] << " " << c[1];
    const int voices[][10] = {
        // volume, envelope, fadeout, global volume, panning, panning envelope;
        // gain, voice panning, left and right targets
        {64, 64, 65536, 32, 128, 32, 63, 128, 31, 31}, {32, 64, 65536, 64, 128, 32, 63, 128, 31, 31},
        {64, 32, 32768, 64, 128, 32, 31, 128, 15, 15}, {80, 64, 65536, 64, 128, 32, 159, 128, 79, 79},
        {64, 64, 65536, 64, 128, 0, 127, 0, 127, 0},   {64, 64, 65536, 64, 128, 64, 127, 255, 0, 127},
        {64, 64, 65536, 64, -32, 32, 127, 0, 127, 0},  {64, 64, 65536, 64, 300, 32, 127, 255, 0, 127},
        {64, 64, 65536, 64, 200, 32, 127, 200, 27, 99}, {64, 64, 65536, 64, 1, 32, 127, 1, 126, 0},
        {64, 64, 65536, 64, 254, 32, 127, 254, 0, 126},
    };
    for (const auto& c : voices) {
        linear.global_volume = c[3];
        TrackChannel channel{};
        channel.voice = &sound_output.voices[0], channel.update_flags = UPDATE_VOLUME | UPDATE_PANNING;
        channel.volume = c[0], channel.volume_env_value = c[1], channel.fadeout_volume = c[2];
        channel.panning = c[4], channel.panning_env_value = c[5];
        update_voice(&channel, &empty_sample, &linear);
        const Voice& v = sound_output.voices[0];
        const std::vector<int> got = {v.volume, v.panning, v.target_left, v.target_right};
        EXPECT_EQ(got, std::vector<int>(c + 6, c + 10))
            << c[0] << " " << c[1] << " " << c[2] << " " << c[3] << " " << c[4] << " " << c[5];
        // A volume change alone splits the gain as the panning did.
        channel.update_flags = UPDATE_VOLUME;
        update_voice(&channel, &empty_sample, &linear);
        EXPECT_EQ(std::vector<int>({v.target_left, v.target_right}), std::vector<int>(c + 8, c + 10)) << c[4];
    }
}

// "(order,row)" of each row read, with "+n" for n ticks between rows
// beyond the first, for the first `count` rows.
std::string rows_played(Song* song, int count) {
    std::string played;
    for (int calls = 0, since = 0; count > 0 && calls < 10000; ++calls, ++since) {
        const bool row_tick = song->tick == 0;
        play_tick(song);
        if (!row_tick) continue;
        if (since > 1 && !played.empty()) played += "+" + std::to_string(since - 1);
        played += "(" + std::to_string(song->order_index) + "," + std::to_string(song->row) + ")", count--, since = 0;
    }
    return played;
}

TEST(tick_sequencing, RowsPlayInOrderWithBreaksJumpsLoopsAndDelays) {
    const struct {
        const char* name;
        int patterns, rows, restart;  // order i plays pattern i
        std::vector<Cell> cells;
        std::string expected;
        int speed = 1;
    } cases[] = {
        {"after the last order the restart position", 3, 2, 1, {}, "(0,0)(0,1)(1,0)(1,1)(2,0)(2,1)(1,0)(1,1)(2,0)"},
        {"a break in the last order goes to order 0", 3, 2, 1, {{2, 0, 0, brk(0)}}, "(0,0)(0,1)(1,0)(1,1)(2,0)(0,0)"},
        {"D63 continues at row 63 of the next order", 2, 64, 0, {{0, 0, 0, brk(0x63)}}, "(0,0)(1,63)(0,0)"},
        {"D64 is beyond 63 and goes to row 0", 2, 80, 0, {{0, 0, 0, brk(0x64)}}, "(0,0)(1,0)"},
        {"B05 in channel 0, D10 in channel 2", 6, 64, 0, {{0, 0, 0, jump(5)}, {0, 0, 2, brk(0x10)}}, "(0,0)(5,10)"},
        {"D10 in channel 0, B05 in channel 2", 6, 64, 0, {{0, 0, 0, brk(0x10)}, {0, 0, 2, jump(5)}}, "(0,0)(5,0)"},
        {"a break to a row the next pattern lacks: its row 0", 2, 16, 0, {{0, 0, 0, brk(0x20)}}, "(0,0)(1,0)(1,1)"},
        {"a restart position beyond the song plays order 0", 2, 1, 5, {}, "(0,0)(1,0)(0,0)(1,0)"},
        {"a loop from row 4 to row 8 plays it three times", 1, 12, 0, {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}},
         "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(0,4)(0,5)(0,6)(0,7)(0,8)(0,4)(0,5)(0,6)(0,7)(0,8)(0,9)"},
        {"a break in the loop's row wins over the loop", 2, 12, 0,
         {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}, {0, 8, 0, brk(0x02)}},
         "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(1,2)"},
        {"speed 6", 1, 4, 0, {}, "(0,0)+5(0,1)+5(0,2)", 6},
        {"speed 0 plays a row a tick", 1, 4, 0, {}, "(0,0)(0,1)(0,2)", 0},
        {"F03", 1, 4, 0, {{0, 0, 0, cell(0, 0, 'F', 3)}}, "(0,0)+2(0,1)+2(0,2)", 6},
        {"EE2 stretches its row to 18 ticks", 1, 4, 0, {{0, 0, 0, cell(0, 0, 'E', 0xE2)}}, "(0,0)+17(0,1)+5(0,2)", 6},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module(3, c.patterns, c.rows);
        module.restart = uint16_t(c.restart), module.speed = uint16_t(c.speed), module.cells = c.cells;
        Playing play(module);
        EXPECT_EQ(rows_played(play.song, int(std::count(c.expected.begin(), c.expected.end(), '('))), c.expected)
            << c.name;
    }
    // G50 is capped at 64, H08 slides on later ticks and H00 with its
    // memory; F82 sets 130 BPM and with it the tick's length at once.
    TestModule module = tick_module();
    module.put_rows({cell(C4, 0, 'G', 0x50), cell(0, 0, 'H', 0x08), cell(0, 0, 'H', 0x00), cell(0, 0, 'F', 130)});
    Playing play(module);
    const std::vector<int> global = play.values(18, [&] { return play.song->global_volume; });
    EXPECT_EQ(std::vector<int>({global[0], global[11], global[17]}), std::vector<int>({64, 64 - 5 * 8, 0}));
    EXPECT_EQ(play.song->frames_per_tick, 441);
    play.ticks(1);
    EXPECT_TRUE(play.song->bpm == 130 && play.song->frames_per_tick == 424);
}

}  // namespace
