// The OpenGL 1.1 subset against OSMesa's OpenGL 1.1 on small scenes that
// reach what the intro's frames seldom or never do: lines cut at the near
// plane, a bitmap under a skewed unpack state, raster positions just in
// and just out of view and on its planes, a positional light with emission and specular
// colours on quads in and out of view, lists calling lists under a pushed
// list base. Each scene is
// drawn by both in contexts of their own and compared pixel by pixel.
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "platform/gl11/gl11.h"
#include "platform/gl_headers.h"

namespace {

// The same calls, by their GL names, for OpenGL 1.1 and for the subset.
struct GlCalls {
#define GL11_CALL(result, name, routine, parameters, arguments) result(*name) parameters;
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
};

const GlCalls opengl = {
#define GL11_CALL(result, name, routine, parameters, arguments) name,
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
};

const GlCalls subset = {
#define GL11_CALL(result, name, routine, parameters, arguments) routine,
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
};

const int WIDTH = 160, HEIGHT = 120;

void perspective_view(const GlCalls& gl, bool depth_test = true)
{
    gl.glViewport(0, 0, WIDTH, HEIGHT);
    gl.glMatrixMode(GL_PROJECTION);
    gl.glLoadIdentity();
    gl.gluPerspective(45.0, static_cast<double>(WIDTH) / HEIGHT, 0.1, 100.0);
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadIdentity();
    if (depth_test) gl.glEnable(GL_DEPTH_TEST);
    gl.glDepthFunc(GL_LEQUAL);
}

// glBegin(mode), the vertices, glEnd.
void shape(const GlCalls& gl, GLenum mode, std::initializer_list<std::array<GLfloat, 3>> vertices)
{
    gl.glBegin(mode);
    for (const auto& v : vertices) gl.glVertex3f(v[0], v[1], v[2]);
    gl.glEnd();
}

// Wide lines from behind the eye to far ahead, and a wire-frame quad that
// reaches through the near plane.
void near_plane_lines(const GlCalls& gl)
{
    perspective_view(gl);
    gl.glLineWidth(3.0f);
    gl.glTranslatef(0.0f, -0.3f, 0.0f);
    shape(gl, GL_LINES,
          {{-0.6f, 0.0f, 2.0f}, {0.4f, 0.2f, -6.0f}, {0.5f, 0.8f, -0.05f}, {-0.2f, 0.1f, -3.0f},
           {0.01f, 0.31f, 1.0f}, {0.03f, 0.2f, -3.0f}, {0.9f, -0.5f, -2.0f}});  // the third cut at the near
    // plane; the unpaired last vertex is dropped, not taken as the quad's first corner
    gl.glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    shape(gl, GL_QUADS, {{-1.0f, 0.6f, 1.0f}, {1.0f, 0.6f, 1.0f}, {1.0f, 0.2f, -4.0f}, {-1.0f, 0.2f, -4.0f}});
}

// A 13 x 5 bitmap read from the middle of a wider image: row length 40,
// alignment 2, skipped rows and pixels, least significant bit first; in a
// viewport inset from the window's corner.
void skewed_bitmap(const GlCalls& gl)
{
    gl.glViewport(8, 6, WIDTH - 16, HEIGHT - 12);
    static GLubyte image[10 * 6];
    for (int i = 0; i < 60; i++) image[i] = static_cast<GLubyte>((i * 73 + 19) & 0xFF);
    gl.glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 40);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    gl.glPixelStorei(GL_UNPACK_SKIP_ROWS, 1);
    gl.glPixelStorei(GL_UNPACK_SKIP_PIXELS, 3);
    gl.glPixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    const GLuint list = gl.glGenLists(1);
    gl.glNewList(list, GL_COMPILE);
    gl.glBitmap(13, 5, 2.0f, 1.0f, 14.5f, 0.0f, image);
    gl.glEndList();
    gl.glPopClientAttrib();
    const GLfloat green[4] = {0.2f, 0.9f, 0.3f, 1.0f};
    gl.glColor4fv(green);
    gl.glRasterPos2f(-0.5f, 0.25f);
    for (int i = 0; i < 5; i++) gl.glCallList(list);
    // Unpacked again without the skew: the pushed state came back. The
    // raster position stays where it was in the window when the viewport moves.
    gl.glRasterPos2f(-0.5f, -0.5f);
    gl.glViewport(0, 0, WIDTH, HEIGHT);
    gl.glBitmap(13, 5, 0.0f, 0.0f, 0.0f, 0.0f, image);
}

// A bitmap at a new context's raster position, then raster positions on
// either side of the view volume's edges: a bitmap draws (in the colour
// lit along the default normal) only from the valid ones, and one drawn
// from a valid position runs off the window without harm, and one a pixel
// wide and one a pixel high. Then a triangle in an empty viewport.
void raster_edges(const GlCalls& gl)
{
    perspective_view(gl);
    gl.glEnable(GL_LIGHTING);
    gl.glEnable(GL_LIGHT0);
    const GLfloat gold[4] = {0.9f, 0.7f, 0.1f, 1.0f};
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, gold);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, gold);
    std::vector<GLubyte> block(4 * 8);  // a pattern, so each row read from its own place shows
    for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<GLubyte>(i * 37 + 11);
    gl.glBitmap(32, 8, 0.0f, 0.0f, 0.0f, 0.0f, block.data());  // where a new context's raster position is: (0, 0)
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (GLenum skew : {GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS})
        gl.glPixelStorei(skew, 100), gl.glPixelStorei(skew, 0);  // set, then back to none
    // At depth 5 the view's half height is 5 tan 22.5 = 2.0711, half width 2.7614.
    const float positions[][2] = {{2.70f, 0.0f}, {2.80f, 0.0f}, {0.0f, 2.05f}, {0.0f, 2.09f}, {-2.75f, -2.0f}};
    for (const auto& at : positions) {
        gl.glLoadIdentity();
        gl.glTranslatef(0.0f, 0.0f, -5.0f);
        gl.glRasterPos2f(at[0], at[1]);
        gl.glBitmap(32, 8, 4.0f, 4.0f, 0.0f, 0.0f, block.data());
    }
    for (int wide : {0, 1}) gl.glBitmap(wide ? 32 : 1, wide ? 1 : 32, 0.0f, wide * -10.0f, 0.0f, 0.0f, block.data());
    gl.glViewport(0, 0, 0, 0);  // an empty viewport: nothing drawn
    shape(gl, GL_TRIANGLES, {{-1.0f, -1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
}

// Raster positions exactly on each of the six planes of the view volume,
// which is closed: each is valid and its bitmap draws, in the current colour.
void raster_on_planes(const GlCalls& gl)
{
    gl.glViewport(0, 0, WIDTH, HEIGHT);  // identity matrices: the view volume is -1..1 on each axis
    static const GLubyte block[2 * 6] = {0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0};
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const float planes[6][3] = {{0.5f, 0.5f, -1.0f}, {-0.5f, -0.5f, 1.0f}, {-1.0f, 0.5f, 0.0f},
                                {1.0f, -0.5f, 0.0f}, {0.3f, -1.0f, 0.0f},  {-0.3f, 1.0f, 0.0f}};
    for (const auto& at : planes) {
        gl.glLoadIdentity();  // alone for the planes of z = 0, which come after the others
        if (at[2] != 0.0f) gl.glTranslatef(0.25f, 0.0f, at[2]);
        gl.glRasterPos2f(at[2] != 0.0f ? at[0] - 0.25f : at[0], at[1]);
        gl.glBitmap(12, 6, 6.0f, 3.0f, 0.0f, 0.0f, block);
    }
}

// Lit quads, each in a glBegin/glEnd of its own: one reaching across each
// plane of the view volume alone, then one with a corner exactly on each
// plane, inside the closed volume: each of those is cut as a quad wholly
// in view, whatever was cut before. Corners 0 and 2 face the light, 1
// and 3 do not: the diagonal a quad is cut along shows.
void quads_on_planes(const GlCalls& gl)
{
    gl.glViewport(0, 0, WIDTH, HEIGHT);  // identity matrices: the view volume is -1..1 on each axis
    gl.glEnable(GL_LIGHTING);
    gl.glEnable(GL_LIGHT0);
    const float quads[12][9] = {  // a corner, the opposite corner, half the other diagonal
        {1.2f, -0.3f, 0, 0.6f, -0.3f, 0, 0, 0.2f, 0},   {-1.2f, 0.5f, 0, -0.6f, 0.5f, 0, 0, 0.2f, 0},  // across
        {0.5f, 1.2f, 0, 0.5f, 0.6f, 0, 0.2f, 0, 0},     {-0.5f, -1.2f, 0, -0.5f, -0.6f, 0, 0.2f, 0, 0},
        {0.4f, 0.3f, 1.4f, 0.4f, -0.1f, 0.5f, 0.2f, 0, 0}, {0, -0.2f, -1.4f, 0, -0.6f, -0.5f, 0.2f, 0, 0},
        {1, 0.5f, 0, 0.6f, 0.5f, 0, 0, 0.2f, 0},        {-1, -0.5f, 0, -0.6f, -0.5f, 0, 0, 0.2f, 0},  // on
        {-0.5f, 1, 0, -0.5f, 0.6f, 0, 0.2f, 0, 0},      {0.5f, -1, 0, 0.5f, -0.6f, 0, 0.2f, 0, 0},
        {0, 0.3f, 1, 0, -0.1f, 0.5f, 0.2f, 0, 0},       {-0.5f, 0.1f, -1, -0.5f, -0.3f, -0.5f, 0.2f, 0, 0}};
    for (const auto& q : quads) {
        gl.glBegin(GL_QUADS);
        for (int i = 0; i < 4; i++) {
            float at[3];  // 1 and 3 on either side of the middle
            for (int k = 0; k < 3; k++) at[k] = i % 2 ? (q[k] + q[3 + k]) / 2 + (2 - i) * q[6 + k] : q[k + 3 * (i / 2)];
            gl.glNormal3f(i % 2 ? 1.0f : 0.0f, 0.0f, i % 2 ? 0.0f : 1.0f), gl.glVertex3fv(at);
        }
        gl.glEnd();
        if (&q == quads + 5) gl.glFlush();  // Mesa cuts the quads it holds by the reach of any of them
    }
}

// A positional light set through a turned model-view, lighting a fan of
// quads whose normals are not unit length, with emission and specular;
// the fan at `depth` reaches out of the view or stays inside it, which
// decides how its quads are cut into triangles; `listed`, it is drawn from
// a display list and lit by its normals as given, not normalised.
void lit_quads(const GlCalls& gl, float depth, bool listed = false)
{
    perspective_view(gl);
    gl.glEnable(GL_LIGHTING);
    gl.glEnable(GL_LIGHT0);
    if (!listed) gl.glEnable(GL_NORMALIZE);
    gl.glRotatef(30.0f, 0.0f, 1.0f, 0.0f);
    const GLfloat position[4] = {1.0f, 2.0f, 1.0f, 1.0f};
    gl.glLightfv(GL_LIGHT0, GL_POSITION, position);
    const GLfloat dim[4] = {0.1f, 0.1f, 0.2f, 1.0f}, diffuse[4] = {0.6f, 0.5f, 0.9f, 1.0f};
    const GLfloat specular[4] = {0.8f, 0.8f, 0.8f, 1.0f}, emission[4] = {0.05f, 0.1f, 0.0f, 1.0f};
    const GLfloat light_specular[4] = {0.9f, 0.5f, 0.3f, 1.0f};
    gl.glLightfv(GL_LIGHT0, GL_AMBIENT, dim);
    gl.glLightfv(GL_LIGHT0, GL_SPECULAR, light_specular);
    const GLuint list = gl.glGenLists(1);
    if (listed) gl.glNewList(list, GL_COMPILE);
    gl.glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    gl.glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    gl.glMaterialfv(GL_FRONT, GL_EMISSION, emission);
    gl.glMaterialf(GL_FRONT, GL_SHININESS, 3.0f);
    gl.glLoadIdentity();
    if (!listed) gl.gluLookAt(0.5, 0.8, 0.6, 0.0, 0.0, -6.0, 0.5, 1.0, 0.2);
    gl.glTranslatef(0.0f, -0.2f, depth);
    gl.glRotatef(-50.0f, 1.0f, 0.5f, 0.3f);
    gl.glBegin(GL_QUADS);
    for (int i = 0; i < 6; i++) {
        float x = -1.5f + 0.5f * i;
        gl.glNormal3f(0.5f * (i - 3), 2.0f, 0.7f);
        gl.glVertex3f(x, -1.0f, 0.0f);
        gl.glNormal3f(0.2f, 1.0f, 3.0f);
        gl.glVertex3f(x + 0.45f, -1.0f, 0.0f);
        gl.glVertex3f(x + 0.45f, 1.0f, 0.3f * i);
        gl.glNormal3f(-1.0f, 0.1f, 0.5f);
        gl.glVertex3f(x, 1.0f, 0.3f * i);
    }
    gl.glEnd();
    if (listed) gl.glEndList(), gl.glCallList(list);
}


// Lists that call lists and draw text through glCallLists under a list
// base that a pushed attribute restores.
void nested_lists(const GlCalls& gl)
{
    perspective_view(gl);
    const GLuint glyphs = gl.glGenLists(3);
    static const GLubyte bar[2 * 12] = {0xF0, 0x0F, 0xF0, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xF0, 0x0F, 0xF0,
                                        0xF0, 0x0F, 0xF0, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xF0, 0x0F, 0xF0};
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (GLuint i = 0; i < 3; i++) {
        gl.glNewList(glyphs + i, GL_COMPILE);
        gl.glBitmap(i == 1 ? 0 : 16, i == 1 ? 0 : 12 - 3 * i, 0.0f, 0.0f, 18.0f + i, 0.0f, bar);  // 1: a space
        gl.glEndList();
    }
    const GLuint square = gl.glGenLists(1), scene = 900;  // a name never generated serves as well
    gl.glNewList(square, GL_COMPILE);
    const GLfloat red[4] = {0.9f, 0.1f, 0.1f, 1.0f};
    gl.glColor4fv(red);
    shape(gl, GL_TRIANGLES, {{-1.0f, -1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
    gl.glEndList();
    gl.glNewList(scene, GL_COMPILE);
    gl.glTranslatef(-1.5f, 0.0f, -6.0f);
    gl.glCallList(4);  // square: in a new context the glyphs took the first names generated, 1 to 3
    gl.glTranslatef(3.0f, 0.5f, 0.0f);
    gl.glRotatef(40.0f, 0.0f, 0.0f, 1.0f);
    gl.glCallList(square);
    gl.glRasterPos2f(0.4f, -0.3f);  // a raster position replayed from a list
    gl.glCallList(glyphs);
    gl.glEndList();
    gl.glCallList(scene);
    gl.glLoadIdentity();
    gl.glTranslatef(0.0f, 0.0f, -1.0f);  // the raster positions in front of the eye
    gl.glListBase(1000);
    gl.glPushAttrib(GL_LIST_BIT);
    gl.glListBase(glyphs);
    gl.glRasterPos2f(-0.04f, -0.03f);
    const GLubyte text[6] = {0, 1, 2, 2, 1, 0};
    gl.glCallLists(6, GL_UNSIGNED_BYTE, text);
    gl.glPopAttrib();
    gl.glRasterPos2f(-0.04f, 0.02f);
    gl.glCallLists(6, GL_UNSIGNED_BYTE, text);  // base 1000 again: no lists there, nothing drawn
}

// The attribute stack brings back what was pushed: state A is pushed, B
// set, and the pop brings back A, which then shows in a triangle half
// behind another, lit and filled without depth test, so the farther
// covers the nearer (the enables, the material, the normal and the
// light), or unlit in wire frame with a bitmap at the raster position and
// two glyphs through the list base (the colour, polygon mode, line width,
// list base and raster position). A is unlike OpenGL's defaults
// throughout; B tests depth.
void pushed_state(const GlCalls& gl, bool lit)
{
    perspective_view(gl, !lit);
    static const GLubyte bar[2 * 6] = {0xFF, 0xF0, 0xF0, 0xF0, 0xFF, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0xFF, 0xF0};
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLuint glyphs = gl.glGenLists(4);
    for (GLuint i = 0; i < 4; i++) {
        gl.glNewList(glyphs + i, GL_COMPILE);
        gl.glBitmap(12, 6 - i, 0.0f, 0.0f, 14.0f + 3 * i, 0.0f, bar);
        gl.glEndList();
    }
    const GLfloat red[4] = {0.9f, 0.1f, 0.1f, 1.0f}, green[4] = {0.2f, 0.9f, 0.3f, 1.0f};
    const GLfloat violet[4] = {0.6f, 0.2f, 0.9f, 1.0f}, amber[4] = {0.9f, 0.6f, 0.1f, 1.0f};
    const GLfloat position_a[4] = {0.0f, 0.5f, 1.0f, 0.0f}, position_b[4] = {1.0f, -1.0f, 0.2f, 0.0f};
    const auto set_state = [&](bool b) {
        gl.glColor4fv(b ? green : red);
        gl.glNormal3f(b ? 0.8f : 0.0f, 0.4f, b ? 0.3f : 3.0f);
        gl.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, b ? amber : violet);
        gl.glLightfv(GL_LIGHT0, GL_POSITION, b ? position_b : position_a);
        gl.glLightfv(GL_LIGHT0, GL_DIFFUSE, b ? green : violet);
        gl.glPolygonMode(GL_FRONT_AND_BACK, b == lit ? GL_LINE : GL_FILL);
        gl.glLineWidth(b ? 1.0f : 3.0f);
        gl.glListBase(b ? glyphs + 2 : glyphs);
        if (b) gl.glEnable(GL_DEPTH_TEST);
        gl.glLoadIdentity();
        gl.glTranslatef(0.0f, 0.0f, -2.0f);
        gl.glRasterPos2f(b ? 0.3f : -0.3f, b ? 0.2f : -0.25f);
    };
    if (lit) for (GLenum cap : {GL_LIGHTING, GL_LIGHT0, GL_NORMALIZE}) gl.glEnable(cap);
    set_state(false);
    gl.glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_LIST_BIT);
    set_state(true);
    gl.glPopAttrib();
    const GLubyte text[2] = {0, 1};
    if (!lit) gl.glBitmap(12, 6, 0.0f, 0.0f, 16.0f, 2.0f, bar), gl.glCallLists(2, GL_UNSIGNED_BYTE, text);
    for (float x : {0.6f, -0.3f}) {  // the nearer first; the farther in another colour
        gl.glLoadIdentity();
        gl.glTranslatef(x, 0.0f, x > 0.0f ? -5.0f : -6.0f);
        shape(gl, GL_TRIANGLES, {{-1.0f, -1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
        gl.glColor4fv(amber);
        gl.glNormal3f(0.6f, -0.3f, 1.0f);
    }
}

// An OSMesa context of its own; the frame it shows, as RGB.
struct Canvas {
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    std::vector<uint8_t> rgba = std::vector<uint8_t>(WIDTH * HEIGHT * 4, 0);
    Canvas() { OSMesaMakeCurrent(context, rgba.data(), GL_UNSIGNED_BYTE, WIDTH, HEIGHT); }
    ~Canvas() { OSMesaDestroyContext(context); }
};

// The scene drawn by OpenGL 1.1, or through the subset on the same kind of context.
std::vector<uint8_t> draw(void (*scene)(const GlCalls&), bool through_subset)
{
    Canvas canvas;
    Gl11Device device = {};
#define FETCH(result, name, parameters) device.name = reinterpret_cast<decltype(device.name)>(OSMesaGetProcAddress(#name));
    GL11_DEVICE_CALLS(FETCH)
#undef FETCH
    EXPECT_TRUE(!through_subset || gl11_open(&device)) << gl11_last_error();
    const GlCalls& gl = through_subset ? subset : opengl;
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene(gl);
    gl.glFlush();
    glFinish();
    if (through_subset) gl11_close();
    return canvas.rgba;
}

struct SceneCase {
    const char* name;
    void (*scene)(const GlCalls&);
    int at_least_lit;  // pixels the OpenGL 1.1 picture lights: the scene draws something
};

const SceneCase scenes[] = {
    {"lines cut at the near plane", near_plane_lines, 300},
    {"bitmap under a skewed unpack state", skewed_bitmap, 150},
    {"raster positions at the view's edges", raster_edges, 150},
    {"raster positions on the view volume's planes", raster_on_planes, 4 * 36 + 2 * 72},
    {"quads with a corner on the view volume's planes", quads_on_planes, 1500},
    {"lit quads reaching out of the view", [](const GlCalls& gl) { lit_quads(gl, -4.0f, true); }, 4000},
    {"lit quads inside the view", [](const GlCalls& gl) { lit_quads(gl, -8.0f); }, 1000},
    {"lists calling lists, pushed list base", nested_lists, 1500},
    {"pushed and popped state, unlit in wire frame", [](const GlCalls& gl) { pushed_state(gl, false); }, 300},
    {"pushed and popped state, lit and filled", [](const GlCalls& gl) { pushed_state(gl, true); }, 1500},
};

TEST(Gl11Subset, DrawsWhatOpenGl11Draws)
{
    for (const SceneCase& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const std::vector<uint8_t> expected = draw(scene.scene, false), got = draw(scene.scene, true);
        int lit = 0, differing = 0;
        for (int i = 0; i < WIDTH * HEIGHT; i++) {
            const uint8_t *e = &expected[i * 4], *g = &got[i * 4];
            lit += e[0] + e[1] + e[2] > 0;
            differing += std::abs(e[0] - g[0]) > 8 || std::abs(e[1] - g[1]) > 8 || std::abs(e[2] - g[2]) > 8;
        }
        EXPECT_GE(lit, scene.at_least_lit);
        // Edges may fall a pixel apart; no more than 2 % of what is lit.
        EXPECT_LE(differing, lit / 50) << differing << " of " << lit << " lit pixels differ";
    }
}

}  // namespace
