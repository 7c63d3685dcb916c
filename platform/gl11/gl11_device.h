// The GPU under the OpenGL 1.1 subset: the OpenGL ES 2.0 / WebGL 1 calls
// it draws with, as a table the backend fills. In the browser they are
// WebGL's; on Linux they are fetched from the OSMesa context, whose
// desktop OpenGL takes the same calls and GLSL ES 1.00 shaders. Going
// through a table lets an executable define the GL 1.1 entry points
// itself (glEnable, glClear ...) without hiding the GPU's own.
#ifndef BRINDLEC_GL11_DEVICE_H
#define BRINDLEC_GL11_DEVICE_H

#include <GL/gl.h>

// X(result, name, parameters) for every call of the table.
#define GL11_DEVICE_CALLS(X)                                                                              \
    X(void, glActiveTexture, (GLenum texture))                                                            \
    X(void, glAttachShader, (GLuint program, GLuint shader))                                              \
    X(void, glBindAttribLocation, (GLuint program, GLuint index, const GLchar* name))                     \
    X(void, glBindBuffer, (GLenum target, GLuint buffer))                                                 \
    X(void, glBindTexture, (GLenum target, GLuint texture))                                               \
    X(void, glBufferData, (GLenum target, GLsizeiptr size, const void* data, GLenum usage))               \
    X(void, glClear, (GLbitfield mask))                                                                   \
    X(void, glClearColor, (GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha))                      \
    X(void, glClearDepthf, (GLfloat depth))                                                               \
    X(void, glCompileShader, (GLuint shader))                                                             \
    X(GLuint, glCreateProgram, (void))                                                                    \
    X(GLuint, glCreateShader, (GLenum type))                                                              \
    X(void, glDepthFunc, (GLenum func))                                                                   \
    X(void, glDisable, (GLenum cap))                                                                      \
    X(void, glDisableVertexAttribArray, (GLuint index))                                                   \
    X(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count))                                      \
    X(void, glEnable, (GLenum cap))                                                                       \
    X(void, glEnableVertexAttribArray, (GLuint index))                                                    \
    X(void, glFlush, (void))                                                                              \
    X(void, glGenBuffers, (GLsizei n, GLuint * buffers))                                                  \
    X(void, glGenTextures, (GLsizei n, GLuint * textures))                                                \
    X(void, glGetProgramInfoLog, (GLuint program, GLsizei size, GLsizei * length, GLchar * log))          \
    X(void, glGetProgramiv, (GLuint program, GLenum pname, GLint * params))                               \
    X(void, glGetShaderInfoLog, (GLuint shader, GLsizei size, GLsizei * length, GLchar * log))            \
    X(void, glGetShaderiv, (GLuint shader, GLenum pname, GLint * params))                                 \
    X(GLint, glGetUniformLocation, (GLuint program, const GLchar* name))                                  \
    X(void, glLinkProgram, (GLuint program))                                                              \
    X(void, glPixelStorei, (GLenum pname, GLint param))                                                   \
    X(void, glShaderSource,                                                                               \
      (GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length))                   \
    X(void, glTexImage2D,                                                                                 \
      (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,     \
       GLenum format, GLenum type, const void* pixels))                                                   \
    X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param))                                  \
    X(void, glTexSubImage2D,                                                                              \
      (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,           \
       GLenum format, GLenum type, const void* pixels))                                                   \
    X(void, glUniform1i, (GLint location, GLint value))                                                   \
    X(void, glUseProgram, (GLuint program))                                                               \
    X(void, glVertexAttribPointer,                                                                        \
      (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride, const void* pointer)) \
    X(void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height))

struct Gl11Device {
#define GL11_DEVICE_POINTER(result, name, parameters) result(*name) parameters;
    GL11_DEVICE_CALLS(GL11_DEVICE_POINTER)
#undef GL11_DEVICE_POINTER
};

#endif
