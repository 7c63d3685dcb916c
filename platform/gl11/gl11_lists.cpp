// OpenGL 1.1 on a shader GPU: display lists, the attribute stacks, the
// raster position and bitmaps.
//
// A list keeps the commands the intro compiles (vertices, normals,
// colours, materials, bitmaps, matrix steps, raster positions and calls
// of other lists) and replays them through the same routines. Other calls
// made while a list is being compiled take effect at once instead; the
// intro's lists hold nothing else.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "platform/gl11/gl11_state.h"

namespace {

enum { MAX_CALL_DEPTH = 64 };  // nested glCallList, as OpenGL's GL_MAX_LIST_NESTING

const Gl11Unpack initial_unpack = {0, 0, 0, 4, false};

bool list_exists(GLuint name) { return name < gl11.lists.size() && gl11.lists[name].exists; }

void run_list(GLuint list);

void run_command(const Gl11Command& command)
{
    const float* v = command.v;
    switch (command.op) {
    case OP_BEGIN: gl11_begin(command.a); break;
    case OP_END: gl11_end(); break;
    case OP_VERTEX: gl11_vertex3f(v[0], v[1], v[2]); break;
    case OP_NORMAL: gl11_normal3f(v[0], v[1], v[2]); break;
    case OP_COLOUR: gl11_color4fv(v); break;
    case OP_MATERIAL: gl11_materialfv(command.a, command.b, v); break;
    case OP_BITMAP: {
        const Gl11Bitmap& bitmap = gl11.bitmaps[command.a];
        if (!gl11.raster_valid) break;
        // The bitmap's lower-left corner goes to the pixel the raster
        // position falls in, moved back by the bitmap's origin.
        int x = static_cast<int>(std::floor(gl11.raster_window[0] - bitmap.x_origin));
        int y = static_cast<int>(std::floor(gl11.raster_window[1] - bitmap.y_origin));
        if (bitmap.width > 0 && bitmap.height > 0) gl11_add_glyph(x, y, bitmap);
        gl11.raster_window[0] += bitmap.x_move;
        gl11.raster_window[1] += bitmap.y_move;
        break;
    }
    case OP_CALL_LIST: run_list(command.a); break;
    case OP_CALL_LIST_OFFSET: run_list(gl11.list_base + command.a); break;
    case OP_LOAD_IDENTITY: gl11_load_identity(); break;
    case OP_TRANSLATE: gl11_translatef(v[0], v[1], v[2]); break;
    case OP_ROTATE: gl11_rotatef(v[0], v[1], v[2], v[3]); break;
    case OP_RASTER_POS: gl11_raster_pos2f(v[0], v[1]); break;
    }
}

// The bits of a GL_BITMAP image under the unpack state, as one byte per
// pixel (0 or 255), rows from the bottom up as OpenGL reads them.
std::vector<GLubyte> unpack_bitmap(int width, int height, const GLubyte* data)
{
    const Gl11Unpack& unpack = gl11.unpack;
    const int row_pixels = unpack.row_length > 0 ? unpack.row_length : width;
    const int alignment = unpack.alignment;
    const int row_bytes = (row_pixels + 8 * alignment - 1) / (8 * alignment) * alignment;
    std::vector<GLubyte> pixels(static_cast<size_t>(width) * height, 0);
    for (int row = 0; row < height; row++) {
        const GLubyte* source = data + static_cast<ptrdiff_t>(unpack.skip_rows + row) * row_bytes;
        for (int column = 0; column < width; column++) {
            int bit = unpack.skip_pixels + column;
            int shift = unpack.lsb_first ? bit % 8 : 7 - bit % 8;
            if ((source[bit / 8] >> shift) & 1) pixels[static_cast<size_t>(row) * width + column] = 255;
        }
    }
    return pixels;
}

// Keeps a bitmap in the glyph atlas, packed in shelves with a texel of
// space around each so that no glyph samples its neighbour. A bitmap
// that does not fit any more is kept without texels and draws nothing
// (both of the intro's fonts together fill about half the atlas).
GLenum store_bitmap(GLsizei width, GLsizei height, GLfloat x_origin, GLfloat y_origin, GLfloat x_move,
                    GLfloat y_move, const GLubyte* data)
{
    Gl11Bitmap bitmap = {width, height, x_origin, y_origin, x_move, y_move, -1, -1};
    if (width > 0 && height > 0 && data && width < GL11_ATLAS_SIZE && height < GL11_ATLAS_SIZE) {
        if (gl11.atlas_x + width + 1 > GL11_ATLAS_SIZE) {
            gl11.atlas_x = 0;
            gl11.atlas_y += gl11.atlas_row_height + 1;
            gl11.atlas_row_height = 0;
        }
        if (gl11.atlas_y + height + 1 <= GL11_ATLAS_SIZE && gl11.open) {
            bitmap.atlas_x = gl11.atlas_x;
            bitmap.atlas_y = gl11.atlas_y;
            gl11.atlas_x += width + 1;
            if (height > gl11.atlas_row_height) gl11.atlas_row_height = height;
            std::vector<GLubyte> pixels = unpack_bitmap(width, height, data);
            const Gl11Device& gpu = *gl11.device;
            gpu.glBindTexture(GL_TEXTURE_2D, gl11.atlas);
            gpu.glTexSubImage2D(GL_TEXTURE_2D, 0, bitmap.atlas_x, bitmap.atlas_y, width, height, GL_LUMINANCE,
                                GL_UNSIGNED_BYTE, pixels.data());
        }
    }
    gl11.bitmaps.push_back(bitmap);
    return static_cast<GLenum>(gl11.bitmaps.size() - 1);
}

void run_list(GLuint list)
{
    if (!list_exists(list) || gl11.call_depth >= MAX_CALL_DEPTH) return;
    gl11.call_depth++;
    // Each command is copied out first: a list may grow the table of
    // lists while it runs.
    for (size_t i = 0; i < gl11.lists[list].commands.size(); i++) {
        Gl11Command step = gl11.lists[list].commands[i];
        run_command(step);
    }
    gl11.call_depth--;
}

}  // namespace

void gl11_reset_lists(void)
{
    gl11.lists.clear();
    gl11.list_base = 0;
    gl11.compiling = 0;
    gl11.call_depth = 0;
    gl11.compiled.clear();
    gl11.attrib_depth = 0;
    gl11.unpack = initial_unpack;
    gl11.client_attrib_depth = 0;
    gl11.bitmaps.clear();
    gl11.atlas_x = gl11.atlas_y = gl11.atlas_row_height = 0;
}

bool gl11_compiled(const Gl11Command& command)
{
    if (gl11.compiling == 0) return false;
    gl11.compiled.push_back(command);
    return true;
}

// --- Lists -------------------------------------------------------------------------

GLuint gl11_gen_lists(GLsizei range)
{
    if (range <= 0) return 0;
    // The first run of `range` unused names from 1 on.
    GLuint first = 1;
    for (GLuint name = 1;; name++) {
        if (list_exists(name)) {
            first = name + 1;
        } else if (name - first + 1 == static_cast<GLuint>(range)) {
            break;
        }
    }
    if (gl11.lists.size() < first + range) gl11.lists.resize(first + range);
    for (GLuint name = first; name < first + range; name++) {
        gl11.lists[name].exists = true;
        gl11.lists[name].commands.clear();
    }
    return first;
}

void gl11_delete_lists(GLuint list, GLsizei range)
{
    for (GLsizei i = 0; i < range; i++) {
        if (!list_exists(list + i)) continue;
        gl11.lists[list + i].exists = false;
        gl11.lists[list + i].commands.clear();
    }
}

// GL_COMPILE only: the intro never draws a list while compiling it.
void gl11_new_list(GLuint list, GLenum mode)
{
    if (list == 0 || gl11.compiling != 0 || mode != GL_COMPILE) return;
    gl11.compiling = list;
    gl11.compiled.clear();
}

// The list takes its commands only now: a list that calls itself while
// being compiled still runs its old contents.
void gl11_end_list(void)
{
    if (gl11.compiling == 0) return;
    GLuint name = gl11.compiling;
    if (gl11.lists.size() <= name) gl11.lists.resize(name + 1);
    gl11.lists[name].exists = true;
    gl11.lists[name].commands.swap(gl11.compiled);
    gl11.compiled.clear();
    gl11.compiling = 0;
}

void gl11_call_list(GLuint list)
{
    Gl11Command command = {OP_CALL_LIST, list, 0, {}};
    if (!gl11_compiled(command)) run_list(list);
}

void gl11_call_lists(GLsizei n, GLenum type, const GLvoid* lists)
{
    if (type != GL_UNSIGNED_BYTE || !lists) return;  // the only type the intro passes
    const GLubyte* names = static_cast<const GLubyte*>(lists);
    for (GLsizei i = 0; i < n; i++) {
        Gl11Command command = {OP_CALL_LIST_OFFSET, names[i], 0, {}};
        if (!gl11_compiled(command)) run_command(command);
    }
}

void gl11_list_base(GLuint base) { gl11.list_base = base; }

// --- Attribute stacks: the server groups the intro pushes, and the pixel
// unpack state ---------------------------------------------------------------

void gl11_push_attrib(GLbitfield mask)
{
    if (gl11.attrib_depth >= GL11_ATTRIB_DEPTH) return;
    Gl11Attributes& saved = gl11.attrib_stack[gl11.attrib_depth++];
    saved.mask = mask;
    saved.list_base = gl11.list_base;
    std::copy(gl11.colour, gl11.colour + 4, saved.colour);
    std::copy(gl11.normal, gl11.normal + 3, saved.normal);
    saved.raster_valid = gl11.raster_valid;
    std::copy(gl11.raster_window, gl11.raster_window + 3, saved.raster_window);
    std::copy(gl11.raster_colour, gl11.raster_colour + 4, saved.raster_colour);
    saved.lighting = gl11.lighting;
    saved.normalize = gl11.normalize;
    saved.depth_test = gl11.depth_test;
    saved.material = gl11.material;
    std::copy(gl11.lights, gl11.lights + GL11_LIGHTS, saved.lights);
    std::copy(gl11.model_ambient, gl11.model_ambient + 4, saved.model_ambient);
    saved.polygon_mode = gl11.polygon_mode;
    saved.line_width = gl11.line_width;
}

void gl11_pop_attrib(void)
{
    if (gl11.attrib_depth == 0) return;
    const Gl11Attributes& saved = gl11.attrib_stack[--gl11.attrib_depth];
    const GLbitfield mask = saved.mask;
    if (mask & GL_LIST_BIT) gl11.list_base = saved.list_base;
    if (mask & GL_CURRENT_BIT) {
        std::copy(saved.colour, saved.colour + 4, gl11.colour);
        std::copy(saved.normal, saved.normal + 3, gl11.normal);
        gl11.raster_valid = saved.raster_valid;
        std::copy(saved.raster_window, saved.raster_window + 3, gl11.raster_window);
        std::copy(saved.raster_colour, saved.raster_colour + 4, gl11.raster_colour);
    }
    if (mask & GL_LIGHTING_BIT) {
        gl11.material = saved.material;
        std::copy(saved.lights, saved.lights + GL11_LIGHTS, gl11.lights);
        std::copy(saved.model_ambient, saved.model_ambient + 4, gl11.model_ambient);
    }
    if (mask & (GL_ENABLE_BIT | GL_LIGHTING_BIT)) {
        gl11.lighting = saved.lighting;
        for (int i = 0; i < GL11_LIGHTS; i++) gl11.lights[i].enabled = saved.lights[i].enabled;
    }
    if (mask & GL_ENABLE_BIT) {
        gl11.normalize = saved.normalize;
        if (gl11.depth_test != saved.depth_test) {
            gl11_flush_batches();  // drawn so far under the other depth test
            gl11.depth_test = saved.depth_test;
            if (gl11.open) {
                if (saved.depth_test)
                    gl11.device->glEnable(GL_DEPTH_TEST);
                else
                    gl11.device->glDisable(GL_DEPTH_TEST);
            }
        }
    }
    if (mask & GL_POLYGON_BIT) gl11.polygon_mode = saved.polygon_mode;
    if (mask & GL_LINE_BIT) gl11.line_width = saved.line_width;
}

void gl11_pixel_storei(GLenum pname, GLint param)
{
    Gl11Unpack& unpack = gl11.unpack;
    switch (pname) {
    case GL_UNPACK_ROW_LENGTH:
        if (param >= 0) unpack.row_length = param;
        break;
    case GL_UNPACK_SKIP_ROWS:
        if (param >= 0) unpack.skip_rows = param;
        break;
    case GL_UNPACK_SKIP_PIXELS:
        if (param >= 0) unpack.skip_pixels = param;
        break;
    case GL_UNPACK_LSB_FIRST: unpack.lsb_first = param != 0; break;
    case GL_UNPACK_ALIGNMENT:
        if (param == 1 || param == 2 || param == 4 || param == 8) unpack.alignment = param;
        break;
    default: break;
    }
}

void gl11_push_client_attrib(GLbitfield mask)
{
    if (gl11.client_attrib_depth >= GL11_ATTRIB_DEPTH) return;
    gl11.unpack_saved[gl11.client_attrib_depth] = (mask & GL_CLIENT_PIXEL_STORE_BIT) != 0;
    gl11.unpack_stack[gl11.client_attrib_depth] = gl11.unpack;
    gl11.client_attrib_depth++;
}

void gl11_pop_client_attrib(void)
{
    if (gl11.client_attrib_depth == 0) return;
    gl11.client_attrib_depth--;
    if (gl11.unpack_saved[gl11.client_attrib_depth])
        gl11.unpack = gl11.unpack_stack[gl11.client_attrib_depth];
}

// --- Raster position and bitmaps -------------------------------------------------

// The raster position is the point (x, y, 0) through the current
// matrices; outside the view volume it is invalid and bitmaps draw
// nothing. Its colour is lit like a vertex when lighting is on.
void gl11_raster_pos2f(GLfloat x, GLfloat y)
{
    Gl11Command command = {OP_RASTER_POS, 0, 0, {x, y, 0, 1}};
    if (gl11_compiled(command)) return;
    const float object[4] = {x, y, 0.0f, 1.0f};
    float clip[4];
    gl11_transform(object, clip);
    const float w = clip[3];
    gl11.raster_valid = w > 0.0f && -w <= clip[0] && clip[0] <= w && -w <= clip[1] && clip[1] <= w &&
                        -w <= clip[2] && clip[2] <= w;
    if (!gl11.raster_valid) return;
    const int* viewport = gl11.viewport;
    gl11.raster_window[0] = clip[0] / w * (viewport[2] * 0.5f) + (viewport[0] + viewport[2] * 0.5f);
    gl11.raster_window[1] = clip[1] / w * (viewport[3] * 0.5f) + (viewport[1] + viewport[3] * 0.5f);
    gl11.raster_window[2] = clip[2] / w * 0.5f + 0.5f;
    gl11_light_vertex(object, gl11.raster_colour);
}

void gl11_bitmap(GLsizei width, GLsizei height, GLfloat x_origin, GLfloat y_origin, GLfloat x_move,
                 GLfloat y_move, const GLubyte* bitmap)
{
    if (width < 0 || height < 0) return;
    // The bits are read now, under the unpack state in force, whether the
    // bitmap is compiled or drawn at once.
    Gl11Command command = {
        OP_BITMAP, store_bitmap(width, height, x_origin, y_origin, x_move, y_move, bitmap), 0, {}};
    if (gl11_compiled(command)) return;
    run_command(command);
}
