// Scene 4, the end scroller: 37 lines of text scroll up between two
// divider lines, flanked by two columns of falling, spinning crosses. When
// the text has passed, the columns slide out, the lines move apart, and
// the intro ends by itself once the right column has left the screen.
//
// Everything here moves by fixed steps a frame; the clock is not read.
#include "scenes/scenes.h"
#include "text/text.h"

GLuint cross_list = 0;
bool scroll_done = false;

enum { SCROLL_LINE_COUNT = 37, CROSS_COUNT = 7 };
static float scroll_y = -2.4f;             // offset of the whole text at depth 5
static float divider_x = -0.3f;            // x of the first divider line at depth 1
static float divider_gap = 0.6f;           // from the first divider line to the second
static float column_x[2] = {-5.1f, 5.1f};  // x of the left and the right cross column
static float cross_y[CROSS_COUNT] = {6.2f, 4.0f, 1.8f, -0.4f, -2.6f, -4.8f, 8.4f};
static float cross_z[CROSS_COUNT] = {-12.0f, -12.0f, -12.0f, -12.0f, -12.0f, -12.0f, -12.0f};
static float cross_angle_x = 0.0f;  // degrees, never wrapped
static float cross_angle_y = 0.0f;
static float cross_angle_z = 0.0f;

static const float SCROLL_STEP = 0.004f;    // text rise a frame, at depth 5
static const float SCROLL_END_Y = 10.5f;    // the last line is near the top edge
static const float CROSS_FALL = 0.01f;      // per column, so 0.02 a frame in all
static const float CROSS_BOTTOM_Y = -7.0f;  // below the bottom edge at depth 12
static const float CROSS_TOP_Y = 8.4f;      // above the top edge
static const float COLUMN_SLIDE = 0.015f;
static const float COLUMN_GONE_X = 9.0f;  // the right column has left the screen

// One line of the scroll text: moved down by `step` from the line before,
// drawn from raster x `x` at depth 5.
struct ScrollLine {
    float step;
    float x;
    const char* text;
};

// Line steps 0.21 within a paragraph, 0.42 between paragraphs; the greeted
// groups are indented, the farewell starts near the centre.
static const ScrollLine scroll_lines[SCROLL_LINE_COUNT] = {
    {0.0f, -1.4f, "Thanks for watching"},
    {0.21f, -1.4f, "this little 25 Kb intro..."},
    {0.21f, -1.4f, "It was my first one and"},
    {0.21f, -1.4f, "I hope you enjoyed it!"},
    {0.21f, -1.4f, "I coded it in about 2"},
    {0.21f, -1.4f, "monthes (school...)"},
    {0.21f, -1.4f, "from scratch."},
    {0.42f, -1.4f, "If you experimented"},
    {0.21f, -1.4f, "some problems during"},
    {0.21f, -1.4f, "the execution or if you"},
    {0.21f, -1.4f, "just want to contact me,"},
    {0.21f, -1.4f, "write me an email at"},
    {0.21f, -1.4f, "qvt71@example.org or"},
    {0.21f, -1.4f, "use TinCanChat:#1234567..."},
    {0.42f, -1.4f, "I really want to greet:"},
    {0.21f, -1.4f, "-Tobrin for his help"},
    {0.21f, -1.4f, "-Aldek for his support"},
    {0.21f, -1.4f, "-Quillon for the music"},
    {0.21f, -1.4f, "-And all my friends,"},
    {0.21f, -1.4f, "particularly Merrow,Dastel,"},
    {0.21f, -1.4f, "Fennick*2 and Ulvar."},
    {0.42f, -1.4f, "Their work motivated me"},
    {0.21f, -1.4f, "every day/night I worked"},
    {0.21f, -1.4f, "on this intro:"},
    {0.21f, -1.0f, "*Velvet Lemmings"},
    {0.21f, -1.0f, "*Nine Spoon Society"},
    {0.21f, -1.0f, "*Copper Moth Guild"},
    {0.21f, -1.0f, "*Dusty Abacus"},
    {0.21f, -1.0f, "*Tangram Owls"},
    {0.21f, -1.0f, "*Sleepy Raster Club"},
    {0.21f, -1.0f, "*Brass Kettle Crew"},
    {0.21f, -1.0f, "*Quartz Marmots"},
    {0.42f, -1.4f, "This is now the end of"},
    {0.21f, -1.4f, "this really bad scrolling"},
    {0.21f, -1.4f, "effect."},
    {0.42f, 0.1f, "GoodBye!"},
    {0.21f, 0.1f, "qvt71"},
};

// ---------------------------------------------------------------------------
// The cross mesh

struct CrossQuad {
    GLfloat corners[4][3];
};

// Quads 1 to 5, the front faces at z = +0.2; the back faces repeat them at
// z = -0.2.
static const CrossQuad cross_front_quads[5] = {
    {{{-0.3f, 1, 0.2f}, {0.3f, 1, 0.2f}, {0.3f, 0.3f, 0.2f}, {-0.3f, 0.3f, 0.2f}}},
    {{{-0.3f, -1, 0.2f}, {0.3f, -1, 0.2f}, {0.3f, -0.3f, 0.2f}, {-0.3f, -0.3f, 0.2f}}},
    {{{-1, 0.3f, 0.2f}, {-0.3f, 0.3f, 0.2f}, {-0.3f, -0.3f, 0.2f}, {-1, -0.3f, 0.2f}}},
    {{{1, 0.3f, 0.2f}, {0.3f, 0.3f, 0.2f}, {0.3f, -0.3f, 0.2f}, {1, -0.3f, 0.2f}}},
    {{{-0.3f, 0.3f, 0.2f}, {0.3f, 0.3f, 0.2f}, {0.3f, -0.3f, 0.2f}, {-0.3f, -0.3f, 0.2f}}},
};

// Quads 11 to 22, the sides, whose normals are their own vertices.
static const CrossQuad cross_side_quads[12] = {
    {{{-0.3f, 1, 0.2f}, {-0.3f, 0.3f, 0.2f}, {-0.3f, 0.3f, -0.2f}, {-0.3f, 1, -0.2f}}},
    {{{-0.3f, -1, 0.2f}, {-0.3f, -0.3f, 0.2f}, {-0.3f, -0.3f, -0.2f}, {-0.3f, -1, -0.2f}}},
    {{{-0.3f, 0.3f, 0.2f}, {-1, 0.3f, 0.2f}, {-1, 0.3f, -0.2f}, {-0.3f, 0.3f, -0.2f}}},
    {{{-0.3f, -0.3f, 0.2f}, {-1, -0.3f, 0.2f}, {-1, -0.3f, -0.2f}, {-0.3f, -0.3f, -0.2f}}},
    {{{-1, 0.3f, 0.2f}, {-1, -0.3f, 0.2f}, {-1, -0.3f, -0.2f}, {-1, 0.3f, -0.2f}}},
    {{{0.3f, 1, 0.2f}, {0.3f, 0.3f, 0.2f}, {0.3f, 0.3f, -0.2f}, {0.3f, 1, -0.2f}}},
    {{{0.3f, -1, 0.2f}, {0.3f, -0.3f, 0.2f}, {0.3f, -0.3f, -0.2f}, {0.3f, -1, -0.2f}}},
    {{{0.3f, 0.3f, 0.2f}, {1, 0.3f, 0.2f}, {1, 0.3f, -0.2f}, {0.3f, 0.3f, -0.2f}}},
    {{{0.3f, -0.3f, 0.2f}, {1, -0.3f, 0.2f}, {1, -0.3f, -0.2f}, {0.3f, -0.3f, -0.2f}}},
    {{{1, 0.3f, 0.2f}, {1, -0.3f, 0.2f}, {1, -0.3f, -0.2f}, {1, 0.3f, -0.2f}}},
    {{{-0.3f, 1, 0.2f}, {-0.3f, 1, -0.2f}, {0.3f, 1, -0.2f}, {0.3f, 1, 0.2f}}},
    {{{-0.3f, -1, 0.2f}, {-0.3f, -1, -0.2f}, {0.3f, -1, -0.2f}, {0.3f, -1, 0.2f}}},
};

// A plus sign 0.4 thick: one GL_QUADS primitive of 22 quads, each vertex
// after its normal. The list sets no material: the columns colour it.
void build_cross_list(void)
{
    cross_list = glGenLists(1);
    glNewList(cross_list, GL_COMPILE);
    glBegin(GL_QUADS);
    static const float sides[2] = {1.0f, -1.0f};  // front faces (normal z 0.3), then back faces
    for (float side : sides) {
        for (const CrossQuad& quad : cross_front_quads) {
            for (const GLfloat* corner : quad.corners) {
                glNormal3f(corner[0], corner[1], side * 0.3f);
                glVertex3f(corner[0], corner[1], side * corner[2]);
            }
        }
    }
    for (const CrossQuad& quad : cross_side_quads) {
        for (const GLfloat* corner : quad.corners) {
            glNormal3fv(corner);
            glVertex3fv(corner);
        }
    }
    glEnd();
    glEndList();
}

// ---------------------------------------------------------------------------
// The frame

static void draw_vertical_line(void)
{
    glBegin(GL_LINES);
    glVertex3f(0.0f, 2.0f, 0.0f);
    glVertex3f(0.0f, -2.0f, 0.0f);
    glEnd();
}

// Two lines at depth 1, lit with whatever normal the last cross left.
static void draw_divider_lines(void)
{
    glLoadIdentity();
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, light_ambient_colour);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, light_ambient_colour);
    glTranslatef(divider_x, 0.0f, -1.0f);
    draw_vertical_line();
    glTranslatef(divider_gap, 0.0f, 0.0f);
    draw_vertical_line();
}

// Each line is drawn whole or not at all: a raster position outside the
// view drops the line, so lines pop in at the bottom and out at the top.
static void draw_scroll_text(void)
{
    glLoadIdentity();
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, text_colour);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, text_colour);
    glTranslatef(0.0f, scroll_y, -5.0f);
    for (const ScrollLine& line : scroll_lines) {
        if (line.step != 0.0f) glTranslatef(0.0f, -line.step, 0.0f);
        glRasterPos2f(line.x, 0.0f);
        print_text(line.text);
    }
    if (scroll_y > SCROLL_END_Y) scroll_done = true;
}

// Cross i of both columns has colour i; the right column's crosses hang
// 0.01 lower since each cross falls once per column.
static void draw_cross_column(int column)
{
    colour_step = 0;
    for (int i = 0; i < CROSS_COUNT; i++) {
        glLoadIdentity();
        set_palette_material();
        glTranslatef(column_x[column], cross_y[i], cross_z[i]);
        glRotatef(cross_angle_x, 1.0f, 0.0f, 0.0f);
        glRotatef(cross_angle_y, 0.0f, 1.0f, 0.0f);
        glRotatef(cross_angle_z, 0.0f, 0.0f, 1.0f);
        glCallList(cross_list);
        if (cross_y[i] < CROSS_BOTTOM_Y)
            cross_y[i] = CROSS_TOP_Y;
        else
            cross_y[i] -= CROSS_FALL;
        next_palette_colour();
    }
}

// The columns slide out and the divider lines move apart, mirror-symmetric.
static void close_scroller(void)
{
    column_x[0] -= COLUMN_SLIDE;
    column_x[1] += COLUMN_SLIDE;
    divider_x -= 0.001f;
    divider_gap = divider_x * -2.0f;
    if (column_x[1] > COLUMN_GONE_X) quit_requested = true;
}

void draw_scene4(void)
{
    scroll_y += SCROLL_STEP;
    draw_divider_lines();
    draw_scroll_text();
    draw_cross_column(0);
    draw_cross_column(1);
    cross_angle_x += 1.0f;
    cross_angle_y += 1.0f;
    cross_angle_z += 1.0f;
    if (scroll_done) close_scroller();
}
