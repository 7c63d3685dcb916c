// brindlec-music's own parts: the summary --info prints, the length of a
// render to the song's end with its ring-out, and where the song was at a
// frame for the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/unit/music/xm_builder.h"
#include "tools/music/module_info.h"
#include "tools/music/song_end.h"

namespace {

// One tick at 125 BPM is 441 frames at 22050 Hz (20 ms).
const uint64_t T = 441;


TEST(music_tool_info, SummaryInTheOrderPlayersGiveIt) {
    TestModule module = tick_module(2, 2, 16);
    module.title = "Sines\x1b[2J";  // an escape sequence reaches no terminal
    module.restart = 1;
    TestInstrument one = instrument_with(wave_sample()), none, two = one;
    one.name = "sine";
    two.name = "two sines";
    two.samples.push_back(wave_sample());
    module.instruments = {one, none, two};
    Song* song = load_bytes(build_module(module));
    ASSERT_NE(song, nullptr);
    SongPass pass;
    ASSERT_TRUE(measure_song_pass(song, OUTPUT_RATE, &pass));
    // 2 orders of 16 rows, 6 ticks of 20 ms each: 3.84 s, then order 1.
    EXPECT_EQ(module_summary(song, pass, OUTPUT_RATE, ""),
              "Title:       Sines.[2J\n"
              "Type:        FastTracker 2 extended module (XM 1.04)\n"
              "Tracker:     brindlec tests\n"
              "Duration:    00:03.840, then again from order 1, row 0\n"
              "Speed:       6 ticks a row, 125 BPM\n"
              "Channels:    2\n"
              "Orders:      2, restart at 1\n"
              "Patterns:    2\n"
              "Instruments: 3, 2 with samples\n"
              "Samples:     3\n"
              "    1  sine\n"
              "    3  two sines               2 samples\n");
    const std::string cut = module_summary(song, SongPass{}, OUTPUT_RATE, "the file ends inside the data");
    EXPECT_NE(cut.find("Duration:    more than 00:00.000: no row comes round again\n"), std::string::npos);
    EXPECT_NE(cut.find("Note:        the file ends inside the data; the rest plays as silence\n"), std::string::npos);
    free_song(song);

    // Rounded to the millisecond (11 frames are 0.499 ms); minutes past 99.
    EXPECT_EQ(format_duration(11, 22050) + format_duration(12, 22050) + format_duration(22050 * 61 + 11025, 22050) +
                  format_duration(8000 * 6000, 8000), "00:00.00000:00.00101:01.500100:00.000");
    EXPECT_EQ(printable("a\tb\x7f\xe9  "), "a.b..");
}

// Renders the song from its start as brindlec-music --wav does without
// --seconds; the frames rendered.
std::vector<int16_t> render_to_end(Song* song, SongPass* pass) {
    EXPECT_TRUE(measure_song_pass(song, OUTPUT_RATE, pass));
    start_song_end(song, *pass, OUTPUT_RATE, false);
    EXPECT_TRUE(start_offline_render(song, OUTPUT_RATE));
    std::vector<int16_t> out;
    render_song(pass->frames + tail_frames(OUTPUT_RATE), OUTPUT_RATE, [&](const int16_t* frames, uint32_t count) {
        out.insert(out.end(), frames, frames + 2 * count);
        return true;
    });
    return out;
}

int peak(const std::vector<int16_t>& values, size_t from, size_t to) {
    int largest = 0;
    for (size_t i = from; i < to && i < values.size(); ++i) largest = std::max(largest, std::abs(int(values[i])));
    return largest;
}

// One pattern of 4 rows at speed 6: the first pass is 24 ticks. The note
// on its last row starts at tick 18 and rings on after the pass.
TEST(music_tool_render, ThePassThenItsLastNotesUntilTheyFallSilent) {
    const std::vector<PatternNote> LAST = {cell(0), cell(0), cell(0), cell(C4)};
    TestInstrument fading = instrument_with(wave_sample());
    fading.volume_envelope = {{0, 64}, {10, 64}};
    fading.fields[0] = 2;  // two points,
    fading.fields[8] = ENVELOPE_ON;
    fading.fadeout = 2048;  // 4096 a tick once loaded
    const struct {
        const char* name;
        TestInstrument instrument;
        std::vector<PatternNote> rows;
        uint64_t frames;
        bool fades = false;  // the ring-out's time runs out
    } cases[] = {
        // 8000 values at C-4 (8363 a second): 8000 x 22050 / 8363 = 21092.9
        // frames, in the 48th tick from the note's start; silent from the 49th.
        {"a one-shot sample plays to its end", instrument_with(wave_sample(8000, false)), LAST, 18 * T + 48 * T},
        // Nothing releases a note without volume envelope: it holds, the
        // last of the ring-out's 150 ticks fading. Before the 150th the
        // global volume is 64 x 441 / 22050 = 1, and a voice at volume 1
        // in the centre has gains of 127 x 1 / 255 = 0: silent from there.
        {"a held loop rings out for the whole time", instrument_with(wave_sample()), LAST, 24 * T + 149 * T, true},
        // Released at the pass's end, the fadeout takes 65536 / 4096 = 16
        // ticks, the first at the pass's end; the voice is silent after
        // the volume ramp of the 16th.
        {"a released note falls silent by its fadeout", fading, LAST, 24 * T + 16 * T},
        // A key-off silences a note without volume envelope at once.
        {"a song that ends in silence ends there", instrument_with(wave_sample()),
         {cell(C4), cell(0), cell(0), cell(KEY_OFF)}, 24 * T},
    };
    for (const auto& c : cases) {
        TestModule module = tick_module(1, 1, 4);
        module.instruments = {c.instrument};
        module.put_rows(c.rows);
        Song* song = load_bytes(build_module(module));
        ASSERT_NE(song, nullptr) << c.name;
        SongPass pass;
        const std::vector<int16_t> out = render_to_end(song, &pass);
        EXPECT_EQ(out.size() / 2, c.frames) << c.name;
        // A ring-out cut by its time fades: its last tick is 50 times
        // quieter than its first, no click at the end.
        EXPECT_TRUE(!c.fades ||
                    peak(out, 2 * (c.frames - T), 2 * c.frames) * 50 < peak(out, 2 * 24 * T, 2 * 25 * T)) << c.name;
        free_song(song);
    }
    // A song rendered for a set length next (as --seconds renders) plays
    // all of it: the end the last one reached is not its own.
    Song* song = load_bytes(build_module(tick_module(1, 1, 4)));
    ASSERT_TRUE(song && start_offline_render(song, OUTPUT_RATE));
    EXPECT_EQ(render_song(40 * T, OUTPUT_RATE, [](const int16_t*, uint32_t) { return true; }), 40 * T);
    free_song(song);
}

// Where the song was at a frame, as the status line shows it: two orders
// of 4 rows of 6 ticks, the note of order 1 sounding from its row 0.
TEST(music_tool_render, MomentsFollowTheSong) {
    TestModule module = tick_module(1, 2, 4);
    module.put(1, 0, 0, cell(C4));
    Song* song = load_bytes(build_module(module));
    ASSERT_NE(song, nullptr);
    SongPass pass;
    render_to_end(song, &pass);
    // Frame; order (= pattern), row, sounding, ringing out.
    const std::vector<std::vector<int>> moments = {
        {0, 0, 0, 0, 0}, {6 * T - 1, 0, 0, 0, 0}, {6 * T, 0, 1, 0, 0}, {37 * T, 1, 2, 1, 0}, {48 * T + 5, 1, 3, 1, 1}};
    for (const auto& m : moments) {
        const SongMoment at = song_moment_at(uint64_t(m[0]));
        EXPECT_EQ(std::vector<int>({m[0], at.order, at.pattern, at.row, at.peak > 0, at.ringing}),
                  std::vector<int>({m[0], m[1], m[1], m[2], m[3], m[4]}));
    }
    free_song(song);
}

}  // namespace
