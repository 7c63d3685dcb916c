// The XM loader on small modules built in the tests: what it reads, how it
// prepares samples, and every file it rejects or clamps.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "music/music.h"
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
    const Sample& sample(int instrument = 0, int slot = 0) const
    {
        return *song->instruments[instrument].samples[slot];
    }
};

TestSample sample_8bit(std::vector<uint8_t> deltas)
{
    TestSample sample;
    sample.length = static_cast<uint32_t>(deltas.size());
    sample.data = std::move(deltas);
    return sample;
}

TestModule module_with(const TestInstrument& instrument)
{
    TestModule module;
    module.instruments = {instrument};
    return module;
}

TestModule module_with(const TestSample& sample) { return module_with(instrument_with(sample)); }

}  // namespace

TEST(music_xm_loader, HeaderFieldsPatternTableAndPatternsTheFileLacks)
{
    TestModule module;
    module.song_length = 3;
    module.restart = 2;
    module.channels = 2;
    module.bpm = 130;
    module.orders = {0, 3, 0, 5};  // pattern 3 is not stored, order 3 lies beyond the song length
    module.patterns = {TestPattern{}, TestPattern{}};
    module.patterns[0].rows = 32;  // nothing stored after its header
    module.patterns[1].rows = 1;   // stored, named by no order
    module.patterns[1].packed = {1, 1, 0, 0, 0, 0x81, 2};
    module.instruments = {TestInstrument{}};
    module.instruments[0].header_size = 29;
    Loaded song(module);
    ASSERT_NE(song.song, nullptr);
    const int got[] = {song->song_length, song->restart_position, song->channel_count, song->instrument_count,
                       song->flags, song->default_speed, song->default_bpm, song->orders[1], song->orders[3],
                       song->used_pattern_count, song->pattern_slots, song->initial_global_volume};
    EXPECT_EQ(std::vector<int>(got, got + 12), (std::vector<int>{3, 2, 2, 1, 1, 6, 130, 3, 5, 4, 4, 64}));
    EXPECT_EQ(song->tick_handler, play_tick);
    EXPECT_EQ(song->patterns[0].row_count, 32);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(song->patterns[0].notes[i].note, 0);
    EXPECT_EQ(song->patterns[1].notes[1].note, 2);
    for (int p : {2, 3}) {
        EXPECT_EQ(song->patterns[p].row_count, 64);
        ASSERT_NE(song->patterns[p].notes, nullptr);
        EXPECT_EQ(song->patterns[p].notes[64 * 2 - 1].note, 0);
    }
}

TEST(music_xm_loader, PlainAndPackedCellsAndValuesOutsideTheirRanges)
{
    TestModule module;
    module.channels = 3;
    module.patterns[0].rows = 4;
    module.patterns[0].packed = {
        49, 1, 0x40, 0x0F, 0x06, 0x9F, 13, 2, 0x10, 0x0C, 0x20, 0x80,  // plain, packed with every field, empty
        0x89, 25, 0x03, 0, 3, 0, 0, 0, 0x82, 7,                        // note and effect, no note, instrument only
        0x83, 96, 128, 0x83, 97, 129, 0x83, 98, 255,                   // the highest note and instrument; beyond
        0x83, 255, 0, 0x83, 254, 200, 0x83, 127, 1,
    };
    Loaded song(module);
    ASSERT_NE(song.song, nullptr);
    const int expected[12][5] = {
        {49, 1, 0x40, 0x0F, 0x06}, {13, 2, 0x10, 0x0C, 0x20}, {0, 0, 0, 0, 0}, {25, 0, 0, 0x03, 0}, {0, 3, 0, 0, 0},
        {0, 7, 0, 0, 0}, {96, 128, 0, 0, 0}, {NOTE_KEY_OFF, 0, 0, 0, 0}, {0, 0, 0, 0, 0},  // 98: no note, plays as none
        {NOTE_KEY_OFF, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 1, 0, 0, 0},
    };
    for (int i = 0; i < 12; ++i) {
        const PatternNote& n = song->patterns[0].notes[i];
        const int got[5] = {n.note, n.instrument, n.volume, n.effect, n.param};
        EXPECT_TRUE(std::equal(got, got + 5, expected[i])) << "cell " << i;
    }
}

TEST(music_xm_loader, InstrumentFieldsAndTheirLimits)
{
    TestInstrument plain = instrument_with(sample_8bit({1})), damaged = plain;
    plain.sample_map[95] = 3;
    plain.volume_envelope = {{0, 64}, {10, 65}, {20, 65535}};  // values beyond 64 read as 64
    plain.panning_envelope = {{0, 32}, {3, 300}};
    const uint8_t fields[14] = {3, 1, 1, 0, 2, 0, 0, 0, 7, 1, 2, 3, 4, 5};  // volume_points .. vibrato_rate
    std::memcpy(plain.fields, fields, sizeof fields);
    plain.fadeout = 128;
    // 20 volume points (12 are stored) with a loop from point 15; a
    // panning loop from point 3 of 3; a fadeout whose double saturates.
    const uint8_t damaged_fields[14] = {20, 3, 0, 15, 18, 0, 3, 2, 5, 5, 0, 0, 0, 0};
    std::memcpy(damaged.fields, damaged_fields, sizeof damaged_fields);
    damaged.fadeout = 0x9000;
    TestModule module;
    module.instruments = {plain, damaged};
    Loaded song(module);
    ASSERT_NE(song.song, nullptr);
    const Instrument& i = song->instruments[0];
    EXPECT_EQ(i.sample_map[95], 3);
    EXPECT_EQ(i.volume_envelope[1].x, 10);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(i.volume_envelope[p].y, 64);
    EXPECT_EQ(i.panning_envelope[1].y, 64);
    const int got[] = {i.volume_points, i.volume_sustain, i.volume_loop_end, i.volume_type, i.panning_points,
                       i.panning_type, i.vibrato_type, i.vibrato_sweep, i.vibrato_depth, i.vibrato_rate, i.fadeout};
    // A single panning point turns that envelope off.
    EXPECT_EQ(std::vector<int>(got, got + 11), (std::vector<int>{3, 1, 2, 7, 1, 0, 2, 3, 4, 5, 256}));
    const Instrument& d = song->instruments[1];
    EXPECT_EQ(d.volume_points, ENVELOPE_POINTS_READ);
    EXPECT_EQ(d.volume_type, ENVELOPE_ON) << "the loop would start beyond the points";
    EXPECT_EQ(d.panning_points, 3);
    EXPECT_EQ(d.panning_type, ENVELOPE_ON);
    EXPECT_EQ(d.fadeout, 0xFFFF);
}

TEST(music_xm_loader, SamplesReadInSlotOrderAfterAnInstrumentWithoutSamples)
{
    TestInstrument silent, three;
    silent.header_size = 40;  // 11 bytes beyond the fields read
    three.samples = {sample_8bit({1, 1}), TestSample{}, sample_8bit({3})};
    three.samples[2].volume = 200;  // beyond 64
    three.samples[2].finetune = -16;
    three.samples[2].panning = 255;
    three.samples[2].relative_note = -12;
    TestModule module;
    module.instruments = {silent, three};
    Loaded song(module);
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(song->instruments[0].sample_count, 0);
    ASSERT_EQ(song->instruments[1].sample_count, 3);
    for (int i = 0; i < MAX_SAMPLES_PER_INSTRUMENT; ++i) {
        EXPECT_EQ(song->instruments[0].samples[i], &empty_sample);
        EXPECT_EQ(song->instruments[1].samples[i] == &empty_sample, i >= 3) << i;
    }
    EXPECT_TRUE(song.sample(1, 0).data[1] == 512 && song.sample(1, 1).length == 0 && !song.sample(1, 1).data);
    const Sample& s = song.sample(1, 2);
    const int got[] = {s.data[0], s.volume, s.finetune, s.panning, s.relative_note};
    EXPECT_EQ(std::vector<int>(got, got + 5), (std::vector<int>{768, 64, -16, 255, -12}));
}

TEST(music_xm_loader, DeltaDecodingAndTruncatedDataPlayingAsSilence)
{
    // The first sample's values and the one after its end, loaded from a
    // module whose last `cut` bytes are missing.
    auto decoded = [](const TestSample& sample, size_t cut) {
        std::vector<uint8_t> bytes = build_module(module_with(sample));
        bytes.resize(bytes.size() - cut);
        Loaded song(bytes);
        EXPECT_TRUE(song.song && song.sample().bits == 16);
        return song.song ? std::vector<int>(song.sample().data, song.sample().data + song.sample().length + 1)
                         : std::vector<int>{};
    };
    TestSample wide;
    wide.type = 0x10;
    wide.length = 8;
    wide.data = {0xE8, 0x03, 0x24, 0xFA, 0xFF, 0x7F, 0xFE, 0x7F};
    // 8-bit deltas in steps of 256; without a loop the value after the end stays 0.
    EXPECT_EQ(decoded(sample_8bit({0x01, 0x01, 0xFE}), 0), (std::vector<int>{256, 512, 0, 0}));
    // 16-bit deltas 1000, -1500, 32767, 32766 give 1000, -500, 32267 and, wrapping, -503.
    EXPECT_EQ(decoded(wide, 0), (std::vector<int>{1000, -500, 32267, -503, 0}));
    // Cut short: the deltas that remain, then silence, also in the middle of a 16-bit value.
    EXPECT_EQ(decoded(sample_8bit({10, 10, 10, 10, 10, 10}), 4), (std::vector<int>{2560, 5120, 0, 0, 0, 0, 0}));
    wide.length = 6;
    wide.data = {0x10, 0x00, 0x10, 0x00, 0x10, 0x00};
    EXPECT_EQ(decoded(wide, 3), (std::vector<int>{16, 0, 0, 0}));
}

TEST(music_xm_loader, SampleLoopPreparation)
{
    const struct {
        const char* name;
        uint8_t type;
        uint32_t length, loop_start, loop_length;  // as stored (bytes)
        uint32_t want_start, want_loop;
        uint8_t want_type;
        int want_after_end;  // value at loop_start + loop_length, in 8-bit steps
    } cases[] = {
        {"no loop", 0, 6, 2, 3, 0, 6, LOOP_NONE, 0},
        {"forward", 1, 6, 1, 3, 1, 3, LOOP_FORWARD, 2},     // a copy of value 1
        {"ping-pong", 2, 6, 1, 3, 1, 3, LOOP_PINGPONG, 4},  // a copy of value 3
        {"both bits: ping-pong", 3, 6, 1, 3, 1, 3, LOOP_PINGPONG, 4},
        {"loop of length 0", 1, 6, 2, 0, 0, 6, LOOP_NONE, 0},
        {"loop beyond the end", 1, 6, 4, 10, 4, 2, LOOP_FORWARD, 5},
        {"loop starting beyond the end", 2, 6, 9, 3, 0, 6, LOOP_NONE, 0},
        {"16-bit halved", 0x11, 12, 2, 6, 1, 3, LOOP_FORWARD, 2},
    };
    for (const auto& c : cases) {
        TestSample sample;
        sample.type = c.type;
        sample.length = c.length;
        sample.loop_start = c.loop_start;
        sample.loop_length = c.loop_length;
        for (uint32_t i = 0; i < c.length; ++i)  // values 1, 2, 3, ... in steps of 256
            sample.data.push_back(c.type & 0x10 ? i % 2 : 1);
        Loaded song(module_with(sample));
        ASSERT_NE(song.song, nullptr) << c.name;
        const Sample& s = song.sample();
        EXPECT_EQ(s.length, 6u) << c.name;
        EXPECT_EQ(s.loop_start, c.want_start) << c.name;
        EXPECT_EQ(s.loop_length, c.want_loop) << c.name;
        EXPECT_EQ(s.loop_type, c.want_type) << c.name;
        EXPECT_EQ(s.data[s.loop_start + s.loop_length], c.want_after_end * 256) << c.name;
    }
}

TEST(music_xm_loader, RestartPositionOutsideTheSongPlaysFromOrderZero)
{
    for (uint16_t restart : {1, 2, 3, 255}) {
        TestModule module;
        module.song_length = 2;
        module.orders = {0, 0};
        module.restart = restart;
        Loaded song(module);
        ASSERT_NE(song.song, nullptr);
        EXPECT_EQ(song->restart_position, restart == 1 ? 1 : 0) << restart;
    }
}

// A module that loads as it is, with parts a refusal could leave behind:
// packed and plain cells, an instrument without samples, a looped 8-bit
// sample of 2000 values and a 16-bit ping-pong one, an envelope.
TestModule rich_module()
{
    TestModule module;
    module.channels = 3;
    module.patterns[0].rows = 2;
    module.patterns[0].packed = {1, 1, 0x20, 1, 2, 0x8F, 97, 2, 0x40, 5, 0x80, 0x83, 2, 1, 0x80, 0x80};
    TestInstrument silent, two;
    silent.header_size = 29;
    two.samples = {sample_8bit(std::vector<uint8_t>(2000, 1)), TestSample{}};
    two.samples[0].type = 1;
    two.samples[0].loop_start = 8;
    two.samples[0].loop_length = 16;
    two.samples[1].type = 0x12;
    two.samples[1].length = 32;
    two.samples[1].loop_start = 4;
    two.samples[1].loop_length = 20;
    two.samples[1].data = std::vector<uint8_t>(32, 0x11);
    two.volume_envelope = {{0, 64}, {4, 20}, {8, 40}};
    const uint8_t fields[14] = {3, 0, 1, 0, 2, 0, 0, 0, 7, 0, 1, 2, 3, 4};
    std::memcpy(two.fields, fields, sizeof fields);
    module.instruments = {silent, two};
    return module;
}

// Every file below is refused with the check it failed: no song comes back
// and (checked under AddressSanitizer) nothing allocated stays behind.
TEST(music_xm_loader, RejectedModulesAndTheirReasons)
{
    const struct {
        std::function<void(TestModule&)> change;
        SongLoadError error;
        const char* reason;
    } cases[] = {
        {[](TestModule& m) { m.signature = "Extended Module:_"; }, LOAD_NOT_XM,
         "no \"Extended Module: \" signature: not an XM module"},
        {[](TestModule& m) { m.channels = 0; }, LOAD_CHANNELS, "no channels"},
        {[](TestModule& m) { m.channels = 33, m.patterns[0].packed.clear(); }, LOAD_CHANNELS,  // 32 would load
         "33 channels; at most 32 are played"},
        {[](TestModule& m) { m.song_length = 0; }, LOAD_SONG_LENGTH, "song length 0; 1 to 256 orders are played"},
        {[](TestModule& m) { m.song_length = 257; }, LOAD_SONG_LENGTH, "song length 257; 1 to 256 orders are played"},
        {[](TestModule& m) { m.stored_patterns = 257; }, LOAD_PATTERN_COUNT, "257 patterns; at most 256"},
        {[](TestModule& m) { m.instrument_count = 129; }, LOAD_INSTRUMENT_COUNT, "129 instruments; at most 128"},
        {[](TestModule& m) { m.patterns[0].rows = 0; }, LOAD_PATTERN_ROWS, "pattern 0 declares 0 rows"},
        {[](TestModule& m) { m.patterns[0].rows = 257; }, LOAD_PATTERN_ROWS, "pattern 0 declares 257 rows"},
        // A pattern the file lacks: the instrument's name, "in|st", reads as its row count.
        {[](TestModule& m) { m.stored_patterns = 2; }, LOAD_PATTERN_ROWS, "pattern 1 declares 29550 rows"},
        {[](TestModule& m) { m.bpm = 0; }, LOAD_TEMPO, "tempo 0 BPM; at least 1"},
        {[](TestModule& m) { m.bpm = 0x8000; }, LOAD_TEMPO, "tempo -32768 BPM; at least 1"},
        {[](TestModule& m) { m.stored_header_size = 200; }, LOAD_OUTSIDE_FILE,  // into the order table
         "header size 200 does not fit the file"},
        {[](TestModule& m) { m.stored_header_size = 100000; }, LOAD_OUTSIDE_FILE,
         "header size 100000 does not fit the file"},
        {[](TestModule& m) { m.instruments[1].declared_samples = 17; }, LOAD_SAMPLE_COUNT,
         "instrument 2 declares 17 samples; at most 16"},
        {[](TestModule& m) { m.instruments[1].stored_header_size = 0; }, LOAD_OUTSIDE_FILE,
         "instrument 2: header size 0 does not fit the file"},
        {[](TestModule& m) { m.instruments[1].stored_header_size = 0xFFFFFFFF; }, LOAD_OUTSIDE_FILE,
         "instrument 2: header size 4294967295 does not fit the file"},
        {[](TestModule& m) { m.instruments[1].stored_header_size = 200; }, LOAD_OUTSIDE_FILE,  // into its fields
         "instrument 2: header size 200 does not fit the file"},
        {[](TestModule& m) { m.instruments[0].stored_header_size = 20; }, LOAD_OUTSIDE_FILE,  // no samples
         "instrument 1: header size 20 does not fit the file"},
        {[](TestModule& m) { m.instruments[1].stored_header_size = 0x7FFFFFFF; }, LOAD_OUTSIDE_FILE,
         "instrument 2: header size 2147483647 does not fit the file"},
        {[](TestModule& m) {
             m.instruments[1].samples = {sample_8bit({1})};
             m.instruments[1].declared_samples = 16;
         },
         LOAD_OUTSIDE_FILE, "instrument 2: 16 sample headers run past the end of the file"},
        {[](TestModule& m) { m.instruments[1].samples[1].length = 0xFFFFFFF0u; }, LOAD_OUTSIDE_FILE,
         "instrument 2, sample 1: 4294967280 bytes of data run past the end of the file"},
        {[](TestModule& m) {
             m.instruments[1].samples[0].length = 1500;  // each alone would fit
             m.instruments[1].samples[1].length = 1500;
         },
         LOAD_OUTSIDE_FILE, "instrument 2, sample 1: 1500 bytes of data run past the end of the file"},
    };
    {
        Loaded unchanged(rich_module());
        ASSERT_NE(unchanged.song, nullptr);
        EXPECT_EQ(unchanged.status.error, LOAD_OK);
        EXPECT_STREQ(unchanged.status.reason, "");
    }
    for (const auto& c : cases) {
        TestModule module = rich_module();
        c.change(module);
        Loaded song(module);
        EXPECT_EQ(song.song, nullptr) << c.reason;
        EXPECT_EQ(song.status.error, c.error) << c.reason;
        EXPECT_STREQ(song.status.reason, c.reason);
    }
    // More bytes than the memory source addresses: refused before any is read.
    const uint8_t byte = 0;
    SongLoadStatus status;
    EXPECT_EQ(load_song_from_memory(&byte, size_t{INT_MAX} + 1, &status), nullptr);
    EXPECT_EQ(status.error, LOAD_TOO_LARGE);
}

TEST(music_xm_loader, TruncatedFilesAreRefusedUpToTheSampleData)
{
    TestModule module = module_with(sample_8bit({1, 2, 3, 4}));
    module.patterns[0].rows = 1;
    module.patterns[0].packed = {0x80, 0x80};
    const std::vector<uint8_t> whole = build_module(module);
    const size_t sample_data = whole.size() - 4;
    for (size_t size = 0; size <= whole.size(); size += size < sample_data ? 7 : 1) {
        Loaded song(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)));
        EXPECT_EQ(song.song != nullptr, size >= sample_data) << size;
    }
}
