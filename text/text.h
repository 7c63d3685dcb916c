// Bitmap text: the two fonts as per-character display lists, and one line
// of text drawn at the current raster position. The shell builds the large
// font at GL start-up; the title sequence prints with it, scene 3 builds
// the small one for the end scroller.
#ifndef BRINDLEC_TEXT_H
#define BRINDLEC_TEXT_H

#include "platform/gl_headers.h"

// A font holds the characters 32..127, one display list each.
enum { FONT_GLYPHS = 96, FONT_FIRST_CHAR = 32, TEXT_BUFFER_SIZE = 256 };
enum { FONT_LARGE_HEIGHT = 72, FONT_SMALL_HEIGHT = 36 };

extern GLuint font_base;  // first of the current font's 96 lists; 0: no font

// 96 fresh lists with the glyphs of the 72-pixel (large) or 36-pixel
// (small) face, which become the current font. The previous font's lists
// stay allocated; they go with the context. Need a current context.
void build_font_large(void);
void build_font_small(void);

// Formats like printf and draws the text with the current font at the
// current raster position, one glyph list per character; a null format
// draws nothing. The list base is restored afterwards.
void print_text(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Formats into `buffer` (TEXT_BUFFER_SIZE bytes) as print_text does: a
// longer text is cut at 255 characters. Returns the text's length.
int format_text(char* buffer, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

#endif
