// The embedded song as data: instruments with their synthesised samples,
// note grids and the order list, and the writer that turns them into the
// bytes of an XM module. Everything is computed; nothing is read from disk.
#ifndef BRINDLEC_SONGGEN_SONG_MODULE_H
#define BRINDLEC_SONGGEN_SONG_MODULE_H

#include <cstdint>
#include <string>
#include <vector>

namespace songgen {

enum { CHANNELS = 4, KEY_OFF = 97 };

// One cell of a note grid, as the XM format stores it.
struct Cell {
    uint8_t note = 0;        // 0 none, 1..96 (C-0 is 1), KEY_OFF
    uint8_t instrument = 0;  // 0 none, 1..13
    uint8_t volume = 0;      // volume-column byte
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct Grid {
    int rows = 0;
    std::vector<Cell> cells;  // rows x CHANNELS, row-major
    explicit Grid(int row_count = 0) : rows(row_count), cells(row_count * CHANNELS) {}
    Cell& at(int row, int channel) { return cells.at(row * CHANNELS + channel); }
    const Cell& at(int row, int channel) const { return cells.at(row * CHANNELS + channel); }
};

struct EnvelopePoint {
    uint16_t x;  // tick
    uint16_t y;  // 0..64
};

struct Envelope {
    std::vector<EnvelopePoint> points;   // at most 12
    int sustain = -1;                    // point index, -1 none
    int loop_start = -1, loop_end = -1;  // point indices, -1 none
};

struct SampleData {
    std::vector<int8_t> pcm;  // signed 8-bit values as heard
    bool looped = false;
    uint32_t loop_start = 0, loop_length = 0;  // in values, within pcm
    uint8_t volume = 64;
    uint8_t panning = 128;  // 0 full left, 128 centre, 255 full right
    int8_t relative_note = 0;
};

struct InstrumentData {
    std::string name;
    bool has_sample = true;
    SampleData sample;
    Envelope volume, panning;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;  // the file's value
};

struct ModuleData {
    std::string name;
    int speed = 6;
    int bpm = 130;
    uint16_t flags = 1;  // linear frequency table
    int restart_position = 0;
    std::vector<uint8_t> orders;
    std::vector<Grid> patterns;
    std::vector<InstrumentData> instruments;
};

// Played stretch of one order in the first pass through the order list.
struct OrderSpan {
    int order;
    int pattern;
    double start_seconds;
    int rows_played;  // pattern loops and delays included, in rows of `speed` ticks
};

enum { MODULE_BYTES = 10000 };  // the size of the module the intro carries

std::vector<InstrumentData> make_instruments();
// Lengthens the open hat's noise loop until the module is `size` bytes;
// throws when it is already larger.
void fill_to_size(ModuleData& module, size_t size);
ModuleData compose_song();
std::vector<uint8_t> write_xm(const ModuleData& module);
std::vector<uint8_t> build_song_module();

// Walks the order list once, following pattern loops, breaks and delays
// the way the player does, and reports when each order starts.
std::vector<OrderSpan> first_pass(const ModuleData& module, double* total_seconds);

}  // namespace songgen

#endif
