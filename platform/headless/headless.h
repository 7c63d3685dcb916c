// Controls of the headless backend, for the tests and the capture tool.
// The backend runs the intro off screen on OSMesa with a virtual clock:
// time moves only when the frame loop waits for messages, by exactly the
// time it asked to wait (a poll that finds nothing is instantaneous once,
// then costs 1 ms per further poll in a row), so a run is repeatable
// and draws its frames when a machine of infinite speed would.
#ifndef BRINDLEC_HEADLESS_H
#define BRINDLEC_HEADLESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// Steps that can be made to fail, for the failure paths of the shell.
enum HeadlessFailure {
    FAIL_NONE = 0,
    FAIL_REGISTER_CLASS = 1 << 0,
    FAIL_DISPLAY_MODE = 1 << 1,
    FAIL_CREATE_WINDOW = 1 << 2,
    FAIL_GL_CONTEXT = 1 << 3,
    FAIL_AUDIO_DEVICE = 1 << 4,
    FAIL_RELEASE_CONTEXT = 1 << 5,
    FAIL_DESTROY_WINDOW = 1 << 6,
};
void headless_set_failures(unsigned failures);

// The answer the display-mode question gets (ANSWER_NO unless set).
void headless_set_answer(PlatformAnswer answer);
// How many questions were asked.
int headless_questions_asked(void);

// Message boxes shown, in order: "caption|text".
const std::vector<std::string>& headless_messages_shown(void);

// The virtual clock, in platform_clock_ms units.
void headless_set_clock(uint32_t ms);
uint32_t headless_clock(void);

// Texts are drawn as one bitmap composed from their glyphs (the default)
// or through the glyph lists. Composing reads the raster position back
// from OSMesa: an OpenGL that takes the intro's calls in OSMesa's place
// needs the lists.
void headless_set_composed_text(bool composed);

// Queues a message that platform_wait_message delivers once the virtual
// clock has reached `at_ms` (messages are delivered in the order queued).
void headless_queue_message(const PlatformMessage& message, uint32_t at_ms);

// Called after every platform_swap_buffers (the frame is complete).
void headless_set_swap_hook(void (*hook)(void* context), void* context);
int headless_swap_count(void);

// Makes the next window this size whatever size was asked for, the way a
// window manager may: the shell then hears of it through a size message.
void headless_set_window_size(int width, int height);

// Size of the off-screen window and whether it exists.
int headless_window_width(void);
int headless_window_height(void);
bool headless_window_exists(void);
int headless_display_mode_bits(void);  // of the full-screen mode in force; 0: none
bool headless_cursor_visible(void);

// Reads the current colour buffer as RGB rows from the top row down.
std::vector<uint8_t> headless_read_pixels(void);
// The same into `rgb`, whose memory is reused from frame to frame.
void headless_read_pixels(std::vector<uint8_t>* rgb);

// The null audio device: the loop buffer it was given, and its play
// position, which only the caller moves.
const int16_t* headless_audio_loop(void);
uint32_t headless_audio_loop_bytes(void);
void headless_audio_advance(uint64_t bytes);
bool headless_audio_is_open(void);

#endif
