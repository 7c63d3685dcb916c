// Bitmap text: fonts as display lists made by the platform's glyph
// builder, and texts drawn by the platform one line at a time (with one
// glCallLists over the lists, or one bitmap composed from the same glyphs).
#include <cstdarg>
#include <cstdio>

#include "platform/platform_font.h"
#include "text/text.h"

static_assert(int{FONT_GLYPHS} == int{GLYPH_COUNT} && int{FONT_FIRST_CHAR} == int{GLYPH_FIRST_CODE},
              "a font's lists are the platform's glyphs, one for one");

GLuint font_base = 0;

// Both fonts: 96 fresh lists, glyphs of the given character height.
static void build_font(int pixel_height)
{
    font_base = glGenLists(FONT_GLYPHS);
    if (font_base != 0) platform_build_font(font_base, pixel_height);
}

void build_font_large(void) { build_font(FONT_LARGE_HEIGHT); }
void build_font_small(void) { build_font(FONT_SMALL_HEIGHT); }

static int format_text_list(char* buffer, const char* format, va_list arguments)
{
    // vsnprintf cuts a longer text at 255 characters instead of writing
    // past the buffer.
    int written = std::vsnprintf(buffer, TEXT_BUFFER_SIZE, format, arguments);
    if (written < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return written < TEXT_BUFFER_SIZE ? written : TEXT_BUFFER_SIZE - 1;
}

int format_text(char* buffer, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = format_text_list(buffer, format, arguments);
    va_end(arguments);
    return length;
}

void print_text(const char* format, ...)
{
    if (!format) return;
    char text[TEXT_BUFFER_SIZE];
    va_list arguments;
    va_start(arguments, format);
    int length = format_text_list(text, format, arguments);
    va_end(arguments);

    platform_draw_text(font_base, text, length);
}
