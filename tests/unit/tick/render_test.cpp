// End to end: XM bytes through the loader, the tick engine, the mixer and
// the block fill; the pitch heard is measured by counting zero crossings.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/unit/music/xm_builder.h"
#include "tests/unit/tick/tiny_module.h"

namespace {

constexpr int ROW_FRAMES = 6 * 441;  // speed 6 at 125 BPM, 22050 Hz

// A looped 8-bit square wave of 32 values, delta coded: 16 x +100, 16 x -100.
TestSample square_wave(int8_t relative_note)
{
    TestSample sample;
    sample.length = sample.loop_length = 32;
    sample.type = 1;  // forward loop
    sample.relative_note = relative_note;
    sample.data.assign(32, 0);
    sample.data[0] = 100;
    sample.data[16] = (uint8_t)(-200 & 0xFF);
    return sample;
}

// A pattern of 16 rows; `cells` holds (row, channel, cell) entries.
TestPattern pattern_of(int channels, const std::vector<std::pair<int, std::vector<uint8_t>>>& cells)
{
    TestPattern pattern;
    pattern.rows = 16;
    for (int row = 0; row < 16; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            std::vector<uint8_t> cell = empty_cell();
            for (const auto& entry : cells)
                if (entry.first == row * 100 + channel) cell = entry.second;
            pattern.packed.insert(pattern.packed.end(), cell.begin(), cell.end());
        }
    }
    return pattern;
}

// Left values of the first two seconds (the ring prepared before play).
std::vector<int16_t> render(const TestModule& module)
{
    std::vector<uint8_t> bytes = build_module(module);
    Song* song = load_bytes(bytes);
    EXPECT_NE(song, nullptr);
    if (!song) return {};
    EXPECT_EQ(song->tick_handler, &play_tick);
    EXPECT_TRUE(open_offline_output(OUTPUT_RATE));
    EXPECT_TRUE(prepare_playback(song));
    std::vector<int16_t> left;
    for (int frame = 0; frame < sound_output.ring_frames; ++frame)
        left.push_back(sound_output.output_buffer[2 * frame]);
    free_song(song);
    close_sound_output();
    return left;
}

// Frequency of a waveform in Hz between two frames, from its sign changes.
double measured_hertz(const std::vector<int16_t>& left, int from, int to)
{
    int crossings = 0, sign = 0;
    for (int i = from; i < to; ++i) {
        int s = left[i] > 0 ? 1 : (left[i] < 0 ? -1 : 0);
        if (s != 0 && sign != 0 && s != sign) ++crossings;
        if (s != 0) sign = s;
    }
    return crossings / 2.0 * OUTPUT_RATE / (to - from);
}

int peak(const std::vector<int16_t>& left, int from, int to)
{
    int largest = 0;
    for (int i = from; i < to; ++i) largest = std::max(largest, std::abs((int)left[i]));
    return largest;
}

struct RenderCase {
    const char* name;
    uint16_t flags;
    int8_t relative_note;
    std::vector<uint8_t> row0, row8;
    double first_hertz, second_hertz;  // rows 0..7 and rows 8..15; 0: silent
};

void PrintTo(const RenderCase& c, std::ostream* out) { *out << c.name; }

// A 32-value cycle plays at the note's sample rate / 32: C-4 8363 Hz.
const RenderCase render_cases[] = {
    {"C-4 then C-5, linear table", SONG_LINEAR_FREQUENCIES, 0, plain_cell(C4, 1), plain_cell(C5, 1),
     8363 / 32.0, 16726 / 32.0},
    {"C-4 then C-5, Amiga table", 0, 0, plain_cell(C4, 1), plain_cell(C5, 1), 8362 / 32.0,
     16725 / 32.0},
    {"relative note +12", SONG_LINEAR_FREQUENCIES, 12, plain_cell(C4, 1), plain_cell(C5, 1),
     16726 / 32.0, 33452 / 32.0},
    {"tone portamento reaches G-4", SONG_LINEAR_FREQUENCIES, 0, plain_cell(C4, 1),
     plain_cell(G4, 0, 0, EFFECT_TONE_PORTA, 0xFF), 8363 / 32.0, 8363 * 1.4983 / 32.0},
    {"key off silences an instrument without envelope", SONG_LINEAR_FREQUENCIES, 0, plain_cell(C4, 1),
     plain_cell(97), 8363 / 32.0, 0},  // the file's key-off value
};

class tick_render : public ::testing::TestWithParam<RenderCase> {};

TEST_P(tick_render, NotesSoundAtTheirPitch)
{
    const RenderCase& c = GetParam();
    TestModule module;
    module.channels = 1;
    module.flags = c.flags;
    module.patterns = {pattern_of(1, {{0, c.row0}, {800, c.row8}})};
    module.instruments = {instrument_with(square_wave(c.relative_note))};
    std::vector<int16_t> left = render(module);
    ASSERT_GE(left.size(), (size_t)16 * ROW_FRAMES);
    // Skip the first row of each half: the ramp and the slide settle there.
    double first = measured_hertz(left, ROW_FRAMES, 8 * ROW_FRAMES);
    double second = measured_hertz(left, 9 * ROW_FRAMES, 16 * ROW_FRAMES);
    EXPECT_NEAR(first, c.first_hertz, c.first_hertz * 0.01) << c.name;
    if (c.second_hertz > 0)
        EXPECT_NEAR(second, c.second_hertz, c.second_hertz * 0.01) << c.name;
    else
        EXPECT_EQ(peak(left, 9 * ROW_FRAMES, 16 * ROW_FRAMES), 0) << c.name;
}

INSTANTIATE_TEST_SUITE_P(tick, tick_render, ::testing::ValuesIn(render_cases), case_name<RenderCase>);

// 32 channels, moved to voices 32..63 by the second note, stay in tune.
TEST(tick_render_wide, ThirtyTwoChannelsOnSixtyFourVoices)
{
    std::vector<std::pair<int, std::vector<uint8_t>>> cells;
    for (int channel = 0; channel < 32; ++channel) {
        cells.push_back({channel, plain_cell(C4, 1, 0x12)});
        cells.push_back({800 + channel, plain_cell(C5, 1, 0x12)});
    }
    TestModule module;
    module.channels = 32;
    module.patterns = {pattern_of(32, cells)};
    module.instruments = {instrument_with(square_wave(0))};
    std::vector<int16_t> left = render(module);
    ASSERT_GE(left.size(), (size_t)16 * ROW_FRAMES);
    EXPECT_NEAR(measured_hertz(left, ROW_FRAMES, 8 * ROW_FRAMES), 8363 / 32.0, 8363 / 32.0 * 0.01);
    EXPECT_NEAR(measured_hertz(left, 9 * ROW_FRAMES, 16 * ROW_FRAMES), 16726 / 32.0,
                16726 / 32.0 * 0.01);
    EXPECT_GT(peak(left, 9 * ROW_FRAMES, 16 * ROW_FRAMES), 32 * 50);  // all 32 voices sound
}

}  // namespace
