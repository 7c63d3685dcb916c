// Tiny modules built in code for the tick engine tests, started as
// playback starts them, without a device.
#ifndef BRINDLEC_TESTS_TINY_MODULE_H
#define BRINDLEC_TESTS_TINY_MODULE_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "music/music.h"

// Cell note values (1-based, as stored in a pattern): C-4 is 49.
enum : uint8_t { C4 = 49, D4 = 51, E4 = 53, KEY_OFF = NOTE_KEY_OFF };

// A module of `pattern_count` patterns played in order 0, 1, 2, ..., with
// `instrument_count` instruments of one looped sample each (a 32-value
// sine cycle at volume 64, centre panning), speed 6, 125 BPM, linear table.
struct TinyModule {
    Song song{};
    std::vector<std::vector<PatternNote>> grids;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    std::vector<std::unique_ptr<Sample>> samples;
    std::vector<std::vector<int16_t>> sample_data;

    explicit TinyModule(int channel_count, int pattern_count = 1, int rows = 64, int instrument_count = 2)
        : grids(pattern_count), patterns(pattern_count), instruments(instrument_count)
    {
        song.channel_count = (int16_t)channel_count;
        song.song_length = (int16_t)pattern_count;
        for (int p = 0; p < pattern_count; ++p) song.orders[p] = (uint8_t)p, set_rows(p, rows);
        song.pattern_slots = song.used_pattern_count = pattern_count;
        song.patterns = patterns.data();
        song.default_speed = 6;
        song.default_bpm = 125;
        song.flags = SONG_LINEAR_FREQUENCIES;
        song.initial_global_volume = 64;
        song.tick_handler = play_tick;
        song.instrument_count = (int16_t)instrument_count;
        song.instruments = instruments.data();
        for (Instrument& instrument : instruments) {
            for (Sample*& slot : instrument.samples) slot = &empty_sample;
            instrument.sample_count = 1;
            instrument.samples[0] = add_sample(32, LOOP_FORWARD);
        }
    }

    // One spare row after the grid: a read beyond the pattern finds the
    // notes a test puts there instead of undefined memory.
    void set_rows(int pattern, int rows)
    {
        grids[pattern].assign((size_t)(rows + 1) * song.channel_count, PatternNote{});
        patterns[pattern].row_count = rows;
        patterns[pattern].notes = grids[pattern].data();
    }

    // A sample of `length` values holding a sine cycle every 32.
    Sample* add_sample(uint32_t length, uint8_t loop_type)
    {
        samples.push_back(std::make_unique<Sample>());
        sample_data.emplace_back(length + SAMPLE_PADDING, 0);
        std::vector<int16_t>& data = sample_data.back();
        for (uint32_t i = 0; i < length; ++i) data[i] = (int16_t)(16000 * std::sin(2 * M_PI * (i + 0.5) / 32));
        if (loop_type == LOOP_FORWARD) data[length] = data[0];
        Sample* sample = samples.back().get();
        sample->data = data.data();
        sample->length = sample->loop_length = length;
        sample->loop_type = loop_type;
        sample->volume = 64;
        sample->panning = 128;
        sample->bits = 16;
        return sample;
    }

    void put(int pattern, int row, int channel, PatternNote note)
    {
        grids[pattern][(size_t)row * song.channel_count + channel] = note;
    }
    // Channel 0 from row 0 on, one cell a row.
    void put_rows(const std::vector<PatternNote>& rows)
    {
        for (size_t row = 0; row < rows.size(); ++row) put(0, (int)row, 0, rows[row]);
    }
    // put_rows, then what playback does before the first tick: the voices
    // as a fresh 22050 Hz output leaves them, the song and its tracks reset.
    void start(const std::vector<PatternNote>& rows = {})
    {
        put_rows(rows);
        ASSERT_TRUE(open_offline_output(OUTPUT_RATE));
        reset_playback(&song);
    }
    Instrument& instrument(int number) { return instruments[number - 1]; }
    Sample& sample(int number) { return *instruments[number - 1].samples[0]; }
};

inline void run_ticks(Song* song, int count)
{
    for (int i = 0; i < count; ++i) play_tick(song);
}

// probe() after each of `count` ticks.
template <typename Probe>
std::vector<int> tick_values(Song* song, int count, Probe probe)
{
    std::vector<int> values;
    for (int i = 0; i < count; ++i) play_tick(song), values.push_back(probe());
    return values;
}

inline int voice_slot(const TrackChannel& channel) { return (int)(channel.voice - sound_output.voices); }

#endif
