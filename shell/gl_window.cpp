// The window with its OpenGL context and the fixed GL state of the whole
// presentation.
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "text/text.h"

static const char error_caption[] = "ERROR";

void show_crash_box(void) { platform_show_message(error_caption, "D'oh! It's crashed!", ICON_EXCLAMATION); }

bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen_flag)
{
    fullscreen = fullscreen_flag;
    if (!platform_register_window_class()) {
        show_crash_box();
        return false;
    }

    // A refused mode leaves the display as it was and ends the intro.
    if (fullscreen) {
        if (!platform_change_display_mode(width, height, bits)) {
            platform_show_message(error_caption, "Your computer doesn't support this display mode...",
                                  ICON_ERROR);
            return false;
        }
        platform_show_cursor(false);
    }

    if (!platform_create_window(title, width, height, fullscreen) || !platform_create_gl_context(bits)) {
        close_gl_window();
        show_crash_box();
        return false;
    }
    platform_show_window();

    resize_view(width, height);
    return init_gl_state();
}

void close_gl_window(void)
{
    if (fullscreen) {
        platform_restore_display_mode();
        platform_show_cursor(true);
    }
    int failures = 0;
    if (platform_has_gl_context()) {
        // Only the current font's lists need deleting by hand: deleting the
        // context releases the others (the other font, the meshes).
        if (font_base != 0) glDeleteLists(font_base, FONT_GLYPHS);
        failures += platform_delete_gl_context();
    }
    failures += platform_destroy_window();
    for (int i = 0; i < failures; i++) show_crash_box();
}

void resize_view(int width, int height)
{
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the single-precision 0.1 widened to double.
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), static_cast<double>(0.1f),
                   100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool init_gl_state(void)
{
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient_colour);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_white_colour);
    glLightfv(GL_LIGHT0, GL_SPECULAR, light_white_colour);
    glEnable(GL_LIGHT0);  // lighting itself is switched on when the titles end

    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);  // the meshes' normals are not unit length
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    build_font_large();
    build_cross_list();
    build_cube_list();
    build_triangle_list();
    return true;
}
