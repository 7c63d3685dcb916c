// SDL2 backend (Linux): window, GL context, display mode, events, message
// boxes, audio and threads through SDL2; glyphs through FreeType.
#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/gl_headers.h"
#include "platform/glyphs/composed_text.h"
#include "platform/glyphs/freetype_glyphs.h"
#include "platform/linux/heap.h"
#include "platform/platform.h"
#include "platform/platform_font.h"

namespace {

struct SdlState {
    char error[256] = "";
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool mode_wanted = false;  // a full-screen mode was found and is to be used
    SDL_DisplayMode mode = {};
    Uint32 quit_event = 0;  // event type of platform_post_quit
    bool video_ready = false;

    SDL_AudioDeviceID audio = 0;
    const Uint8* loop = nullptr;  // the ring, read by the audio callback
    uint32_t loop_bytes = 0;
    uint32_t loop_cursor = 0;
    std::atomic<uint64_t> played{0};
};

SdlState sdl;

void remember_error(const char* what)
{
    std::snprintf(sdl.error, sizeof sdl.error, "%s: %s", what, SDL_GetError());
}

}  // namespace

// --- Start-up and message boxes -------------------------------------------

bool platform_startup(void)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        remember_error("cannot open the display");
        return false;
    }
    sdl.video_ready = true;
    sdl.quit_event = SDL_RegisterEvents(1);
    return true;
}

const char* platform_last_error(void) { return sdl.error; }

PlatformAnswer platform_ask_yes_no(const char* caption, const char* text)
{
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, ANSWER_NO, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, ANSWER_YES, "Yes"},
    };
    SDL_MessageBoxData box = {};
    box.flags = SDL_MESSAGEBOX_INFORMATION;
    box.title = caption;
    box.message = text;
    box.numbuttons = 2;
    box.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
        remember_error("cannot show the question");
        return ANSWER_FAILED;
    }
    // Closing the box without a button counts as No.
    return pressed == ANSWER_YES ? ANSWER_YES : ANSWER_NO;
}

void platform_show_message(const char* caption, const char* text, PlatformIcon icon)
{
    Uint32 flags = icon == ICON_ERROR ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_WARNING;
    if (SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) != 0)
        std::fprintf(stderr, "brindlec: %s: %s\n", caption, text);
}

// --- Window and context -----------------------------------------------------

bool platform_register_window_class(void)
{
    if (sdl.video_ready) return true;
    return platform_startup();
}

bool platform_change_display_mode(int width, int height, int bits)
{
    // Only an exact size at full colour depth is accepted, as a display
    // driver would: 32 bits per pixel is a 4-byte pixel format.
    const int modes = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < modes; i++) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        bool deep_enough = bits > 24 ? SDL_BYTESPERPIXEL(mode.format) == 4
                                     : static_cast<int>(SDL_BITSPERPIXEL(mode.format)) >= bits;
        if (mode.w == width && mode.h == height && deep_enough) {
            sdl.mode = mode;
            sdl.mode_wanted = true;
            return true;
        }
    }
    return false;
}

void platform_restore_display_mode(void)
{
    // SDL puts the desktop mode back when the full-screen window goes.
    if (sdl.window) SDL_SetWindowFullscreen(sdl.window, 0);
    sdl.mode_wanted = false;
}

void platform_show_cursor(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

bool platform_create_window(const char* title, int width, int height, bool fullscreen)
{
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    flags |= fullscreen ? (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS) : SDL_WINDOW_RESIZABLE;
    sdl.window = SDL_CreateWindow(title, 0, 0, width, height, flags);
    if (!sdl.window) {
        remember_error("cannot create the window");
        return false;
    }
    if (fullscreen && sdl.mode_wanted) SDL_SetWindowDisplayMode(sdl.window, &sdl.mode);
    return true;
}

bool platform_create_gl_context(int)
{
    keep_freed_heap_memory();
    sdl.context = SDL_GL_CreateContext(sdl.window);
    if (!sdl.context) {
        remember_error("cannot create the OpenGL context");
        return false;
    }
    if (SDL_GL_MakeCurrent(sdl.window, sdl.context) != 0) {
        remember_error("cannot activate the OpenGL context");
        return false;
    }
    return true;
}

void platform_show_window(void)
{
    SDL_ShowWindow(sdl.window);
    SDL_RaiseWindow(sdl.window);
    SDL_DisableScreenSaver();  // no screen saver or power-down while the intro runs
}

bool platform_has_gl_context(void) { return sdl.context != nullptr; }

int platform_delete_gl_context(void)
{
    if (!sdl.context) return 0;
    int failed = SDL_GL_MakeCurrent(sdl.window, nullptr) != 0 ? 1 : 0;
    SDL_GL_DeleteContext(sdl.context);
    sdl.context = nullptr;
    return failed;
}

int platform_destroy_window(void)
{
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    sdl.window = nullptr;
    SDL_EnableScreenSaver();
    return 0;
}

void platform_swap_buffers(void)
{
    if (sdl.window) SDL_GL_SwapWindow(sdl.window);
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
    draw_composed_text(list_base, text, length);
}

// --- Messages ---------------------------------------------------------------

namespace {

// Turns an SDL event into a window message; false for events of no interest.
bool translate_event(const SDL_Event& event, PlatformMessage* message)
{
    *message = PlatformMessage{};
    if (event.type == SDL_QUIT) {
        message->type = MESSAGE_QUIT;
        return true;
    }
    if (sdl.quit_event != 0 && event.type == sdl.quit_event) {
        message->type = MESSAGE_QUIT;
        message->exit_code = event.user.code;
        return true;
    }
    if (event.type == SDL_KEYDOWN) {
        message->type = MESSAGE_KEY_DOWN;
        message->key = event.key.keysym.sym == SDLK_ESCAPE ? int{KEY_ESCAPE}
                                                           : static_cast<int>(event.key.keysym.sym);
        return true;
    }
    if (event.type != SDL_WINDOWEVENT) return false;
    switch (event.window.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        message->type = MESSAGE_SIZE;
        message->width = event.window.data1;
        message->height = event.window.data2;
        return true;
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_RESTORED:
        message->type = MESSAGE_ACTIVATE;
        message->minimised = event.window.event == SDL_WINDOWEVENT_MINIMIZED;
        return true;
    case SDL_WINDOWEVENT_CLOSE: message->type = MESSAGE_CLOSE; return true;
    default: return false;
    }
}

}  // namespace

bool platform_wait_message(PlatformMessage* message, uint32_t timeout_ms)
{
    SDL_Event event;
    int taken = timeout_ms == 0 ? SDL_PollEvent(&event)
                                : SDL_WaitEventTimeout(&event, static_cast<int>(timeout_ms));
    if (!taken) return false;
    if (!translate_event(event, message)) message->type = MESSAGE_HANDLED;
    return true;
}

void platform_post_quit(int exit_code)
{
    SDL_Event event = {};
    event.type = sdl.quit_event != 0 ? sdl.quit_event : Uint32{SDL_QUIT};
    event.user.code = exit_code;
    SDL_PushEvent(&event);
}

// --- Time -------------------------------------------------------------------

uint32_t platform_clock_ms(void) { return SDL_GetTicks(); }
void platform_sleep_ms(uint32_t ms) { SDL_Delay(ms); }

// --- Audio ------------------------------------------------------------------

namespace {

// Plays the ring from its play cursor, wrapping at its end, and counts the
// bytes handed to the device.
void SDLCALL audio_callback(void*, Uint8* stream, int length)
{
    if (!sdl.loop || sdl.loop_bytes == 0) {
        std::memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    uint32_t left = static_cast<uint32_t>(length);
    while (left > 0) {
        uint32_t chunk = sdl.loop_bytes - sdl.loop_cursor;
        if (chunk > left) chunk = left;
        std::memcpy(stream, sdl.loop + sdl.loop_cursor, chunk);
        stream += chunk;
        left -= chunk;
        sdl.loop_cursor = (sdl.loop_cursor + chunk) % sdl.loop_bytes;
    }
    sdl.played.fetch_add(static_cast<uint64_t>(length));
}

}  // namespace

bool platform_audio_open(int rate)
{
    platform_audio_close();
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want = {};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = audio_callback;
    SDL_AudioSpec have = {};
    sdl.audio = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    return sdl.audio != 0;
}

void platform_audio_close(void)
{
    if (sdl.audio) SDL_CloseAudioDevice(sdl.audio);
    sdl.audio = 0;
    sdl.loop = nullptr;
    sdl.loop_bytes = 0;
}

bool platform_audio_play_loop(const int16_t* frames, uint32_t bytes)
{
    if (!sdl.audio || !frames || bytes < 4) return false;
    SDL_LockAudioDevice(sdl.audio);
    sdl.loop = reinterpret_cast<const Uint8*>(frames);
    sdl.loop_bytes = bytes - bytes % 4;
    sdl.loop_cursor = 0;
    sdl.played = 0;
    SDL_UnlockAudioDevice(sdl.audio);
    SDL_PauseAudioDevice(sdl.audio, 0);
    return true;
}

void platform_audio_release_loop(void) {}

// A read-modify-write rather than a plain read: the mixing thread asks
// after filling blocks, and this hands what it wrote to the audio thread,
// whose next count (and so its next copy) follows it. The audio thread's
// count in turn hands its finished copies to the mixing thread, which
// only then refills those blocks. Without the first half the ring's
// blocks would be written and read by the two threads with nothing
// ordering them.
uint64_t platform_audio_position(void) { return sdl.played.fetch_add(0); }

// --- Threads ----------------------------------------------------------------

struct PlatformThread {
    SDL_Thread* thread;
};

namespace {

// What a new thread runs; owned by the thread, which frees it at once.
struct ThreadStart {
    int (*procedure)(void*);
    void* argument;
};

int SDLCALL thread_start(void* data)
{
    ThreadStart start = *static_cast<ThreadStart*>(data);
    delete static_cast<ThreadStart*>(data);
    // Time critical where the system allows it, else as high as it lets us.
    if (SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL) != 0)
        SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
    return start.procedure(start.argument);
}

}  // namespace

PlatformThread* platform_start_thread(int (*procedure)(void*), void* argument)
{
    ThreadStart* start = new ThreadStart{procedure, argument};
    SDL_Thread* thread = SDL_CreateThread(thread_start, "brindlec-mixer", start);
    if (!thread) {
        delete start;
        return nullptr;
    }
    return new PlatformThread{thread};
}

void platform_forget_thread(PlatformThread* thread)
{
    if (!thread) return;
    SDL_DetachThread(thread->thread);
    delete thread;
}
