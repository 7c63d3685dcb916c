// Browser backend: the page's dialog and canvas, full screen through the
// page, a WebGL 1 context under the OpenGL 1.1 subset, key, visibility
// and full-screen events from html5.h, and time from performance.now().
// The intro's frame loop runs as written: each wait for messages yields
// to the browser (Asyncify), so the page draws, plays and takes input
// between frames.
#include "platform/web/web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <deque>

#include "platform/gl11/gl11.h"
#include "platform/glyphs/embedded_glyphs.h"
#include "platform/platform.h"
#include "platform/web/web_internal.h"

namespace {

// A zero-timeout poll spins for at most this long before it yields, so
// that a frame due within the frame loop's wake-up margin starts on time
// (a browser timer never fires sooner than about 4 ms after another).
const double SPIN_MS = 6.0;
// Still mode yields to the page this often while it steps through time.
const double STILL_YIELD_MS = 50.0;

struct WebState {
    char error[160] = "";
    bool still = false;
    uint32_t still_clock_ms = 5000;  // the ideal clock, from an arbitrary origin
    int empty_polls = 0;             // zero-timeout polls in a row that found nothing
    double yielded_at = 0;           // when the loop last gave the browser a turn
    double waited_at = 0;            // when the last wait found nothing: a frame may start
    double frame_ms = 0;             // main-thread time of the last frame
    std::deque<PlatformMessage> queue;
    bool fullscreen = false;
    bool window = false;
    bool drawn = true;    // frames reach the GPU (web_set_frames_drawn)
    bool dialog = false;  // the page's dialog is up: keys are its own
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
};

WebState web;

// --- The page ---------------------------------------------------------------

// The page's JavaScript below is not C++: clang-format would break it.
// clang-format off
EM_JS(int, page_has_webgl, (void), {
    try {
        const canvas = document.createElement('canvas');
        const gl = canvas.getContext('webgl');
        if (!gl) return 0;
        const lose = gl.getExtension('WEBGL_lose_context');
        if (lose) lose.loseContext();
        return 1;
    } catch (e) {
        return 0;
    }
});

EM_ASYNC_JS(int, page_ask, (const char* caption, const char* text), {
    return (await Module.page.ask(UTF8ToString(caption), UTF8ToString(text))) ? 1 : 0;
});

EM_ASYNC_JS(void, page_message, (const char* caption, const char* text, int error), {
    await Module.page.message(UTF8ToString(caption), UTF8ToString(text), !!error);
});

EM_ASYNC_JS(int, page_enter_fullscreen, (void), {
    return (await Module.page.enterFullscreen()) ? 1 : 0;
});

EM_JS(void, page_leave_fullscreen, (void), { Module.page.leaveFullscreen(); });
EM_JS(void, page_show_cursor, (int visible), { Module.page.showCursor(!!visible); });
EM_JS(void, page_create_canvas, (int width, int height, int fullscreen, const char* title), {
    Module.page.createCanvas(width, height, !!fullscreen, UTF8ToString(title));
});
EM_JS(void, page_show_canvas, (void), { Module.page.showCanvas(); });
EM_JS(void, page_frame, (uint32_t elapsed, int scene, double main_ms), { Module.page.frame(elapsed, scene, main_ms); });
EM_JS(void, page_ended, (const char* how), { Module.page.ended(UTF8ToString(how)); });
EM_JS(void, page_problem, (const char* text), { Module.page.problem(UTF8ToString(text)); });

// A double tap on a touch screen (two taps within 400 ms and 40 px of each
// other) calls web_double_tap: a phone has no Esc key.
EM_JS(void, page_listen_for_double_tap, (void), {
    let last = null;
    Module.onTouchUp = event => {
        // Taps on the picture only (in full screen, its black bars too).
        const canvas = document.getElementById('brindlec-canvas');
        if (event.pointerType !== 'touch' || !event.isPrimary || !canvas) return;
        if (event.target !== canvas && event.target !== canvas.parentElement) return;
        const tap = {time: event.timeStamp, x: event.clientX, y: event.clientY};
        if (last && tap.time - last.time < 400 && Math.hypot(tap.x - last.x, tap.y - last.y) < 40) {
            last = null;
            Module['_web_double_tap']();
        } else {
            last = tap;
        }
    };
    document.addEventListener('pointerup', Module.onTouchUp);
});
EM_JS(void, page_forget_double_tap, (void), {
    if (Module.onTouchUp) document.removeEventListener('pointerup', Module.onTouchUp);
    Module.onTouchUp = null;
});

// Waits `ms` milliseconds, or less when an event arrives meanwhile.
EM_ASYNC_JS(void, page_wait, (double ms), {
    await new Promise(resolve => {
        Module.wakeWait = resolve;
        setTimeout(resolve, ms);
    });
    Module.wakeWait = null;
});
EM_JS(void, page_wake, (void), {
    if (Module.wakeWait) Module.wakeWait();
});
// clang-format on

void post(const PlatformMessage& message)
{
    web.queue.push_back(message);
    page_wake();
}

// --- Events -------------------------------------------------------------------

EM_BOOL on_key_down(int, const EmscriptenKeyboardEvent* event, void*)
{
    if (web.dialog) return false;  // as a message box takes the keys while it is up
    PlatformMessage message = {};
    message.type = MESSAGE_KEY_DOWN;
    message.key = static_cast<int>(event->keyCode);
    post(message);
    return message.key == KEY_ESCAPE;  // Esc is the intro's; other keys stay the page's
}

// A hidden page is the browser's minimised window: no frames are drawn.
EM_BOOL on_visibility(int, const EmscriptenVisibilityChangeEvent* event, void*)
{
    PlatformMessage message = {};
    message.type = MESSAGE_ACTIVATE;
    message.minimised = event->hidden != 0;
    post(message);
    return false;
}

// Full screen is the intro's display mode: leaving it ends the intro, as
// closing its window does.
EM_BOOL on_fullscreen_change(int, const EmscriptenFullscreenChangeEvent* event, void*)
{
    if (web.fullscreen && !event->isFullscreen) {
        web.fullscreen = false;
        PlatformMessage message = {};
        message.type = MESSAGE_CLOSE;
        post(message);
    }
    return false;
}

EM_BOOL on_context_lost(int, const void*, void*)
{
    page_problem("The browser took the graphics context away (WebGL context lost): the intro stops here.");
    PlatformMessage message = {};
    message.type = MESSAGE_CLOSE;
    post(message);
    return true;
}

}  // namespace

// A double tap ends the intro as Esc does.
extern "C" EMSCRIPTEN_KEEPALIVE void web_double_tap(void)
{
    if (web.dialog) return;
    PlatformMessage message = {};
    message.type = MESSAGE_KEY_DOWN;
    message.key = KEY_ESCAPE;
    post(message);
}

// --- Controls -----------------------------------------------------------------

void web_use_still_mode(void)
{
    web.still = true;
    web_audio_disable();
}

void web_set_frames_drawn(bool drawn)
{
    web.drawn = drawn;
    if (gl11_is_open()) gl11_set_discard(!drawn);
}

void web_report_frame(uint32_t elapsed, int scene) { page_frame(elapsed, scene, web.frame_ms); }
// The run is over: its event handlers go, so that a run started after it
// in the same page is the only one that hears the keys.
void web_report_end(const char* how)
{
    emscripten_html5_remove_all_event_listeners();
    page_forget_double_tap();
    page_ended(how);
}
void web_show_problem(const char* text) { page_problem(text); }

// --- Start-up and message boxes -------------------------------------------

bool platform_startup(void)
{
    if (!page_has_webgl()) {
        std::snprintf(web.error, sizeof web.error,
                      "This browser offers no WebGL, which Brindlec needs to draw: "
                      "turn WebGL on, or try another browser.");
        return false;
    }
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, true, on_key_down);
    emscripten_set_visibilitychange_callback(nullptr, false, on_visibility);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, false,
                                             on_fullscreen_change);
    page_listen_for_double_tap();
    return true;
}

const char* platform_last_error(void) { return web.error; }

PlatformAnswer platform_ask_yes_no(const char* caption, const char* text)
{
    web.dialog = true;
    bool yes = page_ask(caption, text) != 0;
    web.dialog = false;
    return yes ? ANSWER_YES : ANSWER_NO;
}

void platform_show_message(const char* caption, const char* text, PlatformIcon icon)
{
    web.dialog = true;
    page_message(caption, text, icon == ICON_ERROR);
    web.dialog = false;
}

// --- Window and context -----------------------------------------------------

bool platform_register_window_class(void) { return true; }

// The page asked for full screen when the viewer answered Yes (browsers
// allow it only then); here the intro learns whether it got it.
bool platform_change_display_mode(int, int, int)
{
    web.fullscreen = page_enter_fullscreen() != 0;
    return web.fullscreen;
}

void platform_restore_display_mode(void)
{
    web.fullscreen = false;
    page_leave_fullscreen();
}

void platform_show_cursor(bool visible) { page_show_cursor(visible); }

bool platform_create_window(const char* title, int width, int height, bool fullscreen)
{
    if (width <= 0 || height <= 0) return false;
    page_create_canvas(width, height, fullscreen, title);
    web.window = true;
    return true;
}

bool platform_create_gl_context(int)
{
    if (!web.window) return false;
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = false;  // an opaque black canvas, as a window is
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false;  // OpenGL 1.1 draws without multisampling
    attributes.premultipliedAlpha = false;
    attributes.preserveDrawingBuffer = web.still;  // a still is read back after the run
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    attributes.failIfMajorPerformanceCaveat = false;
    web.context = emscripten_webgl_create_context("#brindlec-canvas", &attributes);
    if (web.context <= 0) {
        web.context = 0;
        std::snprintf(web.error, sizeof web.error, "no WebGL context for the canvas");
        return false;
    }
    emscripten_webgl_make_context_current(web.context);
    if (!gl11_open(web_gl_device())) {
        std::snprintf(web.error, sizeof web.error, "%s", gl11_last_error());
        emscripten_webgl_destroy_context(web.context);
        web.context = 0;
        return false;
    }
    gl11_set_discard(!web.drawn);
    emscripten_set_webglcontextlost_callback("#brindlec-canvas", nullptr, false, on_context_lost);
    return true;
}

void platform_show_window(void) { page_show_canvas(); }
bool platform_has_gl_context(void) { return web.context != 0; }

// The canvas keeps what it shows: a still stays on the page.
int platform_delete_gl_context(void)
{
    if (!web.context) return 0;
    gl11_flush();
    gl11_close();
    emscripten_webgl_destroy_context(web.context);
    web.context = 0;
    return 0;
}

int platform_destroy_window(void)
{
    web.window = false;
    return 0;
}

void platform_swap_buffers(void)
{
    gl11_flush();
    web.frame_ms = emscripten_get_now() - web.waited_at;
    web.empty_polls = 0;
}

void platform_build_font(unsigned list_base, int pixel_height)
{
    for (int i = 0; i < embedded_font_count; i++)
        if (embedded_fonts[i].pixel_height == pixel_height)
            compile_glyph_lists(list_base, embedded_fonts[i].glyphs);
}

// The subset draws the glyphs of a line from its atlas in one batch.
void platform_draw_text(unsigned list_base, const char* text, int length)
{
    draw_text_by_lists(list_base, text, length);
}

// --- Messages ---------------------------------------------------------------

bool platform_wait_message(PlatformMessage* message, uint32_t timeout_ms)
{
    if (!web.queue.empty()) {
        *message = web.queue.front();
        web.queue.pop_front();
        web.empty_polls = 0;
        return true;
    }
    const double now = emscripten_get_now();
    if (web.still) {
        // The ideal clock: a single poll is instantaneous, a loop that
        // keeps polling moves it on by a millisecond a poll.
        uint32_t wait = timeout_ms;
        if (wait == 0)
            wait = web.empty_polls++ > 0 ? 1 : 0;
        else
            web.empty_polls = 0;
        web.still_clock_ms += wait;
        if (now - web.yielded_at >= STILL_YIELD_MS) {
            page_wait(0);
            web.yielded_at = emscripten_get_now();
        }
    } else if (timeout_ms > 0 || now - web.yielded_at >= SPIN_MS) {
        page_wait(timeout_ms);
        web.yielded_at = emscripten_get_now();
    }
    web.waited_at = emscripten_get_now();
    return false;
}

void platform_post_quit(int exit_code)
{
    PlatformMessage quit = {};
    quit.type = MESSAGE_QUIT;
    quit.exit_code = exit_code;
    web.queue.push_front(quit);
}

// --- Time -------------------------------------------------------------------

uint32_t platform_clock_ms(void)
{
    if (web.still) return web.still_clock_ms;
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

// Only the mixing thread sleeps, and the browser build has none.
void platform_sleep_ms(uint32_t) {}

// --- Threads ------------------------------------------------------------------

// No threads in a page that must open from file:// and any static server
// (threads need SharedArrayBuffer): the ring is refilled by the audio
// callback instead (web_set_audio_refill).
PlatformThread* platform_start_thread(int (*)(void*), void*) { return nullptr; }
void platform_forget_thread(PlatformThread*) {}
