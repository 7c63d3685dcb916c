// Scene 1, the wall of cubes, frame by frame at one frame every 30 ms: the
// pulse steps and the pan counter, the ripple's start-up and wave, the
// gather, the spin reversal, the row drops and the hand-over.
#include <cmath>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

TEST(Scene1, FifteenPulseStepsAndThePanCounter)
{
    // pan_phase after each step (from 5), and the pan of the interval that
    // follows: +1 right, -1 left, 0 still.
    const int32_t phases[15] = {3, 1, 0, -1, 0, 1, 0, -1, 0, 1, 0, -1, 0, 1, 0};
    const int pans[15] = {0, 1, -1, -1, 1, 1, -1, -1, 1, 1, -1, -1, 1, 1, -1};
    int fired = 0;
    run_scene(1, 21390, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        const bool pulse = t > 13880 && t < 21240;
        if (after.next_step_ms != before.next_step_ms && pulse) {
            ASSERT_LT(fired, 15) << "t " << t;
            EXPECT_EQ(t, frame_after(14340 + 460 * fired)) << "step " << fired;
            EXPECT_EQ(after.next_step_ms, before.next_step_ms + 460);
            EXPECT_EQ(after.pan_phase, phases[fired]) << "step " << fired;
            EXPECT_EQ(after.column_dir[0], fired++ % 2) << "the wall turns";
        }
        // The whole wall moves 0.9 a frame, closer while dir[0] is 1; the
        // camera pans 0.2 a frame and keeps looking straight ahead.
        const float move = pulse ? (after.column_dir[0] == 1 ? 0.9f : -0.9f) : 0.0f;
        for (int c = 0; c < 13; c++)
            EXPECT_NEAR(after.column_depth[c] - before.column_depth[c], move, EPS) << "t " << t;
        EXPECT_NEAR(after.eye_x - before.eye_x, pulse ? 0.2f * (fired ? pans[fired - 1] : 0) : 0.0f, EPS) << t;
        EXPECT_EQ(after.center_x, after.eye_x);
    });
    EXPECT_EQ(fired, 15);
    EXPECT_EQ(next_step_ms, 21240u);
    EXPECT_EQ(pan_sign, -1);
}

TEST(Scene1, SlowFramesFireAtMostOnePulseStepEach)
{
    // One frame a second: seven steps of 460 ms fire before 21240, one a frame.
    int steps = 0;
    run_scene(1, 21239, [&](uint32_t, const SceneState& before, const SceneState& after) {
        steps += after.next_step_ms != before.next_step_ms;
        EXPECT_LE(after.next_step_ms, before.next_step_ms + 460);
    }, 1000);
    EXPECT_EQ(steps, 7);
}

TEST(Scene1, RippleStartUpJoinsAColumnEvery70Ms)
{
    int joined = 0;
    run_scene(1, 22380, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (t < 21400 || before.ripple_starting == 0) return;
        // The first ripple frame (21420) arms the start-up at its own time;
        // the first column joins in the next frame that exceeds it.
        if (t < 21450) { EXPECT_TRUE(t == 21420 && after.next_step_ms == t && after.ripple_started == 0) << t; }
        if (after.ripple_started != before.ripple_started) {
            EXPECT_EQ(t, frame_after(21420 + 70 * joined++)) << "column " << joined;
            EXPECT_EQ(after.next_step_ms, before.next_step_ms + 70);
        }
        const int n = after.ripple_started;
        for (int c = 0; c < 13; c++)
            EXPECT_NEAR(after.column_depth[c], before.column_depth[c] - (c < n ? 0.5f : 0.0f), EPS)
                << "t " << t << " column " << c;
        if (n < 13) { EXPECT_EQ(after.column_dir[n], 0); }
        EXPECT_EQ(after.ripple_starting, n == 14 ? 0 : 1) << "t " << t;
        EXPECT_EQ(after.eye_x, before.eye_x);
    });
    EXPECT_EQ(joined, 14);
}

TEST(Scene1, WaveSwingsEveryColumnBetweenTheRestDepthAndMinus47)
{
    bool reached_rest[13] = {}, reached_deep[13] = {};
    run_scene(1, 35220, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (t < 21450 || before.ripple_starting == 1) return;
        for (int c = 0; c < 13; c++) {
            // A column turns only at an end of its swing.
            EXPECT_TRUE(
                after.column_dir[c] == before.column_dir[c] ||
                (after.column_dir[c] == 1 ? before.column_depth[c] <= -47.0f : before.column_depth[c] >= -30.0f))
                << t << " " << c;
            EXPECT_NEAR(after.column_depth[c] - before.column_depth[c], after.column_dir[c] == 1 ? 0.5f : -0.5f, EPS);
            reached_rest[c] |= after.column_depth[c] >= -30.0f;
            reached_deep[c] |= after.column_depth[c] <= -47.0f;
        }
        // The camera follows column 0: right while pan_phase is set.
        EXPECT_NEAR(after.eye_x - before.eye_x, after.pan_phase == 0 ? -0.05f : 0.05f, EPS) << "t " << t;
        EXPECT_EQ(after.center_x, after.eye_x);
        EXPECT_TRUE(after.pan_phase == before.pan_phase ||
                    (after.pan_phase == 1 ? after.column_depth[0] >= -30.0f : after.column_depth[0] <= -47.0f))
            << "t " << t;
    });
    for (int c = 0; c < 13; c++) EXPECT_TRUE(reached_rest[c] && reached_deep[c]) << "column " << c;
    // pan_phase is a flag here: -1 pans right like 1.
    pan_phase = -1;
    const float eye = camera_eye[0];
    ASSERT_TRUE(column_depth[0] > -46.0f && column_depth[0] < -31.0f) << "column 0 mid-swing leaves the direction";
    draw_frame_at(35220);
    EXPECT_NEAR(camera_eye[0] - eye, 0.05f, EPS);
}

TEST(Scene1, GatherThenSpinReversal)
{
    int gather_frames = 0;
    run_scene(1, 41010, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        // Spin: +3.3 a frame until the first frame after 36690, then -4.4;
        // both angles equal and within one turn.
        const bool forward = t <= 36690;
        EXPECT_EQ(after.cube_spin_forward, forward ? 1 : 0) << "t " << t;
        EXPECT_NEAR(std::remainder(after.cube_angle_x - before.cube_angle_x, 360.0f), forward ? 3.3f : -4.4f, EPS) << t;
        EXPECT_TRUE(after.cube_angle_x == after.cube_angle_y && std::fabs(after.cube_angle_x) <= 360.0f) << "t " << t;
        if (t < 35250) return;
        EXPECT_EQ(after.next_step_ms, 41100u) << "t " << t;
        const bool gathering = t < 36930;
        gather_frames += gathering;
        for (int c = 0; c < 13; c++) {
            float want = before.column_depth[c];
            if (gathering && want != -30.0f) {
                if (want < -30.0f) want += 0.5f;
                if (want > -30.0f) want -= 0.5f;  // both tests run, in this order
            }
            EXPECT_NEAR(after.column_depth[c], want, EPS) << "t " << t << " column " << c;
        }
    });
    EXPECT_EQ(gather_frames, (36900 - 35250) / 30 + 1);
    EXPECT_EQ(ripple_gathering, 1);
    for (int c = 0; c < 13; c++) EXPECT_LE(std::fabs(column_depth[c] + 30.0f), 0.5f) << "column " << c;
}

TEST(Scene1, TenRowDropsLeaveOneRowAndTheSceneEndsAfter51000)
{
    int drops = 0;
    run_scene(1, 51030, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (after.row_count != before.row_count) {
            EXPECT_EQ(t, frame_after(41100 + 990 * drops++)) << "drop " << drops;
            EXPECT_EQ(after.row_count, 11 - drops);
            EXPECT_NEAR(after.grid_drop, 10.0f + 1.9f * drops, EPS);
        }
        if (t == 51000) {
            EXPECT_GT(count_pixels(Image(), [](Rgb p) { return p.r + p.g + p.b > 60; }), 0) << "still drawn";
        }
    });
    EXPECT_EQ(drops, 10);
    EXPECT_EQ(next_step_ms, 41100u + 990u * 10);
    // The frame at 51030 ended the scene: nothing drawn, camera back on axis.
    EXPECT_EQ(scene_index, 2);
    EXPECT_EQ(count_pixels(Image(), [](Rgb p) { return p.r + p.g + p.b > 0; }), 0);
    const float eye[3] = {0, 0, 0}, center[3] = {0, 0, -10}, up[3] = {0, 1, 0};
    EXPECT_TRUE(std::equal(eye, eye + 3, camera_eye) && std::equal(center, center + 3, camera_center) &&
                std::equal(up, up + 3, camera_up));
}

TEST(Scene1, RowDropsKeepTheTopRowWhenNoFrameFellIntoTheGather)
{
    // A window minimised from 35 s to 37 s: the gather never re-arms the
    // step timer for 41100, so the drops fire in every frame from 41000 on.
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(1);
    run_frames(SCENE1_FIRST_MS, 35220, [](uint32_t) {});
    ASSERT_LT(next_step_ms, 23000u);
    int drops = 0;
    uint16_t rows = row_count;
    run_frames(37020, 51000, [&](uint32_t t) {
        ASSERT_GE(row_count, 1) << "t " << t;
        drops += row_count != rows;
        rows = row_count;
    });
    EXPECT_EQ(drops, 10);
    EXPECT_NEAR(grid_drop, 10.0f + 1.9f * 10, EPS);
}

TEST(Scene1, GatherTakesOverAStartUpCutShortByAMinimise)
{
    // The intro's own frame loop: minimised at 21600 while the columns join
    // the ripple, restored at 35500 inside the gather, stopped at 37000.
    const uint32_t start = headless_clock();
    PlatformMessage activate = {};
    activate.type = MESSAGE_ACTIVATE;
    activate.minimised = true;
    headless_queue_message(activate, start + 21600);
    activate.minimised = false;
    headless_queue_message(activate, start + 35500);
    headless_set_swap_hook([](void*) { quit_requested = elapsed_ms >= 37000; }, nullptr);
    headless_set_window_size(80, 60);
    display_choice = CHOICE_WINDOWED;
    ASSERT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
    ASSERT_TRUE(ripple_started > 0 && ripple_started < 13) << "columns joined: " << ripple_started;
    for (int c = 0; c < 13; c++) EXPECT_LE(std::fabs(column_depth[c] + 30.0f), 0.5f) << "column " << c;
}

TEST(Scene1, WallOfElevenRowsByThirteenColumns)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(1);
    begin_mesh_probe();
    glViewport(0, 0, 80, 80);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-40, 40, -40, 40, 0, 100);  // the wall as the camera sees it, a pixel a unit
    glMatrixMode(GL_MODELVIEW);
    elapsed_ms = SCENE1_FIRST_MS;
    std::vector<MeshVertex> v = feedback_triangles(draw_scene1);
    ASSERT_EQ(v.size(), 11u * 13 * 36);
    // Each cube's centre (of its extent: a turned cube stays symmetric):
    // columns 3 apart from x = -18, rows 3.5 apart from y = 28 - grid_drop,
    // all at the rest depth.
    for (size_t cube = 0; cube < 143; cube++) {
        float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
        for (size_t k = cube * 36; k < cube * 36 + 36; k++)
            for (int a = 0; a < 3; a++)
                low[a] = std::fmin(low[a], v[k].window[a]), high[a] = std::fmax(high[a], v[k].window[a]);
        const int r = static_cast<int>(cube) / 13, c = static_cast<int>(cube) % 13;
        EXPECT_NEAR((low[0] + high[0]) / 2 - 40, 3 * c - 18, EPS) << "row " << r << " column " << c;
        EXPECT_NEAR((low[1] + high[1]) / 2 - 40, 3.5 * (8 - r) - 10, EPS) << "row " << r << " column " << c;
        EXPECT_NEAR((low[2] + high[2]) / 2 * 100, 30, 0.01) << "row " << r << " column " << c;
    }
}
