// Scene 3, the train of triangular frames, at one frame every 30 ms: the
// phase lengths, the frames that hand one phase over to the next, the
// gaze, the train's colours and the preparations for the end scroller.
#include <cmath>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

TEST(Scene3, PhaseLengthsHandOverFramesAndTheGaze)
{
    // The frame each phase begins in and the train's z step in it: a phase
    // entered in a frame takes its own step in that frame as well.
    // Slide-in: 200 frames of 0.1 from x = 20; the pause: 600 ms from that
    // frame; approach: 146 frames to z = 3; look right and look front: 250
    // frames each.
    const uint32_t slid_in = SCENE3_FIRST_MS + 199 * 30, paused = slid_in + 600;
    const uint32_t change_t[5] = {slid_in, paused, paused + 146 * 30, paused + 395 * 30, paused + 644 * 30};
    const float change_z_step[5] = {0.0f, 0.055f, 0.055f, 0.11f, 0.11f};
    int next = 0;
    float widest = 0, furthest = -100;
    run_scene(3, 124980, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (t == SCENE3_FIRST_MS) { EXPECT_NEAR(after.train_x, 19.9f, EPS) << "the first frame moves the train"; }
        EXPECT_NEAR(after.triangle_spin - before.triangle_spin, 1.2f, EPS);
        EXPECT_EQ(after.train_length, after.scene3_phase >= 4 ? 75 : 50) << "t " << t;
        widest = std::fmax(widest, after.center_x), furthest = std::fmax(furthest, after.center_z);
        // The gaze passes the side: eye and centre never coincide.
        EXPECT_GT(std::fabs(after.center_x) + std::fabs(after.center_z), 1.0f);
        if (after.scene3_phase == before.scene3_phase) {
            EXPECT_NEAR(after.train_z - before.train_z, after.scene3_phase <= 1 ? 0.0f : 0.055f, EPS) << "t " << t;
            EXPECT_NEAR(after.train_x - before.train_x, after.scene3_phase == 0 ? -0.1f : 0.0f, EPS) << "t " << t;
            if (after.scene3_phase == 3) { EXPECT_NEAR(after.center_x - before.center_x, 0.02f, EPS) << "t " << t; }
            if (after.scene3_phase == 4) { EXPECT_NEAR(after.center_z - before.center_z, -0.1f, EPS) << "t " << t; }
            return;
        }
        ASSERT_LT(next, 5) << "t " << t;
        EXPECT_EQ(after.scene3_phase, next + 1);
        EXPECT_EQ(t, change_t[next]) << "phase " << next + 1;
        EXPECT_NEAR(after.train_z - before.train_z, change_z_step[next], EPS) << "phase " << next + 1;
        if (after.scene3_phase == 1) {
            EXPECT_EQ(after.next_step_ms, t + 600) << "the pause is re-armed for this scene";
        }
        if (after.scene3_phase == 3) { EXPECT_NEAR(after.center_z - before.center_z, 0.1f, EPS); }
        // Phase 4's frame takes the gaze up to at least 15 and back down by 0.1.
        if (after.scene3_phase == 4) {
            EXPECT_TRUE(after.center_z >= 14.9f - EPS && after.center_z < 15.0f) << after.center_z;
        }
        if (after.scene3_phase == 5) { EXPECT_TRUE(after.center_x == 0.0f && after.center_z <= -10.0f); }
        next++;
    });
    EXPECT_EQ(next, 5);
    EXPECT_NEAR(widest, 5.0f - 0.02f, EPS);  // the frame that reaches (5, 0, 15) steps back at once
    EXPECT_NEAR(furthest, 15.0f - 0.1f, EPS);
    EXPECT_EQ(camera_eye[0], 0.0f);
    EXPECT_EQ(camera_eye[2], 0.0f);
    EXPECT_EQ(scene_index, 3);
}

TEST(Scene3, EndFrameStillDrawsTheTrainAndPreparesTheScroller)
{
    ASSERT_TRUE(open_test_window(200, 150));
    enter_scene(3);
    scene3_phase = 5;  // a train in view: the full-rate one has streamed past by 125000
    train_x = 0.0f;
    train_z = -2.0f;
    GLfloat width = 0;
    const GLuint large_font = font_base;
    draw_frame_at(124980);
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(font_base, large_font);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);

    draw_frame_at(125000);  // the end test is >= 125000
    EXPECT_EQ(scene_index, 4);
    EXPECT_GT(count_pixels(Image(), [](Rgb p) { return p.r + p.g + p.b > 60; }), 100);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
    EXPECT_TRUE(glIsList(large_font)) << "the large font's lists stay allocated";
    // From now on text comes in the 36-pixel glyphs: half as wide.
    auto advance = [] {
        std::vector<MeshVertex> g = glyphs([] {
            glLoadIdentity();
            glRasterPos3f(0.0f, 0.0f, -4.0f);
            print_text("WW");
        });
        return g.size() == 2 ? g[1].window[0] - g[0].window[0] : 0.0f;
    };
    const float small = advance();
    font_base = large_font;
    EXPECT_GT(small, 0.0f);
    EXPECT_NEAR(small / advance(), 0.5f, 0.08f);
}

TEST(Scene3, TrainColoursCycleThroughTheSevenPaletteColours)
{
    const float palette[7][4] = {{0.1f, 0.3f, 0.8f, 1}, {0.5f, 0.1f, 0.4f, 1}, {0.8f, 0.1f, 0.2f, 1},
                                 {0.8f, 0.3f, 0.1f, 1}, {0.8f, 0.8f, 0.2f, 1}, {0.3f, 0.7f, 0.2f, 1},
                                 {0.1f, 0.2f, 0.4f, 1}};
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
        std::vector<MeshVertex> triangles = feedback_triangles(draw_scene3);
        // 24 triangles per frame of the train; frame k in colour k mod 7,
        // 0.5 behind the one before.
        ASSERT_EQ(triangles.size(), static_cast<size_t>(length) * 72);
        for (int32_t k = 0; k < length; k++) {
            const MeshVertex& first = triangles[static_cast<size_t>(k) * 72];
            for (int c = 0; c < 4; c++) EXPECT_NEAR(first.colour[c], palette[k % 7][c], EPS) << "frame " << k;
            const MeshVertex& previous = triangles[static_cast<size_t>(k > 0 ? k - 1 : 0) * 72];
            if (k > 0) { EXPECT_NEAR((first.window[2] - previous.window[2]) * 100, 0.5f, EPS) << "frame " << k; }
        }
        EXPECT_EQ(colour_step, length % 7);
    }
}
