// Bitmap glyph display lists from FreeType: what wglUseFontBitmapsA gives
// the Windows build, made from the face fontconfig picks for "Verdana:bold"
// (a metric-similar bold sans where Verdana itself is not installed).
//
// The glyphs' 1-bit images are also kept, so that a text can be drawn as one
// bitmap composed from them. Mesa turns every glBitmap into a texture upload
// and a draw of its own, and each of those carries a full copy of the
// rasteriser state: a scroller line of 25 glyphs cost 25 of them, one
// composed bitmap costs one. The composed bitmap holds every glyph at the
// pixel its own glBitmap would have used, so the frame is the same to the
// byte; where that pixel cannot be known for certain, the lists are called.
#include "platform/glyphs/freetype_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl_headers.h"
#include "platform/platform.h"

namespace {

// One glyph exactly as its display list draws it:
// glBitmap(width, rows, x_origin, y_origin, advance, 0, bits), the rows
// bottom-up, `pitch` bytes each, most significant bit leftmost.
struct GlyphImage {
    int width = 0, rows = 0, pitch = 0;
    float x_origin = 0.0f, y_origin = 0.0f, advance = 0.0f;
    std::vector<GLubyte> bits;
};

// A text's glyphs composed into one bitmap, kept for the next time the text
// is printed with its glyphs in the same places relative to each other (a
// scroller line keeps its x, so every frame finds it here).
struct ComposedText {
    std::vector<int> placement;  // each inked glyph's corner in the bitmap, x then y
    int width = 0, rows = 0;
    std::vector<GLubyte> bits;   // rows bottom-up, (width + 7) / 8 bytes each
};

struct GlyphFont {
    unsigned list_base = 0;
    GlyphImage glyphs[GLYPH_COUNT];
    std::unordered_map<std::string, ComposedText> composed;
};

// Enough for every text of the intro; a program printing ever new texts
// starts the cache again rather than growing it.
const size_t COMPOSED_TEXTS_KEPT = 256;

// Every font built, by its first list. A font built again at the same base
// (a new context hands out the same list names) replaces the old one.
std::vector<std::unique_ptr<GlyphFont>> fonts;

int composed_draws = 0;

GlyphFont* font_at(unsigned list_base)
{
    for (const std::unique_ptr<GlyphFont>& font : fonts)
        if (font->list_base == list_base) return font.get();
    return nullptr;
}

void forget_font(unsigned list_base)
{
    for (size_t i = 0; i < fonts.size(); i++) {
        if (fonts[i]->list_base != list_base) continue;
        fonts.erase(fonts.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}

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

// A glyph rendered 1-bit by FreeType, as a bitmap that starts at the raster
// position's baseline and advances by its width. glBitmap reads rows
// bottom-up; FreeType gives them top-down.
GlyphImage glyph_image(FT_GlyphSlot glyph)
{
    const FT_Bitmap& bitmap = glyph->bitmap;
    GlyphImage image;
    image.width = static_cast<int>(bitmap.width);
    image.rows = static_cast<int>(bitmap.rows);
    image.pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    image.x_origin = static_cast<float>(-glyph->bitmap_left);
    image.y_origin = static_cast<float>(image.rows - glyph->bitmap_top);
    image.advance = static_cast<float>(glyph->advance.x) / 64.0f;
    image.bits.assign(static_cast<size_t>(image.pitch) * (image.rows > 0 ? image.rows : 1), 0);
    for (int row = 0; row < image.rows; row++) {
        const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        std::copy(source, source + image.pitch,
                  image.bits.begin() + static_cast<std::ptrdiff_t>(image.rows - 1 - row) * image.pitch);
    }
    return image;
}

void compile_glyph(const GlyphImage& image)
{
    glPixelStorei(GL_UNPACK_ROW_LENGTH, image.pitch * 8);
    glBitmap(image.width, image.rows, image.x_origin, image.y_origin, image.advance, 0.0f, image.bits.data());
}

// --- Laying out a text ------------------------------------------------------

// The pixel glBitmap puts a bitmap's corner at: floor(raster - origin),
// the raster position being a float. GLs add a small bias before rounding
// down (Mesa 1e-4); a corner that any bias up to 1e-3 would move is not
// known for certain, and false says so.
bool corner_pixel(float raster, float origin, int* pixel)
{
    static const float biases[] = {0.0f, 1e-4f, 1e-3f};
    const float first = std::floor((raster + biases[0]) - origin);
    for (float bias : biases) {
        if (std::floor((raster + bias) - origin) != first) return false;
        if (std::floor((raster - origin) + bias) != first) return false;
    }
    if (!(std::fabs(first) < 1e6f)) return false;
    *pixel = static_cast<int>(first);
    return true;
}

struct TextLayout {
    std::vector<int> corners;  // each inked glyph's lower-left pixel, x then y
    int left = 0, bottom = 0, right = 0, top = 0;  // the ink's box, right and top exclusive
    float end_x = 0.0f, end_y = 0.0f;              // the raster position after the text
};

// Follows the glyphs' own glBitmap calls from the raster position (x, y):
// where each one's pixels go and where the raster position ends, with the
// advances summed in float as the GL sums them. False when a character has
// no glyph of this font or a corner is not certain.
bool lay_out(const GlyphFont& font, const unsigned char* text, int length, float x, float y, TextLayout* layout)
{
    bool inked = false;
    for (int i = 0; i < length; i++) {
        if (text[i] < GLYPH_FIRST_CODE || text[i] >= GLYPH_FIRST_CODE + GLYPH_COUNT) return false;
        const GlyphImage& glyph = font.glyphs[text[i] - GLYPH_FIRST_CODE];
        if (glyph.width > 0 && glyph.rows > 0) {
            int corner_x = 0, corner_y = 0;
            if (!corner_pixel(x, glyph.x_origin, &corner_x) || !corner_pixel(y, glyph.y_origin, &corner_y))
                return false;
            layout->corners.push_back(corner_x);
            layout->corners.push_back(corner_y);
            if (!inked) {
                layout->left = corner_x, layout->bottom = corner_y;
                layout->right = corner_x + glyph.width, layout->top = corner_y + glyph.rows;
                inked = true;
            }
            layout->left = std::min(layout->left, corner_x);
            layout->bottom = std::min(layout->bottom, corner_y);
            layout->right = std::max(layout->right, corner_x + glyph.width);
            layout->top = std::max(layout->top, corner_y + glyph.rows);
        }
        x += glyph.advance;
    }
    layout->end_x = x;
    layout->end_y = y;
    return true;
}

// --- Composing ----------------------------------------------------------------

// ORs one glyph's `width` x `rows` bits into the composed bitmap with its
// lower-left corner at (x, y). Bits past a glyph's width are not part of it.
void add_glyph(const GlyphImage& glyph, int x, int y, ComposedText* text)
{
    const int row_bytes = (text->width + 7) / 8;
    const int glyph_bytes = (glyph.width + 7) / 8;
    const int shift = x % 8;
    const GLubyte last_mask = static_cast<GLubyte>(0xFF << ((8 - glyph.width % 8) % 8));
    for (int row = 0; row < glyph.rows; row++) {
        const GLubyte* source = &glyph.bits[static_cast<size_t>(row) * glyph.pitch];
        GLubyte* target = &text->bits[static_cast<size_t>(y + row) * row_bytes + x / 8];
        for (int i = 0; i < glyph_bytes; i++) {
            const GLubyte byte = i == glyph_bytes - 1 ? source[i] & last_mask : source[i];
            target[i] |= static_cast<GLubyte>(byte >> shift);
            if (shift != 0 && x / 8 + i + 1 < row_bytes)
                target[i + 1] |= static_cast<GLubyte>(byte << (8 - shift));
        }
    }
}

// The composed bitmap of a laid-out text, from the cache when the text was
// composed before with the same placement.
const ComposedText& composed_text(GlyphFont* font, const unsigned char* text, int length, const TextLayout& layout)
{
    std::vector<int> placement(layout.corners);
    for (size_t i = 0; i < placement.size(); i += 2) {
        placement[i] -= layout.left;
        placement[i + 1] -= layout.bottom;
    }
    const std::string key(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    auto found = font->composed.find(key);
    if (found != font->composed.end() && found->second.placement == placement) return found->second;

    if (font->composed.size() >= COMPOSED_TEXTS_KEPT) font->composed.clear();
    ComposedText& composed = font->composed[key];
    composed.placement = placement;
    composed.width = layout.right - layout.left;
    composed.rows = layout.top - layout.bottom;
    composed.bits.assign(static_cast<size_t>((composed.width + 7) / 8) * composed.rows, 0);
    size_t next = 0;
    for (int i = 0; i < length; i++) {
        const GlyphImage& glyph = font->glyphs[text[i] - GLYPH_FIRST_CODE];
        if (glyph.width <= 0 || glyph.rows <= 0) continue;
        add_glyph(glyph, placement[next], placement[next + 1], &composed);
        next += 2;
    }
    return composed;
}

// Draws the text as one bitmap; false (nothing done) when that could differ
// from the glyph lists in a pixel or in the raster position left behind.
bool draw_composed(GlyphFont* font, const unsigned char* text, int length)
{
    GLboolean valid = GL_FALSE;
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (!valid) return true;  // every glyph's glBitmap would do nothing, the move included
    GLfloat raster[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);

    TextLayout layout;
    if (!lay_out(*font, text, length, raster[0], raster[1], &layout)) return false;

    // The raster position must end where the glyphs' own moves leave it.
    const float move_x = layout.end_x - raster[0], move_y = layout.end_y - raster[1];
    if (raster[0] + move_x != layout.end_x || raster[1] + move_y != layout.end_y) return false;

    const GLubyte* bits = nullptr;
    int width = 0, rows = 0;
    float origin_x = 0.0f, origin_y = 0.0f;
    if (!layout.corners.empty()) {
        // Whole-pixel origins put the composed corner on the ink's corner.
        origin_x = std::floor(raster[0]) - static_cast<float>(layout.left);
        origin_y = std::floor(raster[1]) - static_cast<float>(layout.bottom);
        int corner_x = 0, corner_y = 0;
        if (!corner_pixel(raster[0], origin_x, &corner_x) || corner_x != layout.left ||
            !corner_pixel(raster[1], origin_y, &corner_y) || corner_y != layout.bottom)
            return false;
        const ComposedText& composed = composed_text(font, text, length, layout);
        bits = composed.bits.data();
        width = composed.width;
        rows = composed.rows;
    }

    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glBitmap(width, rows, origin_x, origin_y, move_x, move_y, bits);
    glPopClientAttrib();
    composed_draws++;
    return true;
}

void call_glyph_lists(unsigned list_base, const char* text, int length)
{
    glPushAttrib(GL_LIST_BIT);
    glListBase(list_base - GLYPH_FIRST_CODE);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

}  // namespace

bool freetype_build_font(unsigned list_base, int pixel_height)
{
    forget_font(list_base);
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

    std::unique_ptr<GlyphFont> font(new GlyphFont);
    font->list_base = list_base;
    // Unpack state as glBitmap needs it while compiling; restored after.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (unsigned code = GLYPH_FIRST_CODE; code < GLYPH_FIRST_CODE + GLYPH_COUNT; code++) {
        glNewList(list_base + (code - GLYPH_FIRST_CODE), GL_COMPILE);
        if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0) {
            font->glyphs[code - GLYPH_FIRST_CODE] = glyph_image(face->glyph);
            compile_glyph(font->glyphs[code - GLYPH_FIRST_CODE]);
        }
        glEndList();
    }
    glPopClientAttrib();
    fonts.push_back(std::move(font));

    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}

void freetype_draw_text(unsigned list_base, const char* text, int length)
{
    if (length <= 0) return;
    // Feedback and selection report one bitmap per glyph: only the lists
    // give that.
    GLint render_mode = GL_RENDER;
    glGetIntegerv(GL_RENDER_MODE, &render_mode);
    GlyphFont* font = font_at(list_base);
    if (font && render_mode == GL_RENDER &&
        draw_composed(font, reinterpret_cast<const unsigned char*>(text), length))
        return;
    call_glyph_lists(list_base, text, length);
}

int freetype_composed_draws(void) { return composed_draws; }
