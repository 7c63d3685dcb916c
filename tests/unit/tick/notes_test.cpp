// Notes and instruments: take-over, tone portamento, release, voice pairing.
#include <gtest/gtest.h>

#include "tests/unit/tick/tiny_module.h"

namespace {

// Periods of the linear table: 7680 - 64 per semitone.
constexpr int C4_PERIOD = 4608;
constexpr int E4_PERIOD = 4352;

struct PortaCase {
    const char* name;
    PatternNote cell;          // row 1, after C-4 of instrument 1 on row 0
    int periods[6];            // ticks 0..5 of row 1
};

void PrintTo(const PortaCase& c, std::ostream* out) { *out << c.name; }

const PortaCase porta_cases[] = {
    {"305 with another instrument", {E4, 2, 0, EFFECT_TONE_PORTA, 0x05},
     {4608, 4588, 4568, 4548, 4528, 4508}},
    {"volume column F1, a semitone per tick", {E4, 0, 0xF1, 0, 0},
     {4608, 4544, 4480, 4416, 4352, 4352}},
    {"5xy slides with the remembered speed", {E4, 0, 0, EFFECT_TONE_PORTA_SLIDE, 0x01},
     {4608, 4588, 4568, 4548, 4528, 4508}},
};

class tick_tone_portamento : public ::testing::TestWithParam<PortaCase> {};

TEST_P(tick_tone_portamento, AimsAtTheNoteWithoutRestartingIt)
{
    const PortaCase& c = GetParam();
    TinyModule module(1);
    module.sample(2).relative_note = 12;  // would move the target if it were used
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    module.put(0, 1, 0, c.cell);
    start_ticks(&module.song);
    run_ticks(&module.song, 6);
    channels[0].porta_speed = 5;  // as an earlier 305 left it
    Voice* voice = channels[0].voice;
    voice->position = 77;  // as the mixer left it
    for (int tick = 0; tick < 6; ++tick) {
        play_tick(&module.song);
        EXPECT_EQ(channels[0].period, c.periods[tick]) << c.name << " tick " << tick;
    }
    EXPECT_EQ(channels[0].note, C4 - 1);
    EXPECT_EQ(channels[0].instrument, 0);
    EXPECT_EQ(channels[0].note_period, E4_PERIOD);
    EXPECT_EQ(channels[0].voice, voice);
    EXPECT_EQ(voice->position, 77u);
    EXPECT_EQ(voice->sample, &module.sample(1));
}

INSTANTIATE_TEST_SUITE_P(tick, tick_tone_portamento, ::testing::ValuesIn(porta_cases),
                         case_name<PortaCase>);

struct ReleaseCase {
    const char* name;
    PatternNote cell;
};

void PrintTo(const ReleaseCase& c, std::ostream* out) { *out << c.name; }

const ReleaseCase release_cases[] = {
    {"K00", {0, 0, 0, EFFECT_KEY_OFF, 0x00}},
    {"K05 still releases at tick 0", {0, 0, 0, EFFECT_KEY_OFF, 0x05}},
    {"a key-off note", {KEY_OFF, 0, 0, 0, 0}},
};

class tick_release : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(tick_release, SilencesAnInstrumentWithoutEnvelopeAtTickZero)
{
    const ReleaseCase& c = GetParam();
    TinyModule module(1);
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    module.put(0, 1, 0, c.cell);
    start_ticks(&module.song);
    run_ticks(&module.song, 6);
    EXPECT_EQ(channels[0].voice->volume, 127);
    play_tick(&module.song);
    EXPECT_EQ(channels[0].key_off, 1);
    EXPECT_EQ(channels[0].volume_env_value, 0);
    EXPECT_EQ(channels[0].voice->volume, 0);
    EXPECT_EQ(channels[0].voice->target_left, 0);
}

INSTANTIATE_TEST_SUITE_P(tick, tick_release, ::testing::ValuesIn(release_cases),
                         case_name<ReleaseCase>);

TEST(tick_notes, InstrumentNumberRestartsWhatANoteAloneKeeps)
{
    TinyModule module(1);
    Instrument& instrument = module.instrument(1);
    instrument.volume_envelope[0] = {0, 64};
    instrument.volume_envelope[1] = {100, 0};
    instrument.volume_points = 2;
    instrument.volume_type = ENVELOPE_ON;
    module.sample(1).panning = 200;
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    module.put(0, 1, 0, {C4, 0, 0x30, EFFECT_SET_PANNING, 0x40});
    module.put(0, 2, 0, {D4, 0, 0, 0, 0});
    module.put(0, 3, 0, {D4, 1, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 13);  // into row 2
    EXPECT_EQ(channels[0].volume, 32);
    EXPECT_EQ(channels[0].panning, 0x40);
    EXPECT_EQ(channels[0].volume_env_tick, 13);  // the envelope runs on
    run_ticks(&module.song, 6);                  // row 3, tick 0
    EXPECT_EQ(channels[0].volume, 64);
    EXPECT_EQ(channels[0].panning, 200);
    EXPECT_EQ(channels[0].volume_env_tick, 1);
    EXPECT_EQ(channels[0].volume_env_value, 64);
}

TEST(tick_notes, NoteBeforeAnyInstrumentIsSilent)
{
    TinyModule module(1);
    module.put(0, 0, 0, {C4, 0, 0, 0, 0});
    start_ticks(&module.song);
    play_tick(&module.song);
    EXPECT_EQ(channels[0].voice->sample, &module.sample(1));
    EXPECT_EQ(channels[0].voice->volume, 0);
}

struct ResolveCase {
    const char* name;
    PatternNote cell;
    bool plays_the_sample;
};

void PrintTo(const ResolveCase& c, std::ostream* out) { *out << c.name; }

const ResolveCase resolve_cases[] = {
    {"instrument 1, C-4", {C4, 1, 0, 0, 0}, true},
    {"instrument 9 of 2", {C4, 9, 0, 0, 0}, false},
    // 98 is no note: sample_map[97] would read the envelope behind the map.
    {"note value 98 beyond the sample map", {98, 1, 0, 0, 0}, false},
    {"note value 254", {254, 1, 0, 0, 0}, false},
    {"sample map entry 16", {D4, 1, 0, 0, 0}, false},
    {"empty sample slot", {E4, 1, 0, 0, 0}, false},
};

class tick_resolve : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(tick_resolve, MissingInstrumentsAndSamplesPlayTheEmptySample)
{
    const ResolveCase& c = GetParam();
    TinyModule module(1);
    module.instrument(1).sample_map[D4 - 1] = 16;
    module.instrument(1).sample_map[E4 - 1] = 3;
    module.instrument(1).samples[3] = nullptr;
    module.put(0, 0, 0, c.cell);
    start_ticks(&module.song);
    play_tick(&module.song);
    const Sample* expected = c.plays_the_sample ? &module.sample(1) : &empty_sample;
    EXPECT_EQ(channels[0].voice->sample, expected) << c.name;
    if (c.cell.instrument == 9) {
        EXPECT_EQ(channels[0].volume, 0);  // start_instrument took the empty sample's volume
    }
}

INSTANTIATE_TEST_SUITE_P(tick, tick_resolve, ::testing::ValuesIn(resolve_cases),
                         case_name<ResolveCase>);

TEST(tick_notes, TriggerMovesASoundingTrackToThePartnerSlot)
{
    TinyModule module(4);
    for (int row = 0; row < 3; ++row) module.put(0, row, 3, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    play_tick(&module.song);
    EXPECT_EQ(voice_slot(channels[3]), 3);  // slot 3 was silent: no move
    sound_output.voices[3].position = 12;
    run_ticks(&module.song, 6);
    const Voice& old_voice = sound_output.voices[3];
    const Voice& new_voice = sound_output.voices[35];
    EXPECT_EQ(voice_slot(channels[3]), 35);
    EXPECT_EQ(new_voice.index, 35);
    EXPECT_EQ(new_voice.position, 0u);
    EXPECT_EQ(new_voice.current_left, 0);
    EXPECT_EQ(new_voice.volume, 127);
    EXPECT_EQ(old_voice.sample, &module.sample(1));  // fades out with its sound
    EXPECT_EQ(old_voice.position, 12u);
    EXPECT_EQ(old_voice.volume, 0);
    EXPECT_EQ(old_voice.target_left, 0);
    EXPECT_EQ(old_voice.target_right, 0);
    run_ticks(&module.song, 6);
    EXPECT_EQ(voice_slot(channels[3]), 3);
    EXPECT_EQ(sound_output.voices[3].index, 3);
}

TEST(tick_notes, TriggerOnAnEndedVoiceStaysOnItsSlot)
{
    TinyModule module(1);
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    module.put(0, 1, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 6);
    sound_output.voices[0].sample = nullptr;  // the mixer ended a one-shot sample
    play_tick(&module.song);
    EXPECT_EQ(voice_slot(channels[0]), 0);
    EXPECT_EQ(sound_output.voices[0].sample, &module.sample(1));
}

}  // namespace
