// Notes, pitch and sequencing: take-over, tone portamento, release,
// resolving instrument and sample, periods, frequencies, gains, voice
// pairing, and the order in which rows play.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/unit/music/xm_builder.h"

namespace {

const TrackChannel& ch = channels[0];

TEST(tick_notes, TonePortamentoAndReleaseKeepTheNoteSounding)
{
    const struct {
        const char* name;
        PatternNote cell;  // row 1, after C-4 of instrument 1 on row 0, with a 305 remembered
        std::vector<int> periods;
    } cases[] = {
        {"305 with another instrument", cell(E4, 0, '3', 0x05, 2), {4608, 4588, 4568, 4548, 4528, 4508}},
        {"volume column F1, a semitone a tick", cell(E4, 0xF1, '0', 0, 0), {4608, 4544, 4480, 4416, 4352, 4352}},
        {"5xy slides with the remembered speed", cell(E4, 0, '5', 0x01, 0), {4608, 4588, 4568, 4548, 4528, 4508}},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module();
        module.instruments[1].samples[0].relative_note = 12;  // would move the target if it were used
        module.put_rows({cell(C4), c.cell});
        Playing play(module);
        play.ticks(6);
        channels[0].porta_speed = 5;
        Voice* voice = ch.voice;
        voice->position = 77;  // as the mixer left it
        EXPECT_EQ(play.values(6, [] { return ch.period; }), c.periods) << c.name;
        EXPECT_TRUE(ch.note == C4 - 1 && ch.instrument == 0 && ch.note_period == 4352) << c.name;
        EXPECT_TRUE(ch.voice == voice && voice->position == 77 && voice->sample == play.sample(1)) << c.name;
    }
    // K00, K05 and a key-off note silence an instrument without envelope at tick 0.
    for (const PatternNote& release : {cell(0, 0, 'K', 0), cell(0, 0, 'K', 5), cell(KEY_OFF)}) {
        TestModule module = tick_module();
        module.put_rows({cell(C4), release});
        Playing play(module);
        EXPECT_EQ(play.values(7, [] { return ch.voice->volume + ch.voice->target_left + 1000 * ch.key_off; }),
                  (std::vector<int>{190, 190, 190, 190, 190, 190, 1000})) << int(release.param);
    }
}

TEST(tick_notes, InstrumentNumberRestartsWhatANoteAloneKeeps)
{
    TestModule module = tick_module();
    module.instruments[0].volume_envelope = {{0, 64}, {100, 0}};
    module.instruments[0].fields[0] = 2;
    module.instruments[0].fields[8] = ENVELOPE_ON;
    module.instruments[0].samples[0].panning = 200;
    module.put_rows({cell(C4), cell(C4, 0x30, '8', 0x40, 0), cell(D4, 0, '0', 0, 0), cell(D4)});
    Playing play(module);
    play.ticks(13);  // into row 2: volume, panning and the envelope run on
    EXPECT_EQ(std::vector<int>({ch.volume, ch.panning, ch.volume_env_tick}), std::vector<int>({32, 0x40, 13}));
    play.ticks(6);  // row 3, tick 0
    EXPECT_EQ(std::vector<int>({ch.volume, ch.panning, ch.volume_env_tick, ch.volume_env_value}),
              std::vector<int>({64, 200, 1, 64}));
}

TEST(tick_notes, ResolvingInstrumentSampleAndPeriod)
{
    const struct {
        const char* name;
        PatternNote cell;
        int8_t relative_note;
        int heard;           // 1 the sample, 0 the empty sample, -1 nothing
        int volume, period;  // -1: not checked
    } cases[] = {
        {"instrument 1, C-4, relative note +12: C-5", cell(C4), 12, 1, 64, 3840},
        {"a note before any instrument is silent", cell(C4, 0, '0', 0, 0), 12, 1, 0, 3840},
        {"instrument 9 of 2: the empty sample's volume", cell(C4, 0, '0', 0, 9), 0, 0, 0, -1},
        {"sample map entry 16", cell(D4), 0, 0, 0, -1},
        {"empty sample slot", cell(E4), 0, 0, 0, -1},
        {"C-0 with relative note -12 is not played", cell(1), -12, -1, -1, 0},
        {"C-1 with relative note -12: C-0", cell(13), -12, 1, 64, 7680},
        {"B-7 with +24: B-9", cell(96), 24, 1, 64, 64},
        {"B-7 with +25 is beyond B-9", cell(96), 25, -1, -1, 0},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module();
        module.instruments[0].samples[0].relative_note = c.relative_note;
        module.instruments[0].sample_map[D4 - 1] = 16;
        module.instruments[0].sample_map[E4 - 1] = 3;
        module.put_rows({c.cell});
        Playing play(module);
        play.ticks(1);
        EXPECT_EQ(ch.voice->sample, c.heard > 0 ? play.sample(1) : c.heard == 0 ? &empty_sample : nullptr) << c.name;
        if (c.volume >= 0) { EXPECT_EQ(ch.voice->volume, c.volume * 127 / 64) << c.name; }
        if (c.period >= 0) { EXPECT_EQ(ch.period, c.period) << c.name; }
    }
}

TEST(tick_notes, TriggerMovesASoundingTrackToThePartnerSlotAndBackButNotFromAnEndedVoice)
{
    TestModule module = tick_module(4);
    module.instruments[1] = instrument_with(sine_sample(1000, false));
    for (int row = 0; row < 4; ++row) module.put(0, row, 3, cell(C4));
    Playing play(module);
    play.ticks(1);
    EXPECT_EQ(voice_slot(channels[3]), 3);  // slot 3 was silent: no move
    sound_output.voices[3].position = 12;
    play.ticks(6);
    const Voice &old_voice = sound_output.voices[3], &new_voice = sound_output.voices[35];
    EXPECT_EQ(voice_slot(channels[3]), 35);
    EXPECT_TRUE(new_voice.index == 35 && new_voice.position == 0 && new_voice.current_left == 0);
    EXPECT_EQ(new_voice.volume, 127);
    // The old voice fades out with its sound.
    EXPECT_TRUE(old_voice.sample == play.sample(1) && old_voice.position == 12u);
    EXPECT_EQ(old_voice.volume + old_voice.target_left + old_voice.target_right, 0);
    play.ticks(6);
    EXPECT_EQ(voice_slot(channels[3]), 3);
    sound_output.voices[3].sample = nullptr;  // the mixer ended a one-shot sample
    play.ticks(6);
    EXPECT_EQ(voice_slot(channels[3]), 3);
    EXPECT_EQ(sound_output.voices[3].sample, play.sample(1));
    // Every slot of the 64 mixed pairs with the one 32 away; a silent one
    // is kept. A trigger starts at the offset, or at 0 beyond the end.
    const int triggers[][4] = {  // slot, sounding, start offset, position
        {0, 1, 0, 0}, {31, 1, 0, 0}, {32, 1, 0, 0}, {63, 1, 0, 0}, {5, 0, 512, 512}, {5, 0, 999, 999},
        {5, 0, 1000, 0}, {5, 0, 70000, 0},
    };
    for (const auto& t : triggers) {
        TrackChannel channel{};
        channel.voice = &sound_output.voices[t[0]];
        channel.voice->sample = t[1] ? play.sample(1) : nullptr;
        channel.voice->start_offset = t[2];
        channel.update_flags = UPDATE_TRIGGER;
        update_voice(&channel, play.sample(2), play.song);
        const int slot = t[1] ? t[0] ^ 32 : t[0];
        EXPECT_TRUE(voice_slot(channel) == slot && channel.voice->index == slot) << t[0];
        EXPECT_TRUE(channel.voice->sample == play.sample(2) && channel.voice->direction == 1) << t[0];
        EXPECT_TRUE(channel.voice->position == uint32_t(t[3]) && channel.voice->start_offset == 0) << t[2];
    }
}

TEST(tick_pitch, PeriodsFrequenciesGainsAndPanning)
{
    Song linear{}, amiga{};
    linear.flags = SONG_LINEAR_FREQUENCIES;
    // The ends of both tables (C-0 to B-7, finetune -128..127); the periods
    // between are those the notes above play.
    EXPECT_EQ(std::vector<int>({note_to_period(&linear, 0, 0), note_to_period(&linear, 95, 127),
                                note_to_period(&amiga, 0, 0), note_to_period(&amiga, 95, 0),
                                note_to_period(&amiga, 48, -128), note_to_period(&amiga, 48, 127)}),
              std::vector<int>({7680, 1537, 27392, 113, 1813, 1616}));
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
        {64, 64, 65536, 64, 128, 32, 127, 128, 63, 63}, {64, 64, 65536, 32, 128, 32, 63, 128, 31, 31},
        {32, 64, 65536, 64, 128, 32, 63, 128, 31, 31},  {64, 32, 65536, 64, 128, 32, 63, 128, 31, 31},
        {64, 64, 32768, 64, 128, 32, 63, 128, 31, 31},  {80, 64, 65536, 64, 128, 32, 159, 128, 79, 79},
        {64, 64, 0, 64, 128, 32, 0, 128, 0, 0},         {64, 64, 65536, 64, 128, 0, 127, 0, 127, 0},
        {64, 64, 65536, 64, 128, 64, 127, 255, 0, 127}, {64, 64, 65536, 64, 255, 0, 127, 255, 0, 127},
        {64, 64, 65536, 64, 64, 0, 127, 0, 127, 0},     {64, 64, 65536, 64, -32, 32, 127, 0, 127, 0},
        {64, 64, 65536, 64, 300, 32, 127, 255, 0, 127}, {64, 64, 65536, 64, 200, 32, 127, 200, 27, 99},
    };
    for (const auto& c : voices) {
        linear.global_volume = c[3];
        TrackChannel channel{};
        channel.voice = &sound_output.voices[0];
        channel.update_flags = UPDATE_VOLUME | UPDATE_PANNING;
        channel.volume = c[0], channel.volume_env_value = c[1], channel.fadeout_volume = c[2];
        channel.panning = c[4], channel.panning_env_value = c[5];
        update_voice(&channel, &empty_sample, &linear);
        const Voice& v = sound_output.voices[0];
        EXPECT_EQ(std::vector<int>({v.volume, v.panning, v.target_left, v.target_right}), std::vector<int>(c + 6, c + 10))
            << c[0] << " " << c[1] << " " << c[2] << " " << c[3] << " " << c[4] << " " << c[5];
    }
}

// "(order,row)" of each of the first `count` rows processed.
std::string rows_played(Song* song, int count)
{
    std::string played;
    for (int calls = 0; count > 0 && calls < 10000; ++calls) {
        const bool row_tick = song->tick == 0;
        play_tick(song);
        if (row_tick) played += "(" + std::to_string(song->order_index) + "," + std::to_string(song->row) + ")", count--;
    }
    return played;
}

TEST(tick_sequencing, RowsPlayInOrderWithBreaksJumpsAndLoops)
{
    auto jump = [](int order) { return cell(0, 0, 'B', order); };
    auto brk = [](int param) { return cell(0, 0, 'D', param); };
    auto loop = [](int param) { return cell(0, 0, 'E', 0x60 | param); };
    const struct {
        const char* name;
        int patterns, rows, restart;  // order i plays pattern i
        std::vector<Cell> cells;
        std::string expected;
    } cases[] = {
        {"after the last order the restart position", 3, 2, 1, {}, "(0,0)(0,1)(1,0)(1,1)(2,0)(2,1)(1,0)(1,1)(2,0)"},
        {"a break in the last order goes to order 0", 3, 2, 1, {{2, 0, 0, brk(0)}}, "(0,0)(0,1)(1,0)(1,1)(2,0)(0,0)"},
        {"a jump beyond the song goes to order 0", 3, 2, 1, {{1, 0, 0, jump(7)}}, "(0,0)(0,1)(1,0)(0,0)"},
        {"a jump goes to row 0 of its order", 3, 2, 0, {{0, 0, 0, jump(2)}}, "(0,0)(2,0)(2,1)"},
        {"D32 continues at row 32 of the next order", 2, 64, 0, {{0, 0, 0, brk(0x32)}}, "(0,0)(1,32)(1,33)"},
        {"D63 goes to row 63", 2, 80, 0, {{0, 0, 0, brk(0x63)}}, "(0,0)(1,63)"},
        {"D64 is beyond 63 and goes to row 0", 2, 80, 0, {{0, 0, 0, brk(0x64)}}, "(0,0)(1,0)"},
        {"DA0 counts as 100 and goes to row 0", 2, 64, 0, {{0, 0, 0, brk(0xA0)}}, "(0,0)(1,0)"},
        {"B05 in channel 0, D10 in channel 2", 6, 64, 0, {{0, 0, 0, jump(5)}, {0, 0, 2, brk(0x10)}}, "(0,0)(5,10)"},
        {"D10 in channel 0, B05 in channel 2", 6, 64, 0, {{0, 0, 0, brk(0x10)}, {0, 0, 2, jump(5)}}, "(0,0)(5,0)"},
        {"a break to a row the next pattern lacks: its row 0", 2, 16, 0, {{0, 0, 0, brk(0x20)}}, "(0,0)(1,0)(1,1)"},
        {"a restart position beyond the song plays order 0", 2, 1, 5, {}, "(0,0)(1,0)(0,0)(1,0)"},
        {"a loop from row 4 to row 8 plays it three times", 1, 12, 0, {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}},
         "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(0,4)(0,5)(0,6)(0,7)(0,8)(0,4)(0,5)(0,6)(0,7)(0,8)(0,9)"},
        {"a break in the loop's row wins over the loop", 2, 12, 0,
         {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}, {0, 8, 0, brk(0x02)}},
         "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(1,2)"},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module(3, c.patterns, c.rows);
        module.restart = uint16_t(c.restart);
        module.speed = 1;
        module.cells = c.cells;
        Playing play(module);
        EXPECT_EQ(rows_played(play.song, int(std::count(c.expected.begin(), c.expected.end(), '('))), c.expected)
            << c.name;
    }
}

TEST(tick_sequencing, SpeedDelayGlobalVolumeAndTempo)
{
    const struct {
        const char* name;
        int speed;
        PatternNote row0;
        std::vector<int> row_calls;  // 1-based calls of play_tick that read a row
    } cases[] = {
        {"speed 6", 6, cell(C4), {1, 7, 13}},
        {"speed 1", 1, cell(C4), {1, 2, 3}},
        {"speed 0", 0, cell(C4), {1, 2, 3}},
        {"F00 in row 0 already shortens row 0", 6, cell(C4, 0, 'F', 0x00), {1, 2, 3}},
        {"F03 in row 0", 6, cell(C4, 0, 'F', 0x03), {1, 4, 7}},
        {"EE2 stretches row 0 to 18 ticks, not row 1", 6, cell(C4, 0, 'E', 0xE2), {1, 19, 25}},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module();
        module.speed = uint16_t(c.speed);
        module.put(0, 0, 0, c.row0);
        Playing play(module);
        std::vector<int> row_calls;
        for (int call = 1; row_calls.size() < c.row_calls.size() && call < 100; play.ticks(1), ++call)
            if (play.song->tick == 0) row_calls.push_back(call);
        EXPECT_EQ(row_calls, c.row_calls) << c.name;
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
