// What a viewer sees in each scene: frames drawn at 800 x 600 as the frame
// loop draws them, checked for the scene's colours and layout.
#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

Image frame_at(uint16_t scene, uint32_t first, uint32_t at)
{
    EXPECT_TRUE(open_test_window());
    enter_scene(scene);
    run_frames(first, at, [](uint32_t) {});
    return Image();
}

// Pixels of `material` lit between the material (ambient light alone) and
// `high` times it.
int lit_pixels(const Image& frame, const float material[4], float high, int x0 = 0, int y0 = 0, int x1 = -1,
               int y1 = -1)
{
    return count_pixels(frame, [&](Rgb p) { return lit_as(p, material, 1.0f, high); }, x0, y0, x1, y1);
}

// Near-white, unsaturated pixels.
auto pale(int floor)
{
    return [floor](Rgb p) {
        const int low = std::min({p.r, p.g, p.b}), high = std::max({p.r, p.g, p.b});
        return low >= floor && high - low <= 30;
    };
}

}  // namespace

TEST(SceneFrames, Scene2OrangeBoxInsideThePaleFrame)
{
    Image frame = frame_at(2, SCENE2_FIRST_MS, 70020);
    ASSERT_EQ(scene2_phase, 3);
    const float orange[4] = {0.8f, 0.3f, 0.1f, 1.0f};
    EXPECT_GT(lit_pixels(frame, orange, 2.0f, 300, 200, 499, 399), 4000);
    EXPECT_EQ(lit_pixels(frame, orange, 2.0f, 0, 0, 199, 599), 0);
    EXPECT_EQ(lit_pixels(frame, orange, 2.0f, 600, 0, 799, 599), 0);
    PixelBox lines = pixel_box(frame, pale(215));
    EXPECT_GT(lines.count, 300);
    EXPECT_LT(lines.left, 320);
    EXPECT_GT(lines.right, 480);
    EXPECT_LT(lines.top, 220);
    EXPECT_GT(lines.bottom, 380);
}

TEST(SceneFrames, Scene4TextScrollsBetweenTheDividerLinesAndTheCrossesOutside)
{
    Image frame = frame_at(4, SCENE4_FIRST_MS, SCENE4_FIRST_MS + 399 * 30);
    // The divider lines at x = -+0.3, depth 1: window x 182.7 and 617.3,
    // grey over the whole height.
    auto line_column = [&](int from, int to) {
        int best = -1, best_count = 0;
        for (int x = from; x <= to; x++) {
            const int count = count_pixels(frame, pale(190), x, 0, x, 599);
            if (count > best_count) best = x, best_count = count;
        }
        EXPECT_GT(best_count, 580) << "no line between " << from << " and " << to;
        return best;
    };
    const int left = line_column(170, 195), right = line_column(605, 630);
    EXPECT_NEAR(left, 183, 2);
    EXPECT_NEAR(right, 617, 2);
    PixelBox text = pixel_box(frame, pale(225), left + 3, 0, 799, 599);
    EXPECT_GT(text.count, 3000);
    EXPECT_GT(text.bottom - text.top, 150);
    EXPECT_EQ(count_pixels(frame, pale(225), 0, 0, left - 3, 599), 0);
    auto coloured = [](Rgb p) { return std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 80; };
    EXPECT_GT(count_pixels(frame, coloured, 0, 0, left - 3, 599), 5000);
    EXPECT_GT(count_pixels(frame, coloured, right + 3, 0, 799, 599), 5000);
    EXPECT_EQ(count_pixels(frame, coloured, left + 3, 0, right - 3, 599), 0);
}
