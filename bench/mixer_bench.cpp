// Mixer throughput in voice-frames per second, and the block fill as a
// multiple of real time with every voice busy.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

// The engine's own header: the benchmark times mix_voices and fill_block
// on voices and a ring it sets up itself.
#include "music/music_engine.h"

namespace {

const int SAMPLE_VALUES = 2048;

// Looped 16-bit samples, half forward, half ping-pong, with their spare
// values after the end as the loader leaves them.
struct BenchSamples {
    std::vector<int16_t> values[2];
    Sample samples[2] = {};
    BenchSamples()
    {
        for (int k = 0; k < 2; ++k) {
            values[k].resize(SAMPLE_VALUES + SAMPLE_PADDING, 0);
            for (int i = 0; i < SAMPLE_VALUES; ++i)
                values[k][static_cast<size_t>(i)] = static_cast<int16_t>(12000 *
                                                                         std::sin(i * 0.19 * (k + 1)));
            Sample& s = samples[k];
            s.data = values[k].data();
            s.length = SAMPLE_VALUES;
            s.loop_start = SAMPLE_VALUES / 4;
            s.loop_length = SAMPLE_VALUES / 2;
            s.loop_type = k ? LOOP_PINGPONG : LOOP_FORWARD;
            s.bits = 16;
            s.volume = 64;
        }
    }
};

BenchSamples bench_samples;

// Voices 0..count-1 playing at steps between 0.3 and 2.3 samples per frame,
// over loops of `loop_values` sample values (short ones reach their ends
// many times a block).
void start_voices(int count, bool settled, int loop_values = SAMPLE_VALUES / 2)
{
    open_offline_output(22050);
    for (Sample& s : bench_samples.samples) s.loop_length = loop_values;
    for (int i = 0; i < count; ++i) {
        Voice& v = sound_output.voices[i];
        v.sample = &bench_samples.samples[i % 2];
        v.position = static_cast<uint32_t>(i * 37 % SAMPLE_VALUES);
        double step = 0.3 + 2.0 * i / count;
        v.increment = static_cast<uint32_t>(step);
        v.increment_fraction = static_cast<uint32_t>((step - std::floor(step)) * 4294967296.0);
        v.direction = 1;
        v.target_left = 40 + i * 3;
        v.target_right = 200 - i * 3;
        if (settled) {
            v.seen_left = v.target_left;
            v.seen_right = v.target_right;
            v.current_left = 256 * v.target_left;
            v.current_right = 256 * v.target_right;
        }
    }
}

void BM_MixVoices(benchmark::State& state)
{
    int count = static_cast<int>(state.range(0));
    start_voices(count, true, static_cast<int>(state.range(1)));
    const int frames = 444;
    std::vector<float> out(2 * frames + 4);
    for (auto _ : state) {
        mix_voices(out.data(), frames);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * count * frames);
    state.counters["voice_frames_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * count * frames, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MixVoices)->Args({4, SAMPLE_VALUES / 2})->Args({32, SAMPLE_VALUES / 2})->Args({32, 16});

// Every tick retargets all voices, so a gain ramp runs in each segment
// (the worst case the tick engine produces with envelopes on every track).
int ramp_tick_count = 0;
void retarget_tick(Song* song)
{
    ++ramp_tick_count;
    for (int i = 0; i < 64; ++i) {
        Voice& v = sound_output.voices[i];
        if (!v.sample) continue;
        v.target_left = (v.target_left + 7) % 128;
        v.target_right = (v.target_right + 11) % 128;
    }
    (void)song;
}

// The block fill through mix and PCM conversion, with 32 tracks sounding
// on 64 voices (each track's fading partner voice included).
void BM_FillBlockRealTime(benchmark::State& state)
{
    start_voices(64, false);
    Song song = {};
    song.tick_handler = retarget_tick;
    song.default_bpm = 130;
    prepare_playback(&song);
    for (auto _ : state) fill_block();
    double frames = static_cast<double>(state.iterations()) * sound_output.block_frames;
    state.counters["x_real_time"] = benchmark::Counter(frames / sound_output.rate,
                                                       benchmark::Counter::kIsRate);
    stop_song(&song);
}
BENCHMARK(BM_FillBlockRealTime);

}  // namespace

BENCHMARK_MAIN();
