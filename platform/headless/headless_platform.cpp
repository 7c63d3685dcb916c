// Headless backend: OSMesa off-screen rendering, a virtual clock, scripted
// answers and messages, and a null audio device.
#include "platform/headless/headless.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>

#include "platform/gl_headers.h"
#include "platform/glyphs/composed_text.h"
#include "platform/glyphs/freetype_glyphs.h"
#include "platform/linux/heap.h"
#include "platform/platform_font.h"

namespace {

struct QueuedMessage {
    PlatformMessage message;
    uint32_t at_ms;
};

struct HeadlessState {
    unsigned failures = FAIL_NONE;
    PlatformAnswer answer = ANSWER_NO;
    int questions = 0;
    std::vector<std::string> messages;
    uint32_t clock_ms = 5000;  // an arbitrary origin, as on a real machine
    std::deque<QueuedMessage> queue;
    int empty_polls = 0;  // zero-timeout polls in a row that found nothing
    void (*swap_hook)(void*) = nullptr;
    void* swap_context = nullptr;
    int swaps = 0;
    int mode_bits = 0;  // bits per pixel of the full-screen mode in force; 0: the desktop's
    bool cursor_visible = true;
    bool window = false;
    int width = 0, height = 0;
    int forced_width = 0, forced_height = 0;  // headless_set_window_size
    OSMesaContext context = nullptr;
    std::vector<uint8_t> colour_buffer;
    bool composed_text = true;
    bool audio_open = false;
    const int16_t* loop = nullptr;
    uint32_t loop_bytes = 0;
    std::atomic<uint64_t> audio_position{0};
};

HeadlessState state;

bool failing(unsigned step) { return (state.failures & step) != 0; }

}  // namespace

// --- Controls ---------------------------------------------------------------

void headless_set_failures(unsigned failures) { state.failures = failures; }
void headless_set_answer(PlatformAnswer answer) { state.answer = answer; }
int headless_questions_asked(void) { return state.questions; }
const std::vector<std::string>& headless_messages_shown(void) { return state.messages; }
void headless_set_clock(uint32_t ms) { state.clock_ms = ms; }
uint32_t headless_clock(void) { return state.clock_ms; }
void headless_set_composed_text(bool composed) { state.composed_text = composed; }

void headless_queue_message(const PlatformMessage& message, uint32_t at_ms)
{
    state.queue.push_back({message, at_ms});
}

void headless_set_swap_hook(void (*hook)(void*), void* context)
{
    state.swap_hook = hook;
    state.swap_context = context;
}

int headless_swap_count(void) { return state.swaps; }

void headless_set_window_size(int width, int height)
{
    state.forced_width = width;
    state.forced_height = height;
}

int headless_window_width(void) { return state.width; }
int headless_window_height(void) { return state.height; }
bool headless_window_exists(void) { return state.window; }
int headless_display_mode_bits(void) { return state.mode_bits; }
bool headless_cursor_visible(void) { return state.cursor_visible; }

std::vector<uint8_t> headless_read_pixels(void)
{
    std::vector<uint8_t> rgb;
    headless_read_pixels(&rgb);
    return rgb;
}

void headless_read_pixels(std::vector<uint8_t>* rgb)
{
    rgb->resize(static_cast<size_t>(state.width) * state.height * 3);
    if (!state.context) {
        std::fill(rgb->begin(), rgb->end(), 0);
        return;
    }
    glFinish();
    // The colour buffer's first row is the bottom one. Each pixel is copied
    // as four bytes whose last, the alpha, the next pixel overwrites: one
    // load and one store a pixel (the capture reads every frame, 2 million
    // pixels of them at 1920 x 1080). The last pixel of a row takes three.
    const int width = state.width;
    for (int y = 0; y < state.height; y++) {
        const uint8_t* source = &state.colour_buffer[static_cast<size_t>(state.height - 1 - y) * width * 4];
        uint8_t* target = &(*rgb)[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x + 1 < width; x++) std::memcpy(target + 3 * x, source + 4 * x, 4);
        std::memcpy(target + 3 * (width - 1), source + 4 * (width - 1), 3);
    }
}

const int16_t* headless_audio_loop(void) { return state.loop; }
uint32_t headless_audio_loop_bytes(void) { return state.loop_bytes; }
void headless_audio_advance(uint64_t bytes) { state.audio_position += bytes; }
bool headless_audio_is_open(void) { return state.audio_open; }

// --- Start-up and message boxes -------------------------------------------

bool platform_startup(void) { return true; }
const char* platform_last_error(void) { return "headless backend"; }

PlatformAnswer platform_ask_yes_no(const char*, const char*)
{
    state.questions++;
    return state.answer;
}

void platform_show_message(const char* caption, const char* text, PlatformIcon)
{
    state.messages.push_back(std::string(caption) + "|" + text);
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

// --- Window and context -----------------------------------------------------

bool platform_register_window_class(void) { return !failing(FAIL_REGISTER_CLASS); }

bool platform_change_display_mode(int, int, int bits)
{
    if (failing(FAIL_DISPLAY_MODE)) return false;
    state.mode_bits = bits;
    return true;
}

void platform_restore_display_mode(void) { state.mode_bits = 0; }
void platform_show_cursor(bool visible) { state.cursor_visible = visible; }

bool platform_create_window(const char*, int width, int height, bool)
{
    if (failing(FAIL_CREATE_WINDOW) || width <= 0 || height <= 0) return false;
    state.window = true;
    state.width = width;
    state.height = height;
    if (state.forced_width > 0 && state.forced_height > 0 &&
        (state.forced_width != width || state.forced_height != height)) {
        state.width = state.forced_width;
        state.height = state.forced_height;
        PlatformMessage size = {};
        size.type = MESSAGE_SIZE;
        size.width = state.width;
        size.height = state.height;
        state.queue.push_front({size, state.clock_ms});
    }
    return true;
}

bool platform_create_gl_context(int)
{
    if (failing(FAIL_GL_CONTEXT) || !state.window) return false;
    keep_freed_heap_memory();
    // No stencil buffer, as SDL's context on Mesa has none: the intro never
    // uses one, and llvmpipe clears a depth buffer that shares its words
    // with stencil bits a pixel at a time, a third of a frame's work.
    state.context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!state.context) return false;
    state.colour_buffer.assign(static_cast<size_t>(state.width) * state.height * 4, 0);
    if (!OSMesaMakeCurrent(state.context, state.colour_buffer.data(), GL_UNSIGNED_BYTE, state.width,
                           state.height)) {
        OSMesaDestroyContext(state.context);
        state.context = nullptr;
        return false;
    }
    return true;
}

void platform_show_window(void) {}
bool platform_has_gl_context(void) { return state.context != nullptr; }

int platform_delete_gl_context(void)
{
    if (!state.context) return 0;
    OSMesaDestroyContext(state.context);
    state.context = nullptr;
    return failing(FAIL_RELEASE_CONTEXT) ? 1 : 0;
}

int platform_destroy_window(void)
{
    int failed = 0;
    if (state.window) {
        state.window = false;
        if (failing(FAIL_DESTROY_WINDOW)) failed++;
    }
    return failed;
}

void platform_swap_buffers(void)
{
    if (state.context) glFinish();
    state.empty_polls = 0;  // the loop did work: its next poll is not a spin
    state.swaps++;
    if (state.swap_hook) state.swap_hook(state.swap_context);
}

void platform_build_font(unsigned list_base, int pixel_height)
{
    FreetypeFont font;
    const bool rendered = freetype_render_font(pixel_height, &font);
    if (rendered) compile_glyph_lists(list_base, font.glyphs.data());
    keep_glyphs_for_text(list_base, rendered ? font.glyphs.data() : nullptr);
}

void platform_draw_text(unsigned list_base, const char* text, int length)
{
    if (state.composed_text)
        draw_composed_text(list_base, text, length);
    else
        draw_text_by_lists(list_base, text, length);
}

// --- Messages ---------------------------------------------------------------

bool platform_wait_message(PlatformMessage* message, uint32_t timeout_ms)
{
    if (!state.queue.empty() && static_cast<int32_t>(state.clock_ms - state.queue.front().at_ms) >= 0) {
        *message = state.queue.front().message;
        state.queue.pop_front();
        state.empty_polls = 0;
        return true;
    }
    // Nothing waiting: time passes. A single poll is instantaneous, but a
    // loop that keeps polling moves the clock on by a millisecond a poll.
    uint32_t wait = timeout_ms;
    if (wait == 0)
        wait = state.empty_polls++ > 0 ? 1 : 0;
    else
        state.empty_polls = 0;
    if (!state.queue.empty()) {
        uint32_t until_next = state.queue.front().at_ms - state.clock_ms;
        if (until_next < wait) wait = until_next;
    }
    state.clock_ms += wait;
    return false;
}

void platform_post_quit(int exit_code)
{
    PlatformMessage quit = {};
    quit.type = MESSAGE_QUIT;
    quit.exit_code = exit_code;
    state.queue.push_front({quit, state.clock_ms});
}

// --- Time -------------------------------------------------------------------

uint32_t platform_clock_ms(void) { return state.clock_ms; }

void platform_sleep_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// --- Null audio device --------------------------------------------------------

bool platform_audio_open(int rate)
{
    if (failing(FAIL_AUDIO_DEVICE) || rate <= 0) return false;
    state.audio_open = true;
    return true;
}

void platform_audio_close(void)
{
    state.audio_open = false;
    state.loop = nullptr;
    state.loop_bytes = 0;
}

bool platform_audio_play_loop(const int16_t* frames, uint32_t bytes)
{
    if (!state.audio_open) return false;
    state.loop = frames;
    state.loop_bytes = bytes;
    state.audio_position = 0;
    return true;
}

void platform_audio_release_loop(void) {}

uint64_t platform_audio_position(void) { return state.audio_position.load(); }

// --- Threads ----------------------------------------------------------------

struct PlatformThread {
    std::thread thread;
};

PlatformThread* platform_start_thread(int (*procedure)(void*), void* argument)
{
    PlatformThread* handle = new PlatformThread;
    handle->thread = std::thread([procedure, argument] { procedure(argument); });
    return handle;
}

void platform_forget_thread(PlatformThread* thread)
{
    if (!thread) return;
    thread->thread.detach();
    delete thread;
}
