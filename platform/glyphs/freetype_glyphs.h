// Bitmap glyph display lists from FreeType, for the Linux backends.
#ifndef BRINDLEC_FREETYPE_GLYPHS_H
#define BRINDLEC_FREETYPE_GLYPHS_H

// Compiles codes 32..127 of the bold sans face fontconfig matches for
// "Verdana:bold" at an em height of `pixel_height` pixels into the lists
// list_base .. list_base + 95, as platform_build_font describes. Returns
// false (and compiles nothing) when no face can be loaded.
bool freetype_build_font(unsigned list_base, int pixel_height);

#endif
