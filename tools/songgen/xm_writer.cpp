// Writes a ModuleData as an XM module: header, packed patterns, then each
// instrument with its sample header and 8-bit delta-coded sample data.
// Header sizes are the smallest the format's readers accept (276, 243 and
// 29 bytes), so no byte of the 10000 is spent on padding.
#include "tools/songgen/song_module.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tools/common/byte_writer.h"

namespace songgen {
namespace {

// A cell as the format packs it: one 0x80 mask byte for an empty cell, a
// mask followed by the fields present, or all five bytes when every field
// is present (the plain form is one byte shorter then).
void pack_cell(ByteWriter& out, const Cell& c)
{
    const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    int mask = 0x80, present = 0;
    for (int i = 0; i < 5; ++i) {
        if (fields[i] != 0) {
            mask |= 1 << i;
            ++present;
        }
    }
    if (present == 5) {
        for (uint8_t f : fields) out.u8(f);
        return;
    }
    out.u8(mask);
    for (uint8_t f : fields) {
        if (f != 0) out.u8(f);
    }
}

void write_header(ByteWriter& out, const ModuleData& m)
{
    out.text("Extended Module: ", 17);
    out.text(m.name.c_str(), 20);
    out.u8(0x1A);
    out.text("brindlec-songgen", 20);
    out.u16(0x0104);
    out.u32(276);  // header size: from here to the end of the order table
    out.u16(static_cast<int>(m.orders.size()));
    out.u16(m.restart_position);
    out.u16(CHANNELS);
    out.u16(static_cast<int>(m.patterns.size()));
    out.u16(static_cast<int>(m.instruments.size()));
    out.u16(m.flags);
    out.u16(m.speed);
    out.u16(m.bpm);
    for (int i = 0; i < 256; ++i) out.u8(i < static_cast<int>(m.orders.size()) ? m.orders[i] : 0);
}

void write_pattern(ByteWriter& out, const Grid& g)
{
    ByteWriter packed;
    for (const Cell& c : g.cells) pack_cell(packed, c);
    if (packed.bytes.size() > 0xFFFF) throw std::runtime_error("pattern too large");
    out.u32(9);
    out.u8(0);
    out.u16(g.rows);
    out.u16(static_cast<int>(packed.bytes.size()));
    out.raw(packed.bytes);
}

void write_envelope_points(ByteWriter& out, const Envelope& e)
{
    for (size_t i = 0; i < 12; ++i) {
        out.u16(i < e.points.size() ? e.points[i].x : 0);
        out.u16(i < e.points.size() ? e.points[i].y : 0);
    }
}

int envelope_type(const Envelope& e)
{
    if (e.points.size() < 2) return 0;
    return 1 | (e.sustain >= 0 ? 2 : 0) | (e.loop_start >= 0 ? 4 : 0);
}

void write_sample_header(ByteWriter& out, const SampleData& s)
{
    out.u32(static_cast<uint32_t>(s.pcm.size()));
    out.u32(s.looped ? s.loop_start : 0);
    out.u32(s.looped ? s.loop_length : 0);
    out.u8(s.volume);
    out.u8(0);                 // finetune
    out.u8(s.looped ? 1 : 0);  // forward loop, 8-bit
    out.u8(s.panning);
    out.u8(static_cast<uint8_t>(s.relative_note));
    out.u8(0);
    out.text("", 22);
}

void write_instrument(ByteWriter& out, const InstrumentData& ins)
{
    if (!ins.has_sample) {
        out.u32(29);
        out.text(ins.name.c_str(), 22);
        out.u8(0);
        out.u16(0);
        return;
    }
    const SampleData& s = ins.sample;
    if (s.looped && s.loop_start + s.loop_length > s.pcm.size())
        throw std::runtime_error("loop beyond the sample: " + ins.name);
    out.u32(243);
    out.text(ins.name.c_str(), 22);
    out.u8(0);
    out.u16(1);
    out.u32(40);
    for (int i = 0; i < 96; ++i) out.u8(0);  // every note plays sample 0
    write_envelope_points(out, ins.volume);
    write_envelope_points(out, ins.panning);
    out.u8(static_cast<int>(ins.volume.points.size()));
    out.u8(static_cast<int>(ins.panning.points.size()));
    out.u8(std::max(ins.volume.sustain, 0));
    out.u8(std::max(ins.volume.loop_start, 0));
    out.u8(std::max(ins.volume.loop_end, 0));
    out.u8(std::max(ins.panning.sustain, 0));
    out.u8(std::max(ins.panning.loop_start, 0));
    out.u8(std::max(ins.panning.loop_end, 0));
    out.u8(envelope_type(ins.volume));
    out.u8(envelope_type(ins.panning));
    out.u8(ins.vibrato_type);
    out.u8(ins.vibrato_sweep);
    out.u8(ins.vibrato_depth);
    out.u8(ins.vibrato_rate);
    out.u16(ins.fadeout);
    out.u16(0);
    write_sample_header(out, s);
    int8_t previous = 0;  // 8-bit data is stored as differences
    for (int8_t v : s.pcm) {
        out.u8(static_cast<uint8_t>(v - previous));
        previous = v;
    }
}

}  // namespace

std::vector<uint8_t> write_xm(const ModuleData& m)
{
    ByteWriter out;
    write_header(out, m);
    for (const Grid& g : m.patterns) write_pattern(out, g);
    for (const InstrumentData& ins : m.instruments) write_instrument(out, ins);
    return out.bytes;
}

std::vector<uint8_t> build_song_module() { return write_xm(compose_song()); }

// Follows the player's sequencing at 22050 frames a second for one pass: E6x loops per channel,
// Dxx breaks, EEx delays and Fxx speed changes; ends when the order
// index wraps to the restart position or to 0.
std::vector<OrderSpan> first_pass(const ModuleData& m, double* total_seconds)
{
    std::vector<OrderSpan> spans;
    int loop_start[CHANNELS] = {0}, loop_count[CHANNELS] = {0};
    int speed = m.speed, order = 0, row = 0;
    int span_order = -1;
    // A tick is a whole number of frames at the intro's 22050 Hz: 424 at
    // 130 BPM, a little shorter than 2.5 / 130 s.
    double seconds = 0.0, tick_seconds = std::floor(2.5 * 22050 / m.bpm) / 22050.0;
    while (order < static_cast<int>(m.orders.size())) {
        const Grid& g = m.patterns.at(m.orders[order]);
        if (order != span_order) {
            spans.push_back({order, m.orders[order], seconds, 0});
            span_order = order;
        }
        int next_row = row + 1, next_order = order, delay = 0;
        bool jumped = false;
        for (int c = 0; c < CHANNELS; ++c) {
            const Cell& cell = g.at(row, c);
            int hi = cell.param >> 4, lo = cell.param & 15;
            if (cell.effect == 0xF && cell.param < 32) speed = cell.param;
            if (cell.effect == 0xE && hi == 14) delay = lo;
            if (cell.effect == 0xE && hi == 6) {
                if (lo == 0)
                    loop_start[c] = row;
                else {
                    loop_count[c] = loop_count[c] == 0 ? lo : loop_count[c] - 1;
                    if (loop_count[c] != 0) next_row = loop_start[c];
                }
            }
            if (cell.effect == 0xD) {
                next_row = hi * 10 + lo;
                next_order = order + 1;
                jumped = true;
            }
        }
        seconds += (delay + 1) * speed * tick_seconds;
        spans.back().rows_played += delay + 1;
        if (!jumped && next_row >= g.rows) {
            next_row = 0;
            next_order = order + 1;
        }
        order = next_order;
        row = next_row;
    }
    if (total_seconds) *total_seconds = seconds;
    return spans;
}

}  // namespace songgen
