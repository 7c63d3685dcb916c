// Scene 2 frame by frame at one frame every 30 ms: the phase changes and
// the frames in which two phase blocks run, the shapes' growth, the colour
// steps and the forced orange, the shards, the approach, the spike pulse
// and the hand-over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

struct Scene2State {
    int16_t phase, colour;
    uint32_t next_step;
    float wire, depth;
    float frame_x, frame_y, box_x, box_y, star_x, star_y;
    BoxFace faces[BOX_FACE_COUNT];
    float spread, tip;
    float extent[18];
};

Scene2State snapshot(void)
{
    Scene2State s;
    s.phase = scene2_phase;
    s.colour = colour_step;
    s.next_step = next_step_ms;
    s.wire = wire_half_size;
    s.depth = object_depth;
    s.frame_x = frame_angle_x;
    s.frame_y = frame_angle_y;
    s.box_x = box_angle_x;
    s.box_y = box_angle_y;
    s.star_x = star_angle_x;
    s.star_y = star_angle_y;
    std::memcpy(s.faces, box_faces, sizeof s.faces);
    s.spread = shard_spread;
    s.tip = spike_tip;
    std::memcpy(s.extent, spike_extent, sizeof s.extent);
    return s;
}

// Runs scene 2 from its first frame to `until` with frames `period` apart,
// calling check(t, before, after) after every frame.
template <typename Check>
void run_scene2(uint32_t until, Check check, uint32_t period = FRAME_MS)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(2);
    Scene2State before = snapshot();
    run_frames(SCENE2_FIRST_MS, until, [&](uint32_t t) {
        Scene2State after = snapshot();
        check(t, before, after);
        before = after;
    }, period);
}

// An angle step, unwrapped.
float turn(float before, float after)
{
    float d = after - before;
    if (d > 180.0f) d -= 360.0f;
    if (d < -180.0f) d += 360.0f;
    return d;
}

constexpr float EPS = 1e-3f;

}  // namespace

TEST(Scene2, PhaseChangesAndTheFramesThatRunTwoBlocks)
{
    // Where each phase begins, and the frame turn in that frame: a block
    // that advances the phase lets the next block turn the frame as well.
    struct Change {
        int16_t phase;
        uint32_t t;
        float turn_x, turn_y;
    } changes[] = {
        {1, 51060, 0, 0},
        {2, 55230, 1.4f, 1.0f},  // phase 1 does not turn; phase 2's slow turn
        {3, 66330, 6, 4},
        {4, 73020, 6, 4},
        {5, 80010, 6, 4},
        // The approach ends by frames: 225 steps of 0.01 in exact
        // arithmetic, 226 in single precision; phase 6 does not turn.
        {6, 80010 + 226 * 30, 3, 2},
    };
    size_t next = 0;
    run_scene2(94980, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
        float tx = turn(before.frame_x, after.frame_x), ty = turn(before.frame_y, after.frame_y);
        if (after.phase != before.phase) {
            ASSERT_LT(next, sizeof changes / sizeof changes[0]) << "t " << t;
            const Change& c = changes[next++];
            EXPECT_EQ(after.phase, c.phase);
            EXPECT_EQ(t, c.t) << "phase " << c.phase;
            EXPECT_NEAR(tx, c.turn_x, EPS) << "phase " << c.phase;
            EXPECT_NEAR(ty, c.turn_y, EPS) << "phase " << c.phase;
            return;
        }
        // Ordinary frames: the turn of the phase alone.
        float want_x = 3, want_y = 2;
        if (after.phase == 1 || after.phase == 6) want_x = want_y = 0;
        if (after.phase == 2 && t < 58100) want_x = 1.4f, want_y = 1.0f;
        EXPECT_NEAR(tx, want_x, EPS) << "t " << t;
        EXPECT_NEAR(ty, want_y, EPS) << "t " << t;
        // Angles wrap at 360 and -360 inclusive.
        for (float a : {after.frame_x, after.frame_y, after.box_x, after.box_y, after.star_x, after.star_y}) {
            EXPECT_LT(a, 360.0f) << "t " << t;
            EXPECT_GT(a, -360.0f) << "t " << t;
        }
    });
    EXPECT_EQ(next, sizeof changes / sizeof changes[0]);
}

TEST(Scene2, FirstFrameArmsTheColourTimerAndGrowsTheFrame)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(2);
    draw_frame_at(SCENE2_FIRST_MS);
    EXPECT_EQ(scene2_phase, 1);
    EXPECT_EQ(next_step_ms, 58100u);
    EXPECT_NEAR(wire_half_size, 0.0056f, 1e-6f);
}

TEST(Scene2, WireFrameAndBoxGrowth)
{
    int wire_steps = 0, box_steps = 0;
    uint32_t last_box_step = 0;
    run_scene2(66300, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
        if (after.wire != before.wire) {
            wire_steps++;
            EXPECT_NEAR(after.wire - before.wire, 0.0056f, 1e-6f);
        }
        if (after.faces[FACE_FRONT].x != before.faces[FACE_FRONT].x) {
            box_steps++;
            last_box_step = t;
            EXPECT_GT(t, 55200u);
            // All 18 values grow together.
            for (int f = 0; f < BOX_FACE_COUNT; f++) {
                EXPECT_NEAR(after.faces[f].x - before.faces[f].x, 0.0022f, 1e-6f);
                EXPECT_NEAR(after.faces[f].y - before.faces[f].y, 0.0022f, 1e-6f);
                EXPECT_NEAR(after.faces[f].z - before.faces[f].z, 0.0022f, 1e-6f);
            }
        }
        if (t <= 58100) {
            EXPECT_EQ(after.box_x, after.frame_x);
        }
    });
    EXPECT_EQ(wire_steps, 90);  // to half-size 0.5
    EXPECT_GE(wire_half_size, 0.5f);
    EXPECT_EQ(box_steps, 114);  // to half-size 0.25
    EXPECT_GT(last_box_step, 58100u) << "the box is still growing when the colours start";
    EXPECT_GE(box_faces[FACE_FRONT].x, 0.25f);
}

TEST(Scene2, EighteenColourStepsThenOrange)
{
    int steps = 0;
    run_scene2(66330, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
        if (t == 66330) {
            EXPECT_EQ(after.colour, 3) << "forced orange";
            EXPECT_EQ(after.phase, 3);
            return;
        }
        if (after.next_step != before.next_step && t > 58100) {
            EXPECT_EQ(t, frame_after(58100 + 460 * steps)) << "step " << steps;
            steps++;
            EXPECT_EQ(after.next_step, 58100u + 460u * steps);
            EXPECT_EQ(after.colour, steps % 8) << "step " << steps;
        } else if (t > 51060) {
            EXPECT_EQ(after.colour, before.colour) << "t " << t;
        }
    });
    EXPECT_EQ(steps, 18);
    EXPECT_EQ(next_step_ms, 58100u + 460u * 18);
}

TEST(Scene2, SlowFramesTakeFewerColourStepsAndStillTurnOrange)
{
    // Frame period, colour steps taken (the frame that forces orange takes
    // its step first).
    struct Case {
        uint32_t period;
        int steps;
    } cases[] = {{500, 17}, {1000, 9}};
    for (const Case& c : cases) {
        ASSERT_EXIT(
            {
                int steps = 0;
                bool orange = false;
                run_scene2(67100, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
                    if (after.next_step != before.next_step && t > 58100) {
                        if (after.next_step != before.next_step + 460) std::exit(3);
                        steps++;
                    }
                    if (t > 66300 && !orange) orange = after.colour == 3 && after.phase >= 3;
                }, c.period);
                std::exit(!orange ? 4 : steps == c.steps ? 0 : 10 + steps);
            },
            ::testing::ExitedWithCode(0), "")
            << "period " << c.period;
    }
}

TEST(Scene2, BoxOpensWhileTheStarGrows)
{
    int steps = 0;
    run_scene2(73020, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
        if (before.phase != 3 || after.phase != 3) return;
        EXPECT_EQ(after.star_x, after.frame_y);
        EXPECT_EQ(after.star_y, -after.frame_x);
        if (after.tip == before.tip) return;
        steps++;
        EXPECT_NEAR(after.tip - before.tip, 0.001f, 1e-6f) << "t " << t;
        EXPECT_NEAR(after.faces[FACE_FRONT].z - before.faces[FACE_FRONT].z, 0.001f, 1e-6f);
        EXPECT_NEAR(after.faces[FACE_BOTTOM].y - before.faces[FACE_BOTTOM].y, 0.001f, 1e-6f);
        // Only the own-axis values move.
        EXPECT_EQ(after.faces[FACE_FRONT].x, before.faces[FACE_FRONT].x);
        for (int e = 0; e < 18; e++) EXPECT_NEAR(after.extent[e] - before.extent[e], 0.0001f, 1e-6f);
    });
    EXPECT_GE(steps, 145);  // about 150 frames from the box's size to 0.4
    EXPECT_LE(steps, 152);
    EXPECT_GT(spike_tip, 0.39f);  // a tip distance of about 0.4
    EXPECT_LT(spike_tip, 0.41f);
    // The frame that entered phase 4 placed the shards 0.4 from (0, 0, -3)
    // and then stepped them once.
    EXPECT_NEAR(box_faces[FACE_FRONT].z, -2.6f + 0.012f, EPS);
    EXPECT_NEAR(box_faces[FACE_BACK].z, -3.4f - 0.012f, EPS);
    EXPECT_NEAR(box_faces[FACE_LEFT].x, -0.4f - 0.012f, EPS);
    EXPECT_NEAR(box_faces[FACE_RIGHT].x, 0.4f + 0.012f, EPS);
    EXPECT_NEAR(box_faces[FACE_TOP].y, 0.4f + 0.012f, EPS);
    EXPECT_NEAR(box_faces[FACE_BOTTOM].y, -0.4f - 0.012f, EPS);
    EXPECT_NEAR(box_angle_x, frame_angle_x, EPS);
    EXPECT_NEAR(turn(frame_angle_y, box_angle_y), 0.5f, EPS);  // box y takes 2.5 where the frame takes 2
}

TEST(Scene2, ShardsFlyToTheirLimitsAndTheBackOnesSpeedAway)
{
    run_scene2(80010, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
        if (before.phase != 4) return;
        float back = after.faces[FACE_BACK].z - before.faces[FACE_BACK].z;
        float want_back = before.faces[FACE_BACK].z > -8.2f ? -0.012f : 0.0f;
        if (t > 77000) want_back -= 0.05f;
        EXPECT_NEAR(back, want_back, 1e-4f) << "t " << t;
        EXPECT_NEAR(turn(before.box_x, after.box_x), 3.0f, EPS);
        EXPECT_NEAR(turn(before.box_y, after.box_y), 2.5f, EPS);
        EXPECT_NEAR(after.tip - before.tip, before.tip < 0.55f ? 0.005f : 0.0f, 1e-6f) << "t " << t;
    });
    // In the 234 frames of phase 4 the front, top and bottom shards and
    // the spread reach their limits; the side shards are still on their
    // way to +-5.2 when phase 5 stops drawing them.
    EXPECT_NEAR(box_faces[FACE_FRONT].z, -0.8f, 0.013f);
    EXPECT_NEAR(box_faces[FACE_TOP].y, 2.2f, 0.013f);
    EXPECT_NEAR(box_faces[FACE_BOTTOM].y, -2.2f, 0.013f);
    EXPECT_NEAR(shard_spread, 2.3f, 0.013f);
    EXPECT_NEAR(box_faces[FACE_LEFT].x, -0.4f - 0.012f * 234, 0.01f);
    EXPECT_NEAR(box_faces[FACE_RIGHT].x, 0.4f + 0.012f * 234, 0.01f);
    // The back shards: 133 frames of 0.012 to -4.996, then from 77010 on
    // 52 frames of 0.062 take them past their limit and 49 more of 0.05.
    EXPECT_NEAR(box_faces[FACE_BACK].z, -4.996f - 0.062f * 52 - 0.05f * 49, 0.005f);
    EXPECT_GE(spike_tip, 0.55f);
    EXPECT_LT(spike_tip, 0.56f);
}

TEST(Scene2, SpikePulseByTimeAndTheEnd)
{
    // Step of spike_tip in the frame at t (frames at exact thousands of
    // ms change nothing).
    auto pulse = [](uint32_t t) -> float {
        if (t == 87000 || t == 88000 || t == 89000 || t == 90000) return 0.0f;
        if (t < 87000 || (t > 88000 && t < 89000)) return 0.005f;
        return -0.005f;
    };
    int pulse_frames = 0;
    bool drew_last_frame = false;
    run_scene2(95010, [&](uint32_t t, const Scene2State& before, const Scene2State& after) {
        if (after.phase != 6) return;
        pulse_frames++;
        EXPECT_NEAR(after.tip - before.tip, pulse(t), 1e-5f) << "t " << t;
        for (int e = 0; e < 18; e++) {
            const bool own_axis = e == 0 || e == 1 || e == 8 || e == 9 || e == 16 || e == 17;
            EXPECT_NEAR(after.extent[e] - before.extent[e], own_axis ? pulse(t) : 0.0f, 1e-5f) << "t " << t;
        }
        if (before.phase == 6) {
            EXPECT_EQ(after.frame_x, before.frame_x) << "the star stops turning";
        }
        if (t == 94980) {
            Image frame = capture_frame();
            drew_last_frame = count_pixels(frame, [](Rgb p) { return p.b > 40; }) > 0;
        }
    });
    EXPECT_EQ(pulse_frames, (95010 - (80010 + 226 * 30)) / 30 + 1);
    EXPECT_TRUE(drew_last_frame);
    // The frame after 95000 ended the scene without drawing.
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(colour_step, 0);
    Image frame = capture_frame();
    EXPECT_EQ(count_pixels(frame, [](Rgb p) { return p.r + p.g + p.b > 0; }), 0);
    // The spikes have slid through the centre and out the other side.
    EXPECT_LT(spike_tip, 0.0f);
}

TEST(Scene2, SpikePulseStopsAtTipTwo)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(2);
    scene2_phase = 6;
    spike_tip = 2.0f;
    draw_frame_at(86010);
    EXPECT_EQ(spike_tip, 2.0f);
    spike_tip = 1.999f;
    draw_frame_at(86040);
    EXPECT_NEAR(spike_tip, 2.004f, 1e-5f);
}

TEST(Scene2, LateApproachEndsTheSceneInTheFrameThatEntersPhase6)
{
    // On a slow machine phase 6 may begin after 95000: the scene then ends
    // in that same frame.
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(2);
    scene2_phase = 5;
    object_depth = -0.75f;
    draw_frame_at(95500);
    EXPECT_EQ(scene2_phase, 6);
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(colour_step, 0);
}

TEST(Scene2, AnglesWrapAt360InclusiveAndSpareTheEndFrame)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(2);
    scene2_phase = 5;
    frame_angle_x = 357.0f;  // + 3 reaches exactly 360
    frame_angle_y = -1.0f;
    box_angle_y = -360.0f;
    draw_frame_at(81000);
    EXPECT_EQ(frame_angle_x, 0.0f);
    EXPECT_EQ(frame_angle_y, 1.0f);
    EXPECT_EQ(box_angle_y, 0.0f);
    EXPECT_EQ(star_angle_x, 1.0f);   // frame_angle_y
    EXPECT_EQ(star_angle_y, 0.0f);   // -360 wraps to 0

    scene2_phase = 6;
    box_angle_x = 360.0f;
    draw_frame_at(95100);
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(box_angle_x, 360.0f) << "the end frame returns before the wrap";
}
