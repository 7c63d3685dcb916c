// OpenGL 1.1, the part of it the intro calls, drawn on a GPU that offers
// only what WebGL 1 / OpenGL ES 2.0 offer: buffers, textures and GLSL ES
// 1.00 shaders. The intro's GL 1.1 calls reach the gl11_* routines through
// entry points that carry the GL names (platform/gl11/gl11_calls.h lists
// them); the routines keep the fixed-function state themselves:
//   - the model-view and projection matrices, gluPerspective, gluLookAt;
//   - immediate mode (GL_TRIANGLES, GL_QUADS, GL_LINES) with normals,
//     colours and materials, also set between glBegin and glEnd;
//   - per-vertex lighting as OpenGL 1.1 computes it (light model ambient,
//     material emission, ambient, diffuse and specular, up to eight
//     lights with ambient, diffuse, specular and position, GL_NORMALIZE),
//     computed here on the CPU since every vertex passes through here;
//   - smooth shading, the depth test, polygon mode GL_LINE for both faces
//     and wide lines (drawn as triangles: WebGL draws only 1-pixel lines);
//   - display lists (glNewList with GL_COMPILE, glCallList, glCallLists of
//     GL_UNSIGNED_BYTE, glListBase, the list bit of the attribute stack);
//   - glRasterPos and glBitmap, with the GL 1.1 pixel unpack state.
// The GPU gets clip-space triangles with their final colours, and the
// glyphs of compiled bitmaps from a texture atlas.
//
// Calls outside that subset do not exist here; arguments the intro never
// passes (other primitive modes, flat shading, other attribute bits) are
// ignored.
#ifndef BRINDLEC_GL11_H
#define BRINDLEC_GL11_H

#include "platform/gl11/gl11_device.h"

// Starts drawing on `device`, whose context is current: compiles the two
// shader programs and makes the vertex buffer and the glyph atlas. False
// when the GPU refuses any of them; gl11_last_error() says why. Resets
// all GL 1.1 state to OpenGL's initial values.
bool gl11_open(const Gl11Device* device);

// Forgets the device and every list, bitmap and batch. The device's
// objects go with its context.
void gl11_close(void);

// Whether gl11_open succeeded and gl11_close has not been called since.
bool gl11_is_open(void);

// What failed in gl11_open, in one line. Never null.
const char* gl11_last_error(void);

// Sends the pending triangles and glyphs to the GPU, then flushes it
// (glFlush). Nothing drawn is kept back after it.
void gl11_flush(void);

// While set, nothing is sent to the GPU: clears and draws are dropped,
// while every state change, list and bitmap is kept as usual. A run that
// shows only some of its frames (a still at a given time) steps through
// the others this way at the cost of the intro's own logic alone.
void gl11_set_discard(bool discard);

// --- The OpenGL 1.1 and GLU calls ------------------------------------------
// Each behaves as its GL namesake, within the subset above.

void gl11_begin(GLenum mode);
void gl11_end(void);
void gl11_vertex3f(GLfloat x, GLfloat y, GLfloat z);
void gl11_vertex3fv(const GLfloat* v);
void gl11_normal3f(GLfloat x, GLfloat y, GLfloat z);
void gl11_normal3fv(const GLfloat* v);
void gl11_color4fv(const GLfloat* v);
void gl11_materialf(GLenum face, GLenum pname, GLfloat param);
void gl11_materialfv(GLenum face, GLenum pname, const GLfloat* params);
void gl11_lightfv(GLenum light, GLenum pname, const GLfloat* params);
void gl11_enable(GLenum cap);
void gl11_shade_model(GLenum mode);
void gl11_polygon_mode(GLenum face, GLenum mode);
void gl11_line_width(GLfloat width);
void gl11_hint(GLenum target, GLenum mode);

void gl11_matrix_mode(GLenum mode);
void gl11_load_identity(void);
void gl11_translatef(GLfloat x, GLfloat y, GLfloat z);
void gl11_rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
void gl11_perspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far);
void gl11_look_at(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble center_x, GLdouble center_y,
                  GLdouble center_z, GLdouble up_x, GLdouble up_y, GLdouble up_z);
void gl11_viewport(GLint x, GLint y, GLsizei width, GLsizei height);

void gl11_clear(GLbitfield mask);
void gl11_clear_color(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void gl11_clear_depth(GLclampd depth);
void gl11_depth_func(GLenum func);

GLuint gl11_gen_lists(GLsizei range);
void gl11_delete_lists(GLuint list, GLsizei range);
void gl11_new_list(GLuint list, GLenum mode);
void gl11_end_list(void);
void gl11_call_list(GLuint list);
void gl11_call_lists(GLsizei n, GLenum type, const GLvoid* lists);
void gl11_list_base(GLuint base);
void gl11_push_attrib(GLbitfield mask);
void gl11_pop_attrib(void);

void gl11_raster_pos2f(GLfloat x, GLfloat y);
void gl11_bitmap(GLsizei width, GLsizei height, GLfloat x_origin, GLfloat y_origin, GLfloat x_move,
                 GLfloat y_move, const GLubyte* bitmap);
void gl11_pixel_storei(GLenum pname, GLint param);
void gl11_push_client_attrib(GLbitfield mask);
void gl11_pop_client_attrib(void);

#endif
