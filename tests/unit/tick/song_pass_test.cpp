// The song's first pass: how long it plays before a row comes round
// again, with jumps, breaks, loops, delays and tempo changes followed as
// the tick engine plays them, and what the measurement leaves behind.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/music/xm_builder.h"

namespace {

// One tick at 125 BPM is 441 frames at 22050 Hz (20 ms); a row of speed 6
// is six of them.
const uint64_t T = 441, ROW = 6 * T;

SongPass measured(const TestModule& module, int rate = OUTPUT_RATE) {
    SongPass pass;
    Song* song = load_bytes(build_module(module));
    EXPECT_TRUE(song && measure_song_pass(song, rate, &pass)) << song_load_status.reason;
    free_song(song);
    return pass;
}

TEST(tick_song_pass, LengthUntilARowComesRoundAgain) {
    const struct {
        const char* name;
        int patterns, rows, restart;  // order i plays pattern i, channel 1 holds the effects
        std::vector<Cell> cells;
        uint64_t frames;
        uint32_t rows_played;
        int end_order, end_row;
    } cases[] = {
        {"three orders, then the restart position", 3, 4, 1, {}, 3 * 4 * ROW, 12, 1, 0},
        {"B01 on row 3 of the last order", 3, 8, 0, {{2, 3, 1, jump(1)}}, (8 + 8 + 4) * ROW, 20, 1, 0},
        {"D04 on row 1 goes on at row 4 of order 1", 2, 8, 0, {{0, 1, 1, brk(0x04)}}, (2 + 4) * ROW, 6, 0, 0},
        {"E60 on row 4, E62 on row 8: rows 4 to 8 three times", 1, 12, 0, {{0, 4, 1, loop(0)}, {0, 8, 1, loop(2)}},
         (12 + 2 * 5) * ROW, 22, 0, 0},
        // Rows 2 and 3 twice, the rest of order 0, then B00 with D03 to
        // row 3 of order 0: played (twice) already, so the pass ends there.
        {"a jump into a loop played before", 2, 8, 0,
         {{0, 2, 1, loop(0)}, {0, 3, 1, loop(1)}, {1, 0, 0, jump(0)}, {1, 0, 1, brk(0x03)}}, (8 + 2 + 1) * ROW, 11,
         0, 3},
        // F03 from row 0 at 125 BPM, F96 (150 BPM) from row 8: 22050 x 5 /
        // 300 = 367.5, so 367 frames a tick.
        {"F03 on row 0, F96 on row 8", 1, 16, 0, {{0, 0, 1, cell(0, 0, 'F', 3)}, {0, 8, 1, cell(0, 0, 'F', 0x96)}},
         8 * 3 * T + 8 * 3 * 367, 16, 0, 0},
        {"EE2 on row 2 plays it three times as long", 1, 8, 0, {{0, 2, 1, cell(0, 0, 'E', 0xE2)}}, (8 + 2) * ROW, 8,
         0, 0},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module(2, c.patterns, c.rows);
        module.restart = uint16_t(c.restart), module.cells = c.cells;
        const SongPass pass = measured(module);
        EXPECT_EQ(pass.frames, c.frames) << c.name;
        EXPECT_EQ(std::vector<int>({pass.ended, int(pass.rows), pass.end_order, pass.end_row}),
                  std::vector<int>({true, int(c.rows_played), c.end_order, c.end_row})) << c.name;
    }
    // An order naming a pattern the file does not store plays 64 empty
    // rows (the song is two orders long: 0, then the missing 2).
    TestModule gap = tick_module(1, 2, 4);
    gap.orders = {0, 2, 1};
    EXPECT_EQ(measured(gap).frames, (4 + 64) * ROW);
    // The same pass at 44100 Hz: 882 frames a tick.
    EXPECT_EQ(measured(tick_module(1, 1, 16), 44100).frames, 16 * 6 * 882u);
    // 256 orders of 256 rows at speed 31 would take 2031616 ticks: more
    // than are followed, so no end is found.
    TestModule endless = tick_module(1, 1, 256);
    endless.song_length = 256;
    endless.orders.assign(256, 0);
    endless.speed = 31;
    const SongPass pass = measured(endless);
    EXPECT_TRUE(!pass.ended && pass.ticks == MAX_PASS_TICKS && pass.frames == uint64_t{MAX_PASS_TICKS} * T);
}

// The measurement borrows the tick engine: the tracks, the voices and the
// song's play state are as it found them, and it refuses to run while a
// song plays (the mixing thread would own them).
TEST(tick_song_pass, LeavesTheEngineAsItFoundIt) {
    TestModule module = tick_module(2, 2, 8);
    module.put_rows({cell(C4, 0, 'A', 0x01), cell(E4)});
    Playing play(module);
    play.ticks(9);
    const Song song = *play.song;
    TrackChannel tracks[MAX_CHANNELS];
    std::memcpy(tracks, channels, sizeof tracks);
    std::vector<Voice> voices(sound_output.voices, sound_output.voices + VOICE_SLOTS);
    SongPass pass;
    ASSERT_TRUE(measure_song_pass(play.song, OUTPUT_RATE, &pass));
    EXPECT_EQ(pass.frames, 16 * ROW);
    EXPECT_EQ(std::memcmp(&song, play.song, sizeof song), 0);
    EXPECT_EQ(std::memcmp(tracks, channels, sizeof tracks), 0);
    EXPECT_EQ(std::memcmp(voices.data(), sound_output.voices, sizeof(Voice) * VOICE_SLOTS), 0);

    ASSERT_TRUE(prepare_playback(play.song));
    EXPECT_FALSE(measure_song_pass(play.song, OUTPUT_RATE, &pass));
    EXPECT_EQ(pass.frames, 0u);
    stop_song(play.song);
}

}  // namespace
