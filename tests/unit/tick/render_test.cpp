// End to end: XM bytes through the loader, the tick engine, the mixer and
// the block fill; the pitch heard is measured by counting zero crossings.
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

// Left values of the first two seconds (the ring prepared before play) of
// a module of 16 rows with `row0` on row 0 and `row8` on row 8 of every
// channel.
std::vector<int16_t> render(int channels, uint16_t flags, int8_t relative_note, const std::vector<uint8_t>& row0,
                            const std::vector<uint8_t>& row8)
{
    TestModule module;
    module.channels = (uint16_t)channels;
    module.flags = flags;
    module.patterns[0].rows = 16;
    std::vector<uint8_t>& packed = module.patterns[0].packed;
    for (int row = 0; row < 16; ++row)
        for (int channel = 0; channel < channels; ++channel) {
            const std::vector<uint8_t> cell = row == 0 ? row0 : row == 8 ? row8 : empty_cell();
            packed.insert(packed.end(), cell.begin(), cell.end());
        }
    module.instruments = {instrument_with(square_wave(relative_note))};
    std::vector<uint8_t> bytes = build_module(module);
    Song* song = load_bytes(bytes);
    EXPECT_NE(song, nullptr);
    if (!song) return {};
    EXPECT_TRUE(open_offline_output(OUTPUT_RATE));
    EXPECT_TRUE(prepare_playback(song));
    std::vector<int16_t> left;
    for (int frame = 0; frame < sound_output.ring_frames; ++frame) left.push_back(sound_output.output_buffer[2 * frame]);
    free_song(song);
    close_sound_output();
    return left;
}

// Frequency in Hz of rows `first` to `last` (inclusive) from the sign changes.
double measured_hertz(const std::vector<int16_t>& left, int first, int last)
{
    int crossings = 0, sign = 0;
    for (int i = first * ROW_FRAMES; i < (last + 1) * ROW_FRAMES; ++i) {
        const int s = left[i] > 0 ? 1 : (left[i] < 0 ? -1 : 0);
        crossings += s != 0 && sign != 0 && s != sign;
        if (s != 0) sign = s;
    }
    return crossings / 2.0 * OUTPUT_RATE / ((last + 1 - first) * ROW_FRAMES);
}

}  // namespace

// A 32-value cycle plays at the note's sample rate / 32: C-4 8363 Hz. The
// first row of each half is skipped: the ramp settles there.
TEST(tick_render, NotesSoundAtTheirPitch)
{
    const struct {
        const char* name;
        uint16_t flags;
        int8_t relative_note;
        double hertz;  // of C-4; C-5 is twice that
    } cases[] = {
        {"linear table", SONG_LINEAR_FREQUENCIES, 0, 8363 / 32.0},
        {"Amiga table", 0, 0, 8362 / 32.0},
        {"relative note +12", SONG_LINEAR_FREQUENCIES, 12, 16726 / 32.0},
    };
    for (const auto& c : cases) {
        std::vector<int16_t> left = render(1, c.flags, c.relative_note, plain_cell(C4, 1), plain_cell(C5, 1));
        ASSERT_GE(left.size(), (size_t)16 * ROW_FRAMES);
        EXPECT_NEAR(measured_hertz(left, 1, 7), c.hertz, c.hertz * 0.01) << c.name;
        EXPECT_NEAR(measured_hertz(left, 9, 15), 2 * c.hertz, 2 * c.hertz * 0.01) << c.name;
    }
}

// 32 channels, moved to voices 32..63 by the second note, stay in tune.
TEST(tick_render, ThirtyTwoChannelsOnSixtyFourVoices)
{
    std::vector<int16_t> left = render(32, SONG_LINEAR_FREQUENCIES, 0, plain_cell(C4, 1, 0x12), plain_cell(C5, 1, 0x12));
    ASSERT_GE(left.size(), (size_t)16 * ROW_FRAMES);
    EXPECT_NEAR(measured_hertz(left, 1, 7), 8363 / 32.0, 8363 / 32.0 * 0.01);
    EXPECT_NEAR(measured_hertz(left, 9, 15), 16726 / 32.0, 16726 / 32.0 * 0.01);
    int peak = 0;
    for (int i = 9 * ROW_FRAMES; i < 16 * ROW_FRAMES; ++i) peak = std::max(peak, std::abs((int)left[i]));
    EXPECT_GT(peak, 32 * 50);  // all 32 voices sound
}
