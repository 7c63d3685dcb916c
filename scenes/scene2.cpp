// Scene 2: a pale wire frame grows; a box grows inside it, flashes through
// eight colours and turns orange; its faces drift apart around a growing
// star, break into twelve shards that fly off, and the frame and star come
// closer until only the star is left, pulsing its spikes.
//
// Also home of colour_step, the colour counter scenes 3 and 4 reuse.
#include "scenes/scene2.h"

int16_t colour_step = 0;
int16_t scene2_phase = 0;

enum : uint32_t {
    COLOUR_FIRST_MS = 58100,  // the box turns faster and starts its colour cycle
    BOX_GROWS_MS = 55200,
    ORANGE_MS = 66300,
    BREAK_MS = 73000,
    BACK_SHARDS_SPEED_MS = 77000,
    APPROACH_MS = 80000,
    SCENE2_END_MS = 95000,
};
enum : uint32_t { COLOUR_PERIOD_MS = 460 };
enum { BOX_COLOURS = 8, ORANGE = 3 };

// The fast turn of phases 2 to 5, in degrees a frame.
static void turn_frame(void)
{
    frame_angle_x += 3.0f;
    frame_angle_y += 2.0f;
}

static void copy_frame_angles_to_box(void)
{
    box_angle_x = frame_angle_x;
    box_angle_y = frame_angle_y;
}

// The star turns crosswise to the frame.
static void copy_frame_angles_to_star(void)
{
    star_angle_x = frame_angle_y;
    star_angle_y = -frame_angle_x;
}

static void grow_wire_frame(void)
{
    if (wire_half_size < 0.5f) wire_half_size += 0.0056f;
    if (elapsed_ms > BOX_GROWS_MS) scene2_phase = 2;
    draw_wire_frame();
}

static void grow_box_and_cycle_colours(void)
{
    const uint32_t t = elapsed_ms;
    if (t > BOX_GROWS_MS && t < COLOUR_FIRST_MS) {
        frame_angle_x += 1.4f;
        frame_angle_y += 1.0f;
        copy_frame_angles_to_box();
    }
    if (t > BOX_GROWS_MS && box_faces[FACE_FRONT].x < 0.25f) {
        for (BoxFace& face : box_faces) {
            face.x += 0.0022f;
            face.y += 0.0022f;
            face.z += 0.0022f;
        }
    }
    if (t > COLOUR_FIRST_MS) {
        turn_frame();
        copy_frame_angles_to_box();
        if (t > next_step_ms) {
            colour_step++;
            if (colour_step == BOX_COLOURS) colour_step = 0;
            next_step_ms += COLOUR_PERIOD_MS;
        }
    }
    if (t > ORANGE_MS) {
        colour_step = ORANGE;  // whatever the cycle reached
        scene2_phase = 3;
    }
    draw_wire_frame();
    draw_box();
}

static void open_box_and_grow_star(void)
{
    turn_frame();
    copy_frame_angles_to_box();
    copy_frame_angles_to_star();
    if (box_faces[FACE_FRONT].z < 0.4f) {
        box_faces[FACE_FRONT].z += 0.001f;
        box_faces[FACE_BACK].z += 0.001f;
        box_faces[FACE_LEFT].x += 0.001f;
        box_faces[FACE_RIGHT].x += 0.001f;
        box_faces[FACE_TOP].y += 0.001f;
        box_faces[FACE_BOTTOM].y += 0.001f;
        for (float& extent : spike_extent) extent += 0.0001f;
        spike_tip += 0.001f;
    }
    draw_wire_frame();
    draw_box();
    draw_star();
    if (elapsed_ms > BREAK_MS) {
        scene2_phase = 4;
        // From now on the own-axis values are the shards' positions, each
        // 0.4 from the shards' centre (0, 0, -3).
        box_faces[FACE_FRONT].z = -2.6f;
        box_faces[FACE_BACK].z = -3.4f;
        box_faces[FACE_LEFT].x = -0.4f;
        box_faces[FACE_RIGHT].x = 0.4f;
        box_faces[FACE_TOP].y = 0.4f;
        box_faces[FACE_BOTTOM].y = -0.4f;
    }
}

// Steps a shard position by 0.012 while it is short of its limit.
static void fly_up_to(float* value, float limit)
{
    if (*value < limit) *value += 0.012f;
}

static void fly_down_to(float* value, float limit)
{
    if (*value > limit) *value -= 0.012f;
}

static void fly_shards(void)
{
    turn_frame();
    box_angle_x += 3.0f;
    box_angle_y += 2.5f;
    copy_frame_angles_to_star();
    if (spike_tip < 0.55f) {
        for (float& extent : spike_extent) extent += 0.0005f;
        spike_tip += 0.005f;
    }
    fly_up_to(&box_faces[FACE_FRONT].z, -0.8f);
    fly_down_to(&box_faces[FACE_BACK].z, -8.2f);
    fly_down_to(&box_faces[FACE_LEFT].x, -5.2f);
    fly_up_to(&box_faces[FACE_RIGHT].x, 5.2f);
    fly_up_to(&box_faces[FACE_TOP].y, 2.2f);
    fly_down_to(&box_faces[FACE_BOTTOM].y, -2.2f);
    fly_up_to(&shard_spread, 2.3f);
    if (elapsed_ms > BACK_SHARDS_SPEED_MS) box_faces[FACE_BACK].z -= 0.05f;  // no limit
    draw_wire_frame();
    draw_shards();
    draw_star();
    if (elapsed_ms > APPROACH_MS) scene2_phase = 5;
}

static void approach(void)
{
    turn_frame();
    copy_frame_angles_to_star();
    if (object_depth < -0.75f)
        object_depth += 0.01f;
    else
        scene2_phase = 6;
    draw_wire_frame();
    draw_star();
}

// The spikes slide out, in, out and in along their axes, keeping their
// length: the tip and each spike's own-axis base distance move together.
static void pulse_spikes(void)
{
    const uint32_t t = elapsed_ms;
    if (spike_tip >= 2.0f) return;
    float step = 0.0f;
    if (t < 87000 || (t > 88000 && t < 89000)) step = 0.005f;
    if ((t > 87000 && t < 88000) || (t > 89000 && t < 90000) || t > 90000) step = -0.005f;
    spike_tip += step;
    static const int own_axis_extents[6] = {0, 1, 8, 9, 16, 17};
    for (int entry : own_axis_extents) spike_extent[entry] += step;
}

static float wrap_scene2_angle(float angle)
{
    if (angle >= 360.0f) angle -= 360.0f;
    if (angle <= -360.0f) angle += 360.0f;
    return angle;
}

static void wrap_angles(void)
{
    float* angles[6] = {&frame_angle_x, &box_angle_x,  &frame_angle_y,
                        &box_angle_y,   &star_angle_x, &star_angle_y};
    for (float* angle : angles) *angle = wrap_scene2_angle(*angle);
}

// Hands over to scene 3, which restarts the colour counter.
static void end_scene2(void)
{
    scene_index++;
    colour_step = 0;
}

// The phase blocks run one after another: a block that moves the phase on
// lets the next block run in the same frame.
void draw_scene2(void)
{
    if (scene2_phase == 0) {
        next_step_ms = COLOUR_FIRST_MS;
        scene2_phase = 1;
    }
    if (scene2_phase == 1) grow_wire_frame();
    if (scene2_phase == 2) grow_box_and_cycle_colours();
    if (scene2_phase == 3) open_box_and_grow_star();
    if (scene2_phase == 4) fly_shards();
    if (scene2_phase == 5) approach();
    if (scene2_phase == 6) {
        pulse_spikes();
        if (elapsed_ms > SCENE2_END_MS) {
            end_scene2();
            return;
        }
        draw_star();
    }
    wrap_angles();
}
