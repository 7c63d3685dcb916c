// The XM loader on small modules built in the tests: what it reads, how it
// prepares samples, and every file it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>

#include "tests/unit/music/xm_builder.h"

namespace {

// A loaded song, freed at the end of the scope so leaks show under
// AddressSanitizer.
struct Loaded {
    SongLoadStatus status;
    Song* song;
    explicit Loaded(const std::vector<uint8_t>& bytes) : song(load_bytes(bytes, &status)) {}
    explicit Loaded(const TestModule& module) : Loaded(build_module(module)) {}
    ~Loaded() { free_song(song); }
    Song* operator->() const { return song; }
    const Sample& sample(int i = 0, int slot = 0) const { return *song->instruments[i].samples[slot]; }
};

TestSample sample_8bit(std::vector<uint8_t> d) { return {uint32_t(d.size()), 0, 0, 64, 0, 128, 0, 0, d}; }

TEST(music_xm_loader, WhatItReadsAndClamps) {
    TestModule module;
    module.song_length = 3, module.restart = 2, module.channels = 3, module.bpm = 130;
    module.orders = {1, 3, 0, 5};  // pattern 3 is not stored, order 3 lies beyond the song length
    module.patterns = {TestPattern{32, {}, -1}, TestPattern{4, {}, -1}};  // nothing stored for pattern 0
    module.patterns[1].packed = {
        49, 1, 0x40, 0x0F, 0x06, 0x9F, 13, 2, 0x10, 0x0C, 0x20, 0x80,  // plain, packed with every field, empty
        0x89, 25, 0x03, 0, 3, 0, 0, 0, 0x82, 7,                        // note and effect, no note, instrument only
        0x83, 96, 128, 0x83, 97, 129, 0x83, 98, 255,                   // the highest note and instrument; beyond
        0x83, 255, 0, 0x83, 254, 200, 0x83, 127, 1,
    };
    TestInstrument plain = instrument_with(sample_8bit({1})), damaged = plain, silent, three;
    plain.sample_map[95] = 3;
    plain.volume_envelope = {{0, 65}, {10, 64}, {20, 65535}};  // values beyond 64 read as 64
    plain.panning_envelope = {{0, 32}, {3, 300}};
    const uint8_t fields[14] = {3, 1, 1, 0, 2, 0, 0, 0, 7, 1, 2, 3, 4, 5};  // volume_points .. vibrato_rate
    std::copy(fields, fields + 14, plain.fields);
    plain.fadeout = 128;
    // 20 volume points (12 are stored) with a loop from point 15; a
    // panning loop from point 3 of 3; a fadeout whose double saturates.
    const uint8_t damaged_fields[14] = {20, 3, 0, 15, 18, 0, 3, 2, 5, 5, 0, 0, 0, 0};
    std::copy(damaged_fields, damaged_fields + 14, damaged.fields);
    damaged.fadeout = 0x9000;
    silent.header_size = 40;  // 11 bytes beyond the fields read
    three.samples = {sample_8bit({1, 1}), TestSample{}, sample_8bit({3})};
    three.samples[2].volume = 200;  // beyond 64; finetune and relative note play in the tick tests
    module.instruments = {plain, damaged, silent, three};
    Loaded song(module);
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(std::vector<int>({song->song_length, song->restart_position, song->channel_count, song->instrument_count,
                                song->flags, song->default_speed, song->default_bpm, song->orders[1], song->orders[3],
                                song->used_pattern_count, song->pattern_slots, song->initial_global_volume,
                                song->patterns[0].row_count, song->patterns[3].row_count}),
              (std::vector<int>{3, 2, 3, 4, 1, 6, 130, 3, 5, 4, 4, 64, 32, 64}));  // stored empty, not stored
    const int cells[12][5] = {
        {49, 1, 0x40, 0x0F, 0x06}, {13, 2, 0x10, 0x0C, 0x20}, {0, 0, 0, 0, 0}, {25, 0, 0, 0x03, 0}, {0, 3, 0, 0, 0},
        {0, 7, 0, 0, 0}, {96, 128, 0, 0, 0}, {NOTE_KEY_OFF, 0, 0, 0, 0}, {0, 0, 0, 0, 0},  // 98: no note
        {NOTE_KEY_OFF, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 1, 0, 0, 0},
    };
    for (int i = 0; i < 12; ++i) {
        const PatternNote& n = song->patterns[1].notes[i];
        EXPECT_EQ(std::vector<int>({n.note, n.instrument, n.volume, n.effect, n.param}),
                  std::vector<int>(cells[i], cells[i] + 5)) << "cell " << i;
    }
    // A single panning point turns that envelope off; a loop starting
    // beyond the points is switched off.
    const Instrument &i = song->instruments[0], &d = song->instruments[1];
    EXPECT_EQ(std::vector<int>({i.sample_map[95], i.volume_envelope[0].y, i.volume_envelope[1].x,
                                i.volume_envelope[2].y, i.panning_envelope[1].y, i.volume_points, i.volume_sustain,
                                i.volume_loop_end, i.volume_type, i.panning_points, i.panning_type, i.vibrato_type,
                                i.vibrato_sweep, i.vibrato_depth, i.vibrato_rate, i.fadeout}),
              (std::vector<int>{3, 64, 10, 64, 64, 3, 1, 2, 7, 1, 0, 2, 3, 4, 5, 256}));
    EXPECT_EQ(std::vector<int>({d.volume_points, d.volume_type, d.panning_points, d.panning_type, d.fadeout}),
              (std::vector<int>{ENVELOPE_POINTS_READ, ENVELOPE_ON, 3, ENVELOPE_ON, 0xFFFF}));
    // Samples in slot order after an instrument without any; the slots
    // beyond hold the shared empty sample.
    EXPECT_TRUE(song->instruments[2].sample_count == 0 && song->instruments[2].samples[0] == &empty_sample);
    EXPECT_TRUE(song->instruments[3].sample_count == 3 && song->instruments[3].samples[3] == &empty_sample);
    EXPECT_TRUE(song.sample(3, 0).data[1] == 512 && song.sample(3, 1).length == 0 && !song.sample(3, 1).data);
    EXPECT_TRUE(song.sample(3, 2).data[0] == 768 && song.sample(3, 2).volume == 64);
    TestModule bare;  // sample headers that end where the file ends, with no data after them
    bare.instruments = {instrument_with(TestSample{})};
    bare.restart = 1;  // the song's length: no order of the song, so order 0
    EXPECT_EQ(Loaded(bare).song ? Loaded(bare)->restart_position : -1, 0);
}

TEST(music_xm_loader, SampleDecodingAndLoops) {
    const uint8_t NONE = LOOP_NONE, FORWARD = LOOP_FORWARD, PINGPONG = LOOP_PINGPONG;
    const struct {
        const char* name;
        uint8_t type;
        uint32_t loop_start, loop_length;  // as stored, in bytes
        uint32_t want_start, want_loop, want_type;
        int after;  // the value after the loop's end, in place for the interpolation
        std::vector<uint8_t> data = {1, 1, 1, 1, 1, 1};  // deltas: 256, 512, ... 1536
        size_t cut = 0;               // bytes missing at the end of the file
        std::vector<int> values = {};  // the first values held
    } cases[] = {
        {"forward: the loop start after the loop", 1, 1, 3, 1, 3, FORWARD, 512},
        {"ping-pong: its last value", 2, 1, 3, 1, 3, PINGPONG, 1024},
        {"a loop of length 0", 1, 2, 0, 0, 6, NONE, 0},
        {"a loop beyond the end", 1, 4, 10, 4, 2, FORWARD, 1280},
        {"a loop starting beyond the end", 2, 9, 3, 0, 6, NONE, 0},
        {"16-bit lengths halved", 0x11, 2, 6, 1, 3, FORWARD, 2, {1, 0, 1, 0, 1, 0, 1, 0}, 0, {1, 2, 3, 4}},
        {"a 16-bit loop beyond the end", 0x11, 2, 10, 1, 3, FORWARD, 2, {1, 0, 1, 0, 1, 0, 1, 0}, 0, {1, 2, 3, 4}},
        {"8-bit deltas in steps of 256", 0, 0, 0, 0, 3, NONE, 0, {1, 1, 0xFE}, 0, {256, 512, 0}},
        // 1000, -1500, 32767, 32766 give 1000, -500, 32267 and, wrapping, -503.
        {"16-bit deltas", 0x10, 0, 0, 0, 4, NONE, 0, {0xE8, 0x03, 0x24, 0xFA, 0xFF, 0x7F, 0xFE, 0x7F}, 0,
         {1000, -500, 32267, -503}},
        {"cut short: silence", 0, 0, 0, 0, 6, NONE, 0, {10, 10, 10, 10, 10, 10}, 4, {2560, 5120, 0, 0, 0, 0}},
        {"cut inside a 16-bit value", 0x10, 0, 0, 0, 3, NONE, 0, {16, 0, 16, 0, 16, 0}, 3, {16, 0, 0}},
    };
    for (const auto& c : cases) {
        TestSample sample = sample_8bit(c.data);
        sample.type = c.type, sample.loop_start = c.loop_start, sample.loop_length = c.loop_length;
        TestModule module;
        module.instruments = {instrument_with(sample)};
        std::vector<uint8_t> bytes = build_module(module);
        Loaded song(std::vector<uint8_t>(bytes.begin(), bytes.end() - long(c.cut)));
        ASSERT_NE(song.song, nullptr) << c.name;
        const Sample& s = song.sample();
        EXPECT_EQ(std::vector<int>(s.data, s.data + c.values.size()), c.values) << c.name;
        const int after = s.data[s.loop_start + s.loop_length];
        EXPECT_EQ(std::vector<int>({s.bits, int(s.loop_start), int(s.loop_length), s.loop_type, after}),
                  std::vector<int>({16, int(c.want_start), int(c.want_loop), int(c.want_type), c.after})) << c.name;
    }
}

// A module that loads as it is, with parts a refusal could leave behind:
// packed cells, an instrument without samples, two samples of data.
TestModule rich_module() {
    TestModule module;
    module.channels = 3;
    module.patterns[0] = {2, {1, 1, 0x20, 1, 2, 0x8F, 97, 2, 0x40, 5, 0x80, 0x83, 2, 1, 0x80, 0x80}};
    TestInstrument silent, two;
    silent.header_size = 29;
    two.samples = {sample_8bit(std::vector<uint8_t>(2000, 1)), sample_8bit(std::vector<uint8_t>(32, 0x11))};
    module.instruments = {silent, two};
    return module;
}

// Every file below is refused with the check it failed: no song comes back
// and (checked under AddressSanitizer) nothing allocated stays behind.
TEST(music_xm_loader, RefusedModulesAndTheirReasons) {
    using M = TestModule;
    const struct {
        std::function<void(M&)> change;
        SongLoadError error;
        const char* reason;
    } cases[] = {
        {[](M& m) { m.signature = "Extended Module:_"; }, LOAD_NOT_XM,
         "no \"Extended Module: \" signature: not an XM module"},
        {[](M& m) { m.channels = 0; }, LOAD_CHANNELS, "no channels"},
        {[](M& m) { m.channels = 33, m.patterns[0].packed = {}; }, LOAD_CHANNELS, "33 channels; at most 32 are played"},
        {[](M& m) { m.song_length = 0; }, LOAD_SONG_LENGTH, "song length 0; 1 to 256 orders are played"},
        {[](M& m) { m.song_length = 257; }, LOAD_SONG_LENGTH, "song length 257; 1 to 256 orders are played"},
        {[](M& m) { m.stored_patterns = 257; }, LOAD_PATTERN_COUNT, "257 patterns; at most 256"},
        {[](M& m) { m.instrument_count = 129; }, LOAD_INSTRUMENT_COUNT, "129 instruments; at most 128"},
        {[](M& m) { m.patterns[0].rows = 0; }, LOAD_PATTERN_ROWS, "pattern 0 declares 0 rows"},
        {[](M& m) { m.patterns[0].rows = 257; }, LOAD_PATTERN_ROWS, "pattern 0 declares 257 rows"},
        // A pattern the file lacks: the instrument's name, "in|st", reads as its row count.
        {[](M& m) { m.stored_patterns = 2; }, LOAD_PATTERN_ROWS, "pattern 1 declares 29550 rows"},
        {[](M& m) { m.bpm = 0; }, LOAD_TEMPO, "tempo 0 BPM; at least 1"},
        {[](M& m) { m.bpm = 0x8000; }, LOAD_TEMPO, "tempo -32768 BPM; at least 1"},
        {[](M& m) { m.header_size = 200; }, LOAD_OUTSIDE_FILE, "header size 200 does not fit the file"},
        {[](M& m) { m.header_size = 0xFFFFFFFF; }, LOAD_OUTSIDE_FILE,
         "header size 4294967295 does not fit the file"},
        {[](M& m) { m.instruments[1].declared_samples = 17; }, LOAD_SAMPLE_COUNT,
         "instrument 2 declares 17 samples; at most 16"},
        {[](M& m) { m.instruments[1].stored_header_size = 0xFFFFFFFF; }, LOAD_OUTSIDE_FILE,
         "instrument 2: header size 4294967295 does not fit the file"},
        {[](M& m) { m.instruments[1].stored_header_size = 200; }, LOAD_OUTSIDE_FILE,  // into its fields
         "instrument 2: header size 200 does not fit the file"},
        {[](M& m) { m.instruments[0].stored_header_size = 20; }, LOAD_OUTSIDE_FILE,  // no samples
         "instrument 1: header size 20 does not fit the file"},
        {[](M& m) { m.instruments[1].samples = {sample_8bit({1})}, m.instruments[1].declared_samples = 16; },
         LOAD_CUT_SHORT, "the file ends inside the sample headers of instrument 2 (16 declared)"},
        {[](M& m) { m.instruments[1].samples[1].length = 0xFFFFFFF0u; }, LOAD_OUTSIDE_FILE,
         "instrument 2, sample 1: 4294967280 bytes of data run past the end of the file"},
        {[](M& m) { m.instruments[1].samples[0].length = m.instruments[1].samples[1].length = 1500; },  // each fits
         LOAD_OUTSIDE_FILE, "instrument 2, sample 1: 1500 bytes of data run past the end of the file"},
        {[](M&) {}, LOAD_OK, ""},
    };
    for (const auto& c : cases) {
        TestModule module = rich_module();
        c.change(module);
        Loaded song(module);
        EXPECT_TRUE(song.status.error == c.error && (song.song == nullptr) == (c.error != LOAD_OK)) << c.reason;
        EXPECT_STREQ(song.status.reason, c.reason);
    }
    // No song source, or one that does not open.
    set_file_callbacks([](const char*) { return 0; }, memory_close, memory_read, memory_seek, memory_tell);
    EXPECT_TRUE(load_song("song") == nullptr && song_load_status.error == LOAD_NO_SOURCE);
    set_file_callbacks(memory_open, memory_close, nullptr, memory_seek, memory_tell);
    EXPECT_FALSE(file_callbacks_installed() || song_file_open("song") || open_sound_output(22050));
    // More bytes than the memory source addresses: refused before any is read.
    const uint8_t byte = 0;
    SongLoadStatus status;
    EXPECT_EQ(load_song_from_memory(&byte, size_t{INT_MAX} + 1, &status), nullptr);
    EXPECT_EQ(status.error, LOAD_TOO_LARGE);
}

// Where a module cut short ends, at cuts through each of its parts: two
// patterns of 4 rows of 2 plain cells (10 bytes a row) after the 336-byte
// header, then two instruments of 263-byte headers, each with one 40-byte
// sample header and 100 bytes of sample data.
TEST(music_xm_loader, AFileCutShortSaysWhereItEnds) {
    const int PATTERN_0 = 60 + 276, PATTERN_1 = PATTERN_0 + 9 + 4 * 10, INSTRUMENT_1 = PATTERN_1 + 9 + 4 * 10;
    const int SAMPLE_HEADERS_1 = INSTRUMENT_1 + 263, DATA_1 = SAMPLE_HEADERS_1 + 40;
    const int END = DATA_1 + 100 + 263 + 40 + 100;
    const struct {
        int cut_at;  // bytes kept
        SongLoadError error;
        const char* reason;
    } cases[] = {
        {300, LOAD_CUT_SHORT, "the file ends inside the module header (300 of its 336 bytes)"},
        {PATTERN_0 + 4, LOAD_CUT_SHORT, "the file ends inside the header of pattern 0"},
        {PATTERN_0 + 9 + 2 * 10 + 3, LOAD_CUT_SHORT, "the file ends inside pattern 0, at row 2 of 4"},
        {PATTERN_1, LOAD_CUT_SHORT, "the file ends before pattern 1 of 2"},
        {INSTRUMENT_1, LOAD_CUT_SHORT, "the file ends before instrument 1 of 2"},
        {INSTRUMENT_1 + 100, LOAD_CUT_SHORT,
         "the file ends inside the header of instrument 1, which declares 263 bytes"},
        {INSTRUMENT_1 + 250, LOAD_CUT_SHORT,  // after its fields, in its reserved bytes
         "the file ends inside the header of instrument 1, which declares 263 bytes"},
        {SAMPLE_HEADERS_1 + 20, LOAD_CUT_SHORT,
         "the file ends inside the sample headers of instrument 1 (1 declared)"},
        // Cut inside the first instrument's data, the second instrument is
        // missing: the cut is the reason.
        {DATA_1 + 10, LOAD_CUT_SHORT,
         "the file ends inside the data of instrument 1, sample 0, after 10 of its 100 values"},
        // Cut where the last sample's data begins: the module plays, that sample silent.
        {END - 100, LOAD_OK, "the file ends inside the data of instrument 2, sample 0, after 0 of its 100 values"},
    };
    TestModule module = tick_module(2, 2, 4);
    module.put(0, 0, 0, cell(C4));
    module.put(1, 0, 0, cell(C4));
    module.instruments = {instrument_with(sample_8bit(std::vector<uint8_t>(100, 1))),
                          instrument_with(sample_8bit(std::vector<uint8_t>(100, 1)))};
    const std::vector<uint8_t> bytes = build_module(module);
    ASSERT_EQ(bytes.size(), size_t(END));
    for (const auto& c : cases) {
        Loaded song(std::vector<uint8_t>(bytes.begin(), bytes.begin() + c.cut_at));
        EXPECT_TRUE(song.status.error == c.error && (song.song != nullptr) == (c.error == LOAD_OK)) << c.cut_at;
        EXPECT_STREQ(song.status.reason, c.reason);
    }
    // Cut inside the fields of a header whose size is damaged too: the cut
    // is the reason, without the size.
    module.instruments[0].stored_header_size = 0xFFFFFFFF;
    const std::vector<uint8_t> damaged = build_module(module);
    Loaded song(std::vector<uint8_t>(damaged.begin(), damaged.begin() + INSTRUMENT_1 + 100));
    EXPECT_STREQ(song.status.reason, "the file ends inside the header of instrument 1");
}

}  // namespace
