// Glyph bitmaps into display lists, one list per character.
#include "platform/glyphs/glyph_bitmaps.h"

#include "platform/gl_headers.h"

void compile_glyph_lists(unsigned list_base, const GlyphBitmap* glyphs)
{
    // Unpack state as glBitmap needs it while compiling: tight rows of
    // the glyph's own pitch.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (int i = 0; i < GLYPH_COUNT; i++) {
        const GlyphBitmap& glyph = glyphs[i];
        glNewList(list_base + i, GL_COMPILE);
        if (glyph.loaded) {
            glPixelStorei(GL_UNPACK_ROW_LENGTH, glyph.pitch * 8);
            glBitmap(glyph.width, glyph.rows, glyph.x_origin, glyph.y_origin, glyph.advance, 0.0f,
                     glyph.bits);
        }
        glEndList();
    }
    glPopClientAttrib();
}

void draw_text_by_lists(unsigned list_base, const char* text, int length)
{
    glPushAttrib(GL_LIST_BIT);
    glListBase(list_base - GLYPH_FIRST_CODE);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}
