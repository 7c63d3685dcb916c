// Bitmap text and the title sequence: formatting, the list base, the
// caption windows, the music start and what a viewer sees.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "music/music.h"
#include "platform/glyphs/composed_text.h"
#include "tests/support/gl_probe.h"

namespace {

// The window x of a title's raster position (-1, 0) after its offset x,
// at depth 4 (45 degree vertical field of view, 800 x 600).
float projected_x(float offset_x)
{
    const double half_width = std::tan(22.5 * M_PI / 180.0) * 4.0 * 800.0 / 600.0;
    return static_cast<float>(((offset_x - 1.0) / half_width + 1.0) * 400.0);
}

std::vector<MeshVertex> printed(const char* text)
{
    return glyphs([text] {
        glLoadIdentity();
        glRasterPos3f(0.0f, 0.0f, -4.0f);
        if (text) print_text("%s", text); else print_text(nullptr);
    });
}

}  // namespace

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
}

TEST(PrintText, DrawsOneBitmapPerCharacterLeftToRightAndRestoresTheListBase)
{
    ASSERT_TRUE(open_test_window());
    glListBase(7);
    const std::string long_text(400, 'W');
    const std::pair<const char*, size_t> cases[] = {{"qvt71", 5}, {nullptr, 0}, {long_text.c_str(), 255}};
    for (const auto& c : cases) {
        EXPECT_EQ(printed(c.first).size(), c.second);
        GLint base = 0;
        glGetIntegerv(GL_LIST_BASE, &base);
        EXPECT_EQ(base, 7);
    }
    std::vector<MeshVertex> g = printed("WW");
    ASSERT_EQ(g.size(), 2u);
    EXPECT_GT(g[1].window[0] - g[0].window[0], 30.0f);  // a 72-pixel bold W is wide
    EXPECT_EQ(g[1].window[1], g[0].window[1]);
}

TEST(TitleSequence, CaptionWindowsAndTheEndAt6900)
{
    ASSERT_TRUE(open_test_window());
    const struct {
        uint32_t ms;
        size_t glyphs;   // characters drawn
        float offset_x;  // of the first caption drawn
    } cases[] = {
        {120, 0, 0},         {509, 0, 0},         {510, 5, 0.49f},     {2099, 5, 0.49f},   {2100, 8, 0.2f},
        {3699, 8, 0.2f},     {3700, 8, 0.12f},    {5299, 8, 0.12f},    {5300, 22, -0.18f}, {6899, 22, -0.18f},
        {6900, 0, 0},
    };
    for (const auto& c : cases) {
        elapsed_ms = c.ms;
        std::vector<MeshVertex> g = glyphs(draw_scene0);
        ASSERT_EQ(g.size(), c.glyphs) << c.ms;
        EXPECT_EQ(scene_index, c.ms >= 6900 ? 1 : 0) << c.ms;
        if (!g.empty()) { EXPECT_NEAR(g[0].window[0], projected_x(c.offset_x), 0.5f) << c.ms; }
        if (c.glyphs == 22) { EXPECT_GT(g[0].window[1], g[14].window[1]) << "My first Intro above In 25 Kb"; }
    }
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    for (float depth : column_depth) EXPECT_EQ(depth, -30.0f);
}

TEST(TitleSequence, MusicStartsOnceAtTheFirstFrameFrom480AndALateFrameEndsOnlySceneZero)
{
    ASSERT_TRUE(open_test_window());
    start_sound_output();
    draw_frame_at(450);
    EXPECT_FALSE(music_started);
    draw_frame_at(2000);  // a late first frame still starts it
    EXPECT_TRUE(music_started);
    Song* first = current_song;
    EXPECT_NE(first, nullptr);
    draw_frame_at(2030);
    EXPECT_EQ(current_song, first);
    draw_frame_at(60000);
    EXPECT_EQ(scene_index, 1);
}

TEST(TitleFrames, BlackThenGreyTextOnTheMiddleLine)
{
    ASSERT_TRUE(open_test_window());
    draw_frame_at(480);
    EXPECT_EQ(count_pixels(Image(), [](Rgb p) { return p.r + p.g + p.b > 0; }), 0) << "black before 510 ms";
    draw_frame_at(1000);
    Image frame;
    // Text starts at its raster position and stands on the middle line
    // (descenders reach below), in 0.9 grey.
    PixelBox box = pixel_box(frame, [](Rgb p) { return std::max({p.r, p.g, p.b}) > 60; });
    EXPECT_NEAR(box.left, projected_x(0.49f), 8);
    EXPECT_NEAR(box.bottom, 300, 18);
    EXPECT_GT(box.bottom - box.top, 40);
    EXPECT_EQ(count_pixels(frame, [](Rgb p) { return std::max({p.r, p.g, p.b}) > 232; }), 0);
    EXPECT_GT(count_pixels(frame, [](Rgb p) { return p.r >= 229 && p.r == p.g && p.g == p.b; }), 100);
}

TEST(TitleFrames, DefaultWhiteWhenTheFirstCaptionWasMissed)
{
    ASSERT_TRUE(open_test_window());
    draw_frame_at(3000);
    EXPECT_GT(count_pixels(Image(), [](Rgb p) { return p.r == 255; }), 0);
}

// A text drawn as one composed bitmap must match the glyph lists to the
// pixel and leave the raster position where they leave it, wherever its
// raster position falls between pixels: just past a pixel edge, just short
// of one, where the float sum of the advances crosses a power of two, and
// running off the window. Positions within a bias's reach of a pixel edge
// go through the lists.
TEST(PrintText, ComposedTextMatchesTheGlyphListsToThePixel)
{
    ASSERT_TRUE(open_test_window());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 800.0, 0.0, 600.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glColor3f(0.9f, 0.9f, 0.9f);
    const unsigned large_font = font_base;
    build_font_small();
    const unsigned small_font = font_base;

    std::string every_glyph;
    for (int c = 32; c < 128; c++) every_glyph += static_cast<char>(c);
    const struct {
        unsigned font;
        float x, y;
        const char* text;
        bool composed;
    } cases[] = {
        {small_font, 10.25f, 300.5f, every_glyph.c_str(), true},
        {large_font, 3.75f, 200.125f, every_glyph.c_str(), true},
        {small_font, 100.001f, 20.999f, "particularly Merrow,Dastel,", true},
        {small_font, 127.3f, 2.7f, "Tjg|y_ qp", true},                  // descenders below the window
        {large_font, 250.6f, 590.2f, "My first Intro", true},          // tops above it
        {small_font, 511.9f, 400.6f, "this little 25 Kb intro...", true},
        {large_font, 780.0f, 300.4f, "WWWWWWWWWWWWWWWWWWWW", true},      // far past the right edge
        {small_font, 400.4f, 100.3f, "   ", true},                     // moves the raster position only
        {small_font, 200.9999f, 300.5f, "qvt71", false},
        {small_font, 300.5f, 99.99995f, "qvt71", false},
    };
    for (const auto& c : cases) {
        const int composed_before = composed_text_draws();
        GLfloat by_lists[4], composed[4];
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glRasterPos2f(c.x, c.y);
        glListBase(c.font - FONT_FIRST_CHAR);
        glCallLists(static_cast<GLsizei>(std::strlen(c.text)), GL_UNSIGNED_BYTE, c.text);
        glListBase(0);
        glGetFloatv(GL_CURRENT_RASTER_POSITION, by_lists);
        const Image expected;

        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glRasterPos2f(c.x, c.y);
        font_base = c.font;
        print_text("%s", c.text);
        glGetFloatv(GL_CURRENT_RASTER_POSITION, composed);
        const Image drawn;

        EXPECT_EQ(composed_text_draws() - composed_before, c.composed ? 1 : 0) << c.text;
        EXPECT_TRUE(drawn.rgb == expected.rgb) << c.text << " at " << c.x << ", " << c.y;
        EXPECT_EQ(composed[0], by_lists[0]) << c.text;
        EXPECT_EQ(composed[1], by_lists[1]) << c.text;
        if (std::strchr(c.text, 'W')) { EXPECT_GT(count_pixels(drawn, [](Rgb p) { return p.r > 0; }), 100); }
    }
}
