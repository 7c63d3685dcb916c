// Intro timeline and scenes: the scene clock, the per-frame dispatcher,
// the title sequence and the four scenes with their meshes.
//
// All scene state is global, statically initialised and never reset: a
// scene starts from whatever the scenes before it left. What one scene
// alone moves is its own file's; this header holds what the shell, the
// tools and the other scenes use, and what the tests watch and set to put
// a scene at its boundaries.
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
extern bool music_started;  // the song was started (or its start attempted)
extern Song* current_song;  // the loaded embedded song, or null
extern const GLfloat text_colour[4];

void render_frame(void);
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

// Ambient and diffuse material of the next train triangle or cross: the
// colour_step-th of the seven colours of the train and the crosses
// (scene3.cpp); a colour_step outside them keeps the current material.
void set_palette_material(void);
// colour_step moves on to the next of the seven, after the last to the first.
void next_palette_colour(void);

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
extern uint16_t row_count;         // rows drawn
extern float grid_drop;            // subtracted from every row's y
extern float cube_angle_x;         // degrees
extern uint8_t cube_spin_forward;  // 1: +3.3 degrees a frame, 0: -4.4
extern uint8_t ripple_starting;
extern uint8_t ripple_gathering;
extern uint16_t ripple_started;  // columns set going by the ripple start-up
void draw_scene1(void);

// ---------------------------------------------------------------------------
// Scene 2: wire frame, box, shards and star (scene2.cpp, scene2_shapes.cpp;
// the rest of its state in scenes/scene2.h)

extern int16_t scene2_phase;                // 0..6
extern float object_depth;                  // z of the shared centre of frame, box and star
extern float frame_angle_x, frame_angle_y;  // degrees
extern float box_angle_x, box_angle_y;
extern float star_angle_x, star_angle_y;
extern float spike_tip;  // distance of every spike tip from the star centre
void draw_scene2(void);

// ---------------------------------------------------------------------------
// Scene 3: the train of triangular frames (scene3.cpp)

extern uint16_t scene3_phase;  // 0 slide in, 1 pause, 2 approach, 3 look right, 4 look front, 5 stream on
extern float train_x;
extern float train_z;         // z of the train head
extern int32_t train_length;  // triangles drawn a frame
void draw_scene3(void);

// ---------------------------------------------------------------------------
// Scene 4: the end scroller (scene4.cpp)

extern bool scroll_done;  // the text has scrolled through: the closing movement runs
void draw_scene4(void);

#endif
