// Texts drawn as one bitmap composed from a font's glyphs, for the Linux
// backends. Mesa turns every glBitmap into a texture upload and a draw of
// its own, and each of those carries a full copy of the rasteriser state:
// a scroller line of 25 glyphs cost 25 of them, one composed bitmap costs
// one. The composed bitmap holds every glyph at the pixel its own glBitmap
// would have used, so the frame is the same to the byte; where that pixel
// cannot be known for certain, the glyph lists are called.
#include "platform/glyphs/composed_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl_headers.h"

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
    std::vector<GLubyte> bits;  // rows bottom-up, (width + 7) / 8 bytes each
};

struct GlyphFont {
    unsigned list_base = 0;
    GlyphImage glyphs[GLYPH_COUNT];  // an empty image where the face has no glyph
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
    std::vector<int> corners;                      // each inked glyph's lower-left pixel, x then y
    int left = 0, bottom = 0, right = 0, top = 0;  // the ink's box, right and top exclusive
    float end_x = 0.0f, end_y = 0.0f;              // the raster position after the text
};

// Follows the glyphs' own glBitmap calls from the raster position (x, y):
// where each one's pixels go and where the raster position ends, with the
// advances summed in float as the GL sums them. False when a character has
// no glyph of this font or a corner is not certain.
bool lay_out(const GlyphFont& font, const unsigned char* text, int length, float x, float y,
             TextLayout* layout)
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
const ComposedText& composed_text(GlyphFont* font, const unsigned char* text, int length,
                                  const TextLayout& layout)
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

}  // namespace

void keep_glyphs_for_text(unsigned list_base, const GlyphBitmap* glyphs)
{
    forget_font(list_base);
    if (!glyphs) return;
    std::unique_ptr<GlyphFont> font(new GlyphFont);
    font->list_base = list_base;
    for (int i = 0; i < GLYPH_COUNT; i++) {
        const GlyphBitmap& glyph = glyphs[i];
        if (!glyph.loaded) continue;
        GlyphImage& image = font->glyphs[i];
        image.width = glyph.width;
        image.rows = glyph.rows;
        image.pitch = glyph.pitch;
        image.x_origin = glyph.x_origin;
        image.y_origin = glyph.y_origin;
        image.advance = glyph.advance;
        image.bits.assign(glyph.bits, glyph.bits + static_cast<size_t>(glyph.pitch) * glyph.rows);
    }
    fonts.push_back(std::move(font));
}

void draw_composed_text(unsigned list_base, const char* text, int length)
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
    draw_text_by_lists(list_base, text, length);
}

int composed_text_draws(void) { return composed_draws; }
