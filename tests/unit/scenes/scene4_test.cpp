// Scene 4, the end scroller: the scroll text, the lines popping in and out
// whole, the falling crosses and their wrap, the closing movement and the
// end of the intro, frame by frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

bool ends_with(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

constexpr float EPS = 1e-4f;

// Half the view's height at depth 1 (45 degree vertical field of view).
const double HALF_HEIGHT_AT_1 = std::tan(22.5 * M_PI / 180.0);

}  // namespace

TEST(ScrollText, ThirtySevenLinesWithTheirStepsAndPositions)
{
    // Texts as written, and for the lines left free their shape.
    const char* fixed[SCROLL_LINE_COUNT] = {
        "Thanks for watching", "this little 25 Kb intro...", "It was my first one and", "I hope you enjoyed it!",
        "I coded it in about 2", "monthes (school...)", "from scratch.", "If you experimented",
        "some problems during", "the execution or if you", "just want to contact me,", "write me an email at",
        nullptr, nullptr, "I really want to greet:", nullptr, nullptr, nullptr, "-And all my friends,",
        nullptr, nullptr, "Their work motivated me", "every day/night I worked", "on this intro:",
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        "This is now the end of", "this really bad scrolling", "effect.", "GoodBye!", "qvt71",
    };
    double total = 0.0;
    for (int n = 0; n < SCROLL_LINE_COUNT; n++) {
        const ScrollLine& line = scroll_lines[n];
        const int number = n + 1;
        const std::string text = line.text;
        // Paragraphs start 0.42 down, other lines 0.21; the first line not at all.
        const bool paragraph = number == 8 || number == 15 || number == 22 || number == 33 || number == 36;
        EXPECT_EQ(line.step, number == 1 ? 0.0f : paragraph ? 0.42f : 0.21f) << "line " << number;
        EXPECT_EQ(line.x, number >= 36 ? 0.1f : number >= 25 && number <= 32 ? -1.0f : -1.4f) << "line " << number;
        if (fixed[n]) {
            EXPECT_EQ(text, fixed[n]) << "line " << number;
        }
        total += line.step;
        // Printable, short, and without conversion specifications, since
        // each text is passed to print_text as its format.
        EXPECT_LT(text.size(), 256u);
        EXPECT_GE(text.size(), 1u);
        for (char c : text) {
            EXPECT_GE(static_cast<unsigned char>(c), 32) << "line " << number;
            EXPECT_LE(static_cast<unsigned char>(c), 127) << "line " << number;
        }
        EXPECT_EQ(text.find('%'), std::string::npos) << "line " << number;
    }
    EXPECT_NEAR(total, 8.61, 1e-5);

    auto line = [](int number) { return std::string(scroll_lines[number - 1].text); };
    EXPECT_TRUE(ends_with(line(13), " or") && line(13).find("@example.org") != std::string::npos) << line(13);
    EXPECT_TRUE(starts_with(line(14), "use ") && line(14).find(":#") != std::string::npos && ends_with(line(14), "..."))
        << line(14);
    EXPECT_TRUE(starts_with(line(16), "-") && ends_with(line(16), " for his help")) << line(16);
    EXPECT_TRUE(starts_with(line(17), "-") && ends_with(line(17), " for his support")) << line(17);
    EXPECT_TRUE(starts_with(line(18), "-") && ends_with(line(18), " for the music")) << line(18);
    EXPECT_TRUE(starts_with(line(20), "particularly ") && ends_with(line(20), ",") &&
                line(20).find(", ") == std::string::npos)
        << line(20);
    EXPECT_TRUE(line(21).find("*2 and ") != std::string::npos && ends_with(line(21), ".")) << line(21);
    for (int number = 25; number <= 32; number++) EXPECT_TRUE(starts_with(line(number), "*")) << line(number);
}

namespace {

// The glyphs draw_scroll_text puts on screen, grouped by line (window y).
std::map<int, int> glyphs_per_line(void)
{
    std::map<int, int> lines;
    for (const BitmapToken& token : bitmap_tokens([] { draw_scroll_text(); }))
        lines[static_cast<int>(std::lround(token.y))]++;
    return lines;
}

}  // namespace

TEST(Scene4, LinesPopInWholeAtTheBottomAfterAbout80Frames)
{
    ASSERT_TRUE(open_test_window(800, 600));
    enter_scene(4);
    draw_frame_at(SCENE4_FIRST_MS);
    EXPECT_NEAR(scroll_y, -2.4f + 0.004f, 1e-6f);

    // The first line's raster position starts below the bottom edge of the
    // view at depth 5 and rises 0.004 a frame.
    const int first_visible = static_cast<int>(std::ceil((2.4 - 5.0 * HALF_HEIGHT_AT_1) / 0.004));
    EXPECT_EQ(first_visible, 83);
    int frame = 1;
    while (glyphs_per_line().empty() && frame < 200) draw_frame_at(SCENE4_FIRST_MS + 30 * frame++);
    EXPECT_EQ(frame, first_visible);
    std::map<int, int> lines = glyphs_per_line();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines.begin()->second, static_cast<int>(std::strlen(scroll_lines[0].text)));
}

TEST(Scene4, EveryLineShownWholeOrNotAtAll)
{
    ASSERT_TRUE(open_test_window(800, 600));
    enter_scene(4);
    // The glyph counts of the lines, to recognise each line on screen.
    std::map<int, int> lengths;
    for (const ScrollLine& line : scroll_lines) lengths[static_cast<int>(std::strlen(line.text))]++;
    int checked = 0;
    // Every 10th frame's text position over the whole scroll.
    for (int frame = 0; frame <= 3300; frame += 10) {
        scroll_y = -2.4f + 0.004f * frame;
        for (const auto& line : glyphs_per_line()) {
            EXPECT_EQ(lengths.count(line.second), 1u) << "a partial line of " << line.second << " glyphs, frame " << frame;
            checked++;
        }
    }
    EXPECT_GT(checked, 2000);
}

TEST(Scene4, CrossesFallWrapTo8Point4AndSpin)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(4);
    float before[CROSS_COUNT];
    int wraps = 0;
    bool first = true;
    run_frames(SCENE4_FIRST_MS, SCENE4_FIRST_MS + 1000 * 30, [&](uint32_t t) {
        if (!first) {
            for (int i = 0; i < CROSS_COUNT; i++) {
                if (cross_y[i] > before[i]) {
                    // The wrap sets 8.4 (the right column may take its
                    // 0.01 fall after the left one wrapped); it does not add
                    // the range.
                    wraps++;
                    EXPECT_LT(before[i], -7.0f + 0.02f) << "t " << t;
                    EXPECT_TRUE(cross_y[i] == 8.4f || cross_y[i] == 8.4f - 0.01f) << cross_y[i];
                } else {
                    EXPECT_NEAR(before[i] - cross_y[i], 0.02f, EPS) << "t " << t << " cross " << i;
                }
            }
        }
        first = false;
        std::memcpy(before, cross_y, sizeof before);
    });
    EXPECT_GE(wraps, 7) << "every cross wraps at least once in 1000 frames";
    EXPECT_EQ(cross_angle_x, 1001.0f) << "degrees, never wrapped";
    EXPECT_EQ(cross_angle_y, 1001.0f);
    EXPECT_EQ(cross_angle_z, 1001.0f);
    for (int i = 0; i < CROSS_COUNT; i++) EXPECT_EQ(cross_z[i], -12.0f);
}

TEST(Scene4, CrossColoursAndPositionsInBothColumns)
{
    ASSERT_TRUE(open_test_window(64, 64));
    enter_scene(4);
    begin_mesh_probe();
    glViewport(0, 0, 32, 32);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-16, 16, -16, 16, 0, 100);  // the crosses, seen from the eye down -z, a pixel a unit
    glMatrixMode(GL_MODELVIEW);
    float y_before[CROSS_COUNT];
    std::memcpy(y_before, cross_y, sizeof y_before);
    std::vector<FeedbackPrimitive> primitives = feedback_primitives([] { draw_scene4(); });
    std::vector<const MeshVertex*> cross_vertices;
    for (const FeedbackPrimitive& p : primitives)
        if (p.token == GL_POLYGON_TOKEN)
            for (const MeshVertex& v : p.vertices) cross_vertices.push_back(&v);
    // 14 crosses of 22 quads; the divider lines and text come as lines and
    // bitmaps.
    ASSERT_EQ(cross_vertices.size(), 14u * 44 * 3);
    for (int column = 0; column < 2; column++) {
        for (int i = 0; i < CROSS_COUNT; i++) {
            const size_t first = (static_cast<size_t>(column) * CROSS_COUNT + i) * 44 * 3;
            // The cross's centre: the middle of its extent (not yet turned
            // in the first frame).
            float low[2] = {1e9f, 1e9f}, high[2] = {-1e9f, -1e9f};
            for (size_t v = first; v < first + 44 * 3; v++)
                for (int a = 0; a < 2; a++) {
                    low[a] = std::fmin(low[a], cross_vertices[v]->window[a]);
                    high[a] = std::fmax(high[a], cross_vertices[v]->window[a]);
                }
            const float x = (low[0] + high[0]) / 2 - 16, y = (low[1] + high[1]) / 2 - 16;
            EXPECT_NEAR(high[0] - low[0], 2.0f, 1e-3f);
            // The right column's cross i hangs 0.01 lower than the left one's.
            EXPECT_NEAR(x, column == 0 ? -5.1 : 5.1, 1e-3) << "column " << column << " cross " << i;
            EXPECT_NEAR(y, y_before[i] - 0.01f * column, 1e-3) << "column " << column << " cross " << i;
            for (int c = 0; c < 4; c++)
                EXPECT_NEAR(cross_vertices[first]->colour[c], object_palette[i][c], 1e-3f)
                    << "column " << column << " cross " << i;
        }
    }
}

TEST(Scene4, ClosingMovementAndTheEndAbout3486FramesIn)
{
    ASSERT_TRUE(open_test_window(80, 60));
    enter_scene(4);
    int frame = 0, done_frame = 0, quit_frame = 0;
    for (uint32_t t = SCENE4_FIRST_MS; !quit_requested && frame < 4000; t += FRAME_MS) {
        const bool was_done = scroll_done;
        const float left = column_x[0], right = column_x[1], divider = divider_x;
        draw_frame_at(t);
        frame++;
        if (scroll_done && !was_done) {
            done_frame = frame;
            EXPECT_GT(scroll_y, 10.5f);
            EXPECT_LE(scroll_y - 0.004f, 10.5f);
            // The frame that sets scroll_done already moves the columns
            // and the lines.
            EXPECT_NEAR(column_x[0], -5.1f - 0.015f, EPS);
            EXPECT_NEAR(column_x[1], 5.1f + 0.015f, EPS);
            EXPECT_NEAR(divider_x, -0.301f, EPS);
            EXPECT_NEAR(divider_gap, 0.602f, EPS);
        } else if (!scroll_done) {
            EXPECT_EQ(column_x[0], left);
            EXPECT_EQ(column_x[1], right);
            EXPECT_EQ(divider_x, divider);
            EXPECT_EQ(divider_gap, 0.6f);
        } else {
            EXPECT_NEAR(column_x[1] - right, 0.015f, EPS);
            EXPECT_NEAR(left - column_x[0], 0.015f, EPS);
            EXPECT_NEAR(divider - divider_x, 0.001f, EPS);
            // The second line mirrors the first.
            EXPECT_EQ(divider_gap, divider_x * -2.0f);
        }
        if (quit_requested) quit_frame = frame;
    }
    // About 3226 frames of scrolling (12.9 at 0.004), then about 261 of
    // closing (5.1 to above 9.0 at 0.015) ending in the same frame.
    EXPECT_EQ(done_frame, 3226);
    EXPECT_EQ(quit_frame, 3486);
    EXPECT_GT(column_x[1], 9.0f);
    EXPECT_LE(column_x[1] - 0.015f, 9.0f);
    EXPECT_EQ(scene_index, 4) << "the last scene never hands over";
}

TEST(Scene4, TheLastLineIsStillOnScreenWhenTheScrollIsDone)
{
    ASSERT_TRUE(open_test_window(800, 600));
    enter_scene(4);
    scroll_y = 10.5f;  // the frame that finishes the scroll
    draw_frame_at(SCENE4_FIRST_MS);
    ASSERT_TRUE(scroll_done);
    std::map<int, int> lines = glyphs_per_line();
    ASSERT_FALSE(lines.empty());
    // The highest line on screen is the last one, "qvt71", near the top.
    EXPECT_EQ(lines.rbegin()->second, 5);
    EXPECT_GT(lines.rbegin()->first, 450);
}
