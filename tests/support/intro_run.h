// The real intro, run by run_intro on the headless backend's virtual clock
// (a frame every 30 ms from 120 ms on, as on a machine of infinite speed),
// with a hook after every frame it draws; and what a frame drew, as GL
// feedback mode reports it.
#ifndef BRINDLEC_TESTS_INTRO_RUN_H
#define BRINDLEC_TESTS_INTRO_RUN_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/headless/headless.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "text/text.h"

// Runs the intro until it ends (by itself, by `quit_requested`, or by the
// messages queued), calling after(t) after every frame but the black
// start-up one, with t its elapsed_ms. A width of 0 leaves the window the
// size the intro asks for. Returns run_intro's status.
inline int run_intro_frames(std::function<void(uint32_t)> after, int width = 80, int height = 60,
                            DisplayChoice choice = CHOICE_WINDOWED)
{
    static std::function<void(uint32_t)> hook;
    hook = std::move(after);
    headless_set_window_size(width, height);
    after_frame_hook = [] { hook(elapsed_ms); };
    display_choice = choice;
    return run_intro(nullptr, nullptr, nullptr, 0);
}

// Runs `check` in the first frame of the intro, with its window, its GL
// state and the large font.
inline void in_first_frame(const std::function<void()>& check)
{
    run_intro_frames([&](uint32_t) { check(), quit_requested = true; }, 0, 0);
}

// Called from the hook: the frame just drawn took until `ms` of the intro
// clock, so the next one comes then (or 30 ms after this one if later).
inline void frame_took_until(uint32_t ms)
{
    headless_set_clock(std::max(headless_clock(), clock_base_ms + ms));
}

// Queues a window message `ms` into the run started next.
inline void queue_at(uint32_t ms, PlatformMessage message)
{
    headless_queue_message(message, headless_clock() + ms);
}
inline PlatformMessage activation(bool minimised) { return {MESSAGE_ACTIVATE, 0, 0, minimised, 0, 0}; }

// What a stretch of drawing made, as GL feedback mode reports it (nothing
// reaches the window meanwhile): per kind of primitive how many, and a
// sum over every vertex's window position and lit colour in order, with
// weights no symmetry cancels, so any moved, recoloured or reordered
// vertex shows.
struct Drawn {
    int polygons = 0, lines = 0, glyphs = 0;
    double sum = 0;
    std::vector<float> glyph_x, glyph_y, glyph_colour;  // raster position and red of each glyph
};

inline std::vector<GLfloat> feedback_buffer(1 << 21);
// From now until feedback_end(): the frames in between, or a call.
inline void feedback_begin()
{
    glFeedbackBuffer(static_cast<GLsizei>(feedback_buffer.size()), GL_3D_COLOR, feedback_buffer.data());
    glRenderMode(GL_FEEDBACK);
}
inline Drawn feedback_end()
{
    const std::vector<GLfloat>& buffer = feedback_buffer;
    const GLint values = glRenderMode(GL_RENDER);  // -1 when the buffer overflowed
    Drawn drawn;
    drawn.polygons = values < 0 ? -1 : 0;
    size_t vertex = 0;
    for (GLint i = 0; i < values;) {
        const GLint token = static_cast<GLint>(buffer[i++]);
        GLint count = 1;
        if (token == GL_POLYGON_TOKEN) count = static_cast<GLint>(buffer[i++]), drawn.polygons++;
        else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) count = 2, drawn.lines++;
        else if (token == GL_PASS_THROUGH_TOKEN) count = 0, i++;
        if (token == GL_BITMAP_TOKEN) {
            drawn.glyphs++;
            drawn.glyph_x.push_back(buffer[i]), drawn.glyph_y.push_back(buffer[i + 1]);
            drawn.glyph_colour.push_back(buffer[i + 3]);
        }
        for (GLint v = 0; v < count; v++, i += 7, vertex++)  // xyz, rgba
            for (int k = 0; k < 7; k++) drawn.sum += (1 + 0.5 * std::sin(1.0 + 3.0 * vertex + k)) * buffer[i + k];
    }
    return drawn;
}
inline Drawn feedback(const std::function<void()>& draw)
{
    feedback_begin();
    draw();
    return feedback_end();
}

#endif
