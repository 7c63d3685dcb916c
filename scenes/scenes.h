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
extern bool music_started;    // the song was started (or its start attempted)
extern Song* current_song;    // the loaded embedded song, or null
extern const GLfloat text_colour[4];


void render_frame(void);
void draw_scene0(void);

// ---------------------------------------------------------------------------
// Shared by several scenes

// Scene step timer and look-at camera (scene1.cpp).
extern uint32_t next_step_ms;
extern float camera_eye[3];
extern float camera_center[3];
extern float camera_up[3];

// Colour-cycle counter used in turn by scenes 2, 3 and 4 (scene2.cpp).
extern int16_t colour_step;

// Seven material colours of the train and the crosses (scene3.cpp).
extern const GLfloat object_palette[7][4];

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
extern float column_depth[14];
void draw_scene1(void);

// ---------------------------------------------------------------------------
// Scenes 2, 3 and 4

void draw_scene2(void);
void draw_scene3(void);
void draw_scene4(void);

#endif
