// Cost of one tick of the tick engine (rows, effects, envelopes, pitch and
// voice update, no mixing) for 4 and 32 channels of a busy module: every
// channel plays a note with an instrument on every row, with envelopes,
// auto-vibrato and an effect, under the linear table (one power function
// per channel per tick). And the cost of finding a song's first pass: the
// embedded song (about 12600 ticks), and 256 orders of the busy pattern
// (98304 ticks, 33 minutes of music) for 4 and 32 channels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "data/embedded_module.h"
// The engine's own header: the benchmark builds its song in memory, opens
// the offline output and puts each track on its voice itself.
#include "music/music_engine.h"

namespace {

struct BusyModule {
    Song song{};
    std::vector<PatternNote> grid;
    Pattern pattern{};
    Instrument instrument{};
    Sample sample{};
    std::vector<int16_t> data = std::vector<int16_t>(64 + SAMPLE_PADDING, 1000);

    explicit BusyModule(int channel_count)
    {
        const uint8_t effects[][2] = {{EFFECT_VIBRATO, 0x48},  {EFFECT_VOLUME_SLIDE, 0x01},
                                      {EFFECT_ARPEGGIO, 0x37}, {EFFECT_TREMOLO, 0x34},
                                      {EFFECT_PORTA_UP, 0x02}, {EFFECT_PANNING_SLIDE, 0x10}};
        grid.resize(64 * (size_t)channel_count);
        for (int row = 0; row < 64; ++row)
            for (int c = 0; c < channel_count; ++c) {
                const uint8_t* e = effects[(row + c) % 6];
                grid[(size_t)row * channel_count + c] = {(uint8_t)(25 + (row + c) % 48), 1, 0x40, e[0], e[1]};
            }
        pattern = {64, grid.data()};
        sample = {data.data(), 64, 0, 64, 64, 0, 128, 16, LOOP_FORWARD, 0};
        for (Sample*& slot : instrument.samples) slot = &sample;
        instrument.sample_count = 1;
        instrument.volume_envelope[0] = {0, 64};
        instrument.volume_envelope[1] = {40, 20};
        instrument.volume_envelope[2] = {80, 64};
        instrument.volume_points = 3;
        instrument.volume_type = ENVELOPE_ON | ENVELOPE_LOOP;
        instrument.volume_loop_end = 2;
        instrument.panning_envelope[0] = {0, 0};
        instrument.panning_envelope[1] = {100, 64};
        instrument.panning_points = 2;
        instrument.panning_type = ENVELOPE_ON;
        instrument.vibrato_depth = 8;
        instrument.vibrato_rate = 4;
        song.channel_count = (int16_t)channel_count;
        song.song_length = 1;
        song.patterns = &pattern;
        song.pattern_slots = song.used_pattern_count = 1;
        song.instruments = &instrument;
        song.instrument_count = 1;
        song.flags = SONG_LINEAR_FREQUENCIES;
        song.default_speed = 6;
        song.default_bpm = 125;
        song.initial_global_volume = 64;
        song.tick_handler = play_tick;
    }
};

void start(Song* song)
{
    open_offline_output(OUTPUT_RATE);
    std::memset(channels, 0, sizeof channels);
    for (int i = 0; i < song->channel_count; ++i) channels[i].voice = &sound_output.voices[i];
    song->next_order = song->next_row = -1;
    song->global_volume = 64;
    song->speed = song->default_speed;
    set_tempo(song, song->default_bpm);
}

void one_tick(benchmark::State& state)
{
    BusyModule module((int)state.range(0));
    start(&module.song);
    for (auto _ : state) {
        play_tick(&module.song);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(one_tick)->Arg(4)->Arg(32)->Unit(benchmark::kMicrosecond);

void first_pass_of_the_embedded_song(benchmark::State& state)
{
    Song* song = load_song_from_memory(embedded_module, embedded_module_size, nullptr);
    SongPass pass;
    for (auto _ : state) measure_song_pass(song, OUTPUT_RATE, &pass);
    state.counters["ticks"] = pass.ticks;
    free_song(song);
}
BENCHMARK(first_pass_of_the_embedded_song)->Unit(benchmark::kMillisecond);

void first_pass_of_256_busy_orders(benchmark::State& state)
{
    BusyModule module((int)state.range(0));
    module.song.song_length = 256;
    SongPass pass;
    for (auto _ : state) measure_song_pass(&module.song, OUTPUT_RATE, &pass);
    state.counters["ticks"] = pass.ticks;
}
BENCHMARK(first_pass_of_256_busy_orders)->Arg(4)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
