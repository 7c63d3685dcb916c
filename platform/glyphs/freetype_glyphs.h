// Bitmap glyphs from FreeType, for the Linux backends and for the glyph
// generator of the browser build.
#ifndef BRINDLEC_FREETYPE_GLYPHS_H
#define BRINDLEC_FREETYPE_GLYPHS_H

#include <string>
#include <vector>

#include "platform/glyphs/glyph_bitmaps.h"

// The 96 glyphs of a font and the storage their bits point into.
struct FreetypeFont {
    std::string face_file;
    std::vector<GlyphBitmap> glyphs;
    std::vector<unsigned char> bits;
};

// Renders codes 32..127 of the bold sans face fontconfig matches for
// "Verdana:bold" at an em height of `pixel_height` pixels, 1 bit per
// pixel. False when no face can be loaded.
bool freetype_render_font(int pixel_height, FreetypeFont* font);

#endif
