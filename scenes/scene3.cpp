// Scene 3: a train of flat triangular frames in seven repeating colours
// slides in from the right, waits, then rushes towards and past the viewer
// while the camera looks right and round to the back, then to the front
// again. Its end prepares the end scroller: line width and small font.
//
// Also home of the seven-colour palette, which the end scroller's crosses
// take their colours from too (set_palette_material).
#include "scenes/scenes.h"
#include "text/text.h"

enum { PALETTE_COLOURS = 7 };
static const GLfloat object_palette[PALETTE_COLOURS][4] = {
    {0.1f, 0.3f, 0.8f, 1.0f}, {0.5f, 0.1f, 0.4f, 1.0f}, {0.8f, 0.1f, 0.2f, 1.0f}, {0.8f, 0.3f, 0.1f, 1.0f},
    {0.8f, 0.8f, 0.2f, 1.0f}, {0.3f, 0.7f, 0.2f, 1.0f}, {0.1f, 0.2f, 0.4f, 1.0f},
};

GLuint triangle_list = 0;
uint16_t scene3_phase = 0;
float train_x = 20.0f;
float train_z = -5.0f;
int32_t train_length = 50;
static float triangle_spin = 0.0f;  // degrees about z

enum : uint32_t { PAUSE_MS = 600, SCENE3_END_MS = 125000 };
enum { PHASE_SLIDE_IN, PHASE_PAUSE, PHASE_APPROACH, PHASE_LOOK_RIGHT, PHASE_LOOK_FRONT, PHASE_STREAM_ON };

static const float TRAIN_STEP = 0.055f;  // z a frame from the approach on
static const float TRAIN_GAP = 0.5f;     // z from one triangle to the next

// ---------------------------------------------------------------------------
// The triangular-frame mesh

struct FrameVertex {
    GLfloat position[3];
    GLfloat normal[3];
};

// The front and back faces: two slanted bars, reaching down over the
// bottom bar to y = -0.6, and the bottom bar. Listed at z = +0.1; the back
// faces repeat them at z = -0.1 with the normal's z turned.
// clang-format off
static const FrameVertex frame_face_vertices[12] = {
    {{0, 1.2f, 0.1f}, {0, 1.2f, 0.25f}},          {{0, 1.0f, 0.1f}, {0, 1.0f, 0.25f}},
    {{-0.866f, -0.6f, 0.1f}, {-0.866f, -0.6f, 0.25f}}, {{-1.01f, -0.6f, 0.1f}, {-1.01f, -0.6f, 0.25f}},
    {{0, 1.2f, 0.1f}, {0, 1.2f, 0.25f}},          {{0, 1.0f, 0.1f}, {0, 1.0f, 0.25f}},
    {{0.866f, -0.6f, 0.1f}, {0.866f, -0.6f, 0.25f}},   {{1.01f, -0.6f, 0.1f}, {1.01f, -0.6f, 0.25f}},
    {{-0.866f, -0.5f, 0.1f}, {-0.866f, -0.5f, 0.25f}}, {{0.866f, -0.5f, 0.1f}, {0.866f, -0.5f, 0.25f}},
    {{1.01f, -0.6f, 0.1f}, {1.01f, -0.6f, 0.25f}},     {{-1.01f, -0.6f, 0.1f}, {-1.01f, -0.6f, 0.25f}},
};

// The inner and outer edges. Their normals follow no single rule; they
// are the shading the frame was designed with.
static const FrameVertex frame_edge_vertices[24] = {
    // inner edge: left, right, bottom
    {{0, 1.0f, -0.1f}, {0.5f, 0.9f, -0.1f}},          {{0, 1.0f, 0.1f}, {0.5f, 0.9f, 0.1f}},
    {{-0.866f, -0.5f, 0.1f}, {-0.366f, -0.55f, 0.1f}}, {{-0.866f, -0.5f, -0.1f}, {-0.366f, -0.55f, -0.1f}},
    {{0, 1.0f, -0.1f}, {-0.5f, 0.9f, -0.1f}},         {{0, 1.0f, 0.1f}, {-0.5f, 0.9f, 0.1f}},
    {{0.866f, -0.5f, 0.1f}, {0.366f, -0.55f, 0.1f}},   {{0.866f, -0.5f, -0.1f}, {0.366f, -0.55f, -0.1f}},
    {{-0.866f, -0.5f, -0.1f}, {-0.866f, -0.35f, -0.1f}}, {{0.866f, -0.5f, -0.1f}, {0.866f, -0.35f, -0.1f}},
    {{0.866f, -0.5f, 0.1f}, {0.866f, -0.35f, 0.1f}},   {{-0.866f, -0.5f, 0.1f}, {-0.866f, -0.35f, 0.1f}},
    // outer edge: left, right, bottom
    {{0, 1.2f, -0.1f}, {-0.1f, 1.3f, -0.1f}},         {{0, 1.2f, 0.1f}, {-0.1f, 1.3f, 0.1f}},
    {{-1.01f, -0.6f, 0.1f}, {-1.11f, -0.65f, 0.1f}},   {{-1.01f, -0.6f, -0.1f}, {-1.11f, -0.65f, -0.1f}},
    {{0, 1.2f, -0.1f}, {0.1f, 1.3f, -0.1f}},          {{0, 1.2f, 0.1f}, {0.1f, 1.3f, 0.1f}},
    {{1.01f, -0.6f, 0.1f}, {1.11f, -0.65f, 0.1f}},     {{1.01f, -0.6f, -0.1f}, {1.11f, -0.65f, -0.1f}},
    {{-1.01f, -0.6f, -0.1f}, {-1.01f, -0.75f, -0.1f}}, {{1.01f, -0.6f, -0.1f}, {1.01f, -0.75f, -0.1f}},
    {{1.01f, -0.6f, 0.1f}, {1.01f, -0.75f, 0.1f}},     {{-1.01f, -0.6f, 0.1f}, {-1.01f, -0.75f, 0.1f}},
};
// clang-format on

// One GL_QUADS primitive of 12 quads, each vertex after its normal. The
// list sets no material: the train colours each frame itself.
void build_triangle_list(void)
{
    triangle_list = glGenLists(1);
    glNewList(triangle_list, GL_COMPILE);
    glBegin(GL_QUADS);
    static const float sides[2] = {1.0f, -1.0f};  // front faces, then back faces
    for (float side : sides) {
        for (const FrameVertex& v : frame_face_vertices) {
            glNormal3f(v.normal[0], v.normal[1], side * v.normal[2]);
            glVertex3f(v.position[0], v.position[1], side * v.position[2]);
        }
    }
    for (const FrameVertex& v : frame_edge_vertices) {
        glNormal3fv(v.normal);
        glVertex3fv(v.position);
    }
    glEnd();
    glEndList();
}

// ---------------------------------------------------------------------------
// Phase logic: phases are tested in order, so a phase entered in a frame
// also takes its own step in that frame. Returning stops the logic for the
// frame.

static void scene3_phase_logic(void)
{
    if (scene3_phase == PHASE_SLIDE_IN) {
        glEnable(GL_LIGHTING);
        train_x -= 0.1f;
        if (train_x > 0.0f) return;
        scene3_phase = PHASE_PAUSE;
        next_step_ms = elapsed_ms + PAUSE_MS;
    }
    if (scene3_phase == PHASE_PAUSE) {
        if (elapsed_ms < next_step_ms) return;
        scene3_phase = PHASE_APPROACH;
    }
    if (scene3_phase == PHASE_APPROACH) {
        if (train_z < 3.0f) {
            train_z += TRAIN_STEP;
            return;
        }
        scene3_phase = PHASE_LOOK_RIGHT;
    }
    if (scene3_phase == PHASE_LOOK_RIGHT) {
        // The gaze swings right and on round to the back (z = +15).
        if (camera_center[2] < 15.0f) {
            camera_center[0] += 0.02f;
            camera_center[2] += 0.1f;
        }
        if (camera_center[2] >= 15.0f) scene3_phase = PHASE_LOOK_FRONT;
        train_z += TRAIN_STEP;
        train_length = 50;
    }
    if (scene3_phase == PHASE_LOOK_FRONT) {
        if (camera_center[2] > -15.0f) {
            camera_center[0] -= 0.02f;
            camera_center[2] -= 0.1f;
        }
        if (camera_center[2] <= -10.0f) {
            scene3_phase = PHASE_STREAM_ON;
            camera_center[0] = 0.0f;
        }
        train_z += TRAIN_STEP;
        train_length = 75;
    }
    if (scene3_phase == PHASE_STREAM_ON) train_z += TRAIN_STEP;
}

// ---------------------------------------------------------------------------
// The frame

void set_palette_material(void)
{
    if (colour_step < 0 || colour_step >= PALETTE_COLOURS) return;
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, object_palette[colour_step]);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, object_palette[colour_step]);
}

void next_palette_colour(void)
{
    colour_step = colour_step + 1 < PALETTE_COLOURS ? static_cast<int16_t>(colour_step + 1) : 0;
}

static void draw_train(void)
{
    colour_step = 0;
    float z = train_z;
    for (int32_t k = 0; k < train_length; k++) {
        glLoadIdentity();
        set_palette_material();
        z -= TRAIN_GAP;
        gluLookAt(camera_eye[0], camera_eye[1], camera_eye[2], camera_center[0], camera_center[1],
                  camera_center[2], camera_up[0], camera_up[1], camera_up[2]);
        glTranslatef(train_x, 0.0f, z);
        glRotatef(triangle_spin, 0.0f, 0.0f, 1.0f);
        glCallList(triangle_list);
        next_palette_colour();
    }
}

void draw_scene3(void)
{
    scene3_phase_logic();
    if (elapsed_ms >= SCENE3_END_MS) {
        // The end scroller draws its divider lines 3 pixels wide and its
        // text in the 36-pixel font.
        scene_index++;
        glLineWidth(SCROLLER_LINE_WIDTH);
        build_font_small();
    }
    draw_train();  // the last frame still shows the train
    triangle_spin += 1.2f;
}
