// Small XM modules written byte by byte for the music and tick tests, and
// the helpers that load them and play them tick by tick.
#ifndef BRINDLEC_TESTS_XM_BUILDER_H
#define BRINDLEC_TESTS_XM_BUILDER_H

#include <stdexcept>
#include <vector>

#include "music/music_engine.h"
#include "tools/common/byte_writer.h"

struct TestSample {
    uint32_t length = 0, loop_start = 0, loop_length = 0;  // bytes, as stored
    uint8_t volume = 64, type = 0, panning = 128;           // type: bits 0/1 the loop kind, bit 4 16-bit
    int8_t finetune = 0, relative_note = 0;
    std::vector<uint8_t> data;  // deltas, as stored after the headers
};

struct TestInstrument {
    const char* name = "instrument";
    uint32_t header_size = 263;       // where the sample headers are written
    int64_t stored_header_size = -1;  // the field's value when not -1
    int declared_samples = -1;        // -1: samples.size()
    std::vector<TestSample> samples;
    uint8_t sample_map[SAMPLE_MAP_NOTES] = {};
    std::vector<EnvelopePoint> volume_envelope, panning_envelope;
    uint8_t fields[14] = {};  // volume_points .. vibrato_rate, in file order
    uint16_t fadeout = 0;
};

// Without packed bytes, a pattern holds the module's cells for it, written plain.
struct TestPattern {
    uint16_t rows = 64;
    std::vector<uint8_t> packed;
    int packed_size = -1;  // the stored size when not -1
};

// Cell note values as the player holds them (a key-off is written 97): C-4 is 49.
enum : uint8_t { C4 = 49, D4 = 51, E4 = 53, KEY_OFF = NOTE_KEY_OFF };

// A cell as trackers show it, the effect by its letter ('0'..'9',
// 'A'..'Z'); a note plays instrument 1 unless another is given.
inline PatternNote cell(uint8_t note, int volume = 0, char effect = '0', int param = 0, int instrument = -1) {
    if (instrument < 0) instrument = note && note != KEY_OFF ? 1 : 0;
    const int number = effect <= '9' ? effect - '0' : effect - 'A' + 10;
    return {note, uint8_t(instrument), uint8_t(volume), uint8_t(number), uint8_t(param)};
}

// The song-order effects alone: a position jump (Bxx), a pattern break
// (Dxx, its row in decimal digits) and a pattern loop (E6x).
inline PatternNote jump(int order) { return cell(0, 0, 'B', order); }
inline PatternNote brk(int param) { return cell(0, 0, 'D', param); }
inline PatternNote loop(int param) { return cell(0, 0, 'E', 0x60 | param); }

struct Cell { int pattern, row, channel; PatternNote note; };

// Cells in the file's two forms, for patterns written byte by byte.
inline std::vector<uint8_t> plain_cell(uint8_t note, uint8_t instrument = 0, uint8_t volume = 0, uint8_t effect = 0,
                                       uint8_t param = 0) { return {note, instrument, volume, effect, param}; }
inline std::vector<uint8_t> empty_cell() { return {0x80}; }

struct TestModule {
    const char* signature = "Extended Module: ";
    const char* title = "test module";
    uint32_t header_size = 276;  // the field's value; the first pattern is written at 60 + 276
    uint16_t song_length = 1, restart = 0, channels = 2;
    int stored_patterns = -1, instrument_count = -1;  // -1: the vectors' sizes
    uint16_t flags = SONG_LINEAR_FREQUENCIES, speed = 6, bpm = 125;
    std::vector<uint8_t> orders = {0};
    std::vector<TestPattern> patterns = {TestPattern{}};
    std::vector<TestInstrument> instruments;
    std::vector<Cell> cells;
    void put(int pattern, int row, int channel, PatternNote note) { cells.push_back({pattern, row, channel, note}); }
    // Channel 0 of pattern 0 from row 0.
    void put_rows(const std::vector<PatternNote>& v) { for (size_t r = 0; r < v.size(); ++r) put(0, int(r), 0, v[r]); }
};

inline std::vector<uint8_t> build_module(const TestModule& m) {
    ByteWriter out;
    auto count = [](int stored, size_t size) { return unsigned(stored >= 0 ? stored : int(size)); };
    auto size_field = [](int64_t stored, uint32_t size) { return stored >= 0 ? uint32_t(stored) : size; };
    out.text(m.signature, 17);
    out.text(m.title, 20);
    out.u8(0x1A);
    out.text("brindlec tests", 20);
    out.u16(0x0104);
    out.u32(m.header_size);
    for (unsigned v : {unsigned(m.song_length), unsigned(m.restart), unsigned(m.channels),
                       count(m.stored_patterns, m.patterns.size()), count(m.instrument_count, m.instruments.size()),
                       unsigned(m.flags), unsigned(m.speed), unsigned(m.bpm)})
        out.u16(v);
    for (size_t i = 0; i < MAX_ORDERS; ++i) out.u8(i < m.orders.size() ? m.orders[i] : 0);
    out.pad_to(60 + 276);
    for (size_t p = 0; p < m.patterns.size(); ++p) {
        std::vector<uint8_t> packed = m.patterns[p].packed;
        std::vector<PatternNote> grid(size_t(m.patterns[p].rows) * m.channels);
        bool plain = false;  // without cells, the pattern's own bytes
        for (const Cell& c : m.cells)
            if (c.pattern == int(p)) grid.at(size_t(c.row) * m.channels + size_t(c.channel)) = c.note, plain = true;
        for (const PatternNote& n : grid)  // a key-off note is written 97
            if (plain)
                packed.insert(packed.end(), {uint8_t(n.note == KEY_OFF ? 97 : n.note), n.instrument, n.volume,
                                             n.effect, n.param});
        out.u32(9);
        out.u8(0);
        out.u16(m.patterns[p].rows);
        out.u16(count(m.patterns[p].packed_size, packed.size()));
        out.raw(packed);
    }
    for (const TestInstrument& in : m.instruments) {
        const size_t start = out.bytes.size();
        const unsigned declared = count(in.declared_samples, in.samples.size());
        out.u32(size_field(in.stored_header_size, in.header_size));
        out.text(in.name, 23);  // name and type
        out.u16(declared);
        if (declared > 0) {
            out.u32(40);
            for (uint8_t entry : in.sample_map) out.u8(entry);
            for (const auto* envelope : {&in.volume_envelope, &in.panning_envelope})
                for (size_t i = 0; i < ENVELOPE_POINTS_READ; ++i) {
                    out.u16(i < envelope->size() ? (*envelope)[i].x : 0);
                    out.u16(i < envelope->size() ? (*envelope)[i].y : 0);
                }
            for (uint8_t field : in.fields) out.u8(field);
            out.u16(in.fadeout);
        }
        out.pad_to(start + in.header_size);
        for (const TestSample& s : in.samples) {
            for (uint32_t v : {s.length, s.loop_start, s.loop_length}) out.u32(v);
            for (int v : {int(s.volume), int(s.finetune), int(s.type), int(s.panning), int(s.relative_note), 0})
                out.u8(unsigned(v));
            out.text("sample", 22);
        }
        for (const TestSample& s : in.samples) out.raw(s.data);
    }
    return out.bytes;
}

inline Song* load_bytes(const std::vector<uint8_t>& bytes, SongLoadStatus* status = nullptr) {
    return load_song_from_memory(bytes.data(), bytes.size(), status);
}
inline TestInstrument instrument_with(const TestSample& sample) { TestInstrument i; i.samples = {sample}; return i; }

// `length` 8-bit values of a triangle cycle every 32, looped over the whole length.
inline TestSample wave_sample(uint32_t length = 32, bool looped = true) {
    TestSample s;
    s.length = s.loop_length = length, s.type = looped ? 1 : 0;
    for (uint32_t i = 0; i < length; ++i) s.data.push_back(uint8_t((i + 8) % 32 < 16 ? 8 : -8));
    return s;
}

// Patterns of `rows` rows played in order 0, 1, ..., two instruments of
// one looped triangle each, speed 6, 125 BPM, the linear table.
inline TestModule tick_module(int channels = 1, int patterns = 1, int rows = 64) {
    TestModule m;
    m.channels = uint16_t(channels), m.song_length = uint16_t(patterns);
    m.patterns.assign(size_t(patterns), TestPattern{uint16_t(rows), {}, -1});
    m.orders.resize(size_t(patterns));
    for (int p = 0; p < patterns; ++p) m.orders[size_t(p)] = uint8_t(p);
    m.instruments = {instrument_with(wave_sample()), instrument_with(wave_sample())};
    return m;
}

// A module loaded, then started as playback starts it on a fresh output
// without a device; the test plays its ticks. Freed at the end of scope.
struct Playing {
    Song* song;
    explicit Playing(const TestModule& module) : song(load_bytes(build_module(module))) {
        if (!song || !open_offline_output(OUTPUT_RATE)) throw std::runtime_error(song_load_status.reason);
        reset_playback(song);
    }
    ~Playing() { free_song(song); }
    void ticks(int count) { values(count, [] { return 0; }); }
    // probe() after each of `count` ticks.
    template <typename Probe> std::vector<int> values(int count, Probe probe) {
        std::vector<int> values;
        for (int i = 0; i < count; ++i) play_tick(song), values.push_back(int(probe()));
        return values;
    }
    const Sample* sample(int instrument) const { return song->instruments[instrument - 1].samples[0]; }
};

inline int voice_slot(const TrackChannel& channel) { return int(channel.voice - sound_output.voices); }

#endif
