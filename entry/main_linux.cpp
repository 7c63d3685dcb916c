// Process entry on Linux: a few options for scripted use, then the intro.
#include <malloc.h>

#include <cstdio>
#include <cstring>

#include "scenes/scenes.h"
#include "shell/shell.h"

// The heap's blocks in use, in KiB: every arena's, and the blocks mapped
// on their own. A leak makes this grow; the resident size does not tell,
// since the heap keeps what it was given back (its high-water mark).
static unsigned long heap_in_use_kib(void)
{
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<unsigned long>((heap.uordblks + heap.hblkhd) / 1024);
}

// --trace: the timeline as it happens, in brindlec-capture's format, each
// scene change preceded by the time of the frame before it (how late the
// changing frame came is then plain to see), and the heap in use at the
// first frame of every second.
static uint16_t traced_scene = 0;
static uint32_t traced_frame_ms = 0;
static void trace_frame(void)
{
    if (elapsed_ms / 1000 != traced_frame_ms / 1000)
        std::printf("heap in use %lu KiB at %u\n", heap_in_use_kib(), elapsed_ms);
    if (scene_index != traced_scene) {
        std::printf("frame before at %u\n", traced_frame_ms);
        std::printf("scene %u at %u\n", scene_index, elapsed_ms);
    }
    if (quit_requested) std::printf("end at %u\n", elapsed_ms);
    traced_scene = scene_index;
    traced_frame_ms = elapsed_ms;
    std::fflush(stdout);
}

static void print_usage(FILE* stream)
{
    std::fputs(
        "usage: brindlec [--windowed | --fullscreen] [--trace] [--help] [--version]\n"
        "  --windowed    play in an 800 x 600 window without asking\n"
        "  --fullscreen  play full screen at 1024 x 768 without asking\n"
        "  --trace       print 'scene <N> at <ms>' (after 'frame before at <ms>') and\n"
        "                'end at <ms>' as they happen, and the heap in use each second\n"
        "  --help        show this text\n"
        "  --version     show the version\n",
        stream);
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--windowed") == 0) {
            display_choice = CHOICE_WINDOWED;
        } else if (std::strcmp(argv[i], "--fullscreen") == 0) {
            display_choice = CHOICE_FULLSCREEN;
        } else if (std::strcmp(argv[i], "--trace") == 0) {
            after_frame_hook = trace_frame;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            print_usage(stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("brindlec %s\n", BRINDLEC_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "brindlec: unknown argument '%s'\n", argv[i]);
            print_usage(stderr);
            return 2;
        }
    }
    if (!platform_startup()) {
        std::fprintf(stderr, "brindlec: %s\n", platform_last_error());
        return 1;
    }
    return run_intro(nullptr, nullptr, nullptr, 0);
}
