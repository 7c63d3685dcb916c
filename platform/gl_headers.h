// OpenGL 1.1 and GLU, as the portable code uses them.
#ifndef BRINDLEC_GL_HEADERS_H
#define BRINDLEC_GL_HEADERS_H

#if defined(_WIN32)
// The Windows GL headers expect APIENTRY and WINGDIAPI from <windows.h>.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>

#endif
