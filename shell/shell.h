// Application shell: entry, display-mode question, paced frame loop, the
// window with its OpenGL context and fixed GL state, and bitmap text.
#ifndef BRINDLEC_SHELL_H
#define BRINDLEC_SHELL_H

#include <cstdint>

#include "platform/gl_headers.h"
#include "platform/platform.h"

// ---------------------------------------------------------------------------
// Entry and frame loop (intro_main.cpp)

enum { FRAME_PERIOD_MS = 30 };

extern bool fullscreen;           // full-screen mode chosen
extern bool quit_requested;       // the loop ends at its next test
extern bool window_active;        // frames are drawn only while set
extern uint32_t clock_base_ms;    // platform clock when the intro clock started
extern uint32_t next_frame_ms;    // elapsed_ms from which the next frame may be drawn

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
// GL window, context and text (gl_window.cpp)

enum { FONT_GLYPHS = 96, FONT_FIRST_CHAR = 32, TEXT_BUFFER_SIZE = 256 };
enum { FONT_LARGE_HEIGHT = 72, FONT_SMALL_HEIGHT = 36 };

extern GLuint font_base;                    // first of the current font's 96 lists
extern const GLfloat light_ambient_colour[4];
extern const GLfloat light_white_colour[4];

bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen_flag);
void close_gl_window(void);
void resize_view(int width, int height);
bool init_gl_state(void);
void show_crash_box(void);
void build_font_large(void);
void build_font_small(void);
void print_text(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Formats into `buffer` (TEXT_BUFFER_SIZE bytes) as print_text does: a
// longer text is cut at 255 characters. Returns the text's length.
int format_text(char* buffer, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

#endif
