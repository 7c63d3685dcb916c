// The OpenGL 1.1 subset's own state, shared by its two files: gl11.cpp
// (matrices, lighting, primitives, the GPU) and gl11_lists.cpp (display
// lists, attribute stacks, the raster position and bitmaps).
#ifndef BRINDLEC_GL11_STATE_H
#define BRINDLEC_GL11_STATE_H

#include <cstdint>
#include <vector>

#include "platform/gl11/gl11.h"

enum { GL11_LIGHTS = 8, GL11_ATLAS_SIZE = 1024, GL11_ATTRIB_DEPTH = 16 };

// A column-major 4 x 4 matrix, element (row r, column c) at m[c * 4 + r].
struct Gl11Matrix {
    float m[16];
};

struct Gl11Light {
    bool enabled;
    float ambient[4], diffuse[4], specular[4];
    float position[4];  // in eye coordinates, as transformed when set
};

struct Gl11Material {
    float emission[4], ambient[4], diffuse[4], specular[4];
    float shininess;
};

// What glPushAttrib saved: every group the subset keeps, restored on
// glPopAttrib as far as `mask` names it.
struct Gl11Attributes {
    GLbitfield mask;
    GLuint list_base;            // GL_LIST_BIT
    float colour[4], normal[3];  // GL_CURRENT_BIT, with the raster position
    bool raster_valid;
    float raster_window[3], raster_colour[4];
    bool lighting, normalize, depth_test;  // GL_ENABLE_BIT, with each light's switch
    Gl11Material material;                 // GL_LIGHTING_BIT, with the lights and lighting
    Gl11Light lights[GL11_LIGHTS];
    float model_ambient[4];
    GLenum polygon_mode;  // GL_POLYGON_BIT
    float line_width;     // GL_LINE_BIT
};

// A vertex after transformation and lighting: what the GPU gets.
struct Gl11Vertex {
    float clip[4];
    float colour[4];
};

// A bitmap kept in the glyph atlas.
struct Gl11Bitmap {
    int width, height;
    float x_origin, y_origin, x_move, y_move;
    int atlas_x, atlas_y;  // bottom-left texel; -1 when it did not fit
};

// One compiled command of a display list.
enum Gl11Op : uint8_t {
    OP_BEGIN,
    OP_END,
    OP_VERTEX,
    OP_NORMAL,
    OP_COLOUR,
    OP_MATERIAL,
    OP_BITMAP,
    OP_CALL_LIST,
    OP_CALL_LIST_OFFSET,
    OP_LOAD_IDENTITY,
    OP_TRANSLATE,
    OP_ROTATE,
    OP_RASTER_POS,
};
struct Gl11Command {
    Gl11Op op;
    GLenum a, b;  // mode, face and parameter name, list, bitmap index
    float v[4];
};

struct Gl11List {
    bool exists;  // allocated by glGenLists (or named by glNewList)
    std::vector<Gl11Command> commands;
};

struct Gl11Unpack {
    int row_length, skip_rows, skip_pixels, alignment;
    bool lsb_first;
};

struct Gl11State {
    // The device and what was made on it.
    const Gl11Device* device;
    bool open, discard;
    GLuint colour_program, glyph_program, vertex_buffer, atlas;
    char error[160];

    // Transformation.
    GLenum matrix_mode;
    Gl11Matrix modelview, projection;
    Gl11Matrix mvp;          // projection x modelview, when mvp_ready
    float normal_matrix[9];  // inverse transpose of the model-view's upper 3 x 3, when normals_ready
    bool mvp_ready, normals_ready;
    int viewport[4];

    // Current values and lighting.
    float colour[4], normal[3];
    Gl11Material material;  // front; with one-sided lighting the back one never shows
    Gl11Light lights[GL11_LIGHTS];
    float model_ambient[4];
    bool lighting, normalize, depth_test;
    GLenum polygon_mode;  // GL_FILL or GL_LINE, for both faces
    float line_width;

    // Primitive assembly between glBegin and glEnd.
    bool inside_begin;
    GLenum primitive;
    Gl11Vertex pending[4];
    int pending_count;
    std::vector<Gl11Vertex> held_quads;  // filled quads waiting for glEnd
    bool held_quads_reach_out;           // one of their corners lies out of view

    // Batches on their way to the GPU: clip xyzw + rgba per triangle
    // vertex; clip xyzw + atlas uv + rgba per glyph vertex.
    std::vector<float> triangles, glyphs;

    // Display lists and attribute stacks.
    std::vector<Gl11List> lists;  // indexed by name; 0 is never used
    GLuint list_base, compiling;  // compiling: the list being compiled, or 0
    int call_depth;
    std::vector<Gl11Command> compiled;
    Gl11Attributes attrib_stack[GL11_ATTRIB_DEPTH];
    int attrib_depth;
    Gl11Unpack unpack;
    Gl11Unpack unpack_stack[GL11_ATTRIB_DEPTH];
    bool unpack_saved[GL11_ATTRIB_DEPTH];
    int client_attrib_depth;

    // The raster position and the glyph atlas.
    bool raster_valid;
    float raster_window[3];  // x, y in pixels; z in 0..1
    float raster_colour[4];
    std::vector<Gl11Bitmap> bitmaps;
    int atlas_x, atlas_y, atlas_row_height;
};

extern Gl11State gl11;

// gl11.cpp
void gl11_reset_state(void);
void gl11_light_vertex(const float object[4], float colour[4]);
void gl11_transform(const float object[4], float clip[4]);
void gl11_flush_batches(void);
void gl11_add_glyph(int x, int y, const Gl11Bitmap& bitmap);

// gl11_lists.cpp
void gl11_reset_lists(void);
// True when the call was compiled into the list being built and must
// not run now (GL_COMPILE).
bool gl11_compiled(const Gl11Command& command);

#endif
