// A busy module for measuring the player: every channel plays looped
// samples with a new note every few rows, so all tracks keep their voices
// (and the partner voices of fading notes) active the whole time.
#include "tools/music/test_module.h"

#include <cmath>

#include "music/music.h"
#include "tools/common/byte_writer.h"

namespace {

const int PATTERNS = 4;
const int INSTRUMENTS = 4;
const int SAMPLE_LENGTH = 2048;  // values

// One cycle-rich waveform per instrument, as values -32767..32767.
double waveform(int instrument, double phase)
{
    double s = std::sin(phase);
    switch (instrument) {
    case 0: return s;                                                                  // sine
    case 1: return 2.0 * (phase / (2 * M_PI) - std::floor(phase / (2 * M_PI) + 0.5));  // saw
    case 2: return s > 0 ? 0.6 : -0.6;                                                 // square
    default: return 0.6 * s + 0.3 * std::sin(3 * phase) + 0.1 * std::sin(7 * phase);
    }
}

void write_header(ByteWriter& out, int channels)
{
    out.text("Extended Module: ", 17);
    out.text("brindlec load test", 20);
    out.u8(0x1A);
    out.text("brindlec-music", 20);
    out.u16(0x0104);
    out.u32(276);
    out.u16(PATTERNS);  // song length
    out.u16(0);         // restart position
    out.u16(static_cast<unsigned>(channels));
    out.u16(PATTERNS);
    out.u16(INSTRUMENTS);
    out.u16(1);  // linear frequencies
    out.u16(3);  // speed
    out.u16(150);
    for (int i = 0; i < 256; ++i) out.u8(i < PATTERNS ? static_cast<unsigned>(i) : 0);
}

// Plain 5-byte cells: channel c plays a note every 2 + c % 3 rows.
void write_pattern(ByteWriter& out, int pattern, int channels, int rows)
{
    out.u32(9);
    out.u8(0);
    out.u16(static_cast<unsigned>(rows));
    out.u16(static_cast<unsigned>(rows * channels * 5));
    static const int scale[] = {0, 2, 4, 7, 9, 12, 14, 16};
    for (int row = 0; row < rows; ++row) {
        for (int c = 0; c < channels; ++c) {
            bool note_row = row % (2 + c % 3) == 0;
            int note = 25 + 12 * (c % 4) + scale[(row / 2 + pattern + c) % 8];
            out.u8(note_row ? static_cast<unsigned>(note) : 0);
            out.u8(note_row ? static_cast<unsigned>(1 + c % INSTRUMENTS) : 0);
            out.u8(note_row ? 0x10 + 24 + static_cast<unsigned>(c % 5) * 8 : 0);  // set volume
            out.u8(c % 2 ? 8 : 0);                                                // 8xx panning
            out.u8(c % 2 ? static_cast<unsigned>(c * 255 / channels) : 0);
        }
    }
}

void write_instrument(ByteWriter& out, int instrument)
{
    out.u32(263);
    out.text("load test", 22);
    out.u8(0);
    out.u16(1);
    out.u32(40);
    out.zeros(96);  // every note plays sample 0
    // Volume envelope: attack, decay to a sustain level, release.
    const unsigned points[][2] = {{0, 0}, {2, 64}, {12, 40}, {40, 0}};
    for (int i = 0; i < 12; ++i) {
        out.u16(i < 4 ? points[i][0] : 0);
        out.u16(i < 4 ? points[i][1] : 0);
    }
    out.zeros(48);  // no panning envelope
    const uint8_t fields[14] = {4, 0, 2, 0, 0, 0, 0, 0, ENVELOPE_ON | ENVELOPE_SUSTAIN, 0, 0, 0, 8, 16};
    for (uint8_t field : fields) out.u8(field);
    out.u16(512);
    out.zeros(263 - 241);
    // One 16-bit sample: 64 cycles, looped forward or ping-pong.
    out.u32(SAMPLE_LENGTH * 2);
    out.u32(SAMPLE_LENGTH);  // loop over the second half (bytes)
    out.u32(SAMPLE_LENGTH);
    out.u8(64);
    out.u8(0);
    out.u8(0x10 | (instrument % 2 ? 2 : 1));
    out.u8(128);
    out.u8(0);
    out.u8(0);
    out.text("", 22);
    int16_t previous = 0;
    for (int i = 0; i < SAMPLE_LENGTH; ++i) {
        double phase = 2 * M_PI * 64.0 * i / SAMPLE_LENGTH;
        int16_t value = static_cast<int16_t>(std::lround(6000.0 * waveform(instrument, phase)));
        uint16_t delta = static_cast<uint16_t>(value - previous);
        previous = value;
        out.u16(delta);
    }
}

}  // namespace

std::vector<uint8_t> build_test_module(int channels, int rows)
{
    ByteWriter out;
    write_header(out, channels);
    for (int p = 0; p < PATTERNS; ++p) write_pattern(out, p, channels, rows);
    for (int i = 0; i < INSTRUMENTS; ++i) write_instrument(out, i);
    return out.bytes;
}
