// The platform seam's bitmap fonts: the part of it that only text/ calls.
// Every backend implements these two functions (the Linux and browser
// backends with platform/glyphs); the portable code draws its texts with
// text/text.h and never calls them itself.
//
// Both are called on the main thread with the intro's GL context current.
#ifndef BRINDLEC_PLATFORM_FONT_H
#define BRINDLEC_PLATFORM_FONT_H

// The glyphs a font holds: character codes 32..127.
enum { GLYPH_FIRST_CODE = 32, GLYPH_COUNT = 96 };

// Compiles the 96 glyphs of codes 32..127 of a bold Verdana-like face with
// a character height (em height, without internal leading) of
// `pixel_height` pixels into the display lists list_base .. list_base+95.
// Each list draws its glyph as a bitmap at the current raster position
// and advances the raster position by the glyph's width. Failures are not
// reported: missing glyphs simply draw nothing.
void platform_build_font(unsigned list_base, int pixel_height);

// Draws `length` characters of `text` (codes 32..127) with the font built
// at list_base, starting at the current raster position, with exactly what
// glListBase(list_base - 32) and glCallLists(length, GL_UNSIGNED_BYTE, text)
// would give: the same pixels in every mode, nothing when the raster
// position is invalid, and the raster position advanced past the last
// glyph. The list base and the pixel unpack state are left as they were.
// A length of 0 or less draws nothing.
void platform_draw_text(unsigned list_base, const char* text, int length);

#endif
