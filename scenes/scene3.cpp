// Stand-in until the train of triangles lands.
#include "scenes/scenes.h"
#include "shell/shell.h"

const GLfloat object_palette[7][4] = {};
GLuint triangle_list = 0;

void build_triangle_list(void)
{
    triangle_list = glGenLists(1);
    glNewList(triangle_list, GL_COMPILE);
    glEndList();
}

void draw_scene3(void)
{
    if (elapsed_ms >= 125000) {
        scene_index++;
        glLineWidth(3.0f);
        build_font_small();
    }
}
