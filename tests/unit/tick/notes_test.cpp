// Notes, pitch and sequencing: voice pairing, periods, frequencies, gains
// and panning, and the order and timing in which rows play.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/unit/music/xm_builder.h"

namespace {

const TrackChannel& ch = channels[0];

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
    // A trigger starts at the sample offset, or at 0 from one beyond the end.
    for (const int offset : {31, 32, 1000}) {
        TrackChannel channel{};
        channel.voice = &sound_output.voices[5];
        channel.voice->start_offset = offset;
        channel.update_flags = UPDATE_TRIGGER;
        update_voice(&channel, play.sample(1), play.song);
        EXPECT_EQ(channel.voice->position, offset < 32 ? uint32_t(offset) : 0u) << offset;
        channel.voice->sample = nullptr;
    }
}

TEST(tick_pitch, PeriodsFrequenciesGainsAndPanning) {
    Song linear{}, amiga{};
    linear.flags = SONG_LINEAR_FREQUENCIES;
    // The ends of both tables (C-0 to B-7, finetune -128..127); the periods
    // between are those the notes of the effects tests play.
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
        {64, 64, 65536, 64, 128, 0, 127, 0, 127, 0},    {64, 64, 65536, 64, 128, 64, 127, 255, 0, 127},
        {64, 64, 65536, 64, -32, 32, 127, 0, 127, 0},   {64, 64, 65536, 64, 300, 32, 127, 255, 0, 127},
        {64, 64, 65536, 64, 200, 32, 127, 200, 27, 99},
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
    auto jump = [](int order) { return cell(0, 0, 'B', order); };
    auto brk = [](int param) { return cell(0, 0, 'D', param); };
    auto loop = [](int param) { return cell(0, 0, 'E', 0x60 | param); };
    const struct {
        const char* name;
        int patterns, rows, restart;  // order i plays pattern i
        std::vector<Cell> cells;
        std::string expected;
        int speed = 1;
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
         {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}, {0, 8, 0, brk(0x02)}}, "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(1,2)"},
        {"speed 6", 1, 4, 0, {}, "(0,0)+5(0,1)+5(0,2)", 6},
        {"speed 0 plays a row a tick", 1, 4, 0, {}, "(0,0)(0,1)(0,2)", 0},
        {"F00 in row 0 already shortens row 0", 1, 4, 0, {{0, 0, 0, cell(0, 0, 'F', 0)}}, "(0,0)(0,1)(0,2)", 6},
        {"F03", 1, 4, 0, {{0, 0, 0, cell(0, 0, 'F', 3)}}, "(0,0)+2(0,1)+2(0,2)", 6},
        {"EE2 stretches its row to 18 ticks", 1, 4, 0, {{0, 0, 0, cell(0, 0, 'E', 0xE2)}}, "(0,0)+17(0,1)+5(0,2)", 6},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module(3, c.patterns, c.rows);
        module.restart = uint16_t(c.restart);
        module.speed = uint16_t(c.speed);
        module.cells = c.cells;
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
