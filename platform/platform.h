// The platform seam: everything the intro needs of the machine it runs on.
//
// The portable code (shell/, scenes/, text/, music/) calls only these free
// functions and never includes a backend's headers; nothing under
// platform/ includes the portable code. One backend is linked into each
// executable, chosen at build time:
//   sdl       Linux: SDL2 window, context, events, dialogs, audio, threads;
//             FreeType + fontconfig glyphs.
//   headless  OSMesa off-screen context, a virtual clock, scripted events
//             and answers, a null audio device (tests and capture).
//   win32     Windows: USER/GDI/WGL, timeGetTime, wave-out, CreateThread.
//   web       the browser: the page's dialog and canvas, WebGL under the
//             OpenGL 1.1 subset (platform/gl11), Web Audio, no threads.
//
// Unless stated otherwise every function is called on the main thread.
// OpenGL itself is used directly by the portable code through
// platform/gl_headers.h once a context is current. The bitmap fonts, which
// only text/ uses, are in platform/platform_font.h.
#ifndef BRINDLEC_PLATFORM_H
#define BRINDLEC_PLATFORM_H

#include <cstdint>

// ---------------------------------------------------------------------------
// Start-up

// Connects to the display (Linux) or sets the 1 ms timer resolution that
// the waits and sleeps rely on (Windows). Called by the process entry
// before anything else. False when there is no display to
// draw on; platform_last_error() then says why in one line.
bool platform_startup(void);

// A short description of the most recent failure of a platform call, for
// the process entry's one-line messages. Never null.
const char* platform_last_error(void);

// ---------------------------------------------------------------------------
// Message boxes

enum PlatformAnswer {
    ANSWER_NO = 0,
    ANSWER_YES = 1,
    ANSWER_FAILED = -1  // the question could not be shown at all
};

enum PlatformIcon {
    ICON_ERROR,        // MB_ICONERROR
    ICON_EXCLAMATION,  // MB_ICONEXCLAMATION
};

// A modal question with Yes and No buttons and a question icon, no owner
// window. Blocks until answered. ANSWER_FAILED when no box could be shown.
PlatformAnswer platform_ask_yes_no(const char* caption, const char* text);

// A modal message with one OK button, no owner window; the answer is
// ignored. Falls back to a line on stderr where no box can be shown.
void platform_show_message(const char* caption, const char* text, PlatformIcon icon);

// ---------------------------------------------------------------------------
// Window and OpenGL context. The shell opens in this order and unwinds
// with platform_delete_gl_context() and platform_destroy_window(); each
// step may fail on its own.

// Registers the window class (Windows) or initialises the video
// subsystem. False on failure; nothing to undo.
bool platform_register_window_class(void);

// Switches the primary display to width x height at `bits` colours per
// pixel, full screen. Saves the mode in force before. False when the
// mode is refused; the display is then unchanged.
bool platform_change_display_mode(int width, int height, int bits);

// Puts back the display mode saved by platform_change_display_mode.
void platform_restore_display_mode(void);

// Shows or hides the mouse cursor over the intro.
void platform_show_cursor(bool visible);

// Creates the window with a client area of width x height pixels at the
// screen's top-left corner: a frameless popup when `fullscreen`, otherwise
// an ordinary framed window with the given title. A size the system gives
// the window on the way comes back from platform_wait_message.
bool platform_create_window(const char* title, int width, int height, bool fullscreen);

// Creates a double-buffered RGBA OpenGL 1.1 compatibility context with a
// 24-bit depth buffer for the window (`bits` colour bits requested) and
// makes it current on the calling thread.
bool platform_create_gl_context(int bits);

// Shows the window and gives it the keyboard focus.
void platform_show_window(void);

// Whether a GL context exists (and is current).
bool platform_has_gl_context(void);

// Makes no context current and deletes the context. Returns the number of
// steps that failed (0, 1 or 2): releasing the context, deleting it.
int platform_delete_gl_context(void);

// Releases the window's device context, destroys the window and
// unregisters the window class, skipping what does not exist. Returns
// the number of steps that failed.
int platform_destroy_window(void);

// Presents the back buffer.
void platform_swap_buffers(void);

// ---------------------------------------------------------------------------
// Messages (window events)

enum PlatformMessageType {
    MESSAGE_HANDLED = 0,  // taken and already handled by the platform
    MESSAGE_SIZE,         // client area resized: width, height
    MESSAGE_ACTIVATE,     // activation changed: minimised
    MESSAGE_CLOSE,        // the user asked to close the window
    MESSAGE_KEY_DOWN,     // a key went down: key (KEY_ESCAPE for Esc)
    MESSAGE_QUIT,         // the quit message posted by platform_post_quit
};

enum { KEY_ESCAPE = 27 };

struct PlatformMessage {
    PlatformMessageType type;
    int width, height;  // MESSAGE_SIZE: client area in pixels (0 x 0 when minimised)
    bool minimised;     // MESSAGE_ACTIVATE
    int key;            // MESSAGE_KEY_DOWN: virtual key code
    int exit_code;      // MESSAGE_QUIT: the code given to platform_post_quit
};

// Takes the next waiting window message, waiting at most `timeout_ms`
// milliseconds for one (0: do not wait). True when a message was taken.
// Messages the portable code must act on come back with their type;
// others, which the backend has dealt with itself, as MESSAGE_HANDLED.
// Messages the system delivers while another platform call runs (the size
// messages sent during platform_create_window, for one) are held and come
// back from the next calls, in the order they came. While the intro runs,
// screen-saver and monitor power-down requests are refused by the backend.
bool platform_wait_message(PlatformMessage* message, uint32_t timeout_ms);

// Posts the quit message: a later platform_wait_message returns
// MESSAGE_QUIT with this exit code.
void platform_post_quit(int exit_code);

// ---------------------------------------------------------------------------
// Time

// Milliseconds on a monotonic clock with an arbitrary origin, wrapping
// at 2^32 (like timeGetTime). Any thread.
uint32_t platform_clock_ms(void);

// Suspends the calling thread for about `ms` milliseconds. Any thread.
void platform_sleep_ms(uint32_t ms);

// ---------------------------------------------------------------------------
// Audio device: plays one buffer of interleaved 16-bit stereo frames in an
// endless loop from its first frame.

// Opens the default output device for 16-bit stereo PCM at `rate` frames
// per second. False when no device can be opened for that format.
bool platform_audio_open(int rate);

// Stops playback and closes the device; harmless when none is open.
void platform_audio_close(void);

// Starts playing `bytes` bytes at `frames` (a multiple of 4) from its first
// frame, looping for ever. The buffer must stay valid while the device may
// read it; the mixing thread rewrites parts of it while it plays.
bool platform_audio_play_loop(const int16_t* frames, uint32_t bytes);

// Withdraws the loop buffer from the device's bookkeeping (unprepare). The
// device is not reset: one that still plays goes on reading the buffer.
void platform_audio_release_loop(void);

// Bytes played since platform_audio_play_loop started the loop; grows past
// the buffer's length as the loop repeats. Any thread (the mixing thread
// polls it).
uint64_t platform_audio_position(void);

// ---------------------------------------------------------------------------
// Threads

struct PlatformThread;

// Starts `procedure(argument)` on a new thread at the highest priority the
// process may use (time critical on Windows). Null on failure.
PlatformThread* platform_start_thread(int (*procedure)(void*), void* argument);

// Lets go of a thread handle; the thread itself runs on to its own end.
void platform_forget_thread(PlatformThread* thread);

#endif
