// Stand-in until the wall of cubes lands: an empty mesh, and the scene
// hands over at its time.
#include "scenes/scenes.h"

uint32_t next_step_ms = 14340;
float camera_eye[3] = {0.0f, 0.0f, 0.0f};
float camera_center[3] = {0.0f, 0.0f, -10.0f};
float camera_up[3] = {0.0f, 1.0f, 0.0f};
GLuint cube_list = 0;
float column_depth[14] = {};

void build_cube_list(void)
{
    cube_list = glGenLists(1);
    glNewList(cube_list, GL_COMPILE);
    glEndList();
}

void draw_scene1(void)
{
    if (elapsed_ms > 51000) scene_index++;
}
