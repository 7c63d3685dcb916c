// The whole intro at one frame every 30 ms from 120 ms on: when each scene
// takes over and when the end scroller ends the intro.
#include <vector>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

TEST(Timeline, ScenesFollowEachOtherAndTheIntroEndsByItself)
{
    ASSERT_TRUE(open_test_window(80, 60));  // the timeline does not depend on the window size
    // Scene 0 ends at 6900, scene 1 in the first frame after 51000, scene 2
    // in the first after 95000, scene 3 in the first at or after 125000;
    // the end scroller quits in its 3486th frame.
    const std::vector<uint32_t> want = {6900, 51030, 95010, 125010};
    std::vector<uint32_t> changes;
    uint32_t t = FIRST_FRAME_MS;
    for (uint16_t scene = 0; !quit_requested && t < 300000; t += FRAME_MS) {
        draw_frame_at(t);
        if (scene_index != scene) changes.push_back(t), scene = scene_index;
    }
    EXPECT_EQ(changes, want);
    EXPECT_EQ(scene_index, 4);
    EXPECT_EQ(t - FRAME_MS, 125040u + 3485 * 30);
}
