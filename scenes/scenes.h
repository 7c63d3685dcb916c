// Intro timeline and scenes: the scene clock, the per-frame dispatcher,
// the title sequence and the four scenes with their meshes.
//
// All scene state is global, statically initialised and never reset: a
// scene starts from whatever the scenes before it left.
#ifndef BRINDLEC_SCENES_H
#define BRINDLEC_SCENES_H

#include <cstdint>

#include "platform/gl_headers.h"

struct Song;

// ---------------------------------------------------------------------------
// Scene clock and title sequence (timeline.cpp)

extern uint32_t elapsed_ms;   // ms since the intro clock started; set by the frame loop
extern uint16_t scene_index;  // 0..4, the scene render_frame draws
// The frame loop ends at its next test once set: by the end scroller when
// its closing movement is complete, by Esc and by the quit message.
extern bool quit_requested;
extern bool music_started;    // the song was started (or its start attempted)
extern Song* current_song;    // the loaded embedded song, or null
extern const GLfloat text_colour[4];

void render_frame(void);
void draw_scene0(void);
// The end scroller's divider lines are this many pixels wide (set at the
// end of scene 3).
static const GLfloat SCROLLER_LINE_WIDTH = 3.0f;
// Before the first frame: a little of everything the scenes draw, into the
// back buffer the start-up frame clears; the GL state is left as it was.
void warm_up_drawing(void);

// ---------------------------------------------------------------------------
// Shared by several scenes

// Light 0's colours, set once by the shell's GL start-up; the end
// scroller's divider lines take the ambient one as their material.
extern const GLfloat light_ambient_colour[4];
extern const GLfloat light_white_colour[4];

// Scene step timer and look-at camera (scene1.cpp).
extern uint32_t next_step_ms;
extern float camera_eye[3];
extern float camera_center[3];
extern float camera_up[3];

// Colour-cycle counter used in turn by scenes 2, 3 and 4 (scene2.cpp).
extern int16_t colour_step;

// Seven material colours of the train and the crosses (scene3.cpp).
extern const GLfloat object_palette[7][4];
// Ambient and diffuse material of the next train triangle or cross:
// object_palette[colour_step]; after colour 6 colour_step becomes -1, so
// the caller's increment starts the cycle over.
void set_palette_material(void);

// Display-list meshes, built by init_gl_state in this order.
extern GLuint cross_list;
extern GLuint cube_list;
extern GLuint triangle_list;
void build_cross_list(void);
void build_cube_list(void);
void build_triangle_list(void);

// ---------------------------------------------------------------------------
// Scene 1: the wall of cubes (scene1.cpp)

enum { WALL_COLUMNS = 13, WALL_ROWS = 11 };
extern float column_depth[14];     // z of each wall column; 0..12 are drawn
extern int16_t column_dir[13];     // ripple: 0 moving away, 1 closer; [0] also the pulse direction
extern uint16_t row_count;         // rows drawn
extern float grid_drop;            // subtracted from every row's y
extern int32_t pan_phase;          // pulse: pan counter; ripple: pan direction (0 left)
extern int32_t pan_sign;           // pulse: pan direction when pan_phase is 0 (+1 right)
extern float cube_angle_x, cube_angle_y;  // degrees
extern uint8_t cube_spin_forward;  // 1: +3.3 degrees a frame, 0: -4.4
extern uint8_t ripple_starting;
extern uint8_t ripple_gathering;
extern uint16_t ripple_started;    // columns set going by the ripple start-up
void draw_scene1(void);

// ---------------------------------------------------------------------------
// Scene 2: wire frame, box, shards and star (scene2.cpp, scene2_shapes.cpp)

extern int16_t scene2_phase;  // 0..6

// One face of the box: on its own axis the distance of the face plane from
// the centre (once the box breaks, the signed position of its shards), on
// the two other axes the half-extents of the face.
struct BoxFace {
    float x, y, z;
};
enum { FACE_FRONT, FACE_BACK, FACE_LEFT, FACE_RIGHT, FACE_TOP, FACE_BOTTOM, BOX_FACE_COUNT };

extern float object_depth;      // z of the shared centre of frame, box and star
extern float wire_half_size;
extern float frame_angle_x, frame_angle_y;  // degrees
extern float box_angle_x, box_angle_y;
extern float star_angle_x, star_angle_y;
extern BoxFace box_faces[BOX_FACE_COUNT];
extern float shard_spread;      // sideways move of each shard from its face's centre line
extern float spike_extent[18];  // x of the six spikes (+x -x +y -y +z -z), then y, then z
extern float spike_tip;         // distance of every spike tip from the star centre
extern const GLfloat box_palette[8][4];

void draw_scene2(void);
void draw_wire_frame(void);
void draw_box(void);
void draw_shards(void);
void draw_star(void);

// ---------------------------------------------------------------------------
// Scene 3: the train of triangular frames (scene3.cpp)

extern uint16_t scene3_phase;  // 0 slide in, 1 pause, 2 approach, 3 look right, 4 look front, 5 stream on
extern float train_x;
extern float train_z;          // z of the train head
extern int32_t train_length;   // triangles drawn a frame
extern float triangle_spin;    // degrees about z
void draw_scene3(void);

// ---------------------------------------------------------------------------
// Scene 4: the end scroller (scene4.cpp)

// One line of the scroll text: moved down by `step` from the line before,
// drawn from raster x `x` at depth 5.
struct ScrollLine {
    float step;
    float x;
    const char* text;
};
enum { SCROLL_LINE_COUNT = 37, CROSS_COUNT = 7 };
extern const ScrollLine scroll_lines[SCROLL_LINE_COUNT];

extern float scroll_y;          // offset of the whole text at depth 5
extern bool scroll_done;        // the text has scrolled through: the closing movement runs
extern float divider_x;         // x of the first divider line at depth 1
extern float divider_gap;       // from the first divider line to the second
extern float column_x[2];       // x of the left and the right cross column
extern float cross_y[CROSS_COUNT];
extern float cross_z[CROSS_COUNT];
extern float cross_angle_x, cross_angle_y, cross_angle_z;  // degrees, never wrapped
void draw_scene4(void);
void draw_scroll_text(void);

#endif
