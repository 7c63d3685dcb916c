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

static void draw_scene0(void);

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

// A GL may build code for each new combination of state the first time it
// draws with it (llvmpipe compiles its shaders then, and many GPU drivers
// do the like): 10 to 25 ms on this intro's first title and first lit
// frame, a dropped frame each. Drawing every kind of thing the scenes draw
// once, in the states they draw it, moves that work into the start-up:
// bitmap text unlit and lit, the meshes' lists lit and as wire frames, and
// the scroller's wide lines.
void warm_up_drawing(void)
{
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -10.0f);
    for (int lit = 0; lit < 2; lit++) {
        if (lit) glEnable(GL_LIGHTING);
        glRasterPos2f(-1.0f, 0.0f);
        print_text("q");
    }
    glCallList(cross_list);
    glCallList(cube_list);
    glCallList(triangle_list);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glCallList(cube_list);
    glLineWidth(SCROLLER_LINE_WIDTH);
    glBegin(GL_LINES);
    glVertex3f(-1.0f, 0.0f, 0.0f);
    glVertex3f(1.0f, 0.0f, 0.0f);
    glEnd();
    glPopAttrib();
    glLoadIdentity();
}

struct TitleText {
    uint32_t first_ms, last_ms;  // shown while first_ms <= elapsed_ms <= last_ms
    const char* text;
    GLfloat x, y, z;  // offset; the raster position is then (-1, 0)
};

// clang-format off
static const TitleText title_texts[] = {
    {510, 2099, "qvt71", 0.49f, 0.0f, -4.0f},
    {2100, 3699, "presents", 0.2f, 0.0f, -4.0f},
    {3700, 5299, "Brindlec", 0.12f, 0.0f, -4.0f},
    {5300, 6899, "My first Intro", -0.18f, 0.16f, -4.0f},
    {5300, 6899, "In 25 Kb", 0.19f, -0.16f, -4.0f},
};
// clang-format on

enum { MUSIC_START_MS = 480, TITLES_END_MS = 6900 };

static void draw_scene0(void)
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
