// OpenGL 1.1 on a shader GPU: transformation, per-vertex lighting,
// primitive assembly (filled, as lines, wide lines) and the batches sent
// to the GPU.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/gl11/gl11_state.h"

Gl11State gl11;

namespace {

const Gl11Matrix identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

enum { TRIANGLE_FLOATS = 8, GLYPH_FLOATS = 10 };
enum { ATTRIBUTE_POSITION = 0, ATTRIBUTE_COLOUR = 1, ATTRIBUTE_SPOT = 2 };

// How a quad is cut into two triangles decides how the colours of its
// four differently lit corners blend across it. OpenGL leaves the cut to
// the implementation; the subset cuts as Mesa does, whose pictures are
// the reference: along 1-3 for quads from a display list and for the
// quads of a glBegin/glEnd that reaches out of the view volume anywhere,
// along 0-2 for those of one that stays inside it.
const int quad_split_0_2[6] = {0, 1, 2, 0, 2, 3};
const int quad_split_1_3[6] = {0, 1, 3, 1, 2, 3};

// --- Shaders: the GPU only places and colours; everything else is done ---
// --- before the vertices reach it.                                      ---

const char colour_vertex_shader[] =
    "#version 100\n"
    "attribute vec4 position;\n"
    "attribute vec4 colour;\n"
    "varying vec4 shade;\n"
    "void main() { shade = colour; gl_Position = position; }\n";
const char colour_fragment_shader[] =
    "#version 100\n"
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\n"
    "precision highp float;\n"
    "#else\n"
    "precision mediump float;\n"
    "#endif\n"
    "varying vec4 shade;\n"
    "void main() { gl_FragColor = shade; }\n";
// A glyph's texels are 0 or 255: a bitmap draws its set bits only.
const char glyph_vertex_shader[] =
    "#version 100\n"
    "attribute vec4 position;\n"
    "attribute vec4 colour;\n"
    "attribute vec2 spot;\n"
    "varying vec4 shade;\n"
    "varying vec2 texel;\n"
    "void main() { shade = colour; texel = spot; gl_Position = position; }\n";
const char glyph_fragment_shader[] =
    "#version 100\n"
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\n"
    "precision highp float;\n"
    "#else\n"
    "precision mediump float;\n"
    "#endif\n"
    "uniform sampler2D atlas;\n"
    "varying vec4 shade;\n"
    "varying vec2 texel;\n"
    "void main() {\n"
    "    if (texture2D(atlas, texel).r < 0.5) discard;\n"
    "    gl_FragColor = shade;\n"
    "}\n";

void set_error(const char* what, const char* log)
{
    std::snprintf(gl11.error, sizeof gl11.error, "%s%s%s", what, log && *log ? ": " : "", log ? log : "");
}

GLuint compile_shader(GLenum type, const char* source)
{
    const Gl11Device& gpu = *gl11.device;
    GLuint shader = gpu.glCreateShader(type);
    if (shader == 0) return 0;
    gpu.glShaderSource(shader, 1, &source, nullptr);
    gpu.glCompileShader(shader);
    GLint compiled = GL_FALSE;
    gpu.glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[120] = "";
        gpu.glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        set_error("a shader does not compile", log);
        return 0;
    }
    return shader;
}

GLuint link_program(const char* vertex_source, const char* fragment_source)
{
    const Gl11Device& gpu = *gl11.device;
    GLuint vertex = compile_shader(GL_VERTEX_SHADER, vertex_source);
    GLuint fragment = vertex ? compile_shader(GL_FRAGMENT_SHADER, fragment_source) : 0;
    GLuint program = fragment ? gpu.glCreateProgram() : 0;
    if (program == 0) {
        if (fragment) set_error("no shader program", nullptr);
        return 0;
    }
    gpu.glAttachShader(program, vertex);
    gpu.glAttachShader(program, fragment);
    gpu.glBindAttribLocation(program, ATTRIBUTE_POSITION, "position");
    gpu.glBindAttribLocation(program, ATTRIBUTE_COLOUR, "colour");
    gpu.glBindAttribLocation(program, ATTRIBUTE_SPOT, "spot");
    gpu.glLinkProgram(program);
    GLint linked = GL_FALSE;
    gpu.glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[120] = "";
        gpu.glGetProgramInfoLog(program, sizeof log, nullptr, log);
        set_error("a shader program does not link", log);
        return 0;
    }
    return program;
}

// The device state the subset relies on, matching OpenGL's initial state
// where it shows: no depth test, GL_LESS, clear to black and depth 1.
void prepare_device(void)
{
    const Gl11Device& gpu = *gl11.device;
    gpu.glDisable(GL_DEPTH_TEST);
    gpu.glDepthFunc(GL_LESS);
    gpu.glClearColor(0, 0, 0, 0);
    gpu.glClearDepthf(1.0f);
    gpu.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gpu.glGenBuffers(1, &gl11.vertex_buffer);
    gpu.glActiveTexture(GL_TEXTURE0);
    gpu.glGenTextures(1, &gl11.atlas);
    gpu.glBindTexture(GL_TEXTURE_2D, gl11.atlas);
    std::vector<GLubyte> blank(static_cast<size_t>(GL11_ATLAS_SIZE) * GL11_ATLAS_SIZE, 0);
    gpu.glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL11_ATLAS_SIZE, GL11_ATLAS_SIZE, 0, GL_LUMINANCE,
                     GL_UNSIGNED_BYTE, blank.data());
    gpu.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gpu.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gpu.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gpu.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gpu.glUseProgram(gl11.glyph_program);
    gpu.glUniform1i(gpu.glGetUniformLocation(gl11.glyph_program, "atlas"), 0);
}

// --- Matrices -------------------------------------------------------------

// m = m x n, summed in the order OpenGL implementations sum.
void multiply(Gl11Matrix* m, const Gl11Matrix& n)
{
    Gl11Matrix product;
    for (int row = 0; row < 4; row++) {
        const float a0 = m->m[row], a1 = m->m[4 + row], a2 = m->m[8 + row], a3 = m->m[12 + row];
        for (int column = 0; column < 4; column++) {
            const float* b = &n.m[column * 4];
            product.m[column * 4 + row] = a0 * b[0] + a1 * b[1] + a2 * b[2] + a3 * b[3];
        }
    }
    *m = product;
}

Gl11Matrix* current_matrix(void)
{
    return gl11.matrix_mode == GL_PROJECTION ? &gl11.projection : &gl11.modelview;
}

void matrix_changed(void)
{
    gl11.mvp_ready = false;
    if (gl11.matrix_mode != GL_PROJECTION) gl11.normals_ready = false;
}

void multiply_current(const Gl11Matrix& n)
{
    multiply(current_matrix(), n);
    matrix_changed();
}

const Gl11Matrix& mvp(void)
{
    if (!gl11.mvp_ready) {
        gl11.mvp = gl11.projection;
        multiply(&gl11.mvp, gl11.modelview);
        gl11.mvp_ready = true;
    }
    return gl11.mvp;
}

// Normals go to eye space by the inverse transpose of the model-view's
// upper 3 x 3; a singular matrix leaves them untransformed.
const float* normal_matrix(void)
{
    if (gl11.normals_ready) return gl11.normal_matrix;
    const float* m = gl11.modelview.m;
    auto at = [m](int row, int column) { return m[column * 4 + row]; };
    float cofactor[9];
    for (int row = 0; row < 3; row++) {
        for (int column = 0; column < 3; column++) {
            int r0 = (row + 1) % 3, r1 = (row + 2) % 3, c0 = (column + 1) % 3, c1 = (column + 2) % 3;
            cofactor[row * 3 + column] = at(r0, c0) * at(r1, c1) - at(r0, c1) * at(r1, c0);
        }
    }
    float determinant = at(0, 0) * cofactor[0] + at(0, 1) * cofactor[1] + at(0, 2) * cofactor[2];
    // The inverse transpose is the cofactor matrix over the determinant;
    // normal_matrix[row * 3 + column] multiplies n[column] into row.
    for (int i = 0; i < 9; i++)
        gl11.normal_matrix[i] = determinant != 0.0f ? cofactor[i] / determinant : (i % 4 == 0 ? 1.0f : 0.0f);
    gl11.normals_ready = true;
    return gl11.normal_matrix;
}

void transform_point(const Gl11Matrix& matrix, const float in[4], float out[4])
{
    const float* m = matrix.m;
    for (int row = 0; row < 4; row++)
        out[row] = m[row] * in[0] + m[4 + row] * in[1] + m[8 + row] * in[2] + m[12 + row] * in[3];
}

float clamp01(float value) { return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value); }

void normalize3(float v[3])
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

float dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// --- Primitives -------------------------------------------------------------

void push_triangle_vertex(const float clip[4], const float colour[4])
{
    gl11.triangles.insert(gl11.triangles.end(), clip, clip + 4);
    gl11.triangles.insert(gl11.triangles.end(), colour, colour + 4);
}

void start_batch(std::vector<float>* batch)
{
    // Glyphs and triangles overlap in depth and in order: a batch of the
    // other kind goes first.
    std::vector<float>* other = batch == &gl11.triangles ? &gl11.glyphs : &gl11.triangles;
    if (!other->empty()) gl11_flush_batches();
}

void window_of(const float clip[4], float window[2])
{
    window[0] = clip[0] / clip[3] * (gl11.viewport[2] * 0.5f) + (gl11.viewport[0] + gl11.viewport[2] * 0.5f);
    window[1] = clip[1] / clip[3] * (gl11.viewport[3] * 0.5f) + (gl11.viewport[1] + gl11.viewport[3] * 0.5f);
}

// A line of the current width, as the parallelogram OpenGL fills for a
// wide line: the segment widened across its minor axis by the width in
// pixels. The widening is made in clip space (scaled by each end's w) so
// that the GPU clips the result like any triangle; the segment is first
// cut at the near plane, behind which its window position does not exist.
void emit_line(Gl11Vertex a, Gl11Vertex b)
{
    float near_a = a.clip[2] + a.clip[3], near_b = b.clip[2] + b.clip[3];
    if (near_a < 0.0f && near_b < 0.0f) return;
    if (near_a < 0.0f || near_b < 0.0f) {
        float t = near_a / (near_a - near_b);
        Gl11Vertex cut;
        for (int i = 0; i < 4; i++) {
            cut.clip[i] = a.clip[i] + t * (b.clip[i] - a.clip[i]);
            cut.colour[i] = a.colour[i] + t * (b.colour[i] - a.colour[i]);
        }
        (near_a < 0.0f ? a : b) = cut;
    }
    if (a.clip[3] <= 0.0f || b.clip[3] <= 0.0f || gl11.viewport[2] <= 0 || gl11.viewport[3] <= 0) return;
    float wa[2], wb[2];
    window_of(a.clip, wa);
    window_of(b.clip, wb);
    float dx = wb[0] - wa[0], dy = wb[1] - wa[1];
    if (dx == 0.0f && dy == 0.0f) return;
    bool x_major = std::fabs(dx) >= std::fabs(dy);
    // Half the width in normalized device units along the minor axis.
    float half = gl11.line_width * 0.5f;
    float offset = x_major ? half * 2.0f / gl11.viewport[3] : half * 2.0f / gl11.viewport[2];
    int axis = x_major ? 1 : 0;
    float corners[4][4];
    const Gl11Vertex* ends[2] = {&a, &b};
    for (int end = 0; end < 2; end++) {
        for (int side = 0; side < 2; side++) {
            float* corner = corners[end * 2 + side];
            std::memcpy(corner, ends[end]->clip, sizeof(float) * 4);
            corner[axis] += (side == 0 ? offset : -offset) * ends[end]->clip[3];
        }
    }
    start_batch(&gl11.triangles);
    push_triangle_vertex(corners[0], a.colour);
    push_triangle_vertex(corners[1], a.colour);
    push_triangle_vertex(corners[2], b.colour);
    push_triangle_vertex(corners[2], b.colour);
    push_triangle_vertex(corners[1], a.colour);
    push_triangle_vertex(corners[3], b.colour);
}

void emit_polygon(const Gl11Vertex* v, int count, const int* quad_split)
{
    if (gl11.polygon_mode == GL_LINE) {
        for (int i = 0; i < count; i++) emit_line(v[i], v[(i + 1) % count]);
        return;
    }
    start_batch(&gl11.triangles);
    if (count == 3) {
        for (int i = 0; i < 3; i++) push_triangle_vertex(v[i].clip, v[i].colour);
    } else {
        for (int i = 0; i < 6; i++) push_triangle_vertex(v[quad_split[i]].clip, v[quad_split[i]].colour);
    }
}

bool outside_view(const float clip[4])
{
    const float w = clip[3];
    return !(-w <= clip[0] && clip[0] <= w && -w <= clip[1] && clip[1] <= w && -w <= clip[2] && clip[2] <= w);
}

// Filled quads of a glBegin/glEnd wait for its glEnd, which knows how
// they are cut.
void hold_quad(const Gl11Vertex* v)
{
    for (int i = 0; i < 4; i++) {
        gl11.held_quads.push_back(v[i]);
        gl11.held_quads_reach_out = gl11.held_quads_reach_out || outside_view(v[i].clip);
    }
}

void emit_held_quads(void)
{
    const int* split = gl11.held_quads_reach_out ? quad_split_1_3 : quad_split_0_2;
    for (size_t i = 0; i + 4 <= gl11.held_quads.size(); i += 4) emit_polygon(&gl11.held_quads[i], 4, split);
    gl11.held_quads.clear();
    gl11.held_quads_reach_out = false;
}

int vertices_per_primitive(GLenum mode)
{
    switch (mode) {
    case GL_TRIANGLES: return 3;
    case GL_QUADS: return 4;
    case GL_LINES: return 2;
    default: return 0;  // modes the intro does not use draw nothing
    }
}

void add_vertex(const float object[4])
{
    int needed = vertices_per_primitive(gl11.primitive);
    if (!gl11.inside_begin || needed == 0 || gl11.discard) return;
    Gl11Vertex& vertex = gl11.pending[gl11.pending_count++];
    gl11_transform(object, vertex.clip);
    gl11_light_vertex(object, vertex.colour);
    if (gl11.pending_count < needed) return;
    gl11.pending_count = 0;
    if (gl11.primitive == GL_LINES) {
        emit_line(gl11.pending[0], gl11.pending[1]);
    } else if (needed == 4 && gl11.polygon_mode == GL_FILL && gl11.call_depth == 0) {
        hold_quad(gl11.pending);
    } else {
        emit_polygon(gl11.pending, needed, quad_split_1_3);
    }
}

void set_vector(float* target, const float* source, int count)
{
    for (int i = 0; i < count; i++) target[i] = source[i];
}

}  // namespace

// --- Device, state, batches ---------------------------------------------------

void gl11_reset_state(void)
{
    static const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
    gl11.matrix_mode = GL_MODELVIEW;
    gl11.modelview = identity;
    gl11.projection = identity;
    gl11.mvp_ready = gl11.normals_ready = false;
    set_vector(gl11.colour, white, 4);
    gl11.normal[0] = 0.0f;
    gl11.normal[1] = 0.0f;
    gl11.normal[2] = 1.0f;
    static const float material_ambient[4] = {0.2f, 0.2f, 0.2f, 1},
                       material_diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
    set_vector(gl11.material.emission, black, 4);
    set_vector(gl11.material.ambient, material_ambient, 4);
    set_vector(gl11.material.diffuse, material_diffuse, 4);
    set_vector(gl11.material.specular, black, 4);
    gl11.material.shininess = 0.0f;
    for (int i = 0; i < GL11_LIGHTS; i++) {
        Gl11Light& light = gl11.lights[i];
        light.enabled = false;
        set_vector(light.ambient, black, 4);
        // Light 0 is white by default, the others dark.
        set_vector(light.diffuse, i == 0 ? white : black, 4);
        set_vector(light.specular, i == 0 ? white : black, 4);
        static const float towards_viewer[4] = {0, 0, 1, 0};
        set_vector(light.position, towards_viewer, 4);
    }
    set_vector(gl11.model_ambient, material_ambient, 4);
    gl11.lighting = gl11.normalize = gl11.depth_test = false;
    gl11.polygon_mode = GL_FILL;
    gl11.line_width = 1.0f;
    gl11.inside_begin = false;  // vertices wait for a glBegin, which starts them afresh
    gl11.held_quads.clear();
    gl11.held_quads_reach_out = false;
    gl11.triangles.clear();
    gl11.glyphs.clear();
    gl11.raster_valid = true;
    gl11.raster_window[0] = gl11.raster_window[1] = gl11.raster_window[2] = 0.0f;
    set_vector(gl11.raster_colour, white, 4);
}

bool gl11_open(const Gl11Device* device)
{
    gl11_close();
    gl11.device = device;
    gl11.colour_program = link_program(colour_vertex_shader, colour_fragment_shader);
    gl11.glyph_program = gl11.colour_program ? link_program(glyph_vertex_shader, glyph_fragment_shader) : 0;
    if (gl11.glyph_program == 0) {
        gl11.device = nullptr;
        return false;
    }
    prepare_device();
    gl11_reset_state();
    gl11_reset_lists();
    gl11.viewport[0] = gl11.viewport[1] = gl11.viewport[2] = gl11.viewport[3] = 0;
    gl11.open = true;
    return true;
}

void gl11_close(void)
{
    gl11.open = false;
    gl11.device = nullptr;
    gl11.discard = false;
    gl11_reset_state();
    gl11_reset_lists();
}

bool gl11_is_open(void) { return gl11.open; }
const char* gl11_last_error(void) { return gl11.error; }
void gl11_set_discard(bool discard)
{
    gl11_flush_batches();
    gl11.discard = discard;
}

void gl11_flush_batches(void)
{
    if (!gl11.open) return;
    const Gl11Device& gpu = *gl11.device;
    bool glyphs = !gl11.glyphs.empty();
    std::vector<float>& batch = glyphs ? gl11.glyphs : gl11.triangles;
    if (batch.empty()) return;
    const int floats = glyphs ? GLYPH_FLOATS : TRIANGLE_FLOATS;
    const GLsizei stride = static_cast<GLsizei>(floats * sizeof(float));
    if (!gl11.discard) {
        gpu.glUseProgram(glyphs ? gl11.glyph_program : gl11.colour_program);
        gpu.glBindBuffer(GL_ARRAY_BUFFER, gl11.vertex_buffer);
        gpu.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(batch.size() * sizeof(float)), batch.data(),
                         GL_STREAM_DRAW);
        gpu.glEnableVertexAttribArray(ATTRIBUTE_POSITION);
        gpu.glEnableVertexAttribArray(ATTRIBUTE_COLOUR);
        gpu.glVertexAttribPointer(ATTRIBUTE_POSITION, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
        if (glyphs) {
            gpu.glEnableVertexAttribArray(ATTRIBUTE_SPOT);
            gpu.glVertexAttribPointer(ATTRIBUTE_SPOT, 2, GL_FLOAT, GL_FALSE, stride,
                                      reinterpret_cast<const void*>(4 * sizeof(float)));
            gpu.glVertexAttribPointer(ATTRIBUTE_COLOUR, 4, GL_FLOAT, GL_FALSE, stride,
                                      reinterpret_cast<const void*>(6 * sizeof(float)));
            gpu.glBindTexture(GL_TEXTURE_2D, gl11.atlas);
        } else {
            gpu.glDisableVertexAttribArray(ATTRIBUTE_SPOT);
            gpu.glVertexAttribPointer(ATTRIBUTE_COLOUR, 4, GL_FLOAT, GL_FALSE, stride,
                                      reinterpret_cast<const void*>(4 * sizeof(float)));
        }
        gpu.glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.size() / floats));
    }
    batch.clear();
}

void gl11_flush(void)
{
    gl11_flush_batches();
    if (gl11.open && !gl11.discard) gl11.device->glFlush();
}

// A bitmap's set bits as a window-aligned quad over its atlas texels, at
// the raster position's depth and in its colour.
void gl11_add_glyph(int x, int y, const Gl11Bitmap& bitmap)
{
    if (gl11.discard || bitmap.atlas_x < 0 || gl11.viewport[2] <= 0 || gl11.viewport[3] <= 0) return;
    start_batch(&gl11.glyphs);
    const float to_x = 2.0f / gl11.viewport[2], to_y = 2.0f / gl11.viewport[3];
    const float left = (x - gl11.viewport[0]) * to_x - 1.0f, right = left + bitmap.width * to_x;
    const float bottom = (y - gl11.viewport[1]) * to_y - 1.0f, top = bottom + bitmap.height * to_y;
    const float depth = gl11.raster_window[2] * 2.0f - 1.0f;
    const float u0 = static_cast<float>(bitmap.atlas_x) / GL11_ATLAS_SIZE;
    const float v0 = static_cast<float>(bitmap.atlas_y) / GL11_ATLAS_SIZE;
    const float u1 = static_cast<float>(bitmap.atlas_x + bitmap.width) / GL11_ATLAS_SIZE;
    const float v1 = static_cast<float>(bitmap.atlas_y + bitmap.height) / GL11_ATLAS_SIZE;
    const float corners[6][4] = {{left, bottom, u0, v0}, {right, bottom, u1, v0}, {right, top, u1, v1},
                                 {left, bottom, u0, v0}, {right, top, u1, v1},    {left, top, u0, v1}};
    for (const float* corner : corners) {
        const float vertex[GLYPH_FLOATS] = {corner[0],
                                            corner[1],
                                            depth,
                                            1.0f,
                                            corner[2],
                                            corner[3],
                                            gl11.raster_colour[0],
                                            gl11.raster_colour[1],
                                            gl11.raster_colour[2],
                                            gl11.raster_colour[3]};
        gl11.glyphs.insert(gl11.glyphs.end(), vertex, vertex + GLYPH_FLOATS);
    }
}

// --- Transformation and lighting ---------------------------------------------

void gl11_transform(const float object[4], float clip[4]) { transform_point(mvp(), object, clip); }

// The OpenGL 1.1 lighting equation for one vertex with the current
// normal and front material; without lighting, the current colour.
void gl11_light_vertex(const float object[4], float colour[4])
{
    if (!gl11.lighting) {
        for (int i = 0; i < 4; i++) colour[i] = clamp01(gl11.colour[i]);
        return;
    }
    const float* n_matrix = normal_matrix();
    float normal[3];
    for (int row = 0; row < 3; row++)
        normal[row] = n_matrix[row * 3 + 0] * gl11.normal[0] + n_matrix[row * 3 + 1] * gl11.normal[1] +
                      n_matrix[row * 3 + 2] * gl11.normal[2];
    if (gl11.normalize) normalize3(normal);

    const Gl11Material& material = gl11.material;
    float sum[3];
    for (int c = 0; c < 3; c++) sum[c] = material.emission[c] + material.ambient[c] * gl11.model_ambient[c];
    float eye[4] = {0, 0, 0, 1};
    bool eye_known = false;
    for (const Gl11Light& light : gl11.lights) {
        if (!light.enabled) continue;
        // Direction to the light: a direction itself, or towards a point.
        float to_light[3] = {light.position[0], light.position[1], light.position[2]};
        if (light.position[3] != 0.0f) {
            if (!eye_known) transform_point(gl11.modelview, object, eye);
            eye_known = true;
            for (int c = 0; c < 3; c++) to_light[c] = light.position[c] / light.position[3] - eye[c] / eye[3];
        }
        normalize3(to_light);
        float diffuse = dot3(normal, to_light);
        if (diffuse < 0.0f) diffuse = 0.0f;
        float specular = 0.0f;
        if (diffuse > 0.0f) {
            // The viewer is at infinity along +z: the half vector is
            // the light direction plus (0, 0, 1).
            float half[3] = {to_light[0], to_light[1], to_light[2] + 1.0f};
            normalize3(half);
            float facing = dot3(normal, half);
            specular = facing > 0.0f ? std::pow(facing, material.shininess) : 0.0f;
        }
        for (int c = 0; c < 3; c++)
            sum[c] += material.ambient[c] * light.ambient[c] +
                      diffuse * material.diffuse[c] * light.diffuse[c] +
                      specular * material.specular[c] * light.specular[c];
    }
    for (int c = 0; c < 3; c++) colour[c] = clamp01(sum[c]);
    colour[3] = clamp01(material.diffuse[3]);
}

// --- The GL 1.1 calls: matrices ------------------------------------------------

void gl11_matrix_mode(GLenum mode)
{
    if (mode == GL_MODELVIEW || mode == GL_PROJECTION) gl11.matrix_mode = mode;
}

void gl11_load_identity(void)
{
    Gl11Command command = {OP_LOAD_IDENTITY, 0, 0, {}};
    if (gl11_compiled(command)) return;
    *current_matrix() = identity;
    matrix_changed();
}

void gl11_translatef(GLfloat x, GLfloat y, GLfloat z)
{
    Gl11Command command = {OP_TRANSLATE, 0, 0, {x, y, z, 0}};
    if (gl11_compiled(command)) return;
    Gl11Matrix translation = identity;
    translation.m[12] = x;
    translation.m[13] = y;
    translation.m[14] = z;
    multiply_current(translation);
}

// A rotation about a coordinate axis has exact ones and zeros, as
// OpenGL's own; other axes take the general unit-axis matrix.
void gl11_rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    Gl11Command command = {OP_ROTATE, 0, 0, {angle, x, y, z}};
    if (gl11_compiled(command)) return;
    const double radians = angle * M_PI / 180.0;
    const float s = static_cast<float>(std::sin(radians)), c = static_cast<float>(std::cos(radians));
    Gl11Matrix rotation = identity;
    float* m = rotation.m;
    auto set = [m](int row, int column, float value) { m[column * 4 + row] = value; };
    int axes = (x != 0.0f) + (y != 0.0f) + (z != 0.0f);
    if (axes == 0) return;
    if (axes == 1) {
        int axis = x != 0.0f ? 0 : (y != 0.0f ? 1 : 2);
        float sign = (x + y + z) < 0.0f ? -1.0f : 1.0f;
        int a = (axis + 1) % 3, b = (axis + 2) % 3;  // the plane turned: a towards b
        set(a, a, c);
        set(b, b, c);
        set(b, a, sign * s);
        set(a, b, -sign * s);
    } else {
        float axis[3] = {x, y, z};
        normalize3(axis);
        const float u = axis[0], v = axis[1], w = axis[2], k = 1.0f - c;
        set(0, 0, u * u * k + c);
        set(0, 1, u * v * k - w * s);
        set(0, 2, u * w * k + v * s);
        set(1, 0, v * u * k + w * s);
        set(1, 1, v * v * k + c);
        set(1, 2, v * w * k - u * s);
        set(2, 0, u * w * k - v * s);
        set(2, 1, v * w * k + u * s);
        set(2, 2, w * w * k + c);
    }
    multiply_current(rotation);
}

// GLU's perspective: computed in double, applied in single precision. A
// degenerate request (zero aspect, as from a minimised window) leaves
// the matrix as it is.
void gl11_perspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far)
{
    const double radians = fovy / 2.0 * M_PI / 180.0;
    const double depth = z_far - z_near, sine = std::sin(radians);
    if (depth == 0.0 || sine == 0.0 || aspect == 0.0) return;
    const double cotangent = std::cos(radians) / sine;
    Gl11Matrix m = {};
    m.m[0] = static_cast<float>(cotangent / aspect);
    m.m[5] = static_cast<float>(cotangent);
    m.m[10] = static_cast<float>(-(z_far + z_near) / depth);
    m.m[11] = -1.0f;
    m.m[14] = static_cast<float>(-2.0 * z_near * z_far / depth);
    multiply_current(m);
}

// GLU's look-at: the eye's side, up and backward axes as rows, then the
// eye moved to the origin.
void gl11_look_at(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble center_x, GLdouble center_y,
                  GLdouble center_z, GLdouble up_x, GLdouble up_y, GLdouble up_z)
{
    float forward[3] = {static_cast<float>(center_x - eye_x), static_cast<float>(center_y - eye_y),
                        static_cast<float>(center_z - eye_z)};
    float up[3] = {static_cast<float>(up_x), static_cast<float>(up_y), static_cast<float>(up_z)};
    normalize3(forward);
    float side[3] = {forward[1] * up[2] - forward[2] * up[1], forward[2] * up[0] - forward[0] * up[2],
                     forward[0] * up[1] - forward[1] * up[0]};
    normalize3(side);
    float true_up[3] = {side[1] * forward[2] - side[2] * forward[1],
                        side[2] * forward[0] - side[0] * forward[2],
                        side[0] * forward[1] - side[1] * forward[0]};
    Gl11Matrix m = identity;
    for (int i = 0; i < 3; i++) {
        m.m[i * 4 + 0] = side[i];
        m.m[i * 4 + 1] = true_up[i];
        m.m[i * 4 + 2] = -forward[i];
    }
    multiply_current(m);
    Gl11Matrix translation = identity;
    translation.m[12] = static_cast<float>(-eye_x);
    translation.m[13] = static_cast<float>(-eye_y);
    translation.m[14] = static_cast<float>(-eye_z);
    multiply_current(translation);
}

void gl11_viewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (width < 0 || height < 0) return;
    gl11_flush_batches();
    gl11.viewport[0] = x;
    gl11.viewport[1] = y;
    gl11.viewport[2] = width;
    gl11.viewport[3] = height;
    if (gl11.open) gl11.device->glViewport(x, y, width, height);
}

// --- The GL 1.1 calls: vertices and their attributes -------------------------

void gl11_begin(GLenum mode)
{
    Gl11Command command = {OP_BEGIN, mode, 0, {}};
    if (gl11_compiled(command) || gl11.inside_begin) return;
    gl11.inside_begin = true;
    gl11.primitive = mode;
    gl11.pending_count = 0;
}

void gl11_end(void)
{
    Gl11Command command = {OP_END, 0, 0, {}};
    if (gl11_compiled(command)) return;
    gl11.inside_begin = false;  // an unfinished primitive is dropped: the next glBegin starts afresh
    emit_held_quads();
}

void gl11_vertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    Gl11Command command = {OP_VERTEX, 0, 0, {x, y, z, 1}};
    if (gl11_compiled(command)) return;
    const float object[4] = {x, y, z, 1.0f};
    add_vertex(object);
}

void gl11_vertex3fv(const GLfloat* v) { gl11_vertex3f(v[0], v[1], v[2]); }

void gl11_normal3f(GLfloat x, GLfloat y, GLfloat z)
{
    Gl11Command command = {OP_NORMAL, 0, 0, {x, y, z, 0}};
    if (gl11_compiled(command)) return;
    gl11.normal[0] = x;
    gl11.normal[1] = y;
    gl11.normal[2] = z;
}

void gl11_normal3fv(const GLfloat* v) { gl11_normal3f(v[0], v[1], v[2]); }

void gl11_color4fv(const GLfloat* v)
{
    Gl11Command command = {OP_COLOUR, 0, 0, {v[0], v[1], v[2], v[3]}};
    if (gl11_compiled(command)) return;
    set_vector(gl11.colour, v, 4);
}

// Only the front material is kept: lighting is one-sided, so the back
// material never shows.
void gl11_materialfv(GLenum face, GLenum pname, const GLfloat* params)
{
    Gl11Command command = {OP_MATERIAL, face, pname, {params[0], 0, 0, 0}};
    if (pname != GL_SHININESS) set_vector(command.v, params, 4);
    if (gl11_compiled(command) || face == GL_BACK) return;
    Gl11Material& material = gl11.material;
    switch (pname) {
    case GL_AMBIENT: set_vector(material.ambient, params, 4); break;
    case GL_DIFFUSE: set_vector(material.diffuse, params, 4); break;
    case GL_SPECULAR: set_vector(material.specular, params, 4); break;
    case GL_EMISSION: set_vector(material.emission, params, 4); break;
    case GL_AMBIENT_AND_DIFFUSE:
        set_vector(material.ambient, params, 4);
        set_vector(material.diffuse, params, 4);
        break;
    case GL_SHININESS: material.shininess = params[0]; break;
    default: break;
    }
}

void gl11_materialf(GLenum face, GLenum pname, GLfloat param) { gl11_materialfv(face, pname, &param); }

// A light's position is kept in eye coordinates, through the model-view
// matrix in force when it is set.
void gl11_lightfv(GLenum light_name, GLenum pname, const GLfloat* params)
{
    if (light_name < GL_LIGHT0 || light_name >= GL_LIGHT0 + GL11_LIGHTS) return;
    Gl11Light& light = gl11.lights[light_name - GL_LIGHT0];
    switch (pname) {
    case GL_AMBIENT: set_vector(light.ambient, params, 4); break;
    case GL_DIFFUSE: set_vector(light.diffuse, params, 4); break;
    case GL_SPECULAR: set_vector(light.specular, params, 4); break;
    case GL_POSITION: transform_point(gl11.modelview, params, light.position); break;
    default: break;
    }
}

// --- The GL 1.1 calls: fixed state -------------------------------------------

void gl11_enable(GLenum cap)
{
    if (cap >= GL_LIGHT0 && cap < GL_LIGHT0 + GL11_LIGHTS) {
        gl11.lights[cap - GL_LIGHT0].enabled = true;
    } else if (cap == GL_LIGHTING) {
        gl11.lighting = true;
    } else if (cap == GL_NORMALIZE) {
        gl11.normalize = true;
    } else if (cap == GL_DEPTH_TEST && !gl11.depth_test) {
        gl11_flush_batches();
        gl11.depth_test = true;
        if (gl11.open) gl11.device->glEnable(GL_DEPTH_TEST);
    }
}

// Smooth shading is OpenGL's default and the only one the intro uses.
void gl11_shade_model(GLenum) {}

// Front and back faces alike: the intro sets both at once.
void gl11_polygon_mode(GLenum face, GLenum mode)
{
    if (face == GL_FRONT_AND_BACK && (mode == GL_FILL || mode == GL_LINE)) gl11.polygon_mode = mode;
}

void gl11_line_width(GLfloat width)
{
    if (width > 0.0f) gl11.line_width = width;
}

void gl11_hint(GLenum, GLenum) {}  // hints are hints: the GPU does its best anyway

void gl11_depth_func(GLenum func)
{
    gl11_flush_batches();
    if (gl11.open) gl11.device->glDepthFunc(func);
}

void gl11_clear_color(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    if (gl11.open) gl11.device->glClearColor(red, green, blue, alpha);
}

void gl11_clear_depth(GLclampd depth)
{
    if (gl11.open) gl11.device->glClearDepthf(static_cast<GLfloat>(depth));
}

void gl11_clear(GLbitfield mask)
{
    gl11_flush_batches();
    if (gl11.open && !gl11.discard) gl11.device->glClear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
}
