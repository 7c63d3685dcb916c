// The frame loop on the headless backend's virtual clock: pacing, the
// clock's wrap, late frames, messages and the ways the intro ends.
#include <gtest/gtest.h>

#include "tests/support/gl_probe.h"

namespace {

struct FrameLog {
    std::vector<uint32_t> elapsed;  // elapsed_ms of each frame drawn after the black start-up frame
    size_t stop_after = 0;          // frames, 0: run on
    uint32_t render_cost_ms = 0;    // virtual time each frame takes
};

// Runs the intro until `stop_after` frames were drawn (or it ends itself).
FrameLog run_frames(size_t stop_after, uint32_t render_cost_ms = 0)
{
    static FrameLog log;
    log = FrameLog{{}, stop_after ? stop_after + 1 : 0, render_cost_ms};
    headless_set_swap_hook([](void*) {
        log.elapsed.push_back(elapsed_ms);
        headless_set_clock(headless_clock() + log.render_cost_ms);
        if (log.stop_after && log.elapsed.size() >= log.stop_after) quit_requested = true;
    }, nullptr);
    display_choice = CHOICE_WINDOWED;
    EXPECT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
    log.elapsed.erase(log.elapsed.begin());
    return log;
}

// The last frame drawn when `message` arrives `at` ms into the run; the
// window must be gone afterwards.
uint32_t last_frame_before(PlatformMessage message, uint32_t at)
{
    headless_queue_message(message, headless_clock() + at);
    FrameLog log = run_frames(0);
    EXPECT_FALSE(headless_window_exists());
    return log.elapsed.empty() ? 0 : log.elapsed.back();
}

}  // namespace

TEST(FrameWait, WakesJustBeforeTheFrameIsDue)
{
    const uint32_t cases[][3] = {
        // elapsed, next frame, wait
        {0, 120, 119}, {100, 120, 19}, {118, 120, 1}, {119, 120, 0}, {120, 120, 0},
        {121, 120, 0},                   // late: no wait at all
        {0xFFFFFFF0u, 0x0000000Eu, 29},  // due across the clock's wrap
        {5000, 30, 0},                   // long overdue (minimised)
    };
    for (const auto& c : cases) EXPECT_EQ(frame_wait_ms(c[0], c[1]), c[2]) << c[0] << " -> " << c[1];
}

TEST(FrameLoop, FirstFrameAt120ThenEvery30Ms)
{
    EXPECT_EQ(run_frames(6).elapsed, (std::vector<uint32_t>{120, 150, 180, 210, 240, 270}));
}

TEST(FrameLoop, LateFrameIsNotMadeUp)
{
    // Each frame takes 45 ms: the next is due 30 ms after the late one's
    // clock reading, so it starts at once.
    EXPECT_EQ(run_frames(4, 45).elapsed, (std::vector<uint32_t>{120, 165, 210, 255}));
}

TEST(FrameLoop, ClockWrapsWithoutAJump)
{
    headless_set_clock(0xFFFFFF00u);
    EXPECT_EQ(run_frames(8).elapsed, (std::vector<uint32_t>{120, 150, 180, 210, 240, 270, 300, 330}));
}

TEST(FrameLoop, EscapeEndsTheIntroAndOtherKeysDoNot)
{
    PlatformMessage key = {};
    key.type = MESSAGE_KEY_DOWN;
    key.key = 'A';
    headless_queue_message(key, headless_clock() + 200);
    key.key = KEY_ESCAPE;
    const uint32_t last = last_frame_before(key, 400);
    EXPECT_GE(last, 360u);
    EXPECT_LE(last, 400u);
}

TEST(FrameLoop, ClosingTheWindowEndsTheIntro)
{
    PlatformMessage close = {};
    close.type = MESSAGE_CLOSE;
    const uint32_t last = last_frame_before(close, 300);
    EXPECT_GE(last, 270u);
    EXPECT_LE(last, 300u);
}

TEST(FrameLoop, MinimisedWindowSkipsTimeButNotAnimation)
{
    // Minimised from 1 s to 11 s: no frames in between, and the first frame
    // after the restore sees the clock ten seconds on.
    const uint32_t start = headless_clock();
    PlatformMessage activate = {};
    activate.type = MESSAGE_ACTIVATE;
    activate.minimised = true;
    headless_queue_message(activate, start + 1000);
    activate.minimised = false;
    headless_queue_message(activate, start + 11000);
    FrameLog log = run_frames(40);
    size_t gap = 0;
    for (size_t i = 1; i < log.elapsed.size(); i++) gap = log.elapsed[i] - log.elapsed[i - 1] > 30 ? i : gap;
    ASSERT_NE(gap, 0u);
    EXPECT_LE(log.elapsed[gap - 1], 1000u);
    EXPECT_GE(log.elapsed[gap], 11000u);
    EXPECT_LE(log.elapsed[gap], 11001u);
}
