// Process entry on Linux: a few options for scripted use, then the intro.
#include <cstdio>
#include <cstring>

#include "shell/shell.h"

static void print_usage(FILE* stream)
{
    std::fputs("usage: brindlec [--windowed | --fullscreen] [--help] [--version]\n"
               "  --windowed    play in an 800 x 600 window without asking\n"
               "  --fullscreen  play full screen at 1024 x 768 without asking\n"
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
