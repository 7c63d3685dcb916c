// Scene 1: a wall of 11 x 13 spinning three-coloured cubes. The columns
// pulse together, then ripple in a travelling wave, gather back, the spin
// reverses, and the wall sinks losing its bottom row once a second.
//
// Also home of the scenes' step timer and look-at camera, which scenes 2
// and 3 share.
#include "scenes/scenes.h"

uint32_t next_step_ms = 14340;
float camera_eye[3] = {0.0f, 0.0f, 0.0f};
float camera_center[3] = {0.0f, 0.0f, -10.0f};
float camera_up[3] = {0.0f, 1.0f, 0.0f};

GLuint cube_list = 0;
float column_depth[14] = {};
static int16_t column_dir[13] = {1};  // ripple: 0 moving away, 1 closer; [0] also the pulse direction
uint16_t row_count = WALL_ROWS;
float grid_drop = 10.0f;
static int32_t pan_phase = 5;  // pulse: pan counter; ripple: pan direction (0 left)
static int32_t pan_sign = 1;   // pulse: pan direction when pan_phase is 0 (+1 right)
float cube_angle_x = 0.0f;
static float cube_angle_y = 0.0f;
uint8_t cube_spin_forward = 1;
uint8_t ripple_starting = 1;
uint8_t ripple_gathering = 0;
uint16_t ripple_started = 0;

// Timeline of the scene, in elapsed milliseconds.
enum : uint32_t {
    PULSE_FROM_MS = 13880,
    PULSE_UNTIL_MS = 21240,
    RIPPLE_FROM_MS = 21400,
    RIPPLE_ARM_UNTIL_MS = 21450,
    GATHER_FROM_MS = 35250,
    GATHER_UNTIL_MS = 36930,
    REVERSE_AFTER_MS = 36690,
    REVERSE_BEFORE_MS = 36950,
    DROP_FIRST_MS = 41100,
    DROP_AFTER_MS = 41000,
    SCENE1_END_MS = 51000,
};
enum : uint32_t { PULSE_PERIOD_MS = 460, RIPPLE_PERIOD_MS = 70, DROP_PERIOD_MS = 990 };

static const float REST_DEPTH = -30.0f;  // the wall's depth between movements
static const float DEEP_DEPTH = -47.0f;  // the far end of the wave

// ---------------------------------------------------------------------------
// The cube mesh

struct CubeVertex {
    GLfloat normal[3];
    GLfloat position[3];
};

// Opposite faces share a colour: red front and back, yellow sides, blue top
// and bottom. The normals lean out through the corners, except the x = +1
// face (1.85 across) and one corner of the bottom, as the wall was designed.
static const GLfloat cube_face_colours[3][4] = {
    {0.85f, 0.2f, 0.0f, 1.0f},
    {0.7f, 0.7f, 0.1f, 1.0f},
    {0.0f, 0.3f, 0.7f, 1.0f},
};

// clang-format off
static const CubeVertex cube_vertices[24] = {
    // z = +1 and z = -1
    {{1, 1, 1.15f}, {1, 1, 1}},     {{1, -1, 1.15f}, {1, -1, 1}},
    {{-1, -1, 1.15f}, {-1, -1, 1}}, {{-1, 1, 1.15f}, {-1, 1, 1}},
    {{1, 1, -1.15f}, {1, 1, -1}},   {{1, -1, -1.15f}, {1, -1, -1}},
    {{-1, -1, -1.15f}, {-1, -1, -1}}, {{-1, 1, -1.15f}, {-1, 1, -1}},
    // x = +1 and x = -1
    {{1.85f, 1, -1}, {1, 1, -1}},   {{1.85f, -1, -1}, {1, -1, -1}},
    {{1.85f, -1, 1}, {1, -1, 1}},   {{1.85f, 1, 1}, {1, 1, 1}},
    {{-1.15f, 1, 1}, {-1, 1, 1}},   {{-1.15f, -1, 1}, {-1, -1, 1}},
    {{-1.15f, -1, -1}, {-1, -1, -1}}, {{-1.15f, 1, -1}, {-1, 1, -1}},
    // y = +1 and y = -1
    {{1, 1.15f, 1}, {1, 1, 1}},     {{1, 1.15f, -1}, {1, 1, -1}},
    {{-1, 1.15f, -1}, {-1, 1, -1}}, {{-1, 1.15f, 1}, {-1, 1, 1}},
    {{1, -1.15f, 1}, {1, -1, 1}},   {{1, -1.15f, -1}, {1, -1, -1}},
    {{-1, -1, -1}, {-1, -1, -1}},   {{-1, -1.15f, 1}, {-1, -1, 1}},
};
// clang-format on

void build_cube_list(void)
{
    cube_list = glGenLists(1);
    glNewList(cube_list, GL_COMPILE);
    glBegin(GL_QUADS);
    for (int v = 0; v < 24; v++) {
        if (v % 8 == 0) {  // a new pair of opposite faces
            const GLfloat* colour = cube_face_colours[v / 8];
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, colour);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, colour);
        }
        glNormal3fv(cube_vertices[v].normal);
        glVertex3fv(cube_vertices[v].position);
    }
    glEnd();
    glEndList();
}

// ---------------------------------------------------------------------------
// Camera pans

// Slides the camera sideways, still looking straight down -z.
static void pan_camera(float distance)
{
    camera_eye[0] += distance;
    camera_center[0] = camera_eye[0];
}

// ---------------------------------------------------------------------------
// Timed sub-steps

// The whole wall moves to and fro every 460 ms while the camera swings.
static void scene1_pulse(void)
{
    if (elapsed_ms > next_step_ms) {
        next_step_ms += PULSE_PERIOD_MS;
        column_dir[0] = column_dir[0] == 1 ? 0 : 1;
        // The counter starts at 5: two steps of stillness, then it swings
        // right once and from then on two steps each way.
        if (pan_phase > 1) {
            pan_phase -= 2;
        } else if (pan_phase == 0) {
            if (pan_sign == 1)
                pan_phase = 1;
            else if (pan_sign == -1)
                pan_phase = -1;
        } else if (pan_phase == -1) {
            pan_phase = 0;
            pan_sign = 1;
        } else if (pan_phase == 1) {
            pan_phase = 0;
            pan_sign = -1;
        }
    }

    const float move = column_dir[0] == 1 ? 0.9f : -0.9f;
    for (float& depth : column_depth) depth += move;

    if (pan_phase == 1)
        pan_camera(0.2f);
    else if (pan_phase == -1)
        pan_camera(-0.2f);
    else if (pan_phase == 0 && pan_sign == 1)
        pan_camera(0.2f);
    else if (pan_phase == 0 && pan_sign == -1)
        pan_camera(-0.2f);
}

// Columns join one by one every 70 ms, the leftmost first, and recede.
static void ripple_start_up(void)
{
    if (elapsed_ms > next_step_ms) {
        next_step_ms += RIPPLE_PERIOD_MS;
        ripple_started++;
    }
    const int joined = ripple_started < 14 ? ripple_started : 14;
    for (int c = 0; c < joined; c++) column_depth[c] -= 0.5f;
    if (joined < WALL_COLUMNS) column_dir[joined] = 0;
    if (joined == 14) ripple_starting = 0;
}

// Columns return to the rest depth at 0.5 a frame and settle within 0.5.
static void ripple_gather(void)
{
    for (int c = 0; c < WALL_COLUMNS; c++) {
        if (column_depth[c] == REST_DEPTH) continue;
        if (column_depth[c] < REST_DEPTH) column_depth[c] += 0.5f;
        if (column_depth[c] > REST_DEPTH) column_depth[c] -= 0.5f;
    }
}

// Each column swings between the rest depth and -47, out of phase by its
// start-up delay; the camera follows column 0 to and fro.
static void ripple_wave(void)
{
    int32_t direction = pan_phase;
    for (int c = 0; c < WALL_COLUMNS; c++) {
        if (column_depth[c] >= REST_DEPTH) column_dir[c] = 0;
        if (column_depth[c] <= DEEP_DEPTH) column_dir[c] = 1;
        // Column 0 is looked at in every iteration, already moved from the
        // second one on.
        if (column_depth[0] >= REST_DEPTH) direction = 1;
        if (column_depth[0] <= DEEP_DEPTH) direction = 0;
        column_depth[c] += column_dir[c] == 0 ? -0.5f : 0.5f;
    }
    pan_phase = direction;
    pan_camera(direction == 0 ? -0.05f : 0.05f);
}

static void scene1_ripple(void)
{
    if (ripple_starting == 1)
        ripple_start_up();
    else if (ripple_gathering == 1)
        ripple_gather();
    else
        ripple_wave();
}

// The bottom row goes and the wall sinks by 1.9, once every 990 ms: ten
// times, leaving the top row. If no frame fell into the gather (a window
// minimised around 36 s), the step timer still lags at the ripple's last
// step and the drops would fire every frame; the top row stays all the same
// rather than the row count wrapping round.
static void scene1_drop_row(void)
{
    if (elapsed_ms > next_step_ms && row_count > 1) {
        row_count--;
        next_step_ms += DROP_PERIOD_MS;
        grid_drop += 1.9f;
    }
}

// ---------------------------------------------------------------------------
// The frame

static void draw_wall(void)
{
    for (int r = 0; r < row_count; r++) {
        for (int c = 0; c < WALL_COLUMNS; c++) {
            glLoadIdentity();
            gluLookAt(camera_eye[0], camera_eye[1], camera_eye[2], camera_center[0], camera_center[1],
                      camera_center[2], camera_up[0], camera_up[1], camera_up[2]);
            glTranslatef(3.0f * c - 18.0f, 3.5f * (8 - r) - grid_drop, column_depth[c]);
            glRotatef(cube_angle_x, 1.0f, 0.0f, 0.0f);
            glRotatef(cube_angle_y, 0.0f, 1.0f, 0.0f);
            glCallList(cube_list);
        }
    }
}

static float wrap_scene1_angle(float angle)
{
    if (angle > 360.0f) angle -= 360.0f;
    if (angle < -360.0f) angle += 360.0f;
    return angle;
}

static void spin_cubes(void)
{
    const float step = cube_spin_forward == 1 ? 3.3f : -4.4f;
    cube_angle_x += step;
    cube_angle_y += step;
    cube_angle_x = wrap_scene1_angle(cube_angle_x);
    cube_angle_y = wrap_scene1_angle(cube_angle_y);
}

// Hands over to scene 2, which looks through the camera's axis again.
static void end_scene1(void)
{
    scene_index++;
    camera_eye[0] = camera_eye[1] = 0.0f;
    camera_center[0] = camera_center[1] = 0.0f;
}

void draw_scene1(void)
{
    const uint32_t t = elapsed_ms;
    if (t > PULSE_FROM_MS && t < PULSE_UNTIL_MS) scene1_pulse();
    if (t >= RIPPLE_FROM_MS) {
        if (t < RIPPLE_ARM_UNTIL_MS) next_step_ms = t;  // arms the start-up
        if (t < GATHER_FROM_MS) scene1_ripple();
    }
    if (t >= GATHER_FROM_MS && t < GATHER_UNTIL_MS) {
        // The gather takes over whatever the start-up left unfinished (a
        // window minimised while the columns were joining).
        ripple_starting = 0;
        ripple_gathering = 1;
        next_step_ms = DROP_FIRST_MS;
        scene1_ripple();
    }
    if (t > REVERSE_AFTER_MS && t < REVERSE_BEFORE_MS) cube_spin_forward = 0;
    if (t > DROP_AFTER_MS && t < SCENE1_END_MS) scene1_drop_row();
    if (t > SCENE1_END_MS) {
        end_scene1();
        return;
    }
    draw_wall();
    spin_cubes();
}
