// CPU time of a title frame at 800 x 600 on the machine's GL (llvmpipe
// here): the captions are the heaviest thing the title sequence draws.
#include <benchmark/benchmark.h>

#include "tests/support/gl_probe.h"

static void title_frame(benchmark::State& state)
{
    static bool opened = open_test_window();
    if (!opened) {
        state.SkipWithError("no GL context");
        return;
    }
    const uint32_t ms = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        scene_index = 0;
        music_started = true;  // the music start is not a title frame's cost
        draw_frame_at(ms);
        glFinish();
    }
}
BENCHMARK(title_frame)->Arg(300)->Arg(1000)->Arg(6000)->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
