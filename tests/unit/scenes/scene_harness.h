// Drives the scenes as the frame loop does, one frame every 30 ms from
// 120 ms on, and reads back what the meshes hold through GL feedback.
#ifndef BRINDLEC_TESTS_SCENE_HARNESS_H
#define BRINDLEC_TESTS_SCENE_HARNESS_H

#include <gtest/gtest.h>

#include "tests/support/gl_probe.h"

namespace scene_test {

constexpr uint32_t FIRST_FRAME_MS = 120, FRAME_MS = 30;
constexpr float EPS = 1e-3f;

// The first frame time of the loop strictly after `ms`.
inline uint32_t frame_after(uint32_t ms)
{
    return ms < FIRST_FRAME_MS ? FIRST_FRAME_MS : FIRST_FRAME_MS + ((ms - FIRST_FRAME_MS) / FRAME_MS + 1) * FRAME_MS;
}

// First frames of the scenes at full rate: the frame after the one that
// ended the scene before (6900, after 51000, after 95000, at 125000).
constexpr uint32_t SCENE1_FIRST_MS = 6930, SCENE2_FIRST_MS = 51060, SCENE3_FIRST_MS = 95040,
                   SCENE4_FIRST_MS = 125040;

// Puts the timeline at the start of `scene` as the earlier scenes leave
// it: columns at the rest depth and lighting on, for scene 4 the line
// width and small font of scene 3's end. The rest is fresh state, as the
// earlier scenes leave it.
inline void enter_scene(uint16_t scene)
{
    for (float& depth : column_depth) depth = -30.0f;
    glEnable(GL_LIGHTING);
    if (scene >= 4) glLineWidth(3.0f), build_font_small();
    music_started = true;
    scene_index = scene;
}

// Draws frames t = from, from + period, ... while t <= until, calling
// after(t) after each.
template <typename After>
void run_frames(uint32_t from, uint32_t until, After after, uint32_t period = FRAME_MS)
{
    for (uint32_t t = from; t <= until; t += period) draw_frame_at(t), after(t);
}

// The scene globals the scene tests follow, named as the scenes name them
// (eye_x and center_x, center_z: the camera's).
struct SceneState {
    uint32_t next_step_ms;
    float eye_x, center_x, center_z;
    float column_depth[13];
    int16_t column_dir[13];
    int32_t pan_phase;
    float cube_angle_x, cube_angle_y, grid_drop;
    uint16_t row_count, ripple_started;
    uint8_t ripple_starting, cube_spin_forward;
    int16_t scene2_phase, colour_step;
    float wire_half_size, frame_angle_x, frame_angle_y, box_angle_x, box_angle_y, star_angle_x, star_angle_y;
    float spike_tip, spike_extent[18];
    BoxFace box_faces[BOX_FACE_COUNT];
    uint16_t scene3_phase;
    float train_x, train_z, triangle_spin;
    int32_t train_length;
};

inline SceneState snapshot(void)
{
    SceneState s = {next_step_ms, camera_eye[0], camera_center[0], camera_center[2], {}, {}, pan_phase,
                    cube_angle_x, cube_angle_y, grid_drop, row_count, ripple_started, ripple_starting,
                    cube_spin_forward, scene2_phase, colour_step, wire_half_size, frame_angle_x, frame_angle_y,
                    box_angle_x, box_angle_y, star_angle_x, star_angle_y, spike_tip, {}, {}, scene3_phase, train_x,
                    train_z, triangle_spin, train_length};
    std::copy(column_depth, column_depth + 13, s.column_depth);
    std::copy(column_dir, column_dir + 13, s.column_dir);
    std::copy(spike_extent, spike_extent + 18, s.spike_extent);
    std::copy(box_faces, box_faces + BOX_FACE_COUNT, s.box_faces);
    return s;
}

// Opens a small window and runs `scene` from its first frame to `until`,
// calling check(t, before, after) with the state before and after each.
template <typename Check>
void run_scene(uint16_t scene, uint32_t until, Check check, uint32_t period = FRAME_MS)
{
    const uint32_t first[5] = {0, SCENE1_FIRST_MS, SCENE2_FIRST_MS, SCENE3_FIRST_MS, SCENE4_FIRST_MS};
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(scene);
    SceneState before = snapshot();
    run_frames(first[scene], until, [&](uint32_t t) {
        SceneState after = snapshot();
        check(t, before, after);
        before = after;
    }, period);
}

// A view in which feedback gives object coordinates back (an orthographic
// box of +-PROBE_RANGE, a pixel a unit), the eye-space normal comes back
// unnormalised as texture coordinates, and only white ambient light
// shines, so the feedback colour is the ambient material.
inline void begin_mesh_probe(void)
{
    const int size = static_cast<int>(2 * PROBE_RANGE);
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-PROBE_RANGE, PROBE_RANGE, -PROBE_RANGE, PROBE_RANGE, -PROBE_RANGE, PROBE_RANGE);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Texture coordinates are generated only for an enabled, complete texture.
    const GLubyte white_texel[4] = {255, 255, 255, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white_texel);
    glEnable(GL_TEXTURE_2D);
    for (GLenum c : {GL_S, GL_T, GL_R}) glTexGeni(c, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
    for (GLenum c : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R}) glEnable(c);
    glDisable(GL_NORMALIZE);
    glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    const GLfloat white[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_AMBIENT, white);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, none);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
}

// The vertices of the filled triangles `draw` made, three per triangle;
// empty if it made anything else.
inline std::vector<MeshVertex> feedback_triangles(const std::function<void()>& draw)
{
    std::vector<MeshVertex> triangles;
    for (const FeedbackPrimitive& p : feedback_primitives(draw)) {
        if (p.token != GL_POLYGON_TOKEN || p.vertices.size() != 3) return {};
        triangles.insert(triangles.end(), p.vertices.begin(), p.vertices.end());
    }
    return triangles;
}

// The quads of a GL_QUADS primitive: each quad v0 v1 v2 v3 comes back as
// the triangles v0 v1 v3 and v1 v2 v3. Empty when they do not pair up so.
inline std::vector<MeshVertex> feedback_quads(const std::function<void()>& draw)
{
    std::vector<MeshVertex> t = feedback_triangles(draw), quads;
    auto same = [](const MeshVertex& a, const MeshVertex& b) {
        return std::equal(a.position, a.position + 3, b.position) && std::equal(a.normal, a.normal + 3, b.normal);
    };
    for (size_t i = 0; i + 6 <= t.size(); i += 6) {
        if (!same(t[i + 1], t[i + 3]) || !same(t[i + 2], t[i + 5])) return {};
        quads.insert(quads.end(), {t[i], t[i + 1], t[i + 4], t[i + 5]});
    }
    return t.size() % 6 == 0 ? quads : std::vector<MeshVertex>{};
}

// Whether `pixel` is `material` lit at between `low` and `high` times the
// material (ambient light alone gives 1.0, the diffuse light adds up to
// 1.0 more), each channel within 12 of 255.
inline bool lit_as(const Rgb& pixel, const float material[4], float low, float high)
{
    const int channel[3] = {pixel.r, pixel.g, pixel.b};
    for (int c = 0; c < 3; c++) {
        const float lowest = std::min(255.0f, material[c] * low * 255),
                    highest = std::min(255.0f, material[c] * high * 255);
        if (channel[c] < lowest - 12 || channel[c] > highest + 12) return false;
    }
    return true;
}

}  // namespace scene_test

#endif
