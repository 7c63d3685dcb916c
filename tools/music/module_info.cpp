#include "tools/music/module_info.h"

#include <cstdarg>
#include <cstdio>

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void add(std::string* out, const char* format, ...)
{
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    *out += line;
}

int samples_in(const Song* song)
{
    int samples = 0;
    for (int i = 0; i < song->instrument_count; ++i) samples += song->instruments[i].sample_count;
    return samples;
}

int instruments_with_samples(const Song* song)
{
    int count = 0;
    for (int i = 0; i < song->instrument_count; ++i) count += song->instruments[i].sample_count > 0;
    return count;
}

const char* loop_name(uint8_t loop_type)
{
    return loop_type == LOOP_FORWARD ? "forward" : loop_type == LOOP_PINGPONG ? "ping-pong" : "none";
}

}  // namespace

std::string format_duration(uint64_t frames, int rate)
{
    const uint64_t ms = (frames * 1000 + static_cast<uint64_t>(rate) / 2) / static_cast<uint64_t>(rate);
    char text[48];
    std::snprintf(text, sizeof text, "%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
                  static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

std::string printable(const char* text)
{
    std::string out;
    for (const char* c = text; *c; ++c) out += *c >= 0x20 && *c < 0x7F ? *c : '.';
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string module_summary(const Song* song, const SongPass& pass, int rate, const std::string& note)
{
    std::string out;
    const std::string title = printable(song->title), tracker = printable(song->tracker);
    add(&out, "Title:       %s\n", title.empty() ? "(none)" : title.c_str());
    add(&out, "Type:        FastTracker 2 extended module (XM %d.%02d)\n", song->format_version >> 8,
        song->format_version & 0xFF);
    add(&out, "Tracker:     %s\n", tracker.empty() ? "(not named)" : tracker.c_str());
    if (pass.ended)
        add(&out, "Duration:    %s, then again from order %d, row %d\n",
            format_duration(pass.frames, rate).c_str(), pass.end_order, pass.end_row);
    else
        add(&out, "Duration:    more than %s: no row comes round again\n",
            format_duration(pass.frames, rate).c_str());
    add(&out, "Speed:       %d ticks a row, %d BPM\n", song->default_speed, song->default_bpm);
    add(&out, "Channels:    %d\n", song->channel_count);
    add(&out, "Orders:      %d, restart at %d\n", song->song_length, song->restart_position);
    add(&out, "Patterns:    %d\n", song->pattern_slots);
    add(&out, "Instruments: %d, %d with samples\n", song->instrument_count, instruments_with_samples(song));
    add(&out, "Samples:     %d\n", samples_in(song));
    if (!note.empty()) add(&out, "Note:        %s; the rest plays as silence\n", note.c_str());
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& instrument = song->instruments[i];
        if (instrument.sample_count == 0) continue;
        const std::string name = printable(instrument.name);
        if (instrument.sample_count > 1)
            add(&out, "  %3d  %-22s  %d samples\n", i + 1, name.c_str(), instrument.sample_count);
        else
            add(&out, "  %3d  %s\n", i + 1, name.c_str());
    }
    return out;
}

std::string module_dump(const Song* song)
{
    std::string out;
    add(&out, "song length: %d orders\n", song->song_length);
    add(&out, "restart position: %d\n", song->restart_position);
    add(&out, "channels: %d\n", song->channel_count);
    add(&out, "frequency table: %s\n", song->flags & SONG_LINEAR_FREQUENCIES ? "linear" : "Amiga");
    add(&out, "default speed: %d ticks per row\n", song->default_speed);
    add(&out, "default tempo: %d BPM\n", song->default_bpm);
    out += "orders:";
    for (int i = 0; i < song->song_length; ++i) add(&out, " %d", song->orders[i]);
    out += "\n";
    add(&out, "patterns: %d slots (%d used by the order table)\n", song->pattern_slots,
        song->used_pattern_count);
    for (int p = 0; p < song->pattern_slots; ++p) {
        const Pattern& pattern = song->patterns[p];
        int notes = 0, effects = 0;
        for (int i = 0; i < pattern.row_count * song->channel_count; ++i) {
            notes += pattern.notes[i].note != 0;
            effects += pattern.notes[i].effect != 0 || pattern.notes[i].param != 0;
        }
        add(&out, "  pattern %3d: %3d rows, %4d notes, %4d effects\n", p, pattern.row_count, notes, effects);
    }
    add(&out, "instruments: %d\n", song->instrument_count);
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& in = song->instruments[i];
        add(&out,
            "  instrument %3d: \"%s\", %2d samples, volume envelope %d points type %d, panning envelope "
            "%d points type %d, fadeout %u, vibrato %d/%d/%d/%d\n",
            i + 1, printable(in.name).c_str(), in.sample_count, in.volume_points, in.volume_type,
            in.panning_points, in.panning_type, in.fadeout, in.vibrato_type, in.vibrato_sweep,
            in.vibrato_depth, in.vibrato_rate);
        for (int s = 0; s < in.sample_count; ++s) {
            const Sample& sample = *in.samples[s];
            add(&out,
                "    sample %2d: %7u values, loop %s %u+%u, volume %2u, finetune %4d, panning %3d, "
                "relative note %4d\n",
                s, sample.length, loop_name(sample.loop_type), sample.loop_start, sample.loop_length,
                sample.volume, sample.finetune, sample.panning, sample.relative_note);
        }
    }
    return out;
}
