// Which OpenGL brindlec-capture draws the intro with. The tool defines the
// GL 1.1 and GLU entry points the intro calls itself, and each one goes
// either to OSMesa's own OpenGL 1.1 (the reference picture) or to the
// browser build's OpenGL 1.1 subset, running on OSMesa's shader calls.
#ifndef BRINDLEC_CAPTURE_GL_SWITCH_H
#define BRINDLEC_CAPTURE_GL_SWITCH_H

// Chooses the subset instead of OSMesa's OpenGL 1.1. Called before the
// intro makes its first GL call.
void use_gl_subset(bool subset);

// With the subset: frames from now on reach the GPU only while `drawn`
// is set (the others still run all their GL state changes). Does
// nothing with OSMesa's OpenGL 1.1, which draws every frame.
void set_frames_drawn(bool drawn);

#endif
