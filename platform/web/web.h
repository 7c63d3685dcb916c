// Controls of the browser backend, for the browser entry. The backend
// draws on a WebGL 1 canvas through the OpenGL 1.1 subset, plays sound
// with Web Audio, and reaches the page (its dialog, canvas, full screen
// and end screen) through the `page` object the page gives the module.
#ifndef BRINDLEC_WEB_H
#define BRINDLEC_WEB_H

#include <cstdint>

// Still mode, for links to one moment: the clock becomes ideal (time
// moves only by what the frame loop waits for, as in brindlec-capture, so
// frames come at 120, 150, 180 ... ms), no sound device opens, and the
// canvas keeps the last frame drawn after the intro has stopped.
void web_use_still_mode(void);

// Whether frames from now on reach the GPU. A still steps through the
// frames before its moment with all their state changes but draws none.
void web_set_frames_drawn(bool drawn);

// The refill runs after every audio callback, once the device has played
// more of the ring, to mix the blocks it played (the mixing thread's work,
// without a thread). It returns the blocks it mixed.
void web_set_audio_refill(int (*refill)(void));

// After every drawn frame: what the page shows in its status for tests
// and the benchmark (the intro clock, the scene, the frame's main-thread
// milliseconds).
void web_report_frame(uint32_t elapsed, int scene);

// Tells the page the intro is over: "end" (by itself, Esc, or leaving
// full screen), "still" (the still is shown) or "failed" (it could not
// start; the reason was already shown).
void web_report_end(const char* how);

// Shows a problem on the page instead of the intro (no WebGL).
void web_show_problem(const char* text);

#endif
