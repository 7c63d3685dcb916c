// The shell on the headless backend: the frame loop's pacing on the
// virtual clock, messages and the ways the intro ends; the question, the
// window's failure paths, its GL state and view.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/intro_run.h"

namespace {

const std::string crash_box = "ERROR|D'oh! It's crashed!";
const std::string mode_box = "ERROR|Your computer doesn't support this display mode...";

// elapsed_ms of the frames drawn, each taking `cost` ms, until `count`
// were drawn or the intro ended.
std::vector<uint32_t> frames_drawn(size_t count, uint32_t cost = 0)
{
    std::vector<uint32_t> frames;
    EXPECT_EQ(run_intro_frames([&](uint32_t t) {
        frames.push_back(t);
        frame_took_until(t + cost);
        quit_requested |= frames.size() == count;
    }), 0);
    EXPECT_FALSE(headless_window_exists());
    return frames;
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
    EXPECT_EQ(frames_drawn(5), (std::vector<uint32_t>{120, 150, 180, 210, 240}));
}

TEST(FrameLoop, LateFrameIsNotMadeUp)
{
    // The next frame is due 30 ms after the late one began, so it starts at once.
    EXPECT_EQ(frames_drawn(4, 45), (std::vector<uint32_t>{120, 165, 210, 255}));
}

TEST(FrameLoop, ClockWrapsWithoutAJump)
{
    headless_set_clock(0xFFFFFF00u);
    EXPECT_EQ(frames_drawn(10), (std::vector<uint32_t>{120, 150, 180, 210, 240, 270, 300, 330, 360, 390}));
}

// Messages queued at 300 ms end the intro there (Esc after another key
// that must not end it).
void expect_end_at_300(const std::vector<PlatformMessage>& messages)
{
    for (const PlatformMessage& m : messages) queue_at(300, m);
    const uint32_t last = frames_drawn(0).back();
    EXPECT_TRUE(last >= 270 && last <= 300) << last;
}
TEST(FrameLoop, EscapeEndsTheIntroAndOtherKeysDoNot)
{
    expect_end_at_300({{MESSAGE_KEY_DOWN, 0, 0, false, 'A', 0}, {MESSAGE_KEY_DOWN, 0, 0, false, KEY_ESCAPE, 0}});
}
TEST(FrameLoop, ClosingTheWindowEndsTheIntro) { expect_end_at_300({{MESSAGE_CLOSE, 0, 0, false, 0, 0}}); }

TEST(FrameLoop, MinimisedWindowSkipsTimeButNotAnimation)
{
    // Minimised from 1 s to 11 s: no frames in between, and the first
    // after the restore sees the clock ten seconds on.
    queue_at(1000, activation(true));
    queue_at(11000, activation(false));
    const std::vector<uint32_t> frames = frames_drawn(40);
    const auto gap =
        std::adjacent_find(frames.begin(), frames.end(), [](uint32_t a, uint32_t b) { return b - a > 30; });
    ASSERT_NE(gap, frames.end());
    EXPECT_EQ(gap[0], 990u);
    EXPECT_TRUE(gap[1] >= 11000 && gap[1] <= 11001) << gap[1];
}

TEST(Question, TheAnswerOrTheCommandLinePicksTheModeAndTheDisplayIsRestored)
{
    const struct {
        PlatformAnswer answer;
        DisplayChoice choice;
        int width, questions_asked;
    } cases[] = {{ANSWER_NO, CHOICE_ASK, 800, 1}, {ANSWER_FAILED, CHOICE_ASK, 800, 2},
                 {ANSWER_YES, CHOICE_ASK, 1024, 3}, {ANSWER_NO, CHOICE_FULLSCREEN, 1024, 3}};
    for (const auto& c : cases) {
        quit_requested = false;  // the shell's state is reset by hand between runs
        headless_set_answer(c.answer);
        const bool full = c.width == 1024;
        EXPECT_EQ(run_intro_frames([&](uint32_t) {
            // Width, height, display mode bits, cursor.
            EXPECT_EQ(std::vector<int>({headless_window_width(), headless_window_height(), headless_display_mode_bits(),
                                        headless_cursor_visible()}),
                      std::vector<int>({c.width, full ? 768 : 600, full ? 32 : 0, !full}));
            quit_requested = true;
        }, 0, 0, c.choice), 0);
        // Questions, full screen, and the display mode and cursor restored.
        EXPECT_EQ(std::vector<int>({headless_questions_asked(), fullscreen, headless_display_mode_bits(),
                                    headless_cursor_visible()}),
                  std::vector<int>({c.questions_asked, full, 0, true}));
    }
    EXPECT_TRUE(headless_messages_shown().empty());
}

TEST(OpenFailures, EachIsReportedAndUnwound)
{
    const struct {
        unsigned failure;
        PlatformAnswer answer;
        const std::string& message;
    } cases[] = {
        {FAIL_REGISTER_CLASS, ANSWER_NO, crash_box},
        {FAIL_DISPLAY_MODE, ANSWER_YES, mode_box},
        {FAIL_CREATE_WINDOW, ANSWER_NO, crash_box},
        {FAIL_GL_CONTEXT, ANSWER_YES, crash_box},  // the mode is restored on the way out
    };
    for (const auto& c : cases) {
        fullscreen = false;  // the shell's globals are reset by hand between cases
        headless_set_failures(c.failure);
        headless_set_answer(c.answer);
        const size_t before = headless_messages_shown().size();
        EXPECT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
        ASSERT_EQ(headless_messages_shown().size(), before + 1) << c.failure;
        EXPECT_EQ(headless_messages_shown().back(), c.message);
        EXPECT_EQ(std::vector<int>({headless_window_exists(), headless_display_mode_bits(), headless_swap_count()}),
                  std::vector<int>({0, 0, 0})) << "window, display mode, swaps: " << c.failure;
    }
}

TEST(CloseFailures, EachFailingReleaseShowsTheCrashBox)
{
    headless_set_failures(FAIL_RELEASE_CONTEXT | FAIL_DESTROY_WINDOW);
    in_first_frame([] {});
    EXPECT_EQ(headless_messages_shown(), (std::vector<std::string>{crash_box, crash_box}));
}

TEST(GlState, FixedStateAndTheListsInTheirOrder)
{
    in_first_frame([] {
        for (GLenum on : {GL_LIGHT0, GL_DEPTH_TEST, GL_NORMALIZE}) EXPECT_TRUE(glIsEnabled(on)) << on;
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << "lighting comes on when the titles end";
        // What the start-up's warm-up drew with is undone: OpenGL's defaults.
        // The materials' front ambient and back diffuse colours, the rest glGetFloatv's.
        const std::pair<GLenum, std::vector<GLfloat>> defaults[] = {
            {GL_CURRENT_COLOR, {1, 1, 1, 1}},          {GL_CURRENT_NORMAL, {0, 0, 1}},
            {GL_AMBIENT, {0.2f, 0.2f, 0.2f, 1}},       {GL_DIFFUSE, {0.8f, 0.8f, 0.8f, 1}},
            {GL_POLYGON_MODE, {GL_FILL, GL_FILL}},     {GL_LINE_WIDTH, {1}},
            {GL_MODELVIEW_MATRIX, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        };
        for (const auto& [name, value] : defaults) {
            std::vector<GLfloat> got(16, -1);
            const bool material = name == GL_AMBIENT || name == GL_DIFFUSE;
            if (material) glGetMaterialfv(name == GL_AMBIENT ? GL_FRONT : GL_BACK, name, got.data());
            else glGetFloatv(name, got.data());
            got.resize(value.size());
            EXPECT_EQ(got, value) << std::hex << name;
        }
        // The meshes take the lists after the large font's, in the order
        // cross, cube, triangle.
        const GLuint after_font = font_base + FONT_GLYPHS;
        EXPECT_TRUE(glIsList(font_base) && glIsList(triangle_list));
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f), glClear(GL_COLOR_BUFFER_BIT);  // read back whole: every pixel
        const std::vector<uint8_t> rgb = headless_read_pixels(), row = {51, 102, 153};
        for (size_t i = 0; i < rgb.size(); i += 3) ASSERT_TRUE(std::equal(row.begin(), row.end(), &rgb[i])) << i;
        EXPECT_EQ(std::vector<GLuint>({cross_list, cube_list, triangle_list}),
                  std::vector<GLuint>({after_font, after_font + 1, after_font + 2}));
    });
}

// The smallest picture a capture can ask for is the window the intro gets.
TEST(ResizeView, AOnePixelPictureIsTheWindow)
{
    run_intro_frames([](uint32_t) {
        EXPECT_EQ(std::make_pair(headless_window_width(), headless_window_height()), std::make_pair(1, 1));
        quit_requested = true;
    }, 1, 1);
}

TEST(ResizeView, ViewportAndProjectionFollowTheClientArea)
{
    in_first_frame([] {
        const struct {
            int width, height, viewport_height;
            double aspect;
        } cases[] = {{800, 600, 600, 800.0 / 600.0}, {1024, 768, 768, 1024.0 / 768.0}, {640, 0, 1, 640.0}};
        for (const auto& c : cases) {
            if (&c != cases) window_procedure({MESSAGE_SIZE, c.width, c.height, false, 0, 0});  // 0: as opened
            GLint viewport[4], mode = 0;
            glGetIntegerv(GL_VIEWPORT, viewport);
            EXPECT_EQ(std::make_pair(viewport[2], viewport[3]), std::make_pair(c.width, c.viewport_height));
            GLdouble projection[16];
            glGetDoublev(GL_PROJECTION_MATRIX, projection);
            // gluPerspective: m[0] = f / aspect, m[5] = f = cot(22.5 degrees).
            EXPECT_NEAR(projection[5] / projection[0], c.aspect, 1e-4);
            EXPECT_NEAR(projection[5], 2.4142135, 1e-5);
            glGetIntegerv(GL_MATRIX_MODE, &mode);
            EXPECT_EQ(mode, GL_MODELVIEW);
        }
    });
}
