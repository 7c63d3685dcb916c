// Test helpers for what the intro draws: an off-screen window, the frame it
// shows, and what GL feedback mode reports for a drawing routine.
#ifndef BRINDLEC_TESTS_GL_PROBE_H
#define BRINDLEC_TESTS_GL_PROBE_H

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/headless/headless.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "text/text.h"

// Opens the headless window with the intro's GL state.
inline bool open_test_window(int width = 800, int height = 600)
{
    return open_gl_window("test", width, height, 32, false);
}

// Draws one frame at `ms` of the intro clock, as the frame loop does.
inline void draw_frame_at(uint32_t ms)
{
    elapsed_ms = ms;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    render_frame();
    platform_swap_buffers();
}

struct Rgb {
    int r, g, b;
};

// The window's pixels as the last frame left them, rows from the top down.
struct Image {
    int width = headless_window_width(), height = headless_window_height();
    std::vector<uint8_t> rgb = headless_read_pixels();
    Rgb at(int x, int y) const
    {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

// Count and bounding box (inclusive) of the pixels inside a rectangle for
// which keep(pixel) holds.
struct PixelBox {
    int left = -1, top = -1, right = -1, bottom = -1, count = 0;
};

template <typename Keep>
PixelBox pixel_box(const Image& image, Keep keep, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1)
{
    PixelBox box;
    for (int y = y0; y <= (y1 < 0 ? image.height - 1 : y1); y++)
        for (int x = x0; x <= (x1 < 0 ? image.width - 1 : x1); x++) {
            if (!keep(image.at(x, y))) continue;
            if (box.count++ == 0) box.left = box.right = x, box.top = box.bottom = y;
            box.left = std::min(box.left, x), box.right = std::max(box.right, x);
            box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    return box;
}

template <typename Keep>
int count_pixels(const Image& image, Keep keep, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1)
{
    return pixel_box(image, keep, x0, y0, x1, y1).count;
}

// Feedback vertex: window coordinates, lit colour, and the texture
// coordinates, in which the mesh probe of the scene tests returns each
// normal. `position` undoes that probe's +-8 orthographic box.
constexpr float PROBE_RANGE = 8.0f;
struct MeshVertex {
    float window[3], colour[4], normal[3], position[3];
};

struct FeedbackPrimitive {
    GLint token;  // GL_POLYGON_TOKEN, GL_LINE_TOKEN, GL_BITMAP_TOKEN, ...
    std::vector<MeshVertex> vertices;
};

// Runs `draw` in feedback mode and returns the primitives it made.
inline std::vector<FeedbackPrimitive> feedback_primitives(const std::function<void()>& draw)
{
    std::vector<GLfloat> buffer(1 << 18);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_4D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint values = glRenderMode(GL_RENDER);
    std::vector<FeedbackPrimitive> primitives;
    for (GLint i = 0; i < values;) {
        FeedbackPrimitive primitive = {static_cast<GLint>(buffer[i++]), {}};
        GLint count = 1;
        if (primitive.token == GL_POLYGON_TOKEN) count = static_cast<GLint>(buffer[i++]);
        else if (primitive.token == GL_LINE_TOKEN || primitive.token == GL_LINE_RESET_TOKEN) count = 2;
        else if (primitive.token == GL_PASS_THROUGH_TOKEN) count = 0, i++;
        for (GLint v = 0; v < count; v++, i += 12) {  // xyzw, rgba, strq
            MeshVertex m;
            for (int a = 0; a < 3; a++) {
                m.window[a] = buffer[i + a];
                m.normal[a] = buffer[i + 8 + a];
                m.position[a] = a < 2 ? buffer[i + a] - PROBE_RANGE : PROBE_RANGE * (1 - 2 * buffer[i + 2]);
            }
            for (int c = 0; c < 4; c++) m.colour[c] = buffer[i + 4 + c];
            primitive.vertices.push_back(m);
        }
        primitives.push_back(primitive);
    }
    return primitives;
}

// The raster positions (window coordinates, origin bottom left) of the
// glyphs `draw` printed, one per character.
inline std::vector<MeshVertex> glyphs(const std::function<void()>& draw)
{
    std::vector<MeshVertex> glyphs;
    for (const FeedbackPrimitive& p : feedback_primitives(draw))
        if (p.token == GL_BITMAP_TOKEN) glyphs.push_back(p.vertices[0]);
    return glyphs;
}

#endif
