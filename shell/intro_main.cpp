// The intro's main routine: the one question, the window, the paced frame
// loop on the intro clock, and the handling of window messages.
#include <cstdio>

#include "music/music.h"
#include "platform/gl_headers.h"
#include "scenes/scenes.h"
#include "shell/shell.h"

bool fullscreen = false;
bool window_active = true;
uint32_t clock_base_ms = 0;
uint32_t next_frame_ms = 120;  // the first frame no earlier than 120 ms
DisplayChoice display_choice = CHOICE_ASK;
void (*after_frame_hook)(void) = nullptr;

static const char question_caption[] = "FullScreen?";
static const char question_text[] =
    "Do you want to run Brindlec in FullScreen mode?\n\n"
    "Note: Windowed version is only recommanded for very old computers.";

// Asks full screen or window, unless the command line already answered.
// A question that cannot be shown at all gives the window: a viewer would
// rather see the intro in a window than not at all.
static bool choose_fullscreen(void)
{
    if (display_choice == CHOICE_FULLSCREEN) return true;
    if (display_choice == CHOICE_WINDOWED) return false;
    return platform_ask_yes_no(question_caption, question_text) == ANSWER_YES;
}

uint32_t frame_wait_ms(uint32_t elapsed, uint32_t next_frame)
{
    uint32_t until_due = next_frame - elapsed;
    if (static_cast<int32_t>(until_due) <= FRAME_WAKE_MARGIN_MS) return 0;
    return until_due - FRAME_WAKE_MARGIN_MS;
}

// Draws one frame if it is due. Returns how long the loop may wait for
// messages before the next frame is due.
static uint32_t run_frame_if_due(void)
{
    elapsed_ms = platform_clock_ms() - clock_base_ms;
    if (elapsed_ms >= next_frame_ms) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        render_frame();
        platform_swap_buffers();
        if (after_frame_hook) after_frame_hook();
        next_frame_ms = elapsed_ms + FRAME_PERIOD_MS;
        // The frame took time: measure the wait from now, not from before it.
        return frame_wait_ms(platform_clock_ms() - clock_base_ms, next_frame_ms);
    }
    return frame_wait_ms(elapsed_ms, next_frame_ms);
}

int run_intro(void*, void*, char*, int)
{
    bool want_fullscreen = choose_fullscreen();
    fullscreen = want_fullscreen;
    int width = want_fullscreen ? 1024 : 800;
    int height = want_fullscreen ? 768 : 600;
    if (!open_gl_window("Brindlec by qvt71", width, height, 32, want_fullscreen)) return 0;

    // One black frame while the sound output opens, over what the GL's
    // first use of each drawing state left in the back buffer.
    warm_up_drawing();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
    platform_swap_buffers();
    start_sound_output();
    clock_base_ms = platform_clock_ms();

    // The loop waits for messages instead of spinning: while active, until
    // just before the next frame is due; while minimised, a frame period at
    // a time (the restore arrives as a message and ends the wait at once).
    // The exit status is the quit message's code, and 0 when the intro
    // ends by Esc or by itself.
    int exit_code = 0;
    uint32_t wait_ms = 0;
    while (!quit_requested) {
        PlatformMessage message = {};
        if (platform_wait_message(&message, wait_ms)) {
            wait_ms = 0;
            if (message.type == MESSAGE_QUIT) {
                exit_code = message.exit_code;
                quit_requested = true;
                break;
            }
            window_procedure(message);
            continue;
        }
        wait_ms = window_active ? run_frame_if_due() : uint32_t{FRAME_PERIOD_MS};
    }
    close_gl_window();
    return exit_code;
}

void window_procedure(const PlatformMessage& message)
{
    switch (message.type) {
    case MESSAGE_SIZE: resize_view(message.width, message.height); break;
    case MESSAGE_ACTIVATE: window_active = !message.minimised; break;
    case MESSAGE_CLOSE: platform_post_quit(0); break;
    case MESSAGE_KEY_DOWN:
        if (message.key == KEY_ESCAPE) quit_requested = true;
        break;
    default: break;
    }
}
