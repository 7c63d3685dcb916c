// Stand-in until scene 2 lands.
#include "scenes/scenes.h"

int16_t colour_step = 0;

void draw_scene2(void)
{
    if (elapsed_ms > 95000) scene_index++;
}
