// The frame loop on the headless backend's virtual clock: pacing, the
// clock's wrap, late frames, messages and the ways the intro ends.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/gl_probe.h"

namespace {

struct FrameLog {
    std::vector<uint32_t> elapsed;  // elapsed_ms of each drawn frame
    size_t stop_after = 0;          // frames, 0: run on
    uint32_t render_cost_ms = 0;    // virtual time each frame takes
};

void log_frame(void* context)
{
    FrameLog* log = static_cast<FrameLog*>(context);
    log->elapsed.push_back(elapsed_ms);
    headless_set_clock(headless_clock() + log->render_cost_ms);
    if (log->stop_after && log->elapsed.size() >= log->stop_after) quit_requested = true;
}

// Runs the intro until `stop_after` frames were drawn; the first entry of
// the log is the black start-up frame (elapsed_ms 0).
FrameLog run_frames(size_t stop_after, uint32_t render_cost_ms = 0)
{
    static FrameLog log;
    log = FrameLog{};
    log.stop_after = stop_after ? stop_after + 1 : 0;
    log.render_cost_ms = render_cost_ms;
    headless_set_swap_hook(log_frame, &log);
    display_choice = CHOICE_WINDOWED;
    EXPECT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
    log.elapsed.erase(log.elapsed.begin());
    return log;
}

}  // namespace

TEST(FrameWait, WakesJustBeforeTheFrameIsDue)
{
    struct Case {
        uint32_t elapsed, next_frame, wait;
    } cases[] = {
        {0, 120, 119}, {100, 120, 19}, {118, 120, 1}, {119, 120, 0}, {120, 120, 0},
        {121, 120, 0},  // late: no wait at all
        {0xFFFFFFF0u, 0x0000000Eu, 29},  // due across the clock's wrap
        {5000, 30, 0},  // long overdue (minimised)
    };
    for (const Case& c : cases)
        EXPECT_EQ(frame_wait_ms(c.elapsed, c.next_frame), c.wait) << c.elapsed << " -> " << c.next_frame;
}

TEST(FrameLoop, FirstFrameAt120ThenEvery30Ms)
{
    FrameLog log = run_frames(6);
    EXPECT_EQ(log.elapsed, (std::vector<uint32_t>{120, 150, 180, 210, 240, 270}));
}

TEST(FrameLoop, LateFrameIsNotMadeUp)
{
    // Each frame takes 45 ms: the next one is due 30 ms after the clock
    // reading of the late one, so it starts at once, 45 ms later.
    FrameLog log = run_frames(4, 45);
    EXPECT_EQ(log.elapsed, (std::vector<uint32_t>{120, 165, 210, 255}));
}

TEST(FrameLoop, ClockWrapsWithoutAJump)
{
    headless_set_clock(0xFFFFFF00u);
    FrameLog log = run_frames(12);
    ASSERT_EQ(log.elapsed.size(), 12u);
    for (size_t i = 0; i < log.elapsed.size(); i++) EXPECT_EQ(log.elapsed[i], 120 + 30 * i);
}

TEST(FrameLoop, EscapeEndsTheIntroWithStatusZero)
{
    PlatformMessage other = {};
    other.type = MESSAGE_KEY_DOWN;
    other.key = 'A';
    PlatformMessage escape = other;
    escape.key = KEY_ESCAPE;
    uint32_t start = headless_clock();
    headless_queue_message(other, start + 200);
    headless_queue_message(escape, start + 400);
    FrameLog log = run_frames(0);
    // Frames up to the Esc at about 400 ms; the other key changed nothing.
    ASSERT_FALSE(log.elapsed.empty());
    EXPECT_GE(log.elapsed.back(), 360u);
    EXPECT_LE(log.elapsed.back(), 400u);
    EXPECT_FALSE(headless_window_exists());
}

TEST(FrameLoop, ClosingTheWindowPostsQuit)
{
    PlatformMessage close = {};
    close.type = MESSAGE_CLOSE;
    headless_queue_message(close, headless_clock() + 300);
    FrameLog log = run_frames(0);
    ASSERT_FALSE(log.elapsed.empty());
    EXPECT_LE(log.elapsed.back(), 300u);
    EXPECT_FALSE(headless_window_exists());
}

TEST(FrameLoop, MinimisedWindowSkipsTimeButNotAnimation)
{
    // Minimised from 1 s to 11 s: no frames in between, and the first frame
    // after the restore sees the clock ten seconds on.
    uint32_t start = headless_clock();
    PlatformMessage minimise = {};
    minimise.type = MESSAGE_ACTIVATE;
    minimise.minimised = true;
    PlatformMessage restore = minimise;
    restore.minimised = false;
    headless_queue_message(minimise, start + 1000);
    headless_queue_message(restore, start + 11000);
    FrameLog log = run_frames(40);
    size_t gap = 0;
    for (size_t i = 1; i < log.elapsed.size(); i++)
        if (log.elapsed[i] - log.elapsed[i - 1] > 30) gap = i;
    ASSERT_NE(gap, 0u);
    EXPECT_LE(log.elapsed[gap - 1], 1000u);
    EXPECT_GE(log.elapsed[gap], 11000u);
    EXPECT_LE(log.elapsed[gap], 11001u);
}

TEST(FrameLoop, TitlesEndAndSceneOneBeginsInOrder)
{
    FrameLog log = run_frames(230);  // up to 6990 ms
    EXPECT_EQ(log.elapsed.back(), 120u + 229 * 30);
    EXPECT_EQ(scene_index, 1);
    EXPECT_TRUE(music_started);
}
