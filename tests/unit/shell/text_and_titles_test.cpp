// Bitmap text and the title sequence: formatting, the list base, the
// caption windows, the music start and what a viewer sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "music/music.h"
#include "tests/support/gl_probe.h"

namespace {

// The window x of a title's raster position (-1, 0) after its offset.
float projected_x(float offset_x, float offset_z)
{
    // 45 degree vertical field of view at 800 x 600.
    double half_height = std::tan(22.5 * M_PI / 180.0) * -offset_z;
    double ndc = (offset_x - 1.0) / (half_height * 800.0 / 600.0);
    return static_cast<float>((ndc + 1.0) * 400.0);
}

}  // namespace

TEST(FormatText, CutsLongTextsAt255Characters)
{
    struct Case {
        size_t length;
        int expected;
    } cases[] = {{0, 0}, {10, 10}, {254, 254}, {255, 255}, {256, 255}, {1000, 255}};
    for (const Case& c : cases) {
        std::string text(c.length, 'x');
        char buffer[TEXT_BUFFER_SIZE + 16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(format_text(buffer, "%s", text.c_str()), c.expected);
        EXPECT_EQ(std::strlen(buffer), static_cast<size_t>(c.expected));
        EXPECT_EQ(buffer[TEXT_BUFFER_SIZE], '#') << "wrote past the buffer";
    }
}

TEST(PrintText, DrawsOneBitmapPerCharacterAndRestoresTheListBase)
{
    ASSERT_TRUE(open_test_window());
    glListBase(7);
    std::string long_text(400, 'W');
    struct Case {
        const char* text;
        size_t glyphs;
    } cases[] = {{"qvt71", 5}, {"In 25 Kb", 8}, {nullptr, 0}, {long_text.c_str(), 255}};
    for (const Case& c : cases) {
        auto tokens = bitmap_tokens([&] {
            glLoadIdentity();
            glRasterPos3f(0.0f, 0.0f, -4.0f);
            if (c.text) print_text("%s", c.text); else print_text(nullptr);
        });
        EXPECT_EQ(tokens.size(), c.glyphs);
        GLint base = 0;
        glGetIntegerv(GL_LIST_BASE, &base);
        EXPECT_EQ(base, 7);
    }
    // Glyphs advance the raster position left to right.
    auto tokens = bitmap_tokens([] {
        glLoadIdentity();
        glRasterPos3f(0.0f, 0.0f, -4.0f);
        print_text("WW");
    });
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_GT(tokens[1].x - tokens[0].x, 30.0f);  // a 72-pixel bold W is wide
    EXPECT_EQ(tokens[1].y, tokens[0].y);
    close_gl_window();
}

TEST(TitleSequence, CaptionWindows)
{
    ASSERT_TRUE(open_test_window());
    struct Case {
        uint32_t ms;
        size_t glyphs;     // characters drawn
        float offset_x;    // of the first caption drawn
        int scene_after;
    } cases[] = {
        {120, 0, 0, 0},      {509, 0, 0, 0},       {510, 5, 0.49f, 0},   {2099, 5, 0.49f, 0},
        {2100, 8, 0.2f, 0},  {3699, 8, 0.2f, 0},   {3700, 8, 0.12f, 0},  {5299, 8, 0.12f, 0},
        {5300, 22, -0.18f, 0}, {6899, 22, -0.18f, 0},
    };
    for (const Case& c : cases) {
        elapsed_ms = c.ms;
        auto tokens = bitmap_tokens([] { draw_scene0(); });
        ASSERT_EQ(tokens.size(), c.glyphs) << c.ms;
        EXPECT_EQ(scene_index, c.scene_after);
        if (!tokens.empty()) {
            EXPECT_NEAR(tokens[0].x, projected_x(c.offset_x, -4.0f), 0.5f) << c.ms;
        }
    }
    close_gl_window();
}

TEST(TitleSequence, TwoLinesOneAboveTheOther)
{
    ASSERT_TRUE(open_test_window());
    elapsed_ms = 6000;
    auto tokens = bitmap_tokens([] { draw_scene0(); });
    ASSERT_EQ(tokens.size(), 22u);
    EXPECT_GT(tokens[0].y, tokens[14].y);  // "My first Intro" above "In 25 Kb"
    close_gl_window();
}

TEST(TitleSequence, EndsAt6900WithoutText)
{
    ASSERT_TRUE(open_test_window());
    elapsed_ms = 6900;
    auto tokens = bitmap_tokens([] { draw_scene0(); });
    EXPECT_TRUE(tokens.empty());
    EXPECT_EQ(scene_index, 1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    for (float depth : column_depth) EXPECT_EQ(depth, -30.0f);
    close_gl_window();
}

TEST(TitleSequence, LateFirstFrameEndsOnlySceneZero)
{
    ASSERT_TRUE(open_test_window());
    draw_frame_at(60000);
    EXPECT_EQ(scene_index, 1);
    EXPECT_TRUE(music_started);
    close_gl_window();
}

TEST(TitleSequence, MusicStartsOnceAtTheFirstFrameFrom480)
{
    ASSERT_TRUE(open_test_window());
    start_sound_output();
    draw_frame_at(450);
    EXPECT_FALSE(music_started);
    draw_frame_at(2000);  // a late first frame still starts it
    EXPECT_TRUE(music_started);
    Song* first = current_song;
    draw_frame_at(2030);
    EXPECT_EQ(current_song, first);
    close_gl_window();
}

TEST(TitleFrames, WhatAViewerSees)
{
    ASSERT_TRUE(open_test_window());
    draw_frame_at(480);
    EXPECT_TRUE(bright_box(headless_read_pixels(), 800, 600, 0).empty()) << "black before 510 ms";

    struct Case {
        uint32_t ms;
        float offset_x, offset_y;
    } cases[] = {{1000, 0.49f, 0.0f}, {2500, 0.2f, 0.0f}, {4000, 0.12f, 0.0f}};
    for (const Case& c : cases) {
        draw_frame_at(c.ms);
        auto rgb = headless_read_pixels();
        PixelBox box = bright_box(rgb, 800, 600);
        ASSERT_FALSE(box.empty()) << c.ms;
        // Text starts at its raster position and stands on the middle line.
        EXPECT_NEAR(box.left, projected_x(c.offset_x, -4.0f), 8) << c.ms;
        EXPECT_NEAR(box.bottom, 300, 18) << c.ms;  // descenders reach below
        EXPECT_GT(box.bottom - box.top, 40) << c.ms;
        // The caption colour is 0.9 grey.
        const uint8_t* pixel = nullptr;
        for (int y = box.top; y <= box.bottom && !pixel; y++)
            for (int x = box.left; x <= box.right && !pixel; x++)
                if (rgb[(y * 800 + x) * 3] > 200) pixel = &rgb[(y * 800 + x) * 3];
        ASSERT_NE(pixel, nullptr);
        EXPECT_NEAR(pixel[0], 230, 1);
        EXPECT_EQ(pixel[0], pixel[2]);
    }
    draw_frame_at(6000);
    auto rgb = headless_read_pixels();
    PixelBox upper = bright_box(rgb, 800, 600, 60, 0, 0, 799, 299 - 20);
    PixelBox lower = bright_box(rgb, 800, 600, 60, 0, 300 - 10, 799, 599);
    EXPECT_FALSE(upper.empty());
    EXPECT_FALSE(lower.empty());
    EXPECT_LT(upper.bottom, lower.bottom);
    close_gl_window();
}

TEST(TitleFrames, DefaultWhiteWhenTheFirstCaptionWasMissed)
{
    ASSERT_TRUE(open_test_window());
    draw_frame_at(3000);
    auto rgb = headless_read_pixels();
    int brightest = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) brightest = std::max<int>(brightest, rgb[i]);
    EXPECT_EQ(brightest, 255);
    close_gl_window();
}
