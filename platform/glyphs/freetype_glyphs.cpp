// Bitmap glyph display lists from FreeType: what wglUseFontBitmapsA gives
// the Windows build, made from the face fontconfig picks for "Verdana:bold"
// (a metric-similar bold sans where Verdana itself is not installed).
#include "platform/glyphs/freetype_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

#include "platform/gl_headers.h"
#include "platform/platform.h"

namespace {

// Asks fontconfig for the file of the best bold Verdana-like face.
bool find_face_file(std::string* path, int* index)
{
    if (!FcInit()) return false;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Verdana:bold"));
    if (!pattern) return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* file = nullptr;
    bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (found) {
        *path = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
    }
    FcPatternDestroy(match);
    return found;
}

// Compiles one glyph, already rendered 1-bit by FreeType, as a bitmap that
// starts at the raster position's baseline and advances by its width.
void compile_glyph(FT_GlyphSlot glyph)
{
    const FT_Bitmap& bitmap = glyph->bitmap;
    const int rows = static_cast<int>(bitmap.rows);
    const int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    // glBitmap reads rows bottom-up; FreeType gives them top-down.
    std::vector<GLubyte> flipped(static_cast<size_t>(pitch) * (rows > 0 ? rows : 1), 0);
    for (int row = 0; row < rows; row++) {
        const unsigned char* source = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        std::copy(source, source + pitch, flipped.begin() + static_cast<ptrdiff_t>(rows - 1 - row) * pitch);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch * 8);
    glBitmap(static_cast<GLsizei>(bitmap.width), rows,
             static_cast<GLfloat>(-glyph->bitmap_left),
             static_cast<GLfloat>(rows - glyph->bitmap_top),
             static_cast<GLfloat>(glyph->advance.x) / 64.0f, 0.0f, flipped.data());
}

}  // namespace

bool freetype_build_font(unsigned list_base, int pixel_height)
{
    std::string path;
    int index = 0;
    if (!find_face_file(&path, &index)) return false;

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return false;
    FT_Face face = nullptr;
    if (FT_New_Face(library, path.c_str(), index, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixel_height)) != 0) {
        if (face) FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    }

    // Unpack state as glBitmap needs it while compiling; restored after.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (unsigned code = GLYPH_FIRST_CODE; code < GLYPH_FIRST_CODE + GLYPH_COUNT; code++) {
        glNewList(list_base + (code - GLYPH_FIRST_CODE), GL_COMPILE);
        if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0)
            compile_glyph(face->glyph);
        glEndList();
    }
    glPopClientAttrib();

    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}
