// Sequencing: ticks, rows, orders, breaks, jumps, loops and delays.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/tick/tiny_module.h"

namespace {

struct Position {
    int order;
    int row;
    bool operator==(const Position& other) const { return order == other.order && row == other.row; }
};

std::string describe(const std::vector<Position>& positions)
{
    std::string text;
    for (const Position& p : positions)
        text += "(" + std::to_string(p.order) + "," + std::to_string(p.row) + ")";
    return text;
}

// The order and row of each of the first `count` rows processed.
std::vector<Position> rows_played(Song* song, size_t count)
{
    std::vector<Position> played;
    for (int calls = 0; played.size() < count && calls < 10000; ++calls) {
        bool row_tick = song->tick == 0;
        play_tick(song);
        if (row_tick) played.push_back({song->order_index, song->row});
    }
    return played;
}

struct Placed {
    int pattern, row, channel;
    PatternNote note;
};

struct FlowCase {
    const char* name;
    int patterns, rows, song_length, restart;
    std::vector<Placed> cells;
    std::vector<Position> expected;
    size_t skip = 0;  // rows played before the expected ones
};

const PatternNote jump(int order) { return {0, 0, 0, EFFECT_POSITION_JUMP, (uint8_t)order}; }
const PatternNote brk(int param) { return {0, 0, 0, EFFECT_PATTERN_BREAK, (uint8_t)param}; }

const FlowCase flow_cases[] = {
    {"after the last order the restart position", 3, 2, 3, 1, {},
     {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {1, 0}, {1, 1}, {2, 0}}},
    {"a break in the last order goes to order 0", 3, 2, 3, 1, {{2, 0, 0, brk(0)}},
     {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {0, 0}}},
    {"a jump beyond the song goes to order 0", 3, 2, 3, 1, {{1, 0, 0, jump(7)}},
     {{0, 0}, {0, 1}, {1, 0}, {0, 0}}},
    {"a jump goes to row 0 of its order", 3, 2, 3, 0, {{0, 0, 0, jump(2)}}, {{0, 0}, {2, 0}, {2, 1}}},
    {"D32 continues at row 32 of the next order", 2, 64, 2, 0, {{0, 0, 0, brk(0x32)}},
     {{0, 0}, {1, 32}, {1, 33}}},
    {"D70 is beyond 63 and goes to row 0", 2, 64, 2, 0, {{0, 0, 0, brk(0x70)}}, {{0, 0}, {1, 0}}},
    {"DA0 counts as 100 and goes to row 0", 2, 64, 2, 0, {{0, 0, 0, brk(0xA0)}}, {{0, 0}, {1, 0}}},
    {"B05 in channel 0, D10 in channel 2", 6, 64, 6, 0, {{0, 0, 0, jump(5)}, {0, 0, 2, brk(0x10)}},
     {{0, 0}, {5, 10}}},
    {"D10 in channel 0, B05 in channel 2", 6, 64, 6, 0, {{0, 0, 0, brk(0x10)}, {0, 0, 2, jump(5)}},
     {{0, 0}, {5, 0}}},
    {"a break to a row the next pattern lacks plays its row 0", 2, 16, 2, 0,
     {{0, 0, 0, brk(0x20)}}, {{0, 0}, {1, 0}, {1, 1}}},
    {"a restart position beyond the song plays order 0", 2, 1, 2, 5, {},
     {{0, 0}, {1, 0}, {0, 0}, {1, 0}}},
    {"a song length of 0 stays on order 0", 1, 2, 0, 3, {}, {{0, 0}, {0, 1}, {0, 0}, {0, 1}}},
    {"a loop from row 4 to row 8 plays it three times", 1, 12, 1, 0,
     {{0, 4, 1, {0, 0, 0, EFFECT_EXTENDED, 0x60}}, {0, 8, 1, {0, 0, 0, EFFECT_EXTENDED, 0x62}}},
     {{0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8},
      {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {0, 9}, {0, 10}},
     3},
    {"a break in the loop's row wins over the loop", 2, 12, 2, 0,
     {{0, 4, 1, {0, 0, 0, EFFECT_EXTENDED, 0x60}}, {0, 8, 1, {0, 0, 0, EFFECT_EXTENDED, 0x62}},
      {0, 8, 0, brk(0x02)}},
     {{0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {1, 2}},
     3},
};

void PrintTo(const FlowCase& c, std::ostream* out) { *out << c.name; }

class tick_order_flow : public ::testing::TestWithParam<FlowCase> {};

TEST_P(tick_order_flow, PlaysRowsInOrder)
{
    const FlowCase& c = GetParam();
    TinyModule module(3, c.patterns, c.rows);
    module.song.song_length = (int16_t)c.song_length;
    module.song.restart_position = (int16_t)c.restart;
    module.song.default_speed = 1;
    for (const Placed& p : c.cells) module.put(p.pattern, p.row, p.channel, p.note);
    start_ticks(&module.song);
    std::vector<Position> played = rows_played(&module.song, c.skip + c.expected.size());
    played.erase(played.begin(), played.begin() + (long)c.skip);
    EXPECT_EQ(describe(played), describe(c.expected)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(tick, tick_order_flow, ::testing::ValuesIn(flow_cases), case_name<FlowCase>);

struct SpeedCase {
    const char* name;
    int default_speed;
    uint8_t row0_effect, row0_param;
    std::vector<int> row_calls;  // 1-based calls of play_tick that read a row
    int volume_after;            // after 18 calls, A10 on every row from 32
};

const SpeedCase speed_cases[] = {
    {"speed 6", 6, EFFECT_VOLUME_SLIDE, 0x10, {1, 7, 13}, 32 + 3 * 5},
    {"speed 1", 1, EFFECT_VOLUME_SLIDE, 0x10, {1, 2, 3, 4, 5, 6}, 32},
    {"default speed 0", 0, EFFECT_VOLUME_SLIDE, 0x10, {1, 2, 3, 4, 5, 6}, 32},
    {"F00 in row 0 already shortens row 0", 6, EFFECT_SPEED_TEMPO, 0x00, {1, 2, 3, 4, 5, 6}, 32},
    {"F03 in row 0", 6, EFFECT_SPEED_TEMPO, 0x03, {1, 4, 7, 10, 13, 16}, 32 + 5 * 2},
};

void PrintTo(const SpeedCase& c, std::ostream* out) { *out << c.name; }

class tick_speed : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(tick_speed, RowsOnTickZeroEffectsOnTheOthers)
{
    const SpeedCase& c = GetParam();
    TinyModule module(1, 1, 64);
    module.song.default_speed = (int16_t)c.default_speed;
    for (int row = 0; row < 64; ++row) module.put(0, row, 0, {0, 0, 0, EFFECT_VOLUME_SLIDE, 0x10});
    module.put(0, 0, 0, {C4, 1, 0x30, c.row0_effect, c.row0_param});
    start_ticks(&module.song);
    std::vector<int> row_calls;
    for (int call = 1; call <= 18; ++call) {
        if (module.song.tick == 0) row_calls.push_back(call);
        play_tick(&module.song);
    }
    row_calls.resize(std::min(row_calls.size(), c.row_calls.size()));
    EXPECT_EQ(row_calls, c.row_calls) << c.name;
    EXPECT_EQ(channels[0].volume, c.volume_after) << c.name;
}

INSTANTIATE_TEST_SUITE_P(tick, tick_speed, ::testing::ValuesIn(speed_cases), case_name<SpeedCase>);

TEST(tick_sequencing, PatternDelayStretchesOneRow)
{
    TinyModule module(1, 1, 8);
    module.put(0, 0, 0, {0, 0, 0, EFFECT_EXTENDED, 0xE2});
    start_ticks(&module.song);
    std::vector<int> ticks;
    for (int call = 0; call < 24; ++call) {
        ticks.push_back(module.song.tick);
        play_tick(&module.song);
        if (call < 18) {
            EXPECT_EQ(module.song.row, 0) << "call " << call;
        }
    }
    EXPECT_EQ(ticks[17], 17);  // tick numbers run on through the delay
    EXPECT_EQ(ticks[18], 0);
    EXPECT_EQ(module.song.row, 1);
    EXPECT_EQ(module.song.tick, 0);  // row 1 lasted exactly 6 ticks
    EXPECT_EQ(module.song.pattern_delay, 0);
}

TEST(tick_sequencing, TempoCommandSetsTheTickLengthAtOnce)
{
    TinyModule module(1);
    module.put(0, 0, 0, {0, 0, 0, EFFECT_SPEED_TEMPO, 130});
    start_ticks(&module.song);
    EXPECT_EQ(module.song.frames_per_tick, 441);
    play_tick(&module.song);
    EXPECT_EQ(module.song.bpm, 130);
    EXPECT_EQ(module.song.frames_per_tick, 424);
}

TEST(tick_sequencing, GlobalVolumeAndItsSlide)
{
    TinyModule module(1);
    module.put(0, 0, 0, {C4, 1, 0, EFFECT_GLOBAL_VOLUME, 0x50});
    module.put(0, 1, 0, {0, 0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x08});
    module.put(0, 2, 0, {0, 0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x00});
    start_ticks(&module.song);
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
    start_ticks(&module.song);
    int highest = 0;
    for (int call = 0; call < 600; ++call) {
        play_tick(&module.song);
        highest = std::max(highest, module.song.order_index);
        ASSERT_LT(module.song.order_index, MAX_ORDERS);
    }
    EXPECT_EQ(highest, MAX_ORDERS - 1);
}

TEST(tick_sequencing, PatternWithoutRowsReadsNothing)
{
    TinyModule module(1, 3, 1);
    module.set_rows(1, 0);
    module.put(1, 0, 0, {C4, 1, 0, 0, 0});  // lies in the spare row, outside the grid
    module.song.default_speed = 1;
    start_ticks(&module.song);
    std::vector<Position> played = rows_played(&module.song, 3);
    EXPECT_EQ(describe(played), describe({{0, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(sound_output.voices[0].sample, nullptr);
}

TEST(tick_sequencing, OrderNamingAMissingPatternIsSilent)
{
    TinyModule module(1, 1, 4);
    module.song.orders[0] = 9;  // the song holds one pattern
    module.put(0, 0, 0, {C4, 1, 0, 0, 0});
    start_ticks(&module.song);
    run_ticks(&module.song, 30);
    EXPECT_EQ(module.song.order_index, 0);
    EXPECT_EQ(sound_output.voices[0].sample, nullptr);
}

TEST(tick_sequencing, AtMost32ChannelsArePlayed)
{
    TinyModule module(40, 1, 4);
    for (int c = 0; c < 40; ++c) module.put(0, 0, c, {C4, 1, 0, EFFECT_SET_VOLUME, 0x20});
    start_ticks(&module.song);
    run_ticks(&module.song, 12);
    EXPECT_EQ(channels[31].volume, 0x20);
    EXPECT_NE(sound_output.voices[31].sample, nullptr);
    for (int slot = 32; slot < VOICE_SLOTS; ++slot) {
        EXPECT_EQ(sound_output.voices[slot].sample, nullptr) << slot;
    }
}

}  // namespace
