// What the browser backend's files share.
#ifndef BRINDLEC_WEB_INTERNAL_H
#define BRINDLEC_WEB_INTERNAL_H

#include "platform/gl11/gl11_device.h"

// WebGL's calls for the OpenGL 1.1 subset (web_gl.cpp).
const Gl11Device* web_gl_device(void);

// No sound device opens any more (web_audio.cpp).
void web_audio_disable(void);

#endif
