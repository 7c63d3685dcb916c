// The four shapes of scene 2, drawn in immediate mode every frame from the
// global parameters scene 2 animates: the pale wire frame, the coloured
// box, the box broken into twelve shards, and the six-spiked star.
//
// Each shape starts from the identity view: the eye at the origin looking
// down -z. Materials set here stay in force after a shape is drawn.
#include "scenes/scene2.h"

float object_depth = -3.0f;
float wire_half_size = 0.0f;
float frame_angle_x = 0.0f;
float frame_angle_y = 0.0f;
float box_angle_x = 0.0f;
float box_angle_y = 0.0f;
float star_angle_x = 0.0f;
float star_angle_y = 0.0f;
BoxFace box_faces[BOX_FACE_COUNT] = {};
float shard_spread = 0.0f;
float spike_extent[18] = {0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f,
                          0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f, 0.02f};
float spike_tip = 0.25f;

// The box's colour cycle; colour 0 also makes every later surface shiny.
static const GLfloat box_palette[8][4] = {
    {0.1f, 0.3f, 0.8f, 1.0f}, {0.5f, 0.1f, 0.4f, 1.0f}, {0.8f, 0.1f, 0.2f, 1.0f}, {0.8f, 0.3f, 0.1f, 1.0f},
    {0.8f, 0.8f, 0.2f, 1.0f}, {0.3f, 0.7f, 0.2f, 1.0f}, {0.1f, 0.4f, 0.1f, 1.0f}, {0.1f, 0.2f, 0.4f, 1.0f},
};
static const GLfloat BOX_SHININESS = 90.0f;

static const GLfloat wire_frame_ambient[4] = {0.9f, 0.9f, 0.9f, 1.0f};
static const GLfloat shard_colour[4] = {0.8f, 0.3f, 0.1f, 1.0f};  // the box's last colour, orange
static const GLfloat star_colour[4] = {0.1f, 0.2f, 0.4f, 1.0f};

enum { AXIS_X, AXIS_Y, AXIS_Z };

// Each face's own axis and the way out of the box along it.
static const int face_axis[BOX_FACE_COUNT] = {AXIS_Z, AXIS_Z, AXIS_X, AXIS_X, AXIS_Y, AXIS_Y};
static const float face_outward[BOX_FACE_COUNT] = {1, -1, -1, 1, 1, -1};

// The normals lean 0.15 out of the face along its own axis.
static const float FACE_NORMAL_LEAN = 0.15f;

static void set_material(GLenum face, const GLfloat* colour)
{
    glMaterialfv(face, GL_AMBIENT, colour);
    glMaterialfv(face, GL_DIFFUSE, colour);
}

static float face_value(int face, int axis)
{
    const BoxFace& values = box_faces[face];
    return axis == AXIS_X ? values.x : axis == AXIS_Y ? values.y : values.z;
}

// ---------------------------------------------------------------------------
// Wire frame

// Four squares of half-size s: front, back, left, right (no top or bottom).
// clang-format off
static const int8_t wire_corners[16][3] = {
    {-1, 1, 1},  {1, 1, 1},   {1, -1, 1},   {-1, -1, 1},
    {-1, 1, -1}, {1, 1, -1},  {1, -1, -1},  {-1, -1, -1},
    {-1, 1, 1},  {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1},
    {1, 1, 1},   {1, -1, 1},  {1, -1, -1},  {1, 1, -1},
};
// clang-format on

// Leaves the polygon mode at GL_LINE. No normal is given: the lines are lit
// with whatever normal the last shape left.
void draw_wire_frame(void)
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, object_depth);
    glRotatef(frame_angle_x, 1.0f, 0.0f, 0.0f);
    glRotatef(frame_angle_y, 0.0f, 1.0f, 0.0f);
    glBegin(GL_QUADS);
    // Only the front ambient: the frame's diffuse colour and back material
    // are those of the shape drawn before, which gives it its pale tint.
    glMaterialfv(GL_FRONT, GL_AMBIENT, wire_frame_ambient);
    const float s = wire_half_size;
    for (const int8_t* corner : wire_corners) glVertex3f(corner[0] * s, corner[1] * s, corner[2] * s);
    glEnd();
}

// ---------------------------------------------------------------------------
// Box

// Corner signs of each face's four vertices, in the face order.
static const int8_t box_corners[BOX_FACE_COUNT][4][3] = {
    {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},
    {{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}},
    {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}},
    {{1, 1, 1}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}},
    {{1, 1, 1}, {-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}},
    {{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}},
};

// A colour_step outside the palette keeps the current material.
static void set_box_colour(void)
{
    if (colour_step < 0 || colour_step > 7) return;
    set_material(GL_FRONT_AND_BACK, box_palette[colour_step]);
    if (colour_step == 0) glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, BOX_SHININESS);
}

void draw_box(void)
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, object_depth);
    glRotatef(box_angle_x, 1.0f, 0.0f, 0.0f);
    glRotatef(box_angle_y, 0.0f, 1.0f, 0.0f);
    set_box_colour();
    glBegin(GL_QUADS);
    for (int face = 0; face < BOX_FACE_COUNT; face++) {
        const float extent[3] = {box_faces[face].x, box_faces[face].y, box_faces[face].z};
        for (const int8_t* corner : box_corners[face]) {
            GLfloat vertex[3] = {corner[0] * extent[0], corner[1] * extent[1], corner[2] * extent[2]};
            GLfloat normal[3] = {vertex[0], vertex[1], vertex[2]};
            normal[face_axis[face]] += face_outward[face] * FACE_NORMAL_LEAN;
            glNormal3fv(normal);
            glVertex3fv(vertex);
        }
    }
    glEnd();
}

// ---------------------------------------------------------------------------
// Shards

// One shard: half a face, split along a diagonal. Its position is the
// face's own-axis value on that axis, plus or minus shard_spread on
// `spread_axis`, about the fixed centre z = -3 for the side faces.
struct Shard {
    int face;
    int spread_axis;
    float spread_sign;
    float first_sign;  // first rotation: first_sign * box_angle_x about first_axis
    int first_axis;
    float second_sign;     // second rotation: second_sign * box_angle_y about y
    int8_t corners[3][3];  // corner signs; 0 on the face's own axis
};

static const Shard shards[12] = {
    {FACE_FRONT, AXIS_X, -1, 1, AXIS_X, 1, {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}}},
    {FACE_FRONT, AXIS_X, 1, 1, AXIS_X, 1, {{1, -1, 0}, {-1, -1, 0}, {1, 1, 0}}},
    {FACE_BACK, AXIS_X, -1, -1, AXIS_X, 1, {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}}},
    {FACE_BACK, AXIS_X, 1, 1, AXIS_X, -1, {{1, -1, 0}, {-1, -1, 0}, {1, 1, 0}}},
    // This shard turns both of its angles about y.
    {FACE_LEFT, AXIS_Z, -1, 1, AXIS_Y, 1, {{0, 1, -1}, {0, 1, 1}, {0, -1, -1}}},
    {FACE_LEFT, AXIS_Z, 1, -1, AXIS_X, 1, {{0, -1, 1}, {0, -1, -1}, {0, 1, 1}}},
    {FACE_RIGHT, AXIS_Z, -1, 1, AXIS_X, 1, {{0, 1, -1}, {0, 1, 1}, {0, -1, -1}}},
    {FACE_RIGHT, AXIS_Z, 1, -1, AXIS_X, -1, {{0, -1, 1}, {0, -1, -1}, {0, 1, 1}}},
    {FACE_TOP, AXIS_X, -1, -1, AXIS_X, -1, {{-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}}},
    {FACE_TOP, AXIS_X, 1, 1, AXIS_X, -1, {{1, 0, 1}, {-1, 0, 1}, {1, 0, -1}}},
    {FACE_BOTTOM, AXIS_X, 1, -1, AXIS_X, 1, {{-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}}},
    {FACE_BOTTOM, AXIS_X, -1, -1, AXIS_X, -1, {{1, 0, 1}, {-1, 0, 1}, {1, 0, -1}}},
};

static const float SHARD_CENTRE_Z = -3.0f;  // the shards fly about the box's first place

static void rotate_about(float angle, int axis)
{
    glRotatef(angle, axis == AXIS_X ? 1.0f : 0.0f, axis == AXIS_Y ? 1.0f : 0.0f,
              axis == AXIS_Z ? 1.0f : 0.0f);
}

static void draw_shard(const Shard& shard)
{
    const int own = face_axis[shard.face];
    GLfloat position[3] = {0.0f, 0.0f, own == AXIS_Z ? 0.0f : SHARD_CENTRE_Z};
    // The own-axis value is a signed position here, not mirrored per face.
    position[own] = face_value(shard.face, own);
    position[shard.spread_axis] += shard.spread_sign * shard_spread;

    glLoadIdentity();
    glTranslatef(position[0], position[1], position[2]);
    rotate_about(shard.first_sign * box_angle_x, shard.first_axis);
    rotate_about(shard.second_sign * box_angle_y, AXIS_Y);
    glBegin(GL_TRIANGLES);
    for (const int8_t* corner : shard.corners) {
        GLfloat vertex[3];
        for (int axis = 0; axis < 3; axis++) vertex[axis] = corner[axis] * face_value(shard.face, axis);
        vertex[own] = 0.0f;
        GLfloat normal[3] = {vertex[0], vertex[1], vertex[2]};
        normal[own] = face_outward[shard.face] * FACE_NORMAL_LEAN;
        glNormal3fv(normal);
        glVertex3fv(vertex);
    }
    glEnd();
}

void draw_shards(void)
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    set_material(GL_FRONT_AND_BACK, shard_colour);
    for (const Shard& shard : shards) draw_shard(shard);
}

// ---------------------------------------------------------------------------
// Star

// One open side of a spike's pyramid: the direction it faces and its two
// base corners. The spike's own-axis sign in `corners` is always +1 and is
// turned for the spikes pointing the negative way.
struct SpikeSide {
    int axis;
    float sign;
    int8_t corners[2][3];
};

// The four sides of the spikes along x, y and z.
static const SpikeSide spike_sides[3][4] = {
    {{AXIS_Y, 1, {{1, 1, -1}, {1, 1, 1}}},
     {AXIS_Y, -1, {{1, -1, -1}, {1, -1, 1}}},
     {AXIS_Z, 1, {{1, 1, 1}, {1, -1, 1}}},
     {AXIS_Z, -1, {{1, 1, -1}, {1, -1, -1}}}},
    {{AXIS_X, -1, {{-1, 1, -1}, {-1, 1, 1}}},
     {AXIS_X, 1, {{1, 1, -1}, {1, 1, 1}}},
     {AXIS_Z, 1, {{1, 1, 1}, {-1, 1, 1}}},
     {AXIS_Z, -1, {{1, 1, -1}, {-1, 1, -1}}}},
    {{AXIS_X, -1, {{-1, 1, 1}, {-1, -1, 1}}},
     {AXIS_X, 1, {{1, 1, 1}, {1, -1, 1}}},
     {AXIS_Y, 1, {{1, 1, 1}, {-1, 1, 1}}},
     {AXIS_Y, -1, {{1, -1, 1}, {-1, -1, 1}}}},
};

// Every normal is the vertex itself nudged 0.001 along the spike and 0.1
// towards the side it belongs to.
static void star_vertex(const GLfloat vertex[3], int spike_axis, float spike_sign, const SpikeSide& side)
{
    GLfloat normal[3] = {vertex[0], vertex[1], vertex[2]};
    normal[spike_axis] += 0.001f * spike_sign;
    normal[side.axis] += 0.1f * side.sign;
    glNormal3fv(normal);
    glVertex3fv(vertex);
}

static void draw_spike(int spike)
{
    const int axis = spike / 2;
    const float sign = spike % 2 == 0 ? 1.0f : -1.0f;
    const float extent[3] = {spike_extent[spike], spike_extent[6 + spike], spike_extent[12 + spike]};
    GLfloat tip[3] = {0.0f, 0.0f, 0.0f};
    tip[axis] = sign * spike_tip;
    for (const SpikeSide& side : spike_sides[axis]) {
        star_vertex(tip, axis, sign, side);
        for (const int8_t* corner : side.corners) {
            GLfloat vertex[3] = {corner[0] * extent[0], corner[1] * extent[1], corner[2] * extent[2]};
            vertex[axis] *= sign;
            star_vertex(vertex, axis, sign, side);
        }
    }
}

void draw_star(void)
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, object_depth);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glRotatef(star_angle_x, 1.0f, 0.0f, 0.0f);
    glRotatef(star_angle_y, 0.0f, 1.0f, 0.0f);
    set_material(GL_FRONT_AND_BACK, star_colour);
    glBegin(GL_TRIANGLES);
    for (int spike = 0; spike < 6; spike++) draw_spike(spike);  // +x -x +y -y +z -z
    glEnd();
}
