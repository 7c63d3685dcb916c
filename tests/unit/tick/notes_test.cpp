// Notes and instruments: take-over, tone portamento, release, resolving
// instrument and sample, voice pairing.
#include "tests/unit/tick/tiny_module.h"

namespace {

int period() { return channels[0].period; }

TEST(tick_notes, TonePortamentoAimsAtTheNoteWithoutRestartingIt)
{
    const struct {
        const char* name;
        PatternNote cell;  // row 1, after C-4 of instrument 1 on row 0
        std::vector<int> periods;
    } cases[] = {
        {"305 with another instrument", {E4, 2, 0, EFFECT_TONE_PORTA, 0x05}, {4608, 4588, 4568, 4548, 4528, 4508}},
        {"volume column F1, a semitone a tick", {E4, 0, 0xF1, 0, 0}, {4608, 4544, 4480, 4416, 4352, 4352}},
        {"5xy slides with the remembered speed", {E4, 0, 0, EFFECT_TONE_PORTA_SLIDE, 0x01},
         {4608, 4588, 4568, 4548, 4528, 4508}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TinyModule module(1);
        module.sample(2).relative_note = 12;  // would move the target if it were used
        module.start({{C4, 1, 0, 0, 0}, c.cell});
        run_ticks(&module.song, 6);
        channels[0].porta_speed = 5;  // as an earlier 305 left it
        Voice* voice = channels[0].voice;
        voice->position = 77;  // as the mixer left it
        EXPECT_EQ(tick_values(&module.song, 6, period), c.periods);
        EXPECT_EQ(channels[0].note, C4 - 1);
        EXPECT_EQ(channels[0].instrument, 0);
        EXPECT_EQ(channels[0].note_period, 4352);  // E-4
        EXPECT_EQ(channels[0].voice, voice);
        EXPECT_EQ(voice->position, 77u);
        EXPECT_EQ(voice->sample, &module.sample(1));
    }
}

TEST(tick_notes, ReleaseSilencesAnInstrumentWithoutEnvelopeAtTickZero)
{
    const PatternNote releases[] = {
        {0, 0, 0, EFFECT_KEY_OFF, 0x00}, {0, 0, 0, EFFECT_KEY_OFF, 0x05}, {KEY_OFF, 0, 0, 0, 0}};
    for (const PatternNote& release : releases) {
        SCOPED_TRACE(release.note ? "key-off note" : release.param ? "K05" : "K00");
        TinyModule module(1);
        module.start({{C4, 1, 0, 0, 0}, release});
        run_ticks(&module.song, 6);
        EXPECT_EQ(channels[0].voice->volume, 127);
        play_tick(&module.song);
        EXPECT_EQ(channels[0].key_off, 1);
        EXPECT_EQ(channels[0].volume_env_value, 0);
        EXPECT_EQ(channels[0].voice->volume, 0);
        EXPECT_EQ(channels[0].voice->target_left, 0);
    }
}

TEST(tick_notes, InstrumentNumberRestartsWhatANoteAloneKeeps)
{
    TinyModule module(1);
    Instrument& instrument = module.instrument(1);
    instrument.volume_envelope[0] = {0, 64};
    instrument.volume_envelope[1] = {100, 0};
    instrument.volume_points = 2;
    instrument.volume_type = ENVELOPE_ON;
    module.sample(1).panning = 200;
    module.start({{C4, 1, 0, 0, 0}, {C4, 0, 0x30, EFFECT_SET_PANNING, 0x40}, {D4, 0, 0, 0, 0}, {D4, 1, 0, 0, 0}});
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

TEST(tick_notes, ResolvingInstrumentAndSample)
{
    const struct {
        const char* name;
        PatternNote cell;
        bool plays_the_sample;
        int volume, period;  // period 0: not checked
    } cases[] = {
        {"instrument 1, C-4, relative note +12: C-5", {C4, 1, 0, 0, 0}, true, 64, 3840},
        {"a note before any instrument is silent", {C4, 0, 0, 0, 0}, true, 0, 3840},
        {"instrument 9 of 2: the empty sample's volume", {C4, 9, 0, 0, 0}, false, 0, 0},
        // 98 is no note: sample_map[97] would read the envelope behind the map.
        {"note value 98 beyond the sample map", {98, 1, 0, 0, 0}, false, 0, 0},
        {"sample map entry 16", {D4, 1, 0, 0, 0}, false, 0, 0},
        {"empty sample slot", {E4, 1, 0, 0, 0}, false, 0, 0},
    };
    for (const auto& c : cases) {
        TinyModule module(1);
        module.sample(1).relative_note = 12;
        module.instrument(1).sample_map[D4 - 1] = 16;
        module.instrument(1).sample_map[E4 - 1] = 3;
        module.instrument(1).samples[3] = nullptr;
        module.start({c.cell});
        play_tick(&module.song);
        EXPECT_EQ(channels[0].voice->sample, c.plays_the_sample ? &module.sample(1) : &empty_sample) << c.name;
        EXPECT_EQ(channels[0].voice->volume, c.volume * 127 / 64) << c.name;
        if (c.period) { EXPECT_EQ(channels[0].period, c.period) << c.name; }
    }
}

TEST(tick_notes, ANoteTheRelativeNotePushesBeyondTheTenOctavesIsNotPlayed)
{
    const struct {
        uint8_t note;  // as stored, C-0 = 1
        int8_t relative_note;
        int period;  // 0: not played
    } cases[] = {{1, -12, 0}, {13, -12, 7680}, {96, 24, 64}, {96, 25, 0}, {254, 0, 0} /* not a note */};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.note) + " with " + std::to_string(c.relative_note));
        TinyModule module(1);
        module.sample(1).relative_note = c.relative_note;
        module.start({{c.note, 1, 0, 0, 0}});
        play_tick(&module.song);
        EXPECT_EQ(channels[0].voice->sample, c.period ? &module.sample(1) : nullptr);
        EXPECT_EQ(channels[0].period, c.period);
    }
}

TEST(tick_notes, TriggerMovesASoundingTrackToThePartnerSlotAndBackButNotFromAnEndedVoice)
{
    TinyModule module(4);
    for (int row = 0; row < 4; ++row) module.put(0, row, 3, {C4, 1, 0, 0, 0});
    module.start();
    play_tick(&module.song);
    EXPECT_EQ(voice_slot(channels[3]), 3);  // slot 3 was silent: no move
    sound_output.voices[3].position = 12;
    run_ticks(&module.song, 6);
    const Voice &old_voice = sound_output.voices[3], &new_voice = sound_output.voices[35];
    EXPECT_EQ(voice_slot(channels[3]), 35);
    EXPECT_TRUE(new_voice.index == 35 && new_voice.position == 0 && new_voice.current_left == 0);
    EXPECT_EQ(new_voice.volume, 127);
    // The old voice fades out with its sound.
    EXPECT_TRUE(old_voice.sample == &module.sample(1) && old_voice.position == 12u);
    EXPECT_EQ(old_voice.volume + old_voice.target_left + old_voice.target_right, 0);
    run_ticks(&module.song, 6);
    EXPECT_EQ(voice_slot(channels[3]), 3);
    EXPECT_EQ(sound_output.voices[3].index, 3);
    sound_output.voices[3].sample = nullptr;  // the mixer ended a one-shot sample
    run_ticks(&module.song, 6);
    EXPECT_EQ(voice_slot(channels[3]), 3);
    EXPECT_EQ(sound_output.voices[3].sample, &module.sample(1));
}

}  // namespace
