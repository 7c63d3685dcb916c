// OpenGL 1.1 in the browser: the GL 1.1 and GLU entry points the intro
// calls are defined here and served by the OpenGL 1.1 subset, which draws
// with WebGL's own calls. Emscripten offers each WebGL call also under an
// emscripten_ name, which stays WebGL's while glClear, glEnable and the
// other names shared by both APIs are the intro's.
#include "platform/gl11/gl11.h"
#include "platform/gl_headers.h"
#include "platform/web/web_internal.h"

extern "C" {
#define DECLARE_WEBGL_CALL(result, name, parameters) result emscripten_##name parameters;
GL11_DEVICE_CALLS(DECLARE_WEBGL_CALL)
#undef DECLARE_WEBGL_CALL
}

const Gl11Device* web_gl_device(void)
{
    static const Gl11Device webgl = {
#define WEBGL_CALL(result, name, parameters) emscripten_##name,
        GL11_DEVICE_CALLS(WEBGL_CALL)
#undef WEBGL_CALL
    };
    return &webgl;
}

#define GL11_CALL(result, name, routine, parameters, arguments) \
    result name parameters { return routine arguments; }
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
