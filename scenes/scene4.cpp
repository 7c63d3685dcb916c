// Stand-in until the end scroller lands.
#include "scenes/scenes.h"
#include "shell/shell.h"

GLuint cross_list = 0;

void build_cross_list(void)
{
    cross_list = glGenLists(1);
    glNewList(cross_list, GL_COMPILE);
    glEndList();
}

void draw_scene4(void)
{
    quit_requested = true;
}
