// Scene 4, the end scroller: the scroll text, lines popping in and out
// whole, the falling crosses and their wrap, the closing movement and the
// end of the intro, frame by frame.
#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

// Glyphs draw_scroll_text puts on screen, counted per line (window y).
std::map<int, int> glyphs_per_line(void)
{
    std::map<int, int> lines;
    for (const MeshVertex& glyph : glyphs(draw_scroll_text)) lines[static_cast<int>(std::lround(glyph.window[1]))]++;
    return lines;
}

}  // namespace

TEST(ScrollText, ThirtySevenLinesWithTheirStepsAndIndents)
{
    double total = 0.0;
    for (int n = 1; n <= SCROLL_LINE_COUNT; n++) {
        const ScrollLine& line = scroll_lines[n - 1];
        // Paragraphs start 0.42 down, other lines 0.21, the first not at all.
        const bool paragraph = n == 8 || n == 15 || n == 22 || n == 33 || n == 36;
        EXPECT_EQ(line.step, n == 1 ? 0.0f : paragraph ? 0.42f : 0.21f) << "line " << n;
        EXPECT_EQ(line.x, n >= 36 ? 0.1f : n >= 25 && n <= 32 ? -1.0f : -1.4f) << "line " << n;
        total += line.step;
        // Printable, short and free of conversions: print_text takes it as its format.
        const std::string text = line.text;
        EXPECT_TRUE(!text.empty() && text.size() < 256 && text.find('%') == std::string::npos) << "line " << n;
        for (unsigned char c : text) EXPECT_TRUE(c >= 32 && c <= 127) << "line " << n;
    }
    EXPECT_NEAR(total, 8.61, 1e-5);
    EXPECT_STREQ(scroll_lines[SCROLL_LINE_COUNT - 1].text, "qvt71");
}

TEST(Scene4, LinesPopInWholeAtTheBottomAfterAbout80Frames)
{
    ASSERT_TRUE(open_test_window());
    enter_scene(4);
    draw_frame_at(SCENE4_FIRST_MS);
    EXPECT_NEAR(scroll_y, -2.4f + 0.004f, 1e-6f);
    // The first line rises 0.004 a frame from below the bottom edge of the
    // 45 degree view at depth 5.
    const int first_visible = static_cast<int>(std::ceil((2.4 - 5.0 * std::tan(22.5 * M_PI / 180.0)) / 0.004));
    EXPECT_EQ(first_visible, 83);
    int frame = 1;
    while (glyphs_per_line().empty() && frame < 200) draw_frame_at(SCENE4_FIRST_MS + 30 * frame++);
    EXPECT_EQ(frame, first_visible);
    std::map<int, int> lines = glyphs_per_line();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines.begin()->second, static_cast<int>(std::strlen(scroll_lines[0].text)));
}

TEST(Scene4, TheLastLineIsStillOnScreenWhenTheScrollIsDone)
{
    ASSERT_TRUE(open_test_window());
    enter_scene(4);
    scroll_y = 10.5f;  // the frame that finishes the scroll
    draw_frame_at(SCENE4_FIRST_MS);
    ASSERT_TRUE(scroll_done);
    // The highest line on screen is the last one, "qvt71", whole, near the top.
    std::map<int, int> lines = glyphs_per_line();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.rbegin()->second, 5);
    EXPECT_GT(lines.rbegin()->first, 450);
}

TEST(Scene4, CrossesFallWrapTo8Point4AndSpin)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(4);
    std::vector<float> before(cross_y, cross_y + CROSS_COUNT);
    int wraps = 0;
    run_frames(SCENE4_FIRST_MS, SCENE4_FIRST_MS + 999 * 30, [&](uint32_t t) {
        for (int i = 0; i < CROSS_COUNT; i++) {
            // Set to 8.4, not moved up by the range (the right column may
            // take its 0.01 after the left one wrapped).
            const bool wrapped = cross_y[i] > before[i];
            wraps += wrapped;
            if (wrapped) { EXPECT_TRUE(before[i] < -7.0f + 0.02f && std::fabs(cross_y[i] - 8.395f) <= 0.0051f) << t; }
            else { EXPECT_NEAR(before[i] - cross_y[i], 0.02f, 1e-4f) << "t " << t << " cross " << i; }
        }
        before.assign(cross_y, cross_y + CROSS_COUNT);
    });
    EXPECT_GE(wraps, 7) << "every cross wraps at least once in 1000 frames";
    for (float angle : {cross_angle_x, cross_angle_y, cross_angle_z}) EXPECT_EQ(angle, 1000.0f) << "never wrapped";
}

TEST(Scene4, CrossColoursAndPositionsInBothColumns)
{
    ASSERT_TRUE(open_test_window(64, 64));
    enter_scene(4);
    begin_mesh_probe();
    glViewport(0, 0, 32, 32);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-16, 16, -16, 16, 0, 100);  // the crosses seen from the eye down -z, a pixel a unit
    glMatrixMode(GL_MODELVIEW);
    const std::vector<float> y_before(cross_y, cross_y + CROSS_COUNT);
    std::vector<MeshVertex> v;  // 14 crosses of 22 quads; lines and glyphs left out
    for (const FeedbackPrimitive& p : feedback_primitives(draw_scene4))
        if (p.token == GL_POLYGON_TOKEN) v.insert(v.end(), p.vertices.begin(), p.vertices.end());
    ASSERT_EQ(v.size(), 14u * 132);
    for (size_t cross = 0; cross < 14; cross++) {
        // The centre of the cross's extent (not turned yet in the first
        // frame); the right column's crosses hang 0.01 lower.
        const int column = static_cast<int>(cross) / CROSS_COUNT, i = static_cast<int>(cross) % CROSS_COUNT;
        float low[2] = {1e9f, 1e9f}, high[2] = {-1e9f, -1e9f};
        for (size_t k = cross * 132; k < cross * 132 + 132; k++)
            for (int a = 0; a < 2; a++)
                low[a] = std::fmin(low[a], v[k].window[a]), high[a] = std::fmax(high[a], v[k].window[a]);
        EXPECT_NEAR(high[0] - low[0], 2.0f, EPS);
        EXPECT_NEAR((low[0] + high[0]) / 2 - 16, column == 0 ? -5.1f : 5.1f, EPS) << column << " " << i;
        EXPECT_NEAR((low[1] + high[1]) / 2 - 16, y_before[i] - 0.01f * column, EPS) << column << " " << i;
        for (int c = 0; c < 4; c++)
            EXPECT_NEAR(v[cross * 132].colour[c], object_palette[i][c], EPS) << column << " " << i;
    }
}

TEST(Scene4, ClosingMovementAndTheEndAbout3486FramesIn)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(4);
    int frame = 0, done_frame = 0;
    for (uint32_t t = SCENE4_FIRST_MS; !quit_requested && frame < 4000; t += FRAME_MS, frame++) {
        const float left = column_x[0], right = column_x[1], divider = divider_x;
        done_frame = done_frame ? done_frame : scroll_done ? frame : 0;
        draw_frame_at(t);
        // The frame that sets scroll_done already moves the columns and
        // the lines; the second line mirrors the first.
        const float move = scroll_done ? 0.015f : 0.0f;
        EXPECT_NEAR(column_x[1] - right, move, 1e-4f);
        EXPECT_NEAR(left - column_x[0], move, 1e-4f);
        EXPECT_NEAR(divider - divider_x, move / 15, 1e-4f);
        EXPECT_EQ(divider_gap, scroll_done ? divider_x * -2.0f : 0.6f);
        EXPECT_EQ(scroll_done, scroll_y > 10.5f) << "t " << t;
    }
    // About 3226 frames of scrolling (12.9 at 0.004), then about 261 of
    // closing (5.1 to above 9.0 at 0.015), quitting in the same frame.
    EXPECT_EQ(done_frame, 3226);
    EXPECT_EQ(frame, 3486);
    EXPECT_TRUE(quit_requested);
    EXPECT_TRUE(column_x[1] > 9.0f && column_x[1] - 0.015f <= 9.0f) << column_x[1];
    EXPECT_EQ(scene_index, 4) << "the last scene never hands over";
}
