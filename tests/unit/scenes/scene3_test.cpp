// Scene 3, the train of triangular frames, at one frame every 30 ms: the
// phase lengths, the frames that hand one phase over to the next, the
// colours of the train and the preparations for the end scroller.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

struct Scene3State {
    uint16_t phase;
    float x, z, spin, center_x, center_z;
    int32_t length;
    uint32_t next_step;
};

Scene3State snapshot(void)
{
    return {scene3_phase, train_x, train_z, triangle_spin, camera_center[0], camera_center[2], train_length,
            next_step_ms};
}

constexpr float EPS = 1e-4f;

}  // namespace

TEST(Scene3, FirstFrameAlreadyMovesTheTrain)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(3);
    draw_frame_at(SCENE3_FIRST_MS);
    EXPECT_NEAR(train_x, 19.9f, EPS);
    EXPECT_EQ(scene3_phase, 0);
    EXPECT_NEAR(triangle_spin, 1.2f, EPS);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

TEST(Scene3, PhaseLengthsAndHandOverFrames)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(3);
    // The frame each phase begins in, and how far the train moves in it: a
    // phase entered in a frame takes its own step in that frame as well.
    struct Change {
        uint16_t phase;
        uint32_t t;
        float train_z_step;
    } changes[] = {
        {1, SCENE3_FIRST_MS + 199 * 30, 0.0f},  // slide-in: 200 frames of 0.1 from x = 20
        {2, SCENE3_FIRST_MS + 199 * 30 + 600, 0.055f},  // the pause: 600 ms from that frame
        {3, SCENE3_FIRST_MS + 199 * 30 + 600 + 146 * 30, 0.055f},  // approach: 146 frames to z = 3
        {4, SCENE3_FIRST_MS + 199 * 30 + 600 + 395 * 30, 0.11f},  // look right: 250 frames
        {5, SCENE3_FIRST_MS + 199 * 30 + 600 + 644 * 30, 0.11f},  // look front: 250 frames
    };
    size_t next = 0;
    Scene3State before = snapshot();
    run_frames(SCENE3_FIRST_MS, 124980, [&](uint32_t t) {
        Scene3State after = snapshot();
        EXPECT_NEAR(after.spin - before.spin, 1.2f, EPS);
        if (after.phase != before.phase) {
            ASSERT_LT(next, sizeof changes / sizeof changes[0]) << "t " << t;
            const Change& c = changes[next++];
            EXPECT_EQ(after.phase, c.phase);
            EXPECT_EQ(t, c.t) << "phase " << c.phase;
            EXPECT_NEAR(after.z - before.z, c.train_z_step, EPS) << "phase " << c.phase;
            if (c.phase == 1) {
                EXPECT_LE(after.x, 0.0f);
                EXPECT_EQ(after.next_step, t + 600) << "the pause is re-armed for this scene";
            }
            if (c.phase == 3) {
                EXPECT_NEAR(after.center_z - before.center_z, 0.1f, EPS);
            }
            if (c.phase == 4) {
                // Up to at least 15 and back down by 0.1 in the same frame.
                EXPECT_GE(after.center_z, 15.0f - 0.1f - EPS);
                EXPECT_LT(after.center_z, 15.0f);
                EXPECT_NEAR(after.center_x, before.center_x, EPS);
                EXPECT_EQ(after.length, 75);
            }
            if (c.phase == 5) {
                EXPECT_EQ(after.center_x, 0.0f);
                EXPECT_LE(after.center_z, -10.0f);
            }
        } else {
            // Ordinary frames of each phase.
            const float z_step = after.phase <= 1 ? 0.0f : 0.055f;
            EXPECT_NEAR(after.z - before.z, z_step, EPS) << "t " << t;
            EXPECT_NEAR(after.x - before.x, after.phase == 0 ? -0.1f : 0.0f, EPS) << "t " << t;
            if (after.phase == 3) {
                EXPECT_NEAR(after.center_x - before.center_x, 0.02f, EPS) << "t " << t;
            }
            if (after.phase == 4) {
                EXPECT_NEAR(after.center_z - before.center_z, -0.1f, EPS) << "t " << t;
            }
        }
        EXPECT_EQ(after.length, after.phase >= 4 ? 75 : 50) << "t " << t;
        before = after;
    });
    EXPECT_EQ(next, sizeof changes / sizeof changes[0]);
    // The gaze went round to about (5, 0, 15) and back; the eye never moved.
    EXPECT_EQ(camera_eye[0], 0.0f);
    EXPECT_EQ(camera_eye[2], 0.0f);
    EXPECT_EQ(scene_index, 3);
}

TEST(Scene3, LookRightReachesAbout5And15)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(3);
    float widest = 0.0f, furthest = -100.0f;
    run_frames(SCENE3_FIRST_MS, 121000, [&](uint32_t) {
        if (camera_center[0] > widest) widest = camera_center[0];
        if (camera_center[2] > furthest) furthest = camera_center[2];
        // The gaze passes the side: eye and centre never coincide.
        EXPECT_GT(std::fabs(camera_center[0]) + std::fabs(camera_center[2]), 1.0f);
    });
    // The frame that reaches (5, 0, 15) already takes the first step back.
    EXPECT_NEAR(widest, 5.0f - 0.02f, 0.001f);
    EXPECT_NEAR(furthest, 15.0f - 0.1f, 0.001f);
}

TEST(Scene3, EndFrameStillDrawsTheTrainAndPreparesTheScroller)
{
    ASSERT_TRUE(open_test_window(200, 150));
    enter_scene(3);
    // A train in view (the full-rate train has streamed past the viewer by
    // 125000): the last frame of the scene must still show it.
    scene3_phase = 5;
    train_x = 0.0f;
    train_z = -2.0f;
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
    const GLuint large_font = font_base;

    draw_frame_at(124980);
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(font_base, large_font);

    draw_frame_at(frame_at_or_after(125000));
    EXPECT_EQ(scene_index, 4);
    Image frame = capture_frame();
    EXPECT_GT(count_pixels(frame, [](Rgb p) { return p.r + p.g + p.b > 60; }), 100);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
    EXPECT_NE(font_base, large_font);
    EXPECT_TRUE(glIsList(large_font)) << "the large font's lists stay allocated";

    // From now on text comes in the 36-pixel glyphs: half as wide.
    auto advance = [] {
        auto tokens = bitmap_tokens([] {
            glLoadIdentity();
            glRasterPos3f(0.0f, 0.0f, -4.0f);
            print_text("WW");
        });
        return tokens.size() == 2 ? tokens[1].x - tokens[0].x : 0.0f;
    };
    const float small = advance();
    font_base = large_font;
    const float large = advance();
    EXPECT_GT(small, 0.0f);
    EXPECT_NEAR(small / large, 0.5f, 0.08f);
}

TEST(Scene3, TrainColoursCycleThroughTheSevenPaletteColours)
{
    const float palette[7][4] = {
        {0.1f, 0.3f, 0.8f, 1.0f}, {0.5f, 0.1f, 0.4f, 1.0f}, {0.8f, 0.1f, 0.2f, 1.0f}, {0.8f, 0.3f, 0.1f, 1.0f},
        {0.8f, 0.8f, 0.2f, 1.0f}, {0.3f, 0.7f, 0.2f, 1.0f}, {0.1f, 0.2f, 0.4f, 1.0f},
    };
    for (int c = 0; c < 7; c++)
        for (int i = 0; i < 4; i++) EXPECT_EQ(object_palette[c][i], palette[c][i]) << "colour " << c;

    ASSERT_TRUE(open_test_window(64, 64));
    enter_scene(3);
    begin_mesh_probe();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-8, 8, -8, 8, 0, 100);  // the whole train, from the eye down -z
    glMatrixMode(GL_MODELVIEW);
    train_x = 0.0f;
    scene3_phase = 5;
    for (int32_t length : {50, 75}) {
        train_length = length;
        std::vector<MeshVertex> triangles = feedback_triangles([] { draw_scene3(); });
        // Twelve quads, 24 triangles, per frame of the train; frame k in
        // colour k mod 7, 0.5 behind the one before.
        ASSERT_EQ(triangles.size(), static_cast<size_t>(length) * 24 * 3);
        for (int32_t k = 0; k < length; k++) {
            const MeshVertex& first = triangles[static_cast<size_t>(k) * 72];
            for (int i = 0; i < 4; i++) EXPECT_NEAR(first.colour[i], palette[k % 7][i], 1e-3f) << "frame " << k;
            if (k > 0) {
                const MeshVertex& previous = triangles[static_cast<size_t>(k - 1) * 72];
                EXPECT_NEAR((first.window[2] - previous.window[2]) * 100.0f, 0.5f, 1e-3f) << "frame " << k;
            }
        }
        EXPECT_EQ(colour_step, length % 7 == 0 ? 0 : length % 7);
    }
}
