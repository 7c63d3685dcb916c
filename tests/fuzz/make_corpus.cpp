// Writes the fuzzer's seed modules: small modules built with the tests'
// module builder, each reaching a different part of the loader and the
// tick engine (effects, envelopes, loop kinds, both frequency tables,
// missing patterns and empty instruments, the most channels).
//   fuzz_make_corpus tests/fuzz/corpus
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "tests/unit/music/xm_builder.h"
#include "tools/common/file_output.h"

namespace {

// One cycle of a wave, `length` values, 8 or 16 bit as `type` says, stored
// as deltas and looped over its middle half.
TestSample looped_sample(int length, uint8_t type, double harmonics = 0.3)
{
    const bool sixteen = (type & 0x10) != 0;
    const uint32_t width = sixteen ? 2 : 1;
    TestSample sample;
    sample.length = uint32_t(length) * width, sample.type = type;
    sample.loop_start = uint32_t(length / 4) * width, sample.loop_length = uint32_t(length / 2) * width;
    for (int i = 0, previous = 0; i < length; ++i) {
        const double phase = 2 * M_PI * i / length, value = std::sin(phase) + harmonics * std::sin(3 * phase);
        const int scaled = int(value / (1 + harmonics) * (sixteen ? 30000 : 100)), delta = scaled - previous;
        previous = scaled;
        sample.data.push_back(static_cast<uint8_t>(delta & 0xFF));
        if (sixteen) sample.data.push_back(static_cast<uint8_t>((delta >> 8) & 0xFF));
    }
    return sample;
}

// Rows of plain cells, `channels` per row.
TestPattern pattern_of(const std::vector<std::vector<std::vector<uint8_t>>>& rows, uint16_t row_count)
{
    TestPattern pattern;
    pattern.rows = row_count;
    for (uint16_t r = 0; r < row_count; ++r)
        for (const std::vector<uint8_t>& cell : r < rows.size() ? rows[r] : rows.back())
            pattern.packed.insert(pattern.packed.end(), cell.begin(), cell.end());
    return pattern;
}

TestModule module_of(uint16_t channels, const std::vector<TestInstrument>& instruments)
{
    TestModule module;
    module.channels = channels, module.instruments = instruments;
    return module;
}

TestModule basic_module()
{
    TestModule module = module_of(2, {instrument_with(looped_sample(64, 0x01))});
    module.patterns = {pattern_of({{plain_cell(49, 1), plain_cell(61, 1, 0x30)},
                                   {empty_cell(), empty_cell()},
                                   {plain_cell(97), plain_cell(56, 1)}},
                                  16)};
    return module;
}

// Every effect once, with the volume column's commands beside them.
TestModule effects_module()
{
    TestModule module =
        module_of(4, {instrument_with(looped_sample(128, 0x01)), instrument_with(looped_sample(96, 0x02))});
    module.speed = 4;
    std::vector<std::vector<std::vector<uint8_t>>> rows;
    const uint8_t effects[][2] = {
        {0x0, 0x37}, {0x1, 0x08}, {0x2, 0x08}, {0x3, 0x10}, {0x4, 0x46}, {0x5, 0x02}, {0x6, 0x20},
        {0x7, 0x48}, {0x8, 0x40}, {0x9, 0x01}, {0xA, 0x0F}, {0xC, 0x50}, {0xE, 0x13}, {0xE, 0x23},
        {0xE, 0x41}, {0xE, 0x5F}, {0xE, 0x74}, {0xE, 0x8C}, {0xE, 0x92}, {0xE, 0xA2}, {0xE, 0xB2},
        {0xE, 0xC2}, {0xE, 0xD2}, {0xE, 0xE1}, {0xF, 0x03}, {0xF, 0x80}, {0x10, 0x30}, {0x11, 0x12},
        {0x14, 0x02}, {0x15, 0x04}, {0x19, 0x21}, {0x1B, 0x32}, {0x1D, 0x21}, {0x21, 0x12}, {0x21, 0x22},
        {0xE, 0x60}, {0xE, 0x62}};
    const uint8_t volumes[] = {0x10, 0x40, 0x65, 0x75, 0x83, 0x93, 0xA4, 0xB4, 0xC8, 0xD3, 0xE3, 0xF4};
    for (int n = 0; n < int(std::size(effects)); ++n) {
        const uint8_t note = n % 3 == 0 ? static_cast<uint8_t>(40 + n % 30) : 0;
        rows.push_back({plain_cell(note, uint8_t(1 + n % 2), volumes[n % 12], effects[n][0], effects[n][1]),
                        plain_cell(static_cast<uint8_t>(50 + n % 20), 2, 0, 0, 0), empty_cell(),
                        plain_cell(n % 5 == 0 ? 97 : 0, 0, 0, 0xA, 0x01)});
    }
    module.patterns = {pattern_of(rows, static_cast<uint16_t>(rows.size())),
                       pattern_of({{plain_cell(49, 1, 0, 0xB, 0x00), empty_cell(), empty_cell(),
                                    plain_cell(0, 0, 0, 0xD, 0x10)}}, 8)};
    module.song_length = 3, module.orders = {0, 1, 0}, module.restart = 1;
    return module;
}

// Volume and panning envelopes with sustain and loop, fadeout, auto-vibrato.
TestModule envelope_module()
{
    TestInstrument instrument = instrument_with(looped_sample(256, 0x01));
    instrument.volume_envelope = {{0, 64}, {10, 40}, {20, 60}, {40, 10}, {60, 0}};
    instrument.panning_envelope = {{0, 32}, {8, 0}, {16, 64}, {24, 32}};
    // volume points, panning points, volume sustain, loop start, loop end,
    // panning sustain, loop start, loop end, types, vibrato type .. rate
    const uint8_t fields[14] = {5, 4, 2, 1, 3, 1, 0, 3, 0x07, 0x05, 2, 8, 6, 40};
    std::copy(std::begin(fields), std::end(fields), instrument.fields);
    instrument.fadeout = 800;
    TestModule module = module_of(3, {instrument});
    module.patterns = {pattern_of({{plain_cell(49, 1), plain_cell(53, 1, 0, 0x15, 0x08), plain_cell(56, 1)},
                                   {empty_cell(), empty_cell(), empty_cell()},
                                   {plain_cell(97), empty_cell(), plain_cell(0, 0, 0, 0x14, 0x03)},
                                   {empty_cell(), empty_cell(), empty_cell()}}, 32)};
    return module;
}

// Amiga table, 16-bit ping-pong samples, several samples per instrument.
TestModule amiga_pingpong_module()
{
    TestInstrument instrument;
    instrument.samples = {looped_sample(200, 0x12, 0.0), looped_sample(120, 0x11, 0.5),
                          looped_sample(80, 0x00, 0.8)};
    instrument.samples[1].relative_note = 12;
    instrument.samples[2].finetune = -40;
    for (int note = 0; note < SAMPLE_MAP_NOTES; ++note) instrument.sample_map[note] = static_cast<uint8_t>(note / 32);
    TestModule module = module_of(2, {instrument});
    module.flags = 0;
    module.patterns = {pattern_of({{plain_cell(25, 1, 0, 0x0, 0x47), plain_cell(70, 1, 0, 0x4, 0x88)},
                                   {plain_cell(45, 1, 0, 0x3, 0x20), plain_cell(90, 1, 0, 0x1, 0x04)}}, 12)};
    return module;
}

// An order table naming patterns the file does not store, an instrument
// without samples, and packed cells of every mask.
TestModule sparse_module()
{
    TestModule module = module_of(2, {TestInstrument{}, instrument_with(looped_sample(32, 0x00))});
    module.song_length = 4, module.orders = {0, 3, 1, 5};
    TestPattern packed, empty;
    packed.rows = 4, empty.rows = 2, empty.packed_size = 0;
    packed.packed = {0x83, 49, 2, 0x80, 0x9F, 50, 1, 0x20, 0x0C, 0x30, 0x81, 97,
                     0x88, 0x0F, 0x90, 0x7F, 0x85, 60, 0x40, 0x80};
    module.patterns = {packed, empty};
    return module;
}

// The most channels the player holds, each with a note.
TestModule wide_module()
{
    TestModule module = module_of(MAX_CHANNELS, {instrument_with(looped_sample(48, 0x02))});
    module.bpm = 255, module.speed = 1;
    std::vector<std::vector<uint8_t>> row;
    for (int c = 0; c < MAX_CHANNELS; ++c) row.push_back(plain_cell(static_cast<uint8_t>(1 + c * 3), 1));
    module.patterns = {pattern_of({row, std::vector<std::vector<uint8_t>>(MAX_CHANNELS, empty_cell())}, 4)};
    return module;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_corpus DIR\n");
        return 2;
    }
    const struct {
        const char* name;
        TestModule module;
    } seeds[] = {{"basic", basic_module()},       {"effects", effects_module()},
                 {"envelopes", envelope_module()}, {"amiga-pingpong", amiga_pingpong_module()},
                 {"sparse", sparse_module()},     {"wide", wide_module()}};
    for (const auto& seed : seeds) {
        const std::vector<uint8_t> bytes = build_module(seed.module);
        std::string path = std::string(argv[1]) + "/" + seed.name + ".xm", error;
        // That each seed loads and plays is the fuzz_inputs test's to check.
        if (!write_file(path, bytes, &error)) {
            std::fprintf(stderr, "fuzz_make_corpus: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    }
    return 0;
}
