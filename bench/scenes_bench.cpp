// Cost of every frame of scenes 1 to 4 at 800 x 600 on the machine's GL
// (llvmpipe here), drawn as the frame loop draws them: one frame every
// 30 ms of the intro clock from 120 ms on, each finished (glFinish) before
// the next. A frame must cost well under the 30 ms frame period.
//
// Each benchmark runs its scene once from its first frame to its last and
// reports, per frame, the median, 99th percentile and worst process CPU time (the GL's
// rasteriser threads included) and wall time. The scenes follow each other
// in one process, so run them in order (the default); a filtered run draws
// the scenes before untimed.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "tests/support/gl_probe.h"

namespace {

uint32_t next_frame_time = 120;

double process_cpu_ms(void)
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double wall_ms(void)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void draw_next_frame(void)
{
    draw_frame_at(next_frame_time);
    next_frame_time += 30;
}

// The value below which the fraction `rank` of the values lie.
double percentile(std::vector<double> values, double rank)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(rank * (values.size() - 1))];
}

double worst(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

void scene_frames(benchmark::State& state)
{
    static bool opened = open_test_window(800, 600);
    if (!opened) {
        state.SkipWithError("no GL context");
        return;
    }
    const uint16_t scene = static_cast<uint16_t>(state.range(0));
    while (scene_index < scene && !quit_requested) draw_next_frame();
    if (scene_index != scene) {
        state.SkipWithError("the scene is over");
        return;
    }
    std::vector<double> cpu, wall;
    for (auto _ : state) {
        while (scene_index == scene && !quit_requested) {
            const double cpu_start = process_cpu_ms(), wall_start = wall_ms();
            draw_next_frame();
            cpu.push_back(process_cpu_ms() - cpu_start);
            wall.push_back(wall_ms() - wall_start);
        }
    }
    state.counters["frames"] = static_cast<double>(cpu.size());
    state.counters["cpu_median_ms"] = percentile(cpu, 0.5);
    state.counters["cpu_p99_ms"] = percentile(cpu, 0.99);
    state.counters["cpu_worst_ms"] = worst(cpu);
    state.counters["wall_median_ms"] = percentile(wall, 0.5);
    state.counters["wall_p99_ms"] = percentile(wall, 0.99);
    state.counters["wall_worst_ms"] = worst(wall);
}

}  // namespace

BENCHMARK(scene_frames)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()->UseRealTime();

BENCHMARK_MAIN();
