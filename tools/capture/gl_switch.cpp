// The GL 1.1 and GLU entry points of brindlec-capture. Defined here, they
// take the intro's calls before OSMesa's libraries see them; OSMesa's own
// functions are fetched by name (OSMesaGetProcAddress, and GLU's from
// the library itself) for the reference picture.
#include "tools/capture/gl_switch.h"

#include <dlfcn.h>

#include <GL/osmesa.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gl11/gl11.h"
#include "platform/gl_headers.h"

namespace {

struct OpenGlCalls {
#define GL11_CALL(result, name, routine, parameters, arguments) result(*name) parameters;
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
};

struct GlSwitch {
    bool subset = false;
    bool ready = false;  // the first GL call has found its functions
    bool drawn = true;
    OpenGlCalls opengl = {};
    Gl11Device device = {};
};

GlSwitch gl_switch;

[[noreturn]] void give_up(const char* what, const char* name)
{
    std::fprintf(stderr, "brindlec-capture: %s%s\n", what, name);
    std::exit(1);
}

// GLU is loaded by name: the tool's own gluLookAt and gluPerspective
// leave the linker no reason to keep the library.
void* find_function(const char* name)
{
    void* function = nullptr;
    if (std::strncmp(name, "glu", 3) == 0) {
        static void* glu = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
        function = glu ? dlsym(glu, name) : nullptr;
        if (!function) give_up("GLU (libGLU.so.1) has no ", name);
    } else {
        function = reinterpret_cast<void*>(OSMesaGetProcAddress(name));
        if (!function) give_up("OSMesa has no ", name);
    }
    return function;
}

// Runs at the intro's first GL call, when the OSMesa context is current.
void prepare(void)
{
    gl_switch.ready = true;
    if (!gl_switch.subset) {
#define GL11_CALL(result, name, routine, parameters, arguments) \
    gl_switch.opengl.name = reinterpret_cast<decltype(gl_switch.opengl.name)>(find_function(#name));
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
        return;
    }
#define GL11_DEVICE_FUNCTION(result, name, parameters) \
    gl_switch.device.name = reinterpret_cast<decltype(gl_switch.device.name)>(find_function(#name));
    GL11_DEVICE_CALLS(GL11_DEVICE_FUNCTION)
#undef GL11_DEVICE_FUNCTION
    if (!gl11_open(&gl_switch.device)) give_up("the OpenGL 1.1 subset does not start: ", gl11_last_error());
    gl11_set_discard(!gl_switch.drawn);
}

}  // namespace

void use_gl_subset(bool subset) { gl_switch.subset = subset; }

void set_frames_drawn(bool drawn)
{
    gl_switch.drawn = drawn;
    if (gl_switch.subset && gl_switch.ready) gl11_set_discard(!drawn);
}

#define GL11_CALL(result, name, routine, parameters, arguments)                        \
    result name parameters                                                             \
    {                                                                                  \
        if (!gl_switch.ready) prepare();                                               \
        return gl_switch.subset ? routine arguments : gl_switch.opengl.name arguments; \
    }
#include "platform/gl11/gl11_calls.h"
#undef GL11_CALL
