// Texts drawn as one bitmap composed from the glyphs of a font, with the
// pixels and the raster position the font's glyph lists would give.
#ifndef BRINDLEC_COMPOSED_TEXT_H
#define BRINDLEC_COMPOSED_TEXT_H

#include "platform/glyphs/glyph_bitmaps.h"

// Keeps a copy of the glyphs just compiled into the lists at list_base,
// replacing any font kept there before; null glyphs only forget it.
void keep_glyphs_for_text(unsigned list_base, const GlyphBitmap* glyphs);

// Draws `length` characters of `text` as platform_draw_text describes: as
// one bitmap composed from the glyphs kept for list_base where that is
// certain to give the same pixels, through the glyph lists otherwise
// (feedback and selection modes, codes outside 32..127, no glyphs kept
// for list_base, a raster position on a pixel boundary).
void draw_composed_text(unsigned list_base, const char* text, int length);

// How many texts draw_composed_text has drawn as one composed bitmap.
int composed_text_draws(void);

#endif
