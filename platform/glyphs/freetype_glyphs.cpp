// Bitmap glyphs from FreeType: what wglUseFontBitmapsA gives the Windows
// build, made from the face fontconfig picks for "Verdana:bold" (a
// metric-similar bold sans where Verdana itself is not installed).
#include "platform/glyphs/freetype_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstddef>

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

// One glyph, rendered 1-bit by FreeType, as a bitmap that starts at the
// raster position's baseline and advances by its width. Its rows go to
// font->bits bottom-up (glBitmap's order; FreeType gives them top-down)
// from *offset on; `bits` is set once all glyphs are in.
GlyphBitmap take_glyph(FT_GlyphSlot slot, FreetypeFont* font, size_t* offset_out)
{
    const FT_Bitmap& bitmap = slot->bitmap;
    const int rows = static_cast<int>(bitmap.rows);
    const int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    const size_t offset = font->bits.size();
    font->bits.resize(offset + static_cast<size_t>(pitch) * rows);
    for (int row = 0; row < rows; row++) {
        const unsigned char* source = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        std::copy(source, source + pitch,
                  font->bits.begin() + offset + static_cast<size_t>(rows - 1 - row) * pitch);
    }
    GlyphBitmap glyph = {true,
                         static_cast<int>(bitmap.width),
                         rows,
                         static_cast<float>(-slot->bitmap_left),
                         static_cast<float>(rows - slot->bitmap_top),
                         static_cast<float>(slot->advance.x) / 64.0f,
                         pitch,
                         nullptr};
    *offset_out = offset;
    return glyph;
}

}  // namespace

bool freetype_render_font(int pixel_height, FreetypeFont* font)
{
    int index = 0;
    if (!find_face_file(&font->face_file, &index)) return false;

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return false;
    FT_Face face = nullptr;
    if (FT_New_Face(library, font->face_file.c_str(), index, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixel_height)) != 0) {
        if (face) FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    }
    font->glyphs.clear();
    font->bits.clear();
    std::vector<size_t> offsets;
    for (unsigned code = GLYPH_FIRST_CODE; code < GLYPH_FIRST_CODE + GLYPH_COUNT; code++) {
        GlyphBitmap glyph = {false, 0, 0, 0.0f, 0.0f, 0.0f, 0, nullptr};
        size_t offset = 0;
        if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0)
            glyph = take_glyph(face->glyph, font, &offset);
        font->glyphs.push_back(glyph);
        offsets.push_back(offset);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    // The storage is complete: offsets become pointers.
    for (size_t i = 0; i < font->glyphs.size(); i++)
        if (font->glyphs[i].loaded) font->glyphs[i].bits = font->bits.data() + offsets[i];
    return true;
}
