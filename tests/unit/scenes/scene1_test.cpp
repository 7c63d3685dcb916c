// Scene 1, the wall of cubes, frame by frame at one frame every 30 ms:
// the pulse steps and the pan counter, the ripple's start-up and wave, the
// gather, the spin reversal, the row drops and the hand-over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

struct Scene1State {
    uint32_t next_step;
    float depth[14];
    int16_t dir[13];
    int32_t pan_phase, pan_sign;
    float eye_x, center_x;
    float angle_x, angle_y;
    uint16_t rows, started;
    float drop;
    uint8_t starting, gathering, forward;
};

Scene1State snapshot(void)
{
    Scene1State s;
    s.next_step = next_step_ms;
    std::memcpy(s.depth, column_depth, sizeof s.depth);
    std::memcpy(s.dir, column_dir, sizeof s.dir);
    s.pan_phase = pan_phase;
    s.pan_sign = pan_sign;
    s.eye_x = camera_eye[0];
    s.center_x = camera_center[0];
    s.angle_x = cube_angle_x;
    s.angle_y = cube_angle_y;
    s.rows = row_count;
    s.started = ripple_started;
    s.drop = grid_drop;
    s.starting = ripple_starting;
    s.gathering = ripple_gathering;
    s.forward = cube_spin_forward;
    return s;
}

// Runs scene 1 from its first frame to `until`, calling check(t, before,
// after) after every frame.
template <typename Check>
void run_scene1(uint32_t until, Check check)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(1);
    Scene1State before = snapshot();
    run_frames(SCENE1_FIRST_MS, until, [&](uint32_t t) {
        Scene1State after = snapshot();
        check(t, before, after);
        before = after;
    });
}

constexpr float EPS = 1e-3f;

}  // namespace

TEST(Scene1, FifteenPulseStepsAndThePanCounter)
{
    // After step k: pan_phase, pan_sign, and the pan of the interval that
    // follows (+1 right, -1 left, 0 still). The counter starts at 5.
    struct Step {
        int32_t phase, sign, pan;
    } steps[15] = {{3, 1, 0},   {1, 1, 1},   {0, -1, -1}, {-1, -1, -1}, {0, 1, 1},
                   {1, 1, 1},   {0, -1, -1}, {-1, -1, -1}, {0, 1, 1},   {1, 1, 1},
                   {0, -1, -1}, {-1, -1, -1}, {0, 1, 1},   {1, 1, 1},   {0, -1, -1}};
    int fired = 0;
    int pulse_frames = 0;
    run_scene1(21390, [&](uint32_t t, const Scene1State& before, const Scene1State& after) {
        const bool in_pulse = t > 13880 && t < 21240;
        if (!in_pulse) {
            for (int c = 0; c < 14; c++) EXPECT_EQ(after.depth[c], before.depth[c]) << "t " << t;
            EXPECT_EQ(after.eye_x, before.eye_x) << "t " << t;
            return;
        }
        pulse_frames++;
        const bool step = after.next_step != before.next_step;
        if (step) {
            ASSERT_LT(fired, 15) << "t " << t;
            EXPECT_EQ(t, frame_after(14340 + 460 * fired)) << "step " << fired;
            EXPECT_EQ(after.next_step, before.next_step + 460);
            EXPECT_EQ(after.pan_phase, steps[fired].phase) << "step " << fired;
            EXPECT_EQ(after.pan_sign, steps[fired].sign) << "step " << fired;
            EXPECT_EQ(after.dir[0], fired % 2 == 0 ? 0 : 1) << "step " << fired;
            fired++;
        }
        // The whole wall moves 0.9 a frame, closer while dir[0] is 1.
        const float move = after.dir[0] == 1 ? 0.9f : -0.9f;
        for (int c = 0; c < 14; c++) EXPECT_NEAR(after.depth[c], before.depth[c] + move, EPS) << "t " << t;
        const int pan = fired == 0 ? 0 : steps[fired - 1].pan;
        EXPECT_NEAR(after.eye_x - before.eye_x, 0.2f * pan, EPS) << "t " << t;
        EXPECT_EQ(after.center_x, after.eye_x);
    });
    EXPECT_EQ(fired, 15);
    EXPECT_EQ(pulse_frames, (21210 - 13890) / 30 + 1);
    EXPECT_EQ(next_step_ms, 21240u);
    EXPECT_EQ(column_dir[0], 0);
    EXPECT_EQ(pan_phase, 0);
}

TEST(Scene1, SlowFramesFireAtMostOnePulseStepEach)
{
    // Frame period in ms, and the pulse steps that fire before 21240.
    struct Case {
        uint32_t period;
        int steps;
    } cases[] = {{500, 14}, {1000, 7}, {3000, 2}};
    for (const Case& c : cases) {
        ASSERT_EXIT(
            {
                if (!open_test_window(80, 60)) std::exit(2);
                enter_scene(1);
                int steps = 0;
                uint32_t last = next_step_ms;
                run_frames(SCENE1_FIRST_MS, 21239, [&](uint32_t) {
                    if (next_step_ms != last) {
                        if (next_step_ms != last + 460) std::exit(3);  // one period per frame at most
                        steps++;
                        last = next_step_ms;
                    }
                }, c.period);
                std::exit(steps == c.steps ? 0 : 10 + steps);
            },
            ::testing::ExitedWithCode(0), "")
            << "period " << c.period;
    }
}

TEST(Scene1, RippleStartUpJoinsAColumnEvery70Ms)
{
    int joined = 0;
    uint32_t armed_at = 0;
    run_scene1(22380, [&](uint32_t t, const Scene1State& before, const Scene1State& after) {
        if (t < 21400) return;
        if (t < 21450) {
            // The first ripple frame arms the start-up at its own time; no
            // column joins before a later frame exceeds it.
            armed_at = t;
            EXPECT_EQ(after.next_step, t);
            EXPECT_EQ(after.started, 0);
            for (int c = 0; c < 14; c++) EXPECT_EQ(after.depth[c], before.depth[c]);
            return;
        }
        if (before.starting == 0) return;
        if (after.started != before.started) {
            joined++;
            EXPECT_EQ(after.started, before.started + 1);
            EXPECT_EQ(t, frame_after(armed_at + 70 * (joined - 1))) << "column " << joined;
            EXPECT_EQ(after.next_step, before.next_step + 70);
        }
        const int n = after.started;
        for (int c = 0; c < 14; c++)
            EXPECT_NEAR(after.depth[c], before.depth[c] - (c < n ? 0.5f : 0.0f), EPS) << "t " << t << " column " << c;
        if (n < 13) {
            EXPECT_EQ(after.dir[n], 0);
        }
        EXPECT_EQ(after.starting, n == 14 ? 0 : 1) << "t " << t;
        // The camera holds still during the start-up.
        EXPECT_EQ(after.eye_x, before.eye_x);
    });
    EXPECT_EQ(armed_at, 21420u);
    EXPECT_EQ(joined, 14);
    EXPECT_EQ(ripple_starting, 0);
    EXPECT_EQ(ripple_started, 14);
}

TEST(Scene1, WaveSwingsEveryColumnBetweenTheRestDepthAndMinus47)
{
    bool reached_rest[13] = {}, reached_deep[13] = {};
    int wave_frames = 0;
    run_scene1(35220, [&](uint32_t t, const Scene1State& before, const Scene1State& after) {
        if (t < 21450 || before.starting == 1) return;
        wave_frames++;
        for (int c = 0; c < 13; c++) {
            const float move = after.depth[c] - before.depth[c];
            EXPECT_NEAR(std::fabs(move), 0.5f, EPS) << "t " << t << " column " << c;
            // A column turns only at an end of its swing.
            if (after.dir[c] != before.dir[c]) {
                const float end = after.dir[c] == 1 ? -47.0f : -30.0f;
                EXPECT_TRUE(after.dir[c] == 1 ? before.depth[c] <= end : before.depth[c] >= end)
                    << "t " << t << " column " << c << " turned at " << before.depth[c];
            }
            EXPECT_NEAR(move, after.dir[c] == 1 ? 0.5f : -0.5f, EPS);
            EXPECT_GE(after.depth[c], -47.5f - EPS);
            EXPECT_LE(after.depth[c], -29.5f + EPS);
            if (after.depth[c] >= -30.0f) reached_rest[c] = true;
            if (after.depth[c] <= -47.0f) reached_deep[c] = true;
        }
        // The camera follows column 0: right while pan_phase is set.
        EXPECT_NEAR(after.eye_x - before.eye_x, after.pan_phase == 0 ? -0.05f : 0.05f, EPS) << "t " << t;
        EXPECT_EQ(after.center_x, after.eye_x);
        if (after.pan_phase != before.pan_phase) {
            EXPECT_TRUE(after.pan_phase == 1 ? after.depth[0] >= -30.0f : after.depth[0] <= -47.0f)
                << "t " << t;
        }
    });
    EXPECT_EQ(wave_frames, (35220 - 22380) / 30 + 1);
    for (int c = 0; c < 13; c++) {
        EXPECT_TRUE(reached_rest[c]) << "column " << c;
        EXPECT_TRUE(reached_deep[c]) << "column " << c;
    }
}

TEST(Scene1, WaveTakesAnyNonZeroPanPhaseAsRight)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(1);
    run_frames(SCENE1_FIRST_MS, 22350, [](uint32_t) {});
    ASSERT_EQ(ripple_starting, 0);
    ASSERT_GT(column_depth[0], -46.0f);  // column 0 mid-swing: it does not set the direction
    ASSERT_LT(column_depth[0], -31.0f);
    pan_phase = -1;
    const float eye = camera_eye[0];
    draw_frame_at(22380);
    EXPECT_NEAR(camera_eye[0] - eye, 0.05f, EPS);
    EXPECT_EQ(pan_phase, -1);
}

TEST(Scene1, GatherThenSpinReversal)
{
    int gather_frames = 0;
    run_scene1(41010, [&](uint32_t t, const Scene1State& before, const Scene1State& after) {
        // Spin: +3.3 a frame until the first frame after 36690, -4.4 from
        // then on; both angles stay equal and within one turn.
        const bool forward = t <= 36690;
        EXPECT_EQ(after.forward, forward ? 1 : 0) << "t " << t;
        float turn = after.angle_x - before.angle_x;
        if (turn > 180.0f) turn -= 360.0f;
        if (turn < -180.0f) turn += 360.0f;
        EXPECT_NEAR(turn, forward ? 3.3f : -4.4f, EPS) << "t " << t;
        EXPECT_EQ(after.angle_x, after.angle_y);
        EXPECT_LE(std::fabs(after.angle_x), 360.0f);

        if (t < 35250) return;
        const bool gathering = t < 36930;
        EXPECT_EQ(after.gathering, 1);
        EXPECT_EQ(after.next_step, 41100u) << "t " << t;
        if (!gathering) {
            for (int c = 0; c < 13; c++) EXPECT_EQ(after.depth[c], before.depth[c]) << "t " << t;
            return;
        }
        gather_frames++;
        for (int c = 0; c < 13; c++) {
            const float d = before.depth[c];
            float want = d;
            if (d != -30.0f) {
                if (want < -30.0f) want += 0.5f;
                if (want > -30.0f) want -= 0.5f;
            }
            EXPECT_NEAR(after.depth[c], want, EPS) << "t " << t << " column " << c;
        }
        EXPECT_EQ(after.eye_x, before.eye_x);
    });
    EXPECT_EQ(gather_frames, (36900 - 35250) / 30 + 1);
    for (int c = 0; c < 13; c++) EXPECT_LE(std::fabs(column_depth[c] + 30.0f), 0.5f) << "column " << c;
}

TEST(Scene1, TenRowDropsLeaveOneRowAndTheSceneEndsAfter51000)
{
    int drops = 0;
    bool drew_at_51000 = false;
    run_scene1(51030, [&](uint32_t t, const Scene1State& before, const Scene1State& after) {
        if (after.rows != before.rows) {
            EXPECT_EQ(t, frame_after(41100 + 990 * drops)) << "drop " << drops;
            drops++;
            EXPECT_EQ(after.rows, 11 - drops);
            EXPECT_NEAR(after.drop, 10.0f + 1.9f * drops, EPS);
            EXPECT_EQ(after.next_step, before.next_step + 990);
        }
        if (t == 51000) {
            EXPECT_EQ(scene_index, 1);
            Image frame = capture_frame();
            drew_at_51000 = count_pixels(frame, [](Rgb p) { return p.r + p.g + p.b > 60; }) > 0;
        }
    });
    EXPECT_EQ(drops, 10);
    EXPECT_EQ(row_count, 1);
    EXPECT_TRUE(drew_at_51000) << "the frame at exactly 51000 still shows the wall";

    // The frame at 51030 ended the scene: nothing drawn, camera back on axis.
    EXPECT_EQ(scene_index, 2);
    Image frame = capture_frame();
    EXPECT_EQ(count_pixels(frame, [](Rgb p) { return p.r + p.g + p.b > 0; }), 0);
    EXPECT_EQ(camera_eye[0], 0.0f);
    EXPECT_EQ(camera_eye[1], 0.0f);
    EXPECT_EQ(camera_center[0], 0.0f);
    EXPECT_EQ(camera_center[1], 0.0f);
    EXPECT_EQ(camera_eye[2], 0.0f);
    EXPECT_EQ(camera_center[2], -10.0f);
    EXPECT_EQ(camera_up[1], 1.0f);
    EXPECT_EQ(next_step_ms, 41100u + 990u * 10);
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
        ASSERT_LE(row_count, rows) << "t " << t;
        if (row_count != rows) drops++;
        rows = row_count;
    });
    EXPECT_EQ(drops, 10);
    EXPECT_EQ(row_count, 1);
    EXPECT_NEAR(grid_drop, 10.0f + 1.9f * 10, 1e-3f);
}
