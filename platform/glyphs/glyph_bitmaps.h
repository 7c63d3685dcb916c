// Bitmap fonts as the intro draws them: one glBitmap per character, in
// one display list per character. The Linux backends make the bitmaps
// with FreeType when the font is built; the browser build carries the
// same bitmaps, made by brindlec-glyphgen when it is built.
#ifndef BRINDLEC_GLYPH_BITMAPS_H
#define BRINDLEC_GLYPH_BITMAPS_H

#include "platform/platform_font.h"  // GLYPH_FIRST_CODE, GLYPH_COUNT

// One character: the arguments of its glBitmap call.
struct GlyphBitmap {
    bool loaded;                // false: the face has no such glyph; its list stays empty
    int width, rows;            // pixels
    float x_origin, y_origin;   // the raster position's pixel within the bitmap, from its lower left
    float advance;              // pixels the raster position moves right
    int pitch;                  // bytes per row
    const unsigned char* bits;  // rows from the bottom up, most significant bit leftmost
};

// Compiles glyphs[0 .. GLYPH_COUNT - 1] (codes 32..127) into the lists
// list_base .. list_base + 95. Needs a current context; the pixel unpack
// state is restored afterwards.
void compile_glyph_lists(unsigned list_base, const GlyphBitmap* glyphs);

// Draws `length` characters of `text` with the lists at list_base: one
// glCallLists, the list base restored afterwards.
void draw_text_by_lists(unsigned list_base, const char* text, int length);

#endif
