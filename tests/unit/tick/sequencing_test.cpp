// Sequencing: ticks, rows, orders, breaks, jumps, loops and delays.
#include <algorithm>
#include <string>

#include "tests/unit/tick/tiny_module.h"

namespace {

// "(order,row)" of each of the first `count` rows processed.
std::string rows_played(Song* song, int count)
{
    std::string played;
    for (int calls = 0; count > 0 && calls < 10000; ++calls) {
        const bool row_tick = song->tick == 0;
        play_tick(song);
        if (!row_tick) continue;
        played += "(" + std::to_string(song->order_index) + "," + std::to_string(song->row) + ")";
        count--;
    }
    return played;
}

PatternNote jump(int order) { return {0, 0, 0, EFFECT_POSITION_JUMP, (uint8_t)order}; }
PatternNote brk(int param) { return {0, 0, 0, EFFECT_PATTERN_BREAK, (uint8_t)param}; }
PatternNote loop(int param) { return {0, 0, 0, EFFECT_EXTENDED, (uint8_t)(0x60 | param)}; }

TEST(tick_sequencing, RowsPlayInOrderWithBreaksJumpsAndLoops)
{
    struct Placed {
        int pattern, row, channel;
        PatternNote note;
    };
    const struct {
        const char* name;
        int patterns, rows, song_length, restart;
        std::vector<Placed> cells;
        std::string expected;
    } cases[] = {
        {"after the last order the restart position", 3, 2, 3, 1, {}, "(0,0)(0,1)(1,0)(1,1)(2,0)(2,1)(1,0)(1,1)(2,0)"},
        {"a break in the last order goes to order 0", 3, 2, 3, 1, {{2, 0, 0, brk(0)}},
         "(0,0)(0,1)(1,0)(1,1)(2,0)(0,0)"},
        {"a jump beyond the song goes to order 0", 3, 2, 3, 1, {{1, 0, 0, jump(7)}}, "(0,0)(0,1)(1,0)(0,0)"},
        {"a jump goes to row 0 of its order", 3, 2, 3, 0, {{0, 0, 0, jump(2)}}, "(0,0)(2,0)(2,1)"},
        {"D32 continues at row 32 of the next order", 2, 64, 2, 0, {{0, 0, 0, brk(0x32)}}, "(0,0)(1,32)(1,33)"},
        {"D63 goes to row 63", 2, 80, 2, 0, {{0, 0, 0, brk(0x63)}}, "(0,0)(1,63)"},
        {"D64 is beyond 63 and goes to row 0", 2, 80, 2, 0, {{0, 0, 0, brk(0x64)}}, "(0,0)(1,0)"},
        {"DA0 counts as 100 and goes to row 0", 2, 64, 2, 0, {{0, 0, 0, brk(0xA0)}}, "(0,0)(1,0)"},
        {"B05 in channel 0, D10 in channel 2", 6, 64, 6, 0, {{0, 0, 0, jump(5)}, {0, 0, 2, brk(0x10)}}, "(0,0)(5,10)"},
        {"D10 in channel 0, B05 in channel 2", 6, 64, 6, 0, {{0, 0, 0, brk(0x10)}, {0, 0, 2, jump(5)}}, "(0,0)(5,0)"},
        {"a break to a row the next pattern lacks plays its row 0", 2, 16, 2, 0, {{0, 0, 0, brk(0x20)}},
         "(0,0)(1,0)(1,1)"},
        {"a restart position beyond the song plays order 0", 2, 1, 2, 5, {}, "(0,0)(1,0)(0,0)(1,0)"},
        {"a song length of 0 stays on order 0", 1, 2, 0, 3, {}, "(0,0)(0,1)(0,0)(0,1)"},
        {"a loop from row 4 to row 8 plays it three times", 1, 12, 1, 0, {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}},
         "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(0,4)(0,5)(0,6)(0,7)(0,8)(0,4)(0,5)(0,6)(0,7)(0,8)(0,9)"},
        {"a break in the loop's row wins over the loop", 2, 12, 2, 0,
         {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}, {0, 8, 0, brk(0x02)}},
         "(0,0)(0,1)(0,2)(0,3)(0,4)(0,5)(0,6)(0,7)(0,8)(1,2)"},
    };
    for (const auto& c : cases) {
        TinyModule module(3, c.patterns, c.rows);
        module.song.song_length = (int16_t)c.song_length;
        module.song.restart_position = (int16_t)c.restart;
        module.song.default_speed = 1;
        for (const Placed& p : c.cells) module.put(p.pattern, p.row, p.channel, p.note);
        module.start();
        EXPECT_EQ(rows_played(&module.song, (int)std::count(c.expected.begin(), c.expected.end(), '(')), c.expected)
            << c.name;
    }
}

TEST(tick_sequencing, RowsOnTickZeroEffectsOnTheOthers)
{
    const struct {
        const char* name;
        int default_speed;
        uint8_t row0_effect, row0_param;
        std::vector<int> row_calls;  // 1-based calls of play_tick that read a row
        int volume_after;            // after 18 calls, A10 on every row from 32
    } cases[] = {
        {"speed 6", 6, EFFECT_VOLUME_SLIDE, 0x10, {1, 7, 13}, 32 + 3 * 5},
        {"speed 1", 1, EFFECT_VOLUME_SLIDE, 0x10, {1, 2, 3, 4, 5, 6}, 32},
        {"default speed 0", 0, EFFECT_VOLUME_SLIDE, 0x10, {1, 2, 3, 4, 5, 6}, 32},
        {"F00 in row 0 already shortens row 0", 6, EFFECT_SPEED_TEMPO, 0x00, {1, 2, 3, 4, 5, 6}, 32},
        {"F03 in row 0", 6, EFFECT_SPEED_TEMPO, 0x03, {1, 4, 7, 10, 13, 16}, 32 + 5 * 2},
    };
    for (const auto& c : cases) {
        TinyModule module(1, 1, 64);
        module.song.default_speed = (int16_t)c.default_speed;
        for (int row = 0; row < 64; ++row) module.put(0, row, 0, {0, 0, 0, EFFECT_VOLUME_SLIDE, 0x10});
        module.start({{C4, 1, 0x30, c.row0_effect, c.row0_param}});
        std::vector<int> row_calls;
        for (int call = 1; call <= 18; ++call) {
            if (module.song.tick == 0 && row_calls.size() < c.row_calls.size()) row_calls.push_back(call);
            play_tick(&module.song);
        }
        EXPECT_EQ(row_calls, c.row_calls) << c.name;
        EXPECT_EQ(channels[0].volume, c.volume_after) << c.name;
    }
}

TEST(tick_sequencing, PatternDelayStretchesOneRow)
{
    TinyModule module(1, 1, 8);
    module.start({{0, 0, 0, EFFECT_EXTENDED, 0xE2}});
    std::vector<int> ticks = tick_values(&module.song, 18, [&] { return module.song.row ? -1 : module.song.tick; });
    EXPECT_EQ(ticks[16], 17);  // tick numbers run on through the delay
    EXPECT_EQ(ticks[17], 0);
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), -1), 0);  // row 0 lasts 3 x 6 ticks
    run_ticks(&module.song, 6);
    EXPECT_EQ(module.song.row, 1);
    EXPECT_EQ(module.song.tick, 0);  // row 1 lasted exactly 6 ticks
    EXPECT_EQ(module.song.pattern_delay, 0);
}

TEST(tick_sequencing, TempoCommandSetsTheTickLengthAtOnce)
{
    TinyModule module(1);
    module.start({{0, 0, 0, EFFECT_SPEED_TEMPO, 130}});
    EXPECT_EQ(module.song.frames_per_tick, 441);
    play_tick(&module.song);
    EXPECT_EQ(module.song.bpm, 130);
    EXPECT_EQ(module.song.frames_per_tick, 424);
}

TEST(tick_sequencing, GlobalVolumeAndItsSlide)
{
    TinyModule module(1);
    module.put_rows({{C4, 1, 0, EFFECT_GLOBAL_VOLUME, 0x50}, {0, 0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x08},
                     {0, 0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x00}});
    module.start();
    play_tick(&module.song);
    EXPECT_EQ(module.song.global_volume, 64);  // G50 is capped at 64
    run_ticks(&module.song, 5 + 6);
    EXPECT_EQ(module.song.global_volume, 64 - 5 * 8);
    run_ticks(&module.song, 6);  // H00 slides on with the remembered H08
    EXPECT_EQ(module.song.global_volume, 0);
}

TEST(tick_sequencing, OrderIndexStaysInsideTheOrderTable)
{
    TinyModule module(1, 1, 1);
    module.song.song_length = 300;  // longer than the 256-entry table
    module.song.restart_position = 280;
    module.song.default_speed = 1;
    module.start();
    std::vector<int> orders = tick_values(&module.song, 600, [&] { return module.song.order_index; });
    EXPECT_EQ(*std::max_element(orders.begin(), orders.end()), MAX_ORDERS - 1);
}

TEST(tick_sequencing, PatternsWithoutRowsOrMissingPatternsAreSilent)
{
    TinyModule module(1, 3, 1);
    module.set_rows(1, 0);
    module.put(1, 0, 0, {C4, 1, 0, 0, 0});  // lies in the spare row, outside the grid
    module.song.default_speed = 1;
    module.start();
    EXPECT_EQ(rows_played(&module.song, 3), "(0,0)(1,0)(2,0)");
    EXPECT_EQ(sound_output.voices[0].sample, nullptr);

    TinyModule missing(1, 1, 4);
    missing.song.orders[0] = 9;  // the song holds one pattern
    missing.start({{C4, 1, 0, 0, 0}});
    run_ticks(&missing.song, 30);
    EXPECT_EQ(missing.song.order_index, 0);
    EXPECT_EQ(sound_output.voices[0].sample, nullptr);
}

TEST(tick_sequencing, AtMost32ChannelsArePlayed)
{
    TinyModule module(40, 1, 4);
    for (int c = 0; c < 40; ++c) module.put(0, 0, c, {C4, 1, 0, EFFECT_SET_VOLUME, 0x20});
    module.start();
    run_ticks(&module.song, 12);
    EXPECT_EQ(channels[31].volume, 0x20);
    EXPECT_NE(sound_output.voices[31].sample, nullptr);
    for (int slot = 32; slot < VOICE_SLOTS; ++slot) EXPECT_EQ(sound_output.voices[slot].sample, nullptr) << slot;
}

}  // namespace
