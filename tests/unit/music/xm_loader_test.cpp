// The XM loader on small modules built in the tests: what it reads, how
// it prepares samples, and every file it rejects or clamps.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "data/embedded_module.h"
#include "music/music.h"
#include "tests/unit/music/xm_builder.h"

namespace {

// Frees the song at the end of a test, so leaks show under AddressSanitizer.
struct SongHolder {
    Song* song;
    explicit SongHolder(Song* loaded) : song(loaded) {}
    ~SongHolder() { free_song(song); }
    Song* operator->() const { return song; }
};

TestSample sample_8bit(std::vector<uint8_t> deltas)
{
    TestSample sample;
    sample.length = static_cast<uint32_t>(deltas.size());
    sample.data = std::move(deltas);
    return sample;
}

TestModule module_with_sample(const TestSample& sample)
{
    TestModule module;
    module.instruments.push_back(instrument_with(sample));
    return module;
}

const Sample* first_sample(const Song* song) { return song->instruments[0].samples[0]; }

}  // namespace

TEST(music_xm_loader, HeaderFieldsAndPatternTable)
{
    TestModule module;
    module.song_length = 3;
    module.restart = 2;
    module.channels = 4;
    module.flags = 1;
    module.speed = 6;
    module.bpm = 130;
    module.orders = {0, 1, 0, 5};  // order 3 lies beyond the song length
    module.patterns = {TestPattern{}, TestPattern{}};
    module.instruments = {TestInstrument{}};
    module.instruments[0].header_size = 29;
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(song->song_length, 3);
    EXPECT_EQ(song->restart_position, 2);
    EXPECT_EQ(song->channel_count, 4);
    EXPECT_EQ(song->instrument_count, 1);
    EXPECT_EQ(song->flags, 1);
    EXPECT_EQ(song->default_speed, 6);
    EXPECT_EQ(song->default_bpm, 130);
    EXPECT_EQ(song->orders[1], 1);
    EXPECT_EQ(song->orders[3], 5);
    EXPECT_EQ(song->used_pattern_count, 2);
    EXPECT_EQ(song->pattern_slots, 2);
    EXPECT_EQ(song->initial_global_volume, 64);
    EXPECT_EQ(song->tick_handler, play_tick);
    EXPECT_EQ(song->patterns[0].row_count, 64);
}

TEST(music_xm_loader, PlainAndPackedCells)
{
    TestModule module;
    module.channels = 3;
    TestPattern pattern;
    pattern.rows = 2;
    // Row 0: a plain cell, a packed cell with every field, an empty mask.
    pattern.packed = plain_cell(49, 1, 0x40, 0x0F, 0x06);
    pattern.packed.insert(pattern.packed.end(), {0x9F, 13, 2, 0x10, 0x0C, 0x20});
    pattern.packed.push_back(0x80);
    // Row 1: note and effect only; a plain cell without note; instrument only.
    pattern.packed.insert(pattern.packed.end(), {0x89, 25, 0x03});
    pattern.packed.insert(pattern.packed.end(), {0, 3, 0, 0, 0});
    pattern.packed.insert(pattern.packed.end(), {0x82, 7});
    module.patterns = {pattern};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    const PatternNote* n = song->patterns[0].notes;
    struct Expected {
        int note, instrument, volume, effect, param;
    } expected[] = {
        {49, 1, 0x40, 0x0F, 0x06}, {13, 2, 0x10, 0x0C, 0x20}, {0, 0, 0, 0, 0},
        {25, 0, 0, 0x03, 0},       {0, 3, 0, 0, 0},           {0, 7, 0, 0, 0},
    };
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE("cell " + std::to_string(i));
        EXPECT_EQ(n[i].note, expected[i].note);
        EXPECT_EQ(n[i].instrument, expected[i].instrument);
        EXPECT_EQ(n[i].volume, expected[i].volume);
        EXPECT_EQ(n[i].effect, expected[i].effect);
        EXPECT_EQ(n[i].param, expected[i].param);
    }
}

TEST(music_xm_loader, NoteAndInstrumentValuesOutsideTheirRanges)
{
    struct Case {
        uint8_t note_in, note_out, instrument_in, instrument_out;
    } cases[] = {
        {96, 96, 128, 128},  // the highest note and instrument
        {97, NOTE_KEY_OFF, 129, 0},
        {98, 0, 255, 0},     // no note of the 96: plays as none
        {127, 0, 200, 0},
        {254, 0, 1, 1},
        {255, NOTE_KEY_OFF, 0, 0},
    };
    TestModule module;
    module.channels = 1;
    TestPattern pattern;
    pattern.rows = static_cast<uint16_t>(std::size(cases));
    for (const Case& c : cases) pattern.packed.insert(pattern.packed.end(), {0x83, c.note_in, c.instrument_in});
    module.patterns = {pattern};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(song->patterns[0].notes[i].note, cases[i].note_out);
        EXPECT_EQ(song->patterns[0].notes[i].instrument, cases[i].instrument_out);
    }
}

TEST(music_xm_loader, EmptyPatternsAndPatternsTheFileLacks)
{
    TestModule module;
    module.channels = 2;
    module.song_length = 2;
    module.orders = {0, 3};  // pattern 3 is not stored
    TestPattern empty;       // 32 rows, nothing stored after its header
    empty.rows = 32;
    TestPattern stored;      // stored but named by no order
    stored.rows = 1;
    stored.packed = plain_cell(1, 1);
    stored.packed.insert(stored.packed.end(), {0x81, 2});
    module.patterns = {empty, stored};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(song->used_pattern_count, 4);
    EXPECT_EQ(song->pattern_slots, 4);
    EXPECT_EQ(song->patterns[0].row_count, 32);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(song->patterns[0].notes[i].note, 0);
    EXPECT_EQ(song->patterns[1].row_count, 1);
    EXPECT_EQ(song->patterns[1].notes[0].note, 1);
    EXPECT_EQ(song->patterns[1].notes[1].note, 2);
    for (int p : {2, 3}) {
        EXPECT_EQ(song->patterns[p].row_count, 64);
        ASSERT_NE(song->patterns[p].notes, nullptr);
        EXPECT_EQ(song->patterns[p].notes[64 * 2 - 1].note, 0);
    }
}

TEST(music_xm_loader, InstrumentWithoutSamplesContinuesAtItsHeaderSize)
{
    TestModule module;
    TestInstrument silent;
    silent.header_size = 40;  // 11 bytes beyond the fields read
    module.instruments = {silent, instrument_with(sample_8bit({5}))};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(song->instruments[0].sample_count, 0);
    for (const Sample* slot : song->instruments[0].samples) EXPECT_EQ(slot, &empty_sample);
    ASSERT_EQ(song->instruments[1].sample_count, 1);
    EXPECT_EQ(song->instruments[1].samples[0]->length, 1u);
    EXPECT_EQ(song->instruments[1].samples[0]->data[0], 5 * 256);
    for (int i = 1; i < MAX_SAMPLES_PER_INSTRUMENT; ++i)
        EXPECT_EQ(song->instruments[1].samples[i], &empty_sample);
}

TEST(music_xm_loader, InstrumentFields)
{
    TestInstrument instrument = instrument_with(sample_8bit({1, 2}));
    instrument.sample_map[0] = 0;
    instrument.sample_map[95] = 3;
    instrument.volume_envelope = {{0, 64}, {10, 32}, {20, 0}};
    instrument.panning_envelope = {{0, 32}};
    uint8_t fields[14] = {3, 1, 1, 0, 2, 0, 0, 0, 7, 1, 2, 3, 4, 5};
    std::memcpy(instrument.fields, fields, sizeof fields);
    instrument.fadeout = 128;
    TestModule module;
    module.instruments = {instrument};
    SongHolder loaded(load_module(module));
    ASSERT_NE(loaded.song, nullptr);
    const Instrument& i = loaded->instruments[0];
    EXPECT_EQ(i.sample_map[95], 3);
    EXPECT_EQ(i.volume_envelope[1].x, 10);
    EXPECT_EQ(i.volume_envelope[1].y, 32);
    EXPECT_EQ(i.volume_points, 3);
    EXPECT_EQ(i.volume_sustain, 1);
    EXPECT_EQ(i.volume_loop_end, 2);
    EXPECT_EQ(i.volume_type, 7);
    EXPECT_EQ(i.panning_points, 1);
    EXPECT_EQ(i.panning_type, 0) << "fewer than 2 points: the envelope is off";
    EXPECT_EQ(i.vibrato_type, 2);
    EXPECT_EQ(i.vibrato_sweep, 3);
    EXPECT_EQ(i.vibrato_depth, 4);
    EXPECT_EQ(i.vibrato_rate, 5);
    EXPECT_EQ(i.fadeout, 256);
}

TEST(music_xm_loader, EnvelopeIndicesAreKeptInsideThePointsRead)
{
    TestInstrument instrument = instrument_with(sample_8bit({1}));
    // 20 volume points (only 12 are stored), a loop from point 15; panning
    // loop from point 3 of 3.
    uint8_t fields[14] = {20, 3, 0, 15, 18, 0, 3, 2, 5, 5, 0, 0, 0, 0};
    std::memcpy(instrument.fields, fields, sizeof fields);
    TestModule module;
    module.instruments = {instrument};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    const Instrument& i = song->instruments[0];
    EXPECT_EQ(i.volume_points, ENVELOPE_POINTS_READ);
    EXPECT_EQ(i.volume_type, ENVELOPE_ON) << "the loop would start beyond the points";
    EXPECT_EQ(i.panning_points, 3);
    EXPECT_EQ(i.panning_type, ENVELOPE_ON);
}

TEST(music_xm_loader, EnvelopeValuesStayWithin0To64)
{
    TestInstrument instrument = instrument_with(sample_8bit({1}));
    instrument.volume_envelope = {{0, 64}, {5, 65}, {9, 65535}};
    instrument.panning_envelope = {{0, 0}, {3, 300}};
    TestModule module;
    module.instruments = {instrument};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    const Instrument& i = song->instruments[0];
    EXPECT_EQ(i.volume_envelope[0].y, 64);
    EXPECT_EQ(i.volume_envelope[1].y, 64);
    EXPECT_EQ(i.volume_envelope[2].y, 64);
    EXPECT_EQ(i.volume_envelope[2].x, 9);
    EXPECT_EQ(i.panning_envelope[0].y, 0);
    EXPECT_EQ(i.panning_envelope[1].y, 64);
}

TEST(music_xm_loader, FadeoutDoublingSaturates)
{
    TestInstrument instrument = instrument_with(sample_8bit({1}));
    instrument.fadeout = 0x9000;
    TestModule module;
    module.instruments = {instrument};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(song->instruments[0].fadeout, 0xFFFF);
}

TEST(music_xm_loader, DeltaDecoding8And16Bit)
{
    SongHolder eight(load_module(module_with_sample(sample_8bit({0x01, 0x01, 0xFE}))));
    ASSERT_NE(eight.song, nullptr);
    const Sample* s = first_sample(eight.song);
    EXPECT_EQ(s->bits, 16);
    ASSERT_EQ(s->length, 3u);
    EXPECT_EQ(s->data[0], 256);
    EXPECT_EQ(s->data[1], 512);
    EXPECT_EQ(s->data[2], 0);
    EXPECT_EQ(s->data[3], 0) << "no loop: the value after the end stays 0";

    // 16-bit deltas 1000, -1500, 32767, 2 -> 1000, -500, 32267, wrapping to -32767.
    TestSample wide;
    wide.type = 0x10;
    wide.length = 8;
    wide.data = {0xE8, 0x03, 0x24, 0xFA, 0xFF, 0x7F, 0xFE, 0x7F};
    SongHolder sixteen(load_module(module_with_sample(wide)));
    ASSERT_NE(sixteen.song, nullptr);
    s = first_sample(sixteen.song);
    ASSERT_EQ(s->length, 4u);
    EXPECT_EQ(s->data[0], 1000);
    EXPECT_EQ(s->data[1], -500);
    EXPECT_EQ(s->data[2], 32267);
    EXPECT_EQ(s->data[3], static_cast<int16_t>((32267 + 32766) & 0xFFFF));
}

TEST(music_xm_loader, SampleHeadersAndLoopPreparation)
{
    struct Case {
        const char* name;
        uint8_t type;
        uint32_t length, loop_start, loop_length;  // as stored (bytes)
        uint32_t want_length, want_start, want_loop;
        uint8_t want_type;
        int want_after_end;  // value at loop_start + loop_length, in 8-bit steps
    } cases[] = {
        {"no loop", 0, 6, 2, 3, 6, 0, 6, LOOP_NONE, 0},
        {"forward", 1, 6, 1, 3, 6, 1, 3, LOOP_FORWARD, 2},       // copy of value 1
        {"ping-pong", 2, 6, 1, 3, 6, 1, 3, LOOP_PINGPONG, 4},    // copy of value 3
        {"both bits: ping-pong", 3, 6, 1, 3, 6, 1, 3, LOOP_PINGPONG, 4},
        {"loop of length 0", 1, 6, 2, 0, 6, 0, 6, LOOP_NONE, 0},
        {"loop beyond the end", 1, 6, 4, 10, 6, 4, 2, LOOP_FORWARD, 5},
        {"loop starting beyond the end", 2, 6, 9, 3, 6, 0, 6, LOOP_NONE, 0},
        {"16-bit halved", 0x11, 12, 2, 6, 6, 1, 3, LOOP_FORWARD, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSample sample;
        sample.type = c.type;
        sample.length = c.length;
        sample.loop_start = c.loop_start;
        sample.loop_length = c.loop_length;
        // Values 1, 2, 3, ... (each delta 1), as 8- or 16-bit steps of 256.
        for (uint32_t i = 0; i < c.length; ++i) {
            bool wide = c.type & 0x10;
            sample.data.push_back(wide ? (i % 2 ? 1 : 0) : 1);
        }
        SongHolder song(load_module(module_with_sample(sample)));
        ASSERT_NE(song.song, nullptr);
        const Sample* s = first_sample(song.song);
        EXPECT_EQ(s->length, c.want_length);
        EXPECT_EQ(s->loop_start, c.want_start);
        EXPECT_EQ(s->loop_length, c.want_loop);
        EXPECT_EQ(s->loop_type, c.want_type);
        EXPECT_EQ(s->data[s->loop_start + s->loop_length], c.want_after_end * 256);
    }
}

TEST(music_xm_loader, SampleFieldsAndVolumeRange)
{
    TestSample sample = sample_8bit({1});
    sample.volume = 200;
    sample.finetune = -16;
    sample.panning = 255;
    sample.relative_note = -12;
    SongHolder song(load_module(module_with_sample(sample)));
    ASSERT_NE(song.song, nullptr);
    const Sample* s = first_sample(song.song);
    EXPECT_EQ(s->volume, 64);
    EXPECT_EQ(s->finetune, -16);
    EXPECT_EQ(s->panning, 255);
    EXPECT_EQ(s->relative_note, -12);
}

TEST(music_xm_loader, SeveralSamplesReadTheirDataInSlotOrder)
{
    TestInstrument instrument;
    instrument.samples = {sample_8bit({1, 1}), TestSample{}, sample_8bit({3})};
    TestModule module;
    module.instruments = {instrument};
    SongHolder song(load_module(module));
    ASSERT_NE(song.song, nullptr);
    const Instrument& i = song->instruments[0];
    ASSERT_EQ(i.sample_count, 3);
    EXPECT_EQ(i.samples[0]->data[1], 512);
    EXPECT_EQ(i.samples[1]->length, 0u);
    EXPECT_EQ(i.samples[1]->data, nullptr);
    EXPECT_EQ(i.samples[2]->data[0], 768);
    EXPECT_EQ(i.samples[3], &empty_sample);
}

TEST(music_xm_loader, TruncatedSampleDataPlaysAsSilence)
{
    TestSample sample = sample_8bit({10, 10, 10, 10, 10, 10});
    std::vector<uint8_t> bytes = build_module(module_with_sample(sample));
    bytes.resize(bytes.size() - 4);  // only the first 2 deltas remain
    SongHolder song(load_bytes(bytes));
    ASSERT_NE(song.song, nullptr);
    const Sample* s = first_sample(song.song);
    ASSERT_EQ(s->length, 6u);
    EXPECT_EQ(s->data[0], 10 * 256);
    EXPECT_EQ(s->data[1], 20 * 256);
    for (int i = 2; i < 6; ++i) EXPECT_EQ(s->data[i], 0) << i;

    // A 16-bit sample cut in the middle of a value.
    TestSample wide;
    wide.type = 0x10;
    wide.length = 6;
    wide.data = {0x10, 0x00, 0x10, 0x00, 0x10, 0x00};
    bytes = build_module(module_with_sample(wide));
    bytes.resize(bytes.size() - 3);
    SongHolder cut(load_bytes(bytes));
    ASSERT_NE(cut.song, nullptr);
    s = first_sample(cut.song);
    EXPECT_EQ(s->data[0], 16);
    EXPECT_EQ(s->data[1], 0);
    EXPECT_EQ(s->data[2], 0);
}

TEST(music_xm_loader, RestartPositionOutsideTheSongPlaysFromOrderZero)
{
    for (uint16_t restart : {2, 3, 255}) {
        TestModule module;
        module.song_length = 2;
        module.orders = {0, 0};
        module.restart = restart;
        SongHolder song(load_module(module));
        ASSERT_NE(song.song, nullptr);
        EXPECT_EQ(song->restart_position, 0) << restart;
    }
    TestModule module;
    module.song_length = 2;
    module.orders = {0, 0};
    module.restart = 1;
    SongHolder song(load_module(module));
    EXPECT_EQ(song->restart_position, 1);
}

// Every file below is refused: load_song returns null and (checked under
// AddressSanitizer) nothing it allocated stays behind.
TEST(music_xm_loader, RejectedModules)
{
    struct Case {
        const char* name;
        std::function<void(TestModule&)> change;
    } cases[] = {
        {"wrong signature", [](TestModule& m) { m.signature = "Extended Module:_"; }},
        {"no channels", [](TestModule& m) { m.channels = 0; }},
        {"33 channels", [](TestModule& m) { m.channels = 33; }},
        {"song length 0", [](TestModule& m) { m.song_length = 0; }},
        {"song length 257", [](TestModule& m) { m.song_length = 257; }},
        {"257 stored patterns", [](TestModule& m) { m.stored_patterns = 257; }},
        {"129 instruments", [](TestModule& m) { m.instrument_count = 129; }},
        {"pattern of 0 rows", [](TestModule& m) { m.patterns[0].rows = 0; }},
        {"pattern of 257 rows", [](TestModule& m) { m.patterns[0].rows = 257; }},
        {"more stored patterns than the file holds", [](TestModule& m) { m.stored_patterns = 2; }},
        {"BPM 0", [](TestModule& m) { m.bpm = 0; }},
        {"BPM negative", [](TestModule& m) { m.bpm = 0x8000; }},
        {"header size into the order table", [](TestModule& m) { m.stored_header_size = 200; }},
        {"header size beyond the file", [](TestModule& m) { m.stored_header_size = 100000; }},
        {"17 samples", [](TestModule& m) { m.instruments[1].declared_samples = 17; }},
        {"instrument header size 0", [](TestModule& m) { m.instruments[1].stored_header_size = 0; }},
        {"instrument header size 2^32 - 1",
         [](TestModule& m) { m.instruments[1].stored_header_size = 0xFFFFFFFF; }},
        {"instrument header size into its fields",
         [](TestModule& m) { m.instruments[1].stored_header_size = 200; }},
        {"empty instrument's header size into its fields",
         [](TestModule& m) { m.instruments[0].stored_header_size = 20; }},
        {"instrument header size beyond the file",
         [](TestModule& m) { m.instruments[1].stored_header_size = 0x7FFFFFFF; }},
        {"sample headers beyond the file",
         [](TestModule& m) {
             m.instruments[1].samples = {sample_8bit({1})};
             m.instruments[1].declared_samples = 16;
         }},
        {"sample length far beyond the file",
         [](TestModule& m) { m.instruments[1].samples[1].length = 0xFFFFFFF0u; }},
        {"sample lengths adding up beyond the file",
         [](TestModule& m) {
             m.instruments[1].samples[0].length = 1500;  // each alone would fit
             m.instruments[1].samples[1].length = 1500;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A module that loads as it is: a pattern, an instrument without
        // samples and one with two samples, so a failure can leave parts behind.
        TestModule module;
        module.patterns[0].packed = plain_cell(1, 1);
        module.patterns[0].packed_size = -1;
        module.patterns[0].rows = 1;
        module.patterns[0].packed.insert(module.patterns[0].packed.end(), {0x80});
        TestInstrument silent;
        silent.header_size = 29;
        TestInstrument two;
        two.samples = {sample_8bit(std::vector<uint8_t>(2000, 1)), sample_8bit({1, 2, 3})};
        module.instruments = {silent, two};
        {
            SongHolder good(load_module(module));
            ASSERT_NE(good.song, nullptr) << "the unchanged module loads";
        }
        c.change(module);
        std::vector<uint8_t> bytes = build_module(module);
        EXPECT_EQ(load_bytes(bytes), nullptr);
    }
}

TEST(music_xm_loader, TruncatedFiles)
{
    TestModule module;
    module.patterns[0].rows = 1;
    module.patterns[0].packed = {0x80, 0x80};
    module.instruments = {instrument_with(sample_8bit({1, 2, 3, 4}))};
    std::vector<uint8_t> whole = build_module(module);
    // Cut anywhere before the sample data: refused, never read past the end.
    size_t sample_data = whole.size() - 4;
    for (size_t size = 0; size < sample_data; size += 7) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<long>(size));
        EXPECT_EQ(load_bytes(bytes), nullptr) << size;
    }
    for (size_t size = sample_data; size <= whole.size(); ++size) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<long>(size));
        SongHolder song(load_bytes(bytes));
        EXPECT_NE(song.song, nullptr) << size;
    }
}

// Damaged copies of a module that uses every part of the format: each
// either loads or is refused, and (under the sanitizers) nothing is read
// or written out of bounds and nothing leaks.
TEST(music_xm_loader, DamagedModulesLoadOrAreRefusedCleanly)
{
    TestModule module;
    module.channels = 3;
    module.song_length = 3;
    module.orders = {0, 1, 2};
    module.patterns.resize(2);
    module.patterns[0].rows = 4;
    for (int i = 0; i < 12; ++i) {
        std::vector<uint8_t> cell = i % 2 ? plain_cell(static_cast<uint8_t>(1 + i), 1, 0x20, 1, 2)
                                          : std::vector<uint8_t>{0x8F, 97, 2, 0x40, 5};
        module.patterns[0].packed.insert(module.patterns[0].packed.end(), cell.begin(), cell.end());
    }
    module.patterns[1].rows = 2;
    TestSample looped = sample_8bit(std::vector<uint8_t>(40, 3));
    looped.type = 1;
    looped.loop_start = 8;
    looped.loop_length = 16;
    TestSample wide;
    wide.type = 0x12;
    wide.length = 32;
    wide.loop_start = 4;
    wide.loop_length = 20;
    wide.data = std::vector<uint8_t>(32, 0x11);
    TestInstrument first;
    first.samples = {looped, wide};
    first.volume_envelope = {{0, 64}, {4, 20}, {8, 40}};
    uint8_t fields[14] = {3, 0, 1, 0, 2, 0, 0, 0, 7, 0, 1, 2, 3, 4};
    std::memcpy(first.fields, fields, sizeof fields);
    TestInstrument silent;
    silent.header_size = 29;
    module.instruments = {first, silent, instrument_with(sample_8bit({1, 2, 3}))};
    const std::vector<uint8_t> original = build_module(module);
    {
        SongHolder song(load_bytes(original));
        ASSERT_NE(song.song, nullptr);
    }
    std::mt19937 random(4711);
    int loaded = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> bytes = original;
        int changes = 1 + static_cast<int>(random() % 4);
        for (int c = 0; c < changes; ++c) {
            size_t at = random() % bytes.size();
            bytes[at] = random() % 3 ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(0xFF);
        }
        if (random() % 4 == 0) bytes.resize(random() % bytes.size());
        SongHolder song(load_bytes(bytes));
        if (!song.song) continue;
        ++loaded;
        for (int i = 0; i < song->instrument_count; ++i) {
            const Instrument& instrument = song->instruments[i];
            ASSERT_LE(instrument.sample_count, MAX_SAMPLES_PER_INSTRUMENT);
            ASSERT_LE(instrument.volume_points, ENVELOPE_POINTS_READ);
            for (const Sample* sample : instrument.samples) {
                ASSERT_NE(sample, nullptr);
                ASSERT_LE(uint64_t{sample->loop_start} + sample->loop_length, sample->length);
            }
        }
        for (int i = 0; i < song->song_length; ++i) ASSERT_LT(song->orders[i], song->pattern_slots);
        ASSERT_LT(song->restart_position, song->song_length);
    }
    EXPECT_GT(loaded, 100) << "most single-byte damage still loads";
}

// The module the intro carries, as the build embedded it.
TEST(music_xm_loader, EmbeddedModule)
{
    if (embedded_module_size == 0) GTEST_SKIP() << "the build has no module";
    std::vector<uint8_t> bytes(embedded_module, embedded_module + embedded_module_size);
    EXPECT_EQ(bytes.size(), 10000u);
    SongHolder song(load_bytes(bytes));
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(song->channel_count, 4);
    EXPECT_EQ(song->instrument_count, 13);
    EXPECT_EQ(song->flags & SONG_LINEAR_FREQUENCIES, SONG_LINEAR_FREQUENCIES);
    EXPECT_EQ(song->default_speed, 6);
    EXPECT_EQ(song->default_bpm, 130);
    EXPECT_EQ(song->song_length, 58);
    EXPECT_EQ(song->restart_position, 4);
    EXPECT_GE(song->pattern_slots, 14);
    int without_samples = 0;
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& instrument = song->instruments[i];
        if (instrument.sample_count == 0) ++without_samples;
        for (int s = 0; s < instrument.sample_count; ++s) EXPECT_EQ(instrument.samples[s]->bits, 16);
    }
    EXPECT_EQ(without_samples, 1);
}
