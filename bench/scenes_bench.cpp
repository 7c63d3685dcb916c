// Cost of every frame of the titles and scenes 1 to 4 at 800 x 600 on the
// machine's GL (llvmpipe here), drawn by the real frame loop on the
// headless backend's virtual clock: one frame every 30 ms of the intro
// clock from 120 ms on, each finished (glFinish) before the next. A frame
// must cost well under the 30 ms frame period.
//
// The first benchmark runs the whole intro once; each reports, per frame
// of its scene, the median, 99th percentile and worst process CPU time
// (the GL's rasteriser threads included) and wall time, the intro clock
// and CPU time of its slowest frame, and how many frames took over 8 ms.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "tests/support/intro_run.h"

namespace {

double process_cpu_ms(void)
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double wall_ms(void)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

struct FrameCosts {
    std::vector<double> cpu[5], wall[5];  // per scene drawn
    std::vector<uint32_t> at[5];          // the intro clock of each frame
};

// The whole intro, each frame timed from the end of the one before (the
// first, which follows the window's opening, is left out): the loop's own
// work (messages, clearing, the swap) is part of the cost.
const FrameCosts& intro_frame_costs(void)
{
    static FrameCosts costs;
    static bool run = false;
    if (run) return costs;
    run = true;
    double cpu_start = 0, wall_start = 0;
    uint16_t scene = 0;
    run_intro_frames(
        [&](uint32_t t) {
            glFinish();
            if (t > 120) {
                costs.cpu[scene].push_back(process_cpu_ms() - cpu_start);
                costs.wall[scene].push_back(wall_ms() - wall_start);
                costs.at[scene].push_back(t);
            }
            scene = scene_index;
            cpu_start = process_cpu_ms(), wall_start = wall_ms();
        },
        800, 600);
    return costs;
}

void scene_frames(benchmark::State& state)
{
    const FrameCosts& costs = intro_frame_costs();
    const std::vector<double>& cpu = costs.cpu[state.range(0)];
    const std::vector<double>& wall = costs.wall[state.range(0)];
    if (cpu.empty()) {
        state.SkipWithError("no frames (no GL context?)");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(cpu.data());
    state.counters["frames"] = static_cast<double>(cpu.size());
    state.counters["cpu_median_ms"] = percentile(cpu, 0.5);
    state.counters["cpu_p99_ms"] = percentile(cpu, 0.99);
    state.counters["cpu_worst_ms"] = worst(cpu);
    state.counters["wall_median_ms"] = percentile(wall, 0.5);
    state.counters["wall_p99_ms"] = percentile(wall, 0.99);
    state.counters["wall_worst_ms"] = worst(wall);
    // Where to look first: the intro clock of the slowest frame, and its
    // CPU time (far below its wall time when the process was kept waiting).
    const size_t slowest = static_cast<size_t>(std::max_element(wall.begin(), wall.end()) - wall.begin());
    state.counters["wall_worst_at_ms"] = costs.at[state.range(0)][slowest];
    state.counters["wall_worst_cpu_ms"] = cpu[slowest];
    state.counters["frames_over_8ms"] = static_cast<double>(
        std::count_if(wall.begin(), wall.end(), [](double ms) { return ms > 8.0; }));
}

}  // namespace

BENCHMARK(scene_frames)->DenseRange(0, 4)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
