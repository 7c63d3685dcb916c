// The scene clock, the per-frame dispatcher and scene 0, the title
// sequence: four captions on black between 0.51 s and 6.9 s, and the
// start of the music at 0.48 s.
#include "data/embedded_module.h"
#include "music/music.h"
#include "scenes/scenes.h"
#include "text/text.h"

uint32_t elapsed_ms = 0;
uint16_t scene_index = 0;
bool quit_requested = false;
bool music_started = false;
Song* current_song = nullptr;
const GLfloat text_colour[4] = {0.9f, 0.9f, 0.9f, 1.0f};
const GLfloat light_ambient_colour[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const GLfloat light_white_colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};

void render_frame(void)
{
    switch (scene_index) {
    case 0: draw_scene0(); break;
    case 1: draw_scene1(); break;
    case 2: draw_scene2(); break;
    case 3: draw_scene3(); break;
    case 4: draw_scene4(); break;
    default: break;
    }
    glFlush();
}

struct TitleText {
    uint32_t first_ms, last_ms;  // shown while first_ms <= elapsed_ms <= last_ms
    const char* text;
    GLfloat x, y, z;  // offset; the raster position is then (-1, 0)
};

static const TitleText title_texts[] = {
    {510, 2099, "qvt71", 0.49f, 0.0f, -4.0f},
    {2100, 3699, "presents", 0.2f, 0.0f, -4.0f},
    {3700, 5299, "Brindlec", 0.12f, 0.0f, -4.0f},
    {5300, 6899, "My first Intro", -0.18f, 0.16f, -4.0f},
    {5300, 6899, "In 25 Kb", 0.19f, -0.16f, -4.0f},
};

enum { MUSIC_START_MS = 480, TITLES_END_MS = 6900 };

void draw_scene0(void)
{
    const uint32_t t = elapsed_ms;
    if (t >= MUSIC_START_MS && !music_started) {
        current_song = load_embedded_song(embedded_module, static_cast<int>(embedded_module_size));
        start_song(current_song);
        music_started = true;  // once, whether or not the song loaded
    }

    for (const TitleText& title : title_texts) {
        if (t < title.first_ms || t > title.last_ms) continue;
        glLoadIdentity();
        glTranslatef(title.x, title.y, title.z);
        // The colour is set with the first caption only; if no frame fell
        // into its window the later ones keep OpenGL's default white.
        if (&title == &title_texts[0]) glColor4fv(text_colour);
        glRasterPos2f(-1.0f, 0.0f);
        print_text(title.text);
    }

    if (t >= TITLES_END_MS) {
        scene_index++;
        for (float& depth : column_depth) depth = -30.0f;
        glEnable(GL_LIGHTING);
    }
}
