// Bitmap glyph display lists from FreeType, for the Linux backends.
#ifndef BRINDLEC_FREETYPE_GLYPHS_H
#define BRINDLEC_FREETYPE_GLYPHS_H

// Compiles codes 32..127 of the bold sans face fontconfig matches for
// "Verdana:bold" at an em height of `pixel_height` pixels into the lists
// list_base .. list_base + 95, as platform_build_font describes. Returns
// false (and compiles nothing) when no face can be loaded.
bool freetype_build_font(unsigned list_base, int pixel_height);

// Draws `length` characters of `text` with the font built at list_base, as
// platform_draw_text describes: as one bitmap composed from the glyphs
// where that is certain to give the same pixels, through the glyph lists
// otherwise (feedback and selection modes, codes outside 32..127, a font
// this builder did not make, a raster position on a pixel boundary).
void freetype_draw_text(unsigned list_base, const char* text, int length);

// How many texts freetype_draw_text has drawn as one composed bitmap so far.
int freetype_composed_draws(void);

#endif
