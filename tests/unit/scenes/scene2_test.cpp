// Scene 2 frame by frame at one frame every 30 ms: the phase changes and
// the frames that run two phase blocks, the shapes' growth, the colour
// steps and the forced orange, the shards, the spike pulse and the end.
#include <cmath>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

float turn(float before, float after) { return std::remainder(after - before, 360.0f); }

// Scene 2 entered in `phase`, one frame drawn at `t`.
void frame_in_phase(int16_t phase, uint32_t t)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(2);
    scene2_phase = phase;
    draw_frame_at(t);
}

}  // namespace

TEST(Scene2, PhaseChangesAndTheFramesThatRunTwoBlocks)
{
    // Where each phase begins and the frame's turn then: a block that
    // advances the phase lets the next block turn the frame as well. The
    // approach ends by frames: 225 steps of 0.01 exactly, 226 in floats.
    const float changes[6][3] = {{51060, 0, 0},     {55230, 1.4f, 1.0f}, {66330, 6, 4},
                                 {73020, 6, 4},     {80010, 6, 4},       {80010 + 226 * 30, 3, 2}};
    int next = 0;
    run_scene(2, 94980, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        const float tx = turn(before.frame_angle_x, after.frame_angle_x),
                    ty = turn(before.frame_angle_y, after.frame_angle_y);
        if (after.scene2_phase != before.scene2_phase) {
            ASSERT_LT(next, 6) << "t " << t;
            EXPECT_EQ(after.scene2_phase, next + 1);
            EXPECT_EQ(t, changes[next][0]) << "phase " << next + 1;
            EXPECT_NEAR(tx, changes[next][1], EPS) << "phase " << next + 1;
            EXPECT_NEAR(ty, changes[next++][2], EPS) << "phase " << next;
            return;
        }
        const bool still = after.scene2_phase == 1 || after.scene2_phase == 6,
                   slow = after.scene2_phase == 2 && t < 58100;
        EXPECT_NEAR(tx, still ? 0 : slow ? 1.4f : 3, EPS) << "t " << t;
        EXPECT_NEAR(ty, still ? 0 : slow ? 1.0f : 2, EPS) << "t " << t;
    });
    EXPECT_EQ(next, 6);
}

TEST(Scene2, WireFrameAndBoxGrowth)
{
    int box_steps = 0;
    uint32_t last_box_step = 0;
    run_scene(2, 66300, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (t == SCENE2_FIRST_MS) {
            EXPECT_NEAR(after.wire_half_size, 0.0056f, 1e-6f) << "the first frame grows the frame";
        }
        if (after.wire_half_size != before.wire_half_size) {
            EXPECT_NEAR(after.wire_half_size - before.wire_half_size, 0.0056f, 1e-6f) << "t " << t;
        }
        if (after.box_faces[FACE_FRONT].x == before.box_faces[FACE_FRONT].x) return;
        box_steps++, last_box_step = t;
        EXPECT_GT(t, 55200u);
        for (int f = 0; f < BOX_FACE_COUNT; f++)  // all 18 values grow together
            for (float BoxFace::*v : {&BoxFace::x, &BoxFace::y, &BoxFace::z})
                EXPECT_NEAR(after.box_faces[f].*v - before.box_faces[f].*v, 0.0022f, 1e-6f);
    });
    EXPECT_NEAR(wire_half_size, 90 * 0.0056f, 1e-4f);  // 90 steps to half-size 0.5
    EXPECT_EQ(box_steps, 114);                         // to half-size 0.25
    EXPECT_GT(last_box_step, 58100u) << "the box is still growing when the colours start";
}

TEST(Scene2, EighteenColourStepsThenOrange)
{
    int steps = 0;
    run_scene(2, 66330, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (t == SCENE2_FIRST_MS) { EXPECT_EQ(after.next_step_ms, 58100u) << "the first frame arms the colour timer"; }
        if (t == 66330) {
            EXPECT_TRUE(after.colour_step == 3 && after.scene2_phase == 3) << "forced orange";
        } else if (after.next_step_ms != before.next_step_ms && t > 58100) {
            EXPECT_EQ(t, frame_after(58100 + 460 * steps)) << "step " << steps;
            EXPECT_EQ(after.next_step_ms, 58100u + 460u * ++steps);
            EXPECT_EQ(after.colour_step, steps % 8) << "step " << steps;
        } else {
            EXPECT_EQ(after.colour_step, before.colour_step) << "t " << t;
        }
    });
    EXPECT_EQ(steps, 18);
}

TEST(Scene2, SlowFramesTakeOneColourStepEachAndStillTurnOrange)
{
    int steps = 0;  // one frame a second: nine steps, orange at 66300 in any case
    run_scene(2, 67100, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (t == SCENE2_FIRST_MS) return;
        steps += after.next_step_ms != before.next_step_ms;
        EXPECT_LE(after.next_step_ms, before.next_step_ms + 460);
    }, 1000);
    EXPECT_EQ(steps, 9);
    EXPECT_EQ(colour_step, 3);
}

TEST(Scene2, BoxOpensWhileTheStarGrows)
{
    int steps = 0;
    run_scene(2, 73020, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (before.scene2_phase != 3 || after.scene2_phase != 3) return;
        EXPECT_TRUE(after.star_angle_x == after.frame_angle_y && after.star_angle_y == -after.frame_angle_x)
            << "t " << t;
        if (after.spike_tip == before.spike_tip) return;
        steps++;
        EXPECT_NEAR(after.spike_tip - before.spike_tip, 0.001f, 1e-6f) << "t " << t;
        EXPECT_NEAR(after.box_faces[FACE_FRONT].z - before.box_faces[FACE_FRONT].z, 0.001f, 1e-6f);
        EXPECT_NEAR(after.box_faces[FACE_BOTTOM].y - before.box_faces[FACE_BOTTOM].y, 0.001f, 1e-6f);
        EXPECT_EQ(after.box_faces[FACE_FRONT].x, before.box_faces[FACE_FRONT].x) << "only the own-axis values move";
        for (int e = 0; e < 18; e++) EXPECT_NEAR(after.spike_extent[e] - before.spike_extent[e], 0.0001f, 1e-6f);
    });
    EXPECT_GE(steps, 145);  // about 150 frames to 0.4
    EXPECT_LE(steps, 152);
    // The frame that entered phase 4 placed the shards 0.4 from (0, 0, -3)
    // and then stepped them once.
    const float placed[BOX_FACE_COUNT] = {-2.6f + 0.012f, -3.4f - 0.012f, -0.412f, 0.412f, 0.412f, -0.412f};
    for (int f = 0; f < BOX_FACE_COUNT; f++)
        EXPECT_NEAR(f < 2 ? box_faces[f].z : f < 4 ? box_faces[f].x : box_faces[f].y, placed[f], EPS) << "face " << f;
    EXPECT_NEAR(turn(frame_angle_y, box_angle_y), 0.5f, EPS);  // box y takes 2.5 where the frame takes 2
}

TEST(Scene2, ShardsFlyToTheirLimitsAndTheBackOnesSpeedAway)
{
    run_scene(2, 80010, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (before.scene2_phase != 4) return;
        const float back = (before.box_faces[FACE_BACK].z > -8.2f ? -0.012f : 0.0f) - (t > 77000 ? 0.05f : 0.0f);
        EXPECT_NEAR(after.box_faces[FACE_BACK].z - before.box_faces[FACE_BACK].z, back, 1e-4f) << "t " << t;
        EXPECT_NEAR(turn(before.box_angle_x, after.box_angle_x), 3.0f, EPS);
        EXPECT_NEAR(turn(before.box_angle_y, after.box_angle_y), 2.5f, EPS);
        EXPECT_NEAR(after.spike_tip - before.spike_tip, before.spike_tip < 0.55f ? 0.005f : 0.0f, 1e-6f) << "t " << t;
    });
    // In the 234 frames of phase 4 the front, top and bottom shards and the
    // spread reach their limits, the sides do not; the back shards go 133
    // frames of 0.012, then 52 of 0.062 past the limit and 49 of 0.05.
    const float want[] = {-0.8f, 2.2f, -2.2f, 2.3f, -0.4f - 0.012f * 234, 0.4f + 0.012f * 234};
    const float got[] = {box_faces[FACE_FRONT].z, box_faces[FACE_TOP].y, box_faces[FACE_BOTTOM].y, shard_spread,
                         box_faces[FACE_LEFT].x, box_faces[FACE_RIGHT].x};
    for (int i = 0; i < 6; i++) EXPECT_NEAR(got[i], want[i], 0.013f) << i;
    EXPECT_NEAR(box_faces[FACE_BACK].z, -4.996f - 0.062f * 52 - 0.05f * 49, 0.005f);
    EXPECT_TRUE(spike_tip >= 0.55f && spike_tip < 0.56f) << spike_tip;
}

TEST(Scene2, SpikePulseByTimeAndTheEnd)
{
    // The step of spike_tip in the frame at t; exact thousands change nothing.
    auto pulse = [](uint32_t t) -> float {
        if (t == 87000 || t == 88000 || t == 89000 || t == 90000) return 0.0f;
        return t < 87000 || (t > 88000 && t < 89000) ? 0.005f : -0.005f;
    };
    int pulse_frames = 0;
    run_scene(2, 95010, [&](uint32_t t, const SceneState& before, const SceneState& after) {
        if (after.scene2_phase != 6) return;
        pulse_frames++;
        EXPECT_NEAR(after.spike_tip - before.spike_tip, pulse(t), 1e-5f) << "t " << t;
        for (int e = 0; e < 18; e++) {  // only the own-axis extents slide
            const bool own_axis = e == 0 || e == 1 || e == 8 || e == 9 || e == 16 || e == 17;
            EXPECT_NEAR(after.spike_extent[e] - before.spike_extent[e], own_axis ? pulse(t) : 0.0f, 1e-5f) << "t " << t;
        }
        if (t == 94980) { EXPECT_GT(count_pixels(Image(), [](Rgb p) { return p.b > 40; }), 0) << "still drawn"; }
    });
    EXPECT_EQ(pulse_frames, (95010 - (80010 + 226 * 30)) / 30 + 1);
    // The frame after 95000 ended the scene without drawing.
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(colour_step, 0);
    EXPECT_EQ(count_pixels(Image(), [](Rgb p) { return p.r + p.g + p.b > 0; }), 0);
    EXPECT_LT(spike_tip, 0.0f) << "the spikes slid through the centre";
}

TEST(Scene2, SpikePulseStopsAtTipTwo)
{
    spike_tip = 2.0f;
    frame_in_phase(6, 86010);
    EXPECT_EQ(spike_tip, 2.0f);
    spike_tip = 1.999f;
    draw_frame_at(86040);
    EXPECT_NEAR(spike_tip, 2.004f, 1e-5f);
}

TEST(Scene2, LateApproachEndsTheSceneInTheFrameThatEntersPhase6)
{
    object_depth = -0.75f;
    frame_in_phase(5, 95500);
    EXPECT_EQ(scene2_phase, 6);
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(colour_step, 0);
}

TEST(Scene2, AnglesWrapAt360InclusiveAndSpareTheEndFrame)
{
    frame_angle_x = 357.0f;  // + 3 reaches exactly 360
    frame_angle_y = -1.0f;
    box_angle_y = -360.0f;
    frame_in_phase(5, 81000);
    const float got[] = {frame_angle_x, frame_angle_y, box_angle_y, star_angle_x, star_angle_y};
    EXPECT_EQ(std::vector<float>(got, got + 5), (std::vector<float>{0, 1, 0, 1, 0}));
    scene2_phase = 6;
    draw_frame_at(95000);
    EXPECT_EQ(scene_index, 2) << "the scene ends only after 95000";
    box_angle_x = 360.0f;
    draw_frame_at(95100);
    EXPECT_EQ(scene_index, 3);
    EXPECT_EQ(box_angle_x, 360.0f) << "the end frame returns before the wrap";
}
