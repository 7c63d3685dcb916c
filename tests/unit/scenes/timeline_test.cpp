// The whole intro, scene after scene, at one frame every 30 ms from 120 ms
// on: when each scene takes over and when the end scroller ends the intro.
#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

TEST(Timeline, ScenesFollowEachOtherAndTheIntroEndsByItself)
{
    // A small window: the timeline does not depend on the window size.
    ASSERT_TRUE(open_test_window(80, 60));
    struct Change {
        uint16_t scene;
        uint32_t t;
    };
    // Scene 0 ends at 6900, scene 1 in the first frame after 51000, scene 2
    // in the first after 95000 (its last phase is reached at full rate),
    // scene 3 in the first at or after 125000; the end scroller needs 3486
    // frames from its first frame at 125040.
    const std::vector<Change> want = {{1, 6900}, {2, 51030}, {3, 95010}, {4, 125010}};
    const uint32_t want_end = 125040 + 3485 * 30;
    std::vector<Change> got;
    uint16_t scene = scene_index;
    uint32_t t = FIRST_FRAME_MS;
    int frames = 0;
    for (; frames < 9000; t += FRAME_MS) {
        draw_frame_at(t);
        frames++;
        if (scene_index != scene) got.push_back({scene = scene_index, t});
        if (quit_requested) break;
    }
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(got[i].scene, want[i].scene);
        EXPECT_EQ(got[i].t, want[i].t) << "scene " << want[i].scene;
    }
    EXPECT_TRUE(quit_requested);
    EXPECT_EQ(t, want_end);
    EXPECT_EQ(t, 229590u);
    EXPECT_EQ(frames, 7650);
}
