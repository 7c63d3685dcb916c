// Process entry in the browser. The page passes what its link asks for as
// arguments: --windowed or --fullscreen (the question is skipped), or
// --at MS (a still of the frame at MS, on the ideal clock, silent).
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "music/music.h"
#include "platform/platform.h"
#include "platform/web/web.h"
#include "scenes/scenes.h"
#include "shell/shell.h"

namespace {

struct WebRun {
    bool still = false;
    uint32_t still_ms = 0;
};

WebRun run;

// After every frame: the page's status; a still stops at its moment and
// draws only the frame that shows it.
void after_frame(void)
{
    web_report_frame(elapsed_ms, scene_index);
    if (!run.still) return;
    if (elapsed_ms >= run.still_ms)
        quit_requested = true;
    else
        web_set_frames_drawn(elapsed_ms + FRAME_PERIOD_MS >= run.still_ms);
}

// The mixing thread's pass, run whenever the page's audio device reports
// its position instead: the blocks it has played are mixed again.
WebRefill refill_played_blocks(void)
{
    int blocks = fill_played_blocks(platform_audio_position() / 4);
    return {blocks, static_cast<uint32_t>(blocks * output_block_frames())};
}

bool parse_ms(const char* text, uint32_t* ms)
{
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value > 0xFFFFFFFFul || *text == '-') return false;
    *ms = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--windowed") == 0) {
            display_choice = CHOICE_WINDOWED;
        } else if (std::strcmp(argv[i], "--fullscreen") == 0) {
            display_choice = CHOICE_FULLSCREEN;
        } else if (std::strcmp(argv[i], "--at") == 0 && i + 1 < argc &&
                   parse_ms(argv[i + 1], &run.still_ms)) {
            run.still = true;
            i++;
        }
        // Anything else in a link is not ours: the page passes only these.
    }
    if (!platform_startup()) {
        web_show_problem(platform_last_error());
        web_report_end("failed");
        return 1;
    }
    if (run.still) {
        display_choice = CHOICE_WINDOWED;
        web_use_still_mode();
        web_set_frames_drawn(next_frame_ms >= run.still_ms);
    }
    web_set_audio_refill(refill_played_blocks);
    after_frame_hook = after_frame;
    int status = run_intro(nullptr, nullptr, nullptr, 0);
    web_report_end(run.still ? "still" : "end");
    return status;
}
