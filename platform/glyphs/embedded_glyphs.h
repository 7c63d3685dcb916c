// The glyph bitmaps carried by the browser build: both of the intro's font
// sizes, rendered by brindlec-glyphgen with FreeType at build time exactly
// as the Linux backends render them at run time.
#ifndef BRINDLEC_EMBEDDED_GLYPHS_H
#define BRINDLEC_EMBEDDED_GLYPHS_H

#include "platform/glyphs/glyph_bitmaps.h"

struct EmbeddedFont {
    int pixel_height;
    const GlyphBitmap* glyphs;  // GLYPH_COUNT of them, codes 32..127
};

extern const EmbeddedFont embedded_fonts[];
extern const int embedded_font_count;

#endif
