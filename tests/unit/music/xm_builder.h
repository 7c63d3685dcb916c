// Small XM modules built in the tests, byte by byte, and the helpers that
// load them.
#ifndef BRINDLEC_TESTS_XM_BUILDER_H
#define BRINDLEC_TESTS_XM_BUILDER_H

#include <cstdint>
#include <utility>
#include <vector>

#include "music/music.h"
#include "tools/common/byte_writer.h"

struct TestSample {
    uint32_t length = 0;  // header fields as stored: bytes
    uint32_t loop_start = 0;
    uint32_t loop_length = 0;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t type = 0;  // bits 0/1 loop kind, bit 4 16-bit
    uint8_t panning = 128;
    int8_t relative_note = 0;
    std::vector<uint8_t> data;  // the bytes stored after the headers
};

struct TestInstrument {
    uint32_t header_size = 263;        // where the sample headers are written
    int64_t stored_header_size = -1;   // the field's value when not -1
    int declared_samples = -1;  // -1: samples.size()
    std::vector<TestSample> samples;
    uint8_t sample_map[SAMPLE_MAP_NOTES] = {};
    std::vector<std::pair<uint16_t, uint16_t>> volume_envelope, panning_envelope;
    uint8_t fields[14] = {};  // volume_points .. vibrato_rate, in file order
    uint16_t fadeout = 0;
};

struct TestPattern {
    uint16_t rows = 64;
    std::vector<uint8_t> packed;
    int packed_size = -1;  // -1: packed.size()
};

struct TestModule {
    const char* signature = "Extended Module: ";
    uint32_t header_size = 276;       // where the first pattern is written
    int64_t stored_header_size = -1;  // the field's value when not -1
    uint16_t song_length = 1;
    uint16_t restart = 0;
    uint16_t channels = 2;
    int stored_patterns = -1;   // -1: patterns.size()
    int instrument_count = -1;  // -1: instruments.size()
    uint16_t flags = SONG_LINEAR_FREQUENCIES;
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders = {0};
    std::vector<TestPattern> patterns = {TestPattern{}};
    std::vector<TestInstrument> instruments;
};

// Cells in the file's two forms.
inline std::vector<uint8_t> plain_cell(uint8_t note, uint8_t instrument = 0, uint8_t volume = 0,
                                       uint8_t effect = 0, uint8_t param = 0)
{
    return {note, instrument, volume, effect, param};
}
inline std::vector<uint8_t> empty_cell() { return {0x80}; }

inline void write_instrument(ByteWriter& out, const TestInstrument& instrument)
{
    size_t start = out.bytes.size();
    int declared = instrument.declared_samples >= 0 ? instrument.declared_samples
                                                    : static_cast<int>(instrument.samples.size());
    out.u32(instrument.stored_header_size >= 0 ? static_cast<uint32_t>(instrument.stored_header_size)
                                              : instrument.header_size);
    out.text("instrument", 22);
    out.u8(0);
    out.u16(static_cast<unsigned>(declared));
    if (declared > 0) {
        out.u32(40);
        for (uint8_t entry : instrument.sample_map) out.u8(entry);
        for (const auto* envelope : {&instrument.volume_envelope, &instrument.panning_envelope}) {
            for (size_t i = 0; i < ENVELOPE_POINTS_READ; ++i) {
                out.u16(i < envelope->size() ? (*envelope)[i].first : 0);
                out.u16(i < envelope->size() ? (*envelope)[i].second : 0);
            }
        }
        for (uint8_t field : instrument.fields) out.u8(field);
        out.u16(instrument.fadeout);
    }
    out.pad_to(start + instrument.header_size);
    for (const TestSample& sample : instrument.samples) {
        out.u32(sample.length);
        out.u32(sample.loop_start);
        out.u32(sample.loop_length);
        out.u8(sample.volume);
        out.u8(static_cast<uint8_t>(sample.finetune));
        out.u8(sample.type);
        out.u8(sample.panning);
        out.u8(static_cast<uint8_t>(sample.relative_note));
        out.u8(0);
        out.text("sample", 22);
    }
    for (const TestSample& sample : instrument.samples) out.raw(sample.data);
}

inline std::vector<uint8_t> build_module(const TestModule& module)
{
    ByteWriter out;
    out.text(module.signature, 17);
    out.text("test module", 20);
    out.u8(0x1A);
    out.text("brindlec tests", 20);
    out.u16(0x0104);
    out.u32(module.stored_header_size >= 0 ? static_cast<uint32_t>(module.stored_header_size)
                                          : module.header_size);
    out.u16(module.song_length);
    out.u16(module.restart);
    out.u16(module.channels);
    out.u16(static_cast<unsigned>(module.stored_patterns >= 0 ? module.stored_patterns
                                                              : static_cast<int>(module.patterns.size())));
    out.u16(static_cast<unsigned>(module.instrument_count >= 0
                                      ? module.instrument_count
                                      : static_cast<int>(module.instruments.size())));
    out.u16(module.flags);
    out.u16(module.speed);
    out.u16(module.bpm);
    for (size_t i = 0; i < MAX_ORDERS; ++i) out.u8(i < module.orders.size() ? module.orders[i] : 0);
    out.pad_to(60 + module.header_size);
    for (const TestPattern& pattern : module.patterns) {
        out.u32(9);
        out.u8(0);
        out.u16(pattern.rows);
        out.u16(static_cast<unsigned>(pattern.packed_size >= 0 ? pattern.packed_size
                                                               : static_cast<int>(pattern.packed.size())));
        out.raw(pattern.packed);
    }
    for (const TestInstrument& instrument : module.instruments) write_instrument(out, instrument);
    return out.bytes;
}

// Makes the in-memory source the song source.
inline void install_memory_source()
{
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
}

// Loads `bytes` (which need to live only during the call).
inline Song* load_bytes(const std::vector<uint8_t>& bytes, SongLoadStatus* status = nullptr)
{
    return load_song_from_memory(bytes.data(), bytes.size(), status);
}

// An instrument with one sample, mapped for every note.
inline TestInstrument instrument_with(const TestSample& sample)
{
    TestInstrument instrument;
    instrument.samples.push_back(sample);
    return instrument;
}

#endif
