// Drives the scenes as the frame loop does, one frame every 30 ms from
// elapsed 120 ms on, over the headless (OSMesa) backend; reads back what
// the compiled meshes hold and what a frame shows.
#ifndef BRINDLEC_TESTS_SCENE_HARNESS_H
#define BRINDLEC_TESTS_SCENE_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/gl_probe.h"

namespace scene_test {

constexpr uint32_t FIRST_FRAME_MS = 120;
constexpr uint32_t FRAME_MS = 30;

// The first frame time of the loop at or after `ms`, and strictly after.
uint32_t frame_at_or_after(uint32_t ms);
uint32_t frame_after(uint32_t ms);

// First frames of the scenes at full rate: each scene begins the frame
// after the one that ended the scene before (6900, the first frame after
// 51000, the first after 95000, the first at or after 125000).
constexpr uint32_t SCENE1_FIRST_MS = 6930;
constexpr uint32_t SCENE2_FIRST_MS = 51060;
constexpr uint32_t SCENE3_FIRST_MS = 95040;
constexpr uint32_t SCENE4_FIRST_MS = 125040;

// Puts the timeline at the start of `scene` as the scenes before it leave
// it: the title sequence's end (columns at the rest depth, lighting on),
// for scene 4 the end of scene 3 (line width 3, the small font), and the
// scene index. Everything else a later scene reads is fresh state, which
// is what the earlier scenes leave for it: scene 1 zeroes the camera's x
// and y, scene 2 resets colour_step, scenes 2 and 3 re-arm next_step_ms.
void enter_scene(uint16_t scene);

// Draws frames t = from, from + period, ... while t <= until, calling
// after(t) after each. Returns the number of frames drawn.
template <typename After>
int run_frames(uint32_t from, uint32_t until, After after, uint32_t period = FRAME_MS)
{
    int frames = 0;
    for (uint32_t t = from; t <= until; t += period) {
        draw_frame_at(t);
        after(t);
        frames++;
    }
    return frames;
}

// ---------------------------------------------------------------------------
// Frames

struct Rgb {
    int r, g, b;
};

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows from the top down
    Rgb at(int x, int y) const;
};

Image capture_frame(void);
bool save_ppm(const Image& image, const std::string& path);

// Pixels of `image` inside the rectangle (inclusive) for which keep(rgb)
// is true.
template <typename Keep>
int count_pixels(const Image& image, Keep keep, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1)
{
    if (x1 < 0) x1 = image.width - 1;
    if (y1 < 0) y1 = image.height - 1;
    int count = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if (keep(image.at(x, y))) count++;
    return count;
}

// Whether `pixel` is `material` lit by the intro's light at a brightness
// between `low` and `high` times the material (0.2 global and 0.8 light
// ambient give 1.0, the diffuse light adds up to 1.0 more), each channel
// within `tolerance` of 255 units.
bool lit_as(const Rgb& pixel, const float material[4], float low, float high, int tolerance = 12);

// ---------------------------------------------------------------------------
// Meshes, read back through GL feedback mode

struct MeshVertex {
    float window[3];    // window coordinates as feedback gives them
    float position[3];  // object coordinates, under the probe's view
    float normal[3];    // as given to GL (the modelview has no rotation)
    float colour[4];    // the lit colour
};

// Sets up a view in which feedback gives object coordinates back (an
// orthographic box of +-8 with a pixel per unit) and the texture unit
// generates each vertex's normal as its coordinates, unnormalised. The
// modelview is left at the identity.
void begin_mesh_probe(void);

// What feedback mode gave for one primitive: a triangle (GL_POLYGON_TOKEN),
// a line (GL_LINE_TOKEN / GL_LINE_RESET_TOKEN), a point or a bitmap (one
// vertex: the raster position and colour).
struct FeedbackPrimitive {
    GLint token;
    std::vector<MeshVertex> vertices;
};

// Runs `draw` in feedback mode and returns the primitives it made.
std::vector<FeedbackPrimitive> feedback_primitives(void (*draw)(void));

// The same for a routine that draws filled triangles only: their
// vertices, three per triangle, in order. Any other primitive fails the
// test that called it (an empty result).
std::vector<MeshVertex> feedback_triangles(void (*draw)(void));

// Rebuilds the quads of a GL_QUADS primitive from its triangles (each quad
// v0 v1 v2 v3 comes back as v0 v1 v3 and v1 v2 v3). False when the
// triangles do not pair up that way.
bool triangles_to_quads(const std::vector<MeshVertex>& triangles, std::vector<MeshVertex>* quads);

// Light set-ups that make the feedback colour show one material colour:
// only ambient light (the colour is the ambient material), or only a
// diffuse light from +z on normalised normals.
void light_ambient_only(void);
void light_diffuse_only(void);

}  // namespace scene_test

#endif
