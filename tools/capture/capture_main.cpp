// brindlec-capture: runs the real intro off screen with an ideal clock and
// writes what it shows. Frames come at elapsed_ms = 120, 150, 180, ...,
// exactly what the frame loop draws on a machine of infinite speed.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "tools/capture/png_file.h"

namespace {

struct CaptureOptions {
    std::vector<uint32_t> at_ms;  // ascending
    std::string out_dir;
    bool trace = false;
};

struct CaptureRun {
    CaptureOptions options;
    size_t next_at = 0;
    uint16_t last_scene = 0;
    bool failed = false;
};

void print_usage(FILE* stream)
{
    std::fputs(
        "usage: brindlec-capture [--at MS[,MS...] --out DIR] [--trace]\n"
        "  --at MS,...  write DIR/frame-<MS>.png (800 x 600) for the first frame at\n"
        "               or after each time (milliseconds of the intro clock)\n"
        "  --out DIR    where the frames go (created if missing)\n"
        "  --trace      print 'scene <N> at <MS>' and 'end at <MS>' as they happen\n"
        "The run stops at the intro's end, or after the last requested time.\n",
        stream);
}

bool parse_times(const char* text, std::vector<uint32_t>* times)
{
    const char* cursor = text;
    while (*cursor) {
        char* end = nullptr;
        unsigned long value = std::strtoul(cursor, &end, 10);
        if (end == cursor || value > 0xFFFFFFFFul || (*end != ',' && *end != '\0')) return false;
        times->push_back(static_cast<uint32_t>(value));
        cursor = *end == ',' ? end + 1 : end;
    }
    return !times->empty();
}

// 0: parsed; otherwise the exit status (2 for bad arguments, 0 for --help).
int parse_options(int argc, char** argv, CaptureOptions* options)
{
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        bool has_value = i + 1 < argc;
        if (argument == "--help") {
            print_usage(stdout);
            return -1;
        } else if (argument == "--trace") {
            options->trace = true;
        } else if (argument == "--at" && has_value) {
            if (!parse_times(argv[++i], &options->at_ms)) {
                std::fprintf(stderr, "brindlec-capture: --at needs times in ms, e.g. 1000,2500\n");
                return 2;
            }
        } else if (argument == "--out" && has_value) {
            options->out_dir = argv[++i];
        } else {
            std::fprintf(stderr, "brindlec-capture: unknown or incomplete argument '%s'\n", argv[i]);
            print_usage(stderr);
            return 2;
        }
    }
    if (!options->at_ms.empty() && options->out_dir.empty()) {
        std::fprintf(stderr, "brindlec-capture: --at needs --out DIR\n");
        return 2;
    }
    if (options->at_ms.empty() && !options->trace) {
        std::fprintf(stderr, "brindlec-capture: nothing to do (give --at or --trace)\n");
        print_usage(stderr);
        return 2;
    }
    std::sort(options->at_ms.begin(), options->at_ms.end());
    return 0;
}

void write_frame(CaptureRun* run, uint32_t requested_ms)
{
    std::string path = run->options.out_dir + "/frame-" + std::to_string(requested_ms) + ".png";
    std::string error;
    if (!write_png(path, headless_window_width(), headless_window_height(), headless_read_pixels(),
                   &error)) {
        std::fprintf(stderr, "brindlec-capture: %s\n", error.c_str());
        run->failed = true;
        quit_requested = true;
    }
}

// After every frame: trace lines, requested frames, and the stop.
void after_frame(void* context)
{
    CaptureRun* run = static_cast<CaptureRun*>(context);
    if (run->options.trace) {
        if (scene_index != run->last_scene) std::printf("scene %u at %u\n", scene_index, elapsed_ms);
        if (quit_requested) std::printf("end at %u\n", elapsed_ms);
        std::fflush(stdout);
    }
    run->last_scene = scene_index;
    const std::vector<uint32_t>& at = run->options.at_ms;
    while (run->next_at < at.size() && elapsed_ms >= at[run->next_at]) {
        write_frame(run, at[run->next_at]);
        run->next_at++;
    }
    if (!at.empty() && run->next_at == at.size() && !run->options.trace) quit_requested = true;
}

}  // namespace

int main(int argc, char** argv)
{
    static CaptureRun run;
    int status = parse_options(argc, argv, &run.options);
    if (status != 0) return status < 0 ? 0 : status;
    if (!run.options.out_dir.empty()) mkdir(run.options.out_dir.c_str(), 0777);

    display_choice = CHOICE_WINDOWED;
    headless_set_swap_hook(after_frame, &run);
    run_intro(nullptr, nullptr, nullptr, 0);
    if (run.next_at < run.options.at_ms.size() && !run.failed) {
        std::fprintf(stderr, "brindlec-capture: the intro ended before %u ms\n",
                     run.options.at_ms[run.next_at]);
        return 1;
    }
    return run.failed ? 1 : 0;
}
