// What a viewer sees in each scene: frames drawn at 800 x 600 as the frame
// loop draws them, read back and checked for the scene's colours and
// layout. Set BRINDLEC_SCENE_FRAMES to a folder to keep the frames (PPM).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

// Lit colours lie between the material (ambient light only) and twice it
// (the diffuse light facing the surface head-on).
constexpr float LIT_LOW = 1.0f, LIT_HIGH = 2.0f;

Image frame_at(uint16_t scene, uint32_t first, uint32_t at, const char* name)
{
    Image frame;
    if (!open_test_window()) return frame;
    enter_scene(scene);
    run_frames(first, at, [](uint32_t) {});
    frame = capture_frame();
    if (const char* folder = std::getenv("BRINDLEC_SCENE_FRAMES"))
        save_ppm(frame, std::string(folder) + "/" + name + ".ppm");
    return frame;
}

int pixels_of(const Image& frame, const float material[4], float high = LIT_HIGH, int x0 = 0, int y0 = 0,
              int x1 = -1, int y1 = -1)
{
    return count_pixels(frame, [&](Rgb p) { return lit_as(p, material, LIT_LOW, high); }, x0, y0, x1, y1);
}

// Near-white, unsaturated pixels.
bool pale(Rgb p, int floor)
{
    const int low = std::min(p.r, std::min(p.g, p.b)), high = std::max(p.r, std::max(p.g, p.b));
    return low >= floor && high - low <= 30;
}

}  // namespace

TEST(SceneFrames, Scene1WallShowsTheCubesThreeColours)
{
    Image frame = frame_at(1, SCENE1_FIRST_MS, 10020, "scene1");
    ASSERT_EQ(frame.width, 800);
    const float red[4] = {0.85f, 0.2f, 0.0f, 1.0f};
    const float yellow[4] = {0.7f, 0.7f, 0.1f, 1.0f};
    const float blue[4] = {0.0f, 0.3f, 0.7f, 1.0f};
    const int screen = 800 * 600;
    EXPECT_GT(pixels_of(frame, red), screen / 20);
    EXPECT_GT(pixels_of(frame, yellow), screen / 50);
    EXPECT_GT(pixels_of(frame, blue), screen / 50);
    // The wall fills the view: cubes in every corner region.
    for (int x0 : {0, 600})
        for (int y0 : {0, 400})
            EXPECT_GT(count_pixels(frame, [](Rgb p) { return p.r + p.g + p.b > 100; }, x0, y0, x0 + 199, y0 + 199), 4000)
                << "region " << x0 << "," << y0;
}

TEST(SceneFrames, Scene2OrangeBoxInsideThePaleFrame)
{
    Image frame = frame_at(2, SCENE2_FIRST_MS, 70020, "scene2");
    ASSERT_EQ(frame.width, 800);
    ASSERT_EQ(scene2_phase, 3);
    const float orange[4] = {0.8f, 0.3f, 0.1f, 1.0f};
    // The box, at depth 3 and about 0.35 from its centre to a face, in the
    // middle of the view.
    EXPECT_GT(pixels_of(frame, orange, LIT_HIGH, 300, 200, 499, 399), 4000);
    EXPECT_EQ(pixels_of(frame, orange, LIT_HIGH, 0, 0, 199, 599), 0);
    EXPECT_EQ(pixels_of(frame, orange, LIT_HIGH, 600, 0, 799, 599), 0);
    // The frame's lines: pale, around the box.
    PixelBox lines;
    int pale_count = 0;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 800; x++) {
            if (!pale(frame.at(x, y), 215)) continue;
            pale_count++;
            if (lines.count++ == 0) lines.left = lines.right = x, lines.top = lines.bottom = y;
            lines.left = std::min(lines.left, x);
            lines.right = std::max(lines.right, x);
            lines.top = std::min(lines.top, y);
            lines.bottom = std::max(lines.bottom, y);
        }
    EXPECT_GT(pale_count, 300);
    EXPECT_LT(lines.left, 320);
    EXPECT_GT(lines.right, 480);
    EXPECT_LT(lines.top, 220);
    EXPECT_GT(lines.bottom, 380);
}

TEST(SceneFrames, Scene3TrainShowsTheSevenPaletteColours)
{
    Image frame = frame_at(3, SCENE3_FIRST_MS, 100020, "scene3");
    ASSERT_EQ(frame.width, 800);
    // The front faces of the frames face the light at about 0.2: lit at
    // 1.0 to 1.5 times the material.
    for (int c = 0; c < 7; c++) EXPECT_GT(pixels_of(frame, object_palette[c], 1.5f), 150) << "colour " << c;
    // Still sliding in from the right: nothing on the left half.
    EXPECT_EQ(count_pixels(frame, [](Rgb p) { return p.r + p.g + p.b > 30; }, 0, 0, 399, 599), 0);
}

TEST(SceneFrames, Scene4TextScrollsBetweenTheDividerLines)
{
    Image frame = frame_at(4, SCENE4_FIRST_MS, SCENE4_FIRST_MS + 399 * 30, "scene4");
    ASSERT_EQ(frame.width, 800);
    // The divider lines stand at x = -+0.3 at depth 1: window x 182.7 and
    // 617.3, three pixels wide, grey, over the whole height.
    auto line_column = [&](int from, int to) {
        int best = -1, best_count = 0;
        for (int x = from; x <= to; x++) {
            int count = count_pixels(frame, [](Rgb p) { return pale(p, 190); }, x, 0, x, 599);
            if (count > best_count) best = x, best_count = count;
        }
        EXPECT_GT(best_count, 580) << "no line between " << from << " and " << to;
        return best;
    };
    const int left = line_column(170, 195), right = line_column(605, 630);
    EXPECT_NEAR(left, 183, 2);
    EXPECT_NEAR(right, 617, 2);
    // The text: near-white glyphs starting just right of the left line,
    // none to its left, on several lines.
    const int text = count_pixels(frame, [](Rgb p) { return pale(p, 225); }, left + 3, 0, 799, 599);
    EXPECT_GT(text, 3000);
    EXPECT_EQ(count_pixels(frame, [](Rgb p) { return pale(p, 225); }, 0, 0, left - 3, 599), 0);
    int text_rows = 0;
    for (int y = 0; y < 600; y++)
        if (count_pixels(frame, [](Rgb p) { return pale(p, 225); }, left + 3, y, right - 3, y) > 0) text_rows++;
    EXPECT_GT(text_rows, 150);
    // The crosses: coloured, outside the lines.
    auto coloured = [](Rgb p) { return std::max(p.r, std::max(p.g, p.b)) - std::min(p.r, std::min(p.g, p.b)) > 80; };
    EXPECT_GT(count_pixels(frame, coloured, 0, 0, left - 3, 599), 5000);
    EXPECT_GT(count_pixels(frame, coloured, right + 3, 0, 799, 599), 5000);
    EXPECT_EQ(count_pixels(frame, coloured, left + 3, 0, right - 3, 599), 0);
}
