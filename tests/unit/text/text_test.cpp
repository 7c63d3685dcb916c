// Bitmap text on the headless backend: the cut of long texts, the glyphs
// print_text draws and where, and the composed line the Linux backends
// draw against the glyph lists pixel for pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/glyphs/composed_text.h"
#include "tests/support/intro_run.h"

TEST(FormatText, CutsLongTextsAt255Characters)
{
    const size_t cases[][2] = {{0, 0}, {10, 10}, {254, 254}, {255, 255}, {256, 255}, {1000, 255}};
    for (const auto& c : cases) {
        const std::string text(c[0], 'x');
        char buffer[TEXT_BUFFER_SIZE + 16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(format_text(buffer, "%s", text.c_str()), static_cast<int>(c[1]));
        EXPECT_EQ(std::strlen(buffer), c[1]);
        EXPECT_EQ(buffer[TEXT_BUFFER_SIZE], '#') << "wrote past the buffer";
    }
    char buffer[TEXT_BUFFER_SIZE] = "x";  // a text the C library cannot format (no such character): empty
    EXPECT_TRUE(format_text(buffer, "%lc", static_cast<wint_t>(0xD800)) == 0 && buffer[0] == '\0');
}

TEST(PrintText, DrawsOneGlyphPerCharacterLeftToRightAndRestoresTheListBase)
{
    in_first_frame([] {
        glListBase(7);
        const std::string long_text(400, 'W');
        const std::pair<const char*, int> cases[] = {{"qvt%d", 5}, {nullptr, 0}, {long_text.c_str(), 255}};
        for (const auto& c : cases) {
            const Drawn drawn = feedback([&] {
                glRasterPos3f(0.0f, 0.0f, -4.0f);
                print_text(c.first, 71);
            });
            EXPECT_EQ(drawn.glyphs, c.second);
            GLint base = 0;
            glGetIntegerv(GL_LIST_BASE, &base);
            EXPECT_EQ(base, 7);
            if (drawn.glyphs < 2) continue;
            EXPECT_GT(drawn.glyph_x[1] - drawn.glyph_x[0], 30.0f) << "72-pixel glyphs, left to right";
            EXPECT_EQ(drawn.glyph_y[1], drawn.glyph_y[0]);
        }
    });
}

// The Linux backends draw a line as one bitmap composed from its glyphs:
// the same pixels and the same raster position after it as the glyph
// lists, or the lists themselves where a raster position lies within a
// rounding bias of a pixel edge.
TEST(PrintText, ComposedLineIsTheGlyphListsPixelForPixel)
{
    in_first_frame([] {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, 800.0, 0.0, 600.0, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        std::string every_glyph;
        for (int c = GLYPH_FIRST_CODE; c < GLYPH_FIRST_CODE + GLYPH_COUNT; c++) every_glyph += static_cast<char>(c);
        const struct {
            float x, y;
            const char* text;
            int composed;
        } cases[] = {{10.25f, 300.5f, every_glyph.c_str(), 1}, {127.3f, 2.7f, "Tjg|y_ qp", 1},
                     {250.6f, 590.2f, "My first Intro", 1},   {780.0f, 300.4f, "WWWWWWWWWW", 1},
                     {200.9999f, 300.5f, "qvt71", 0},         {300.5f, 99.99995f, "qvt71", 0}};
        for (const auto& c : cases) {
            GLfloat by_lists[4], composed[4];
            glClear(GL_COLOR_BUFFER_BIT);
            glRasterPos2f(c.x, c.y);
            glListBase(font_base - FONT_FIRST_CHAR);
            glCallLists(static_cast<GLsizei>(std::strlen(c.text)), GL_UNSIGNED_BYTE, c.text);
            glListBase(0);
            glGetFloatv(GL_CURRENT_RASTER_POSITION, by_lists);
            const std::vector<uint8_t> expected = headless_read_pixels();

            glClear(GL_COLOR_BUFFER_BIT);
            glRasterPos2f(c.x, c.y);
            const int before = composed_text_draws();
            print_text("%s", c.text);
            glGetFloatv(GL_CURRENT_RASTER_POSITION, composed);
            EXPECT_EQ(composed_text_draws() - before, c.composed) << c.text;
            EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](uint8_t v) { return v > 0; })) << c.text;
            EXPECT_TRUE(headless_read_pixels() == expected) << c.text << " at " << c.x << ", " << c.y;
            EXPECT_EQ(std::make_pair(composed[0], composed[1]), std::make_pair(by_lists[0], by_lists[1])) << c.text;
        }
    });
}
