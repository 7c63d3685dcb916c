// Application shell: entry, display-mode question, paced frame loop, the
// window with its OpenGL context and fixed GL state.
#ifndef BRINDLEC_SHELL_H
#define BRINDLEC_SHELL_H

#include <cstdint>

#include "platform/platform.h"

// ---------------------------------------------------------------------------
// Entry and frame loop (intro_main.cpp)

enum { FRAME_PERIOD_MS = 30 };

extern bool fullscreen;         // full-screen mode chosen
extern bool window_active;      // frames are drawn only while set
extern uint32_t clock_base_ms;  // platform clock when the intro clock started
extern uint32_t next_frame_ms;  // elapsed_ms from which the next frame may be drawn

// How the display-mode question is answered: asked (the default), or
// answered in advance from the command line.
enum DisplayChoice { CHOICE_ASK, CHOICE_FULLSCREEN, CHOICE_WINDOWED };
extern DisplayChoice display_choice;

// Called after every drawn frame, when set (scripted runs trace the
// timeline with it); null in a normal run.
extern void (*after_frame_hook)(void);

// The intro: question, window, frame loop, tear-down. The four arguments
// of a Windows main routine are accepted and ignored. Returns the process
// exit status.
int run_intro(void* instance, void* previous_instance, char* command_line, int show_command);

// Acts on one window message (size, activation, close, keys).
void window_procedure(const PlatformMessage& message);

// How long the frame loop waits for messages before a frame is due:
// it wakes this many milliseconds early and polls for the rest, so a
// frame starts as soon after its due time as a spinning loop would.
enum { FRAME_WAKE_MARGIN_MS = 1 };
uint32_t frame_wait_ms(uint32_t elapsed, uint32_t next_frame);

// ---------------------------------------------------------------------------
// GL window and context (gl_window.cpp)

bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen_flag);
void close_gl_window(void);
void resize_view(int width, int height);
bool init_gl_state(void);
void show_crash_box(void);

#endif
