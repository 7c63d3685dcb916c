// Test helpers: an off-screen intro window, and what a frame shows.
#ifndef BRINDLEC_TESTS_GL_PROBE_H
#define BRINDLEC_TESTS_GL_PROBE_H

#include <cstdint>
#include <vector>

#include "platform/headless/headless.h"
#include "scenes/scenes.h"
#include "shell/shell.h"

// Opens the 800 x 600 headless window with the intro's GL state.
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

struct PixelBox {
    int left = -1, top = -1, right = -1, bottom = -1;  // inclusive; -1 when empty
    int count = 0;
    bool empty() const { return count == 0; }
};

// The bounding box of the pixels whose brightest channel exceeds
// `threshold`, in window coordinates from the top-left corner.
inline PixelBox bright_box(const std::vector<uint8_t>& rgb, int width, int height, int threshold = 60,
                           int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1)
{
    if (x1 < 0) x1 = width - 1;
    if (y1 < 0) y1 = height - 1;
    PixelBox box;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            int level = p[0] > p[1] ? p[0] : p[1];
            if (p[2] > level) level = p[2];
            if (level <= threshold) continue;
            if (box.count == 0) {
                box.left = box.right = x;
                box.top = box.bottom = y;
            }
            if (x < box.left) box.left = x;
            if (x > box.right) box.right = x;
            if (y < box.top) box.top = y;
            if (y > box.bottom) box.bottom = y;
            box.count++;
        }
    return box;
}

// One glBitmap drawn while a routine ran in feedback mode: where the
// raster position was (window coordinates, origin bottom-left).
struct BitmapToken {
    float x, y;
};

// Runs `draw` in GL feedback mode and returns the bitmap tokens it made
// (one per character drawn by print_text).
template <typename Draw>
std::vector<BitmapToken> bitmap_tokens(Draw draw)
{
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    GLint values = glRenderMode(GL_RENDER);
    std::vector<BitmapToken> tokens;
    GLint colour_values = 4;  // RGBA mode
    GLint vertex_values = 3 + colour_values;
    for (GLint i = 0; i < values;) {
        GLint token = static_cast<GLint>(buffer[i++]);
        if (token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN) {
            if (token == GL_BITMAP_TOKEN) tokens.push_back({buffer[i], buffer[i + 1]});
            i += vertex_values;
        } else if (token == GL_POINT_TOKEN) {
            i += vertex_values;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 2 * vertex_values;
        } else if (token == GL_POLYGON_TOKEN) {
            GLint count = static_cast<GLint>(buffer[i++]);
            i += count * vertex_values;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {
            break;
        }
    }
    return tokens;
}

#endif
