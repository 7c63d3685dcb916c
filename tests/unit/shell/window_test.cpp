// Opening and closing the window: the question, the two modes, every
// failure path, and the fixed GL state.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/gl_probe.h"

namespace {

const std::string crash_box = "ERROR|D'oh! It's crashed!";
const std::string mode_box = "ERROR|Your computer doesn't support this display mode...";

void quit_at_first_frame(void*) { quit_requested = true; }

int run_one_frame(void)
{
    headless_set_swap_hook(quit_at_first_frame, nullptr);
    return run_intro(nullptr, nullptr, nullptr, 0);
}

}  // namespace

TEST(Question, NoGivesAnEightHundredBySixHundredWindow)
{
    headless_set_answer(ANSWER_NO);
    EXPECT_EQ(run_one_frame(), 0);
    EXPECT_EQ(headless_questions_asked(), 1);
    EXPECT_EQ(headless_window_width(), 800);
    EXPECT_EQ(headless_window_height(), 600);
    EXPECT_FALSE(fullscreen);
    EXPECT_TRUE(headless_messages_shown().empty());
}

TEST(Question, YesGivesFullScreenAndRestoresTheDisplay)
{
    struct Seen {
        bool mode_changed = false, cursor_visible = true;
        int width = 0;
    };
    static Seen seen;
    headless_set_answer(ANSWER_YES);
    headless_set_swap_hook(
        [](void*) {
            seen.mode_changed = headless_display_mode_changed();
            seen.cursor_visible = headless_cursor_visible();
            seen.width = headless_window_width();
            quit_requested = true;
        },
        nullptr);
    EXPECT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_TRUE(seen.mode_changed);
    EXPECT_FALSE(seen.cursor_visible);
    EXPECT_EQ(seen.width, 1024);
    EXPECT_FALSE(headless_display_mode_changed());
    EXPECT_TRUE(headless_cursor_visible());
}

TEST(Question, UnanswerableQuestionPlaysWindowed)
{
    headless_set_answer(ANSWER_FAILED);
    EXPECT_EQ(run_one_frame(), 0);
    EXPECT_EQ(headless_window_width(), 800);
}

TEST(Question, CommandLineChoiceSkipsTheQuestion)
{
    display_choice = CHOICE_FULLSCREEN;
    EXPECT_EQ(run_one_frame(), 0);
    EXPECT_EQ(headless_questions_asked(), 0);
    EXPECT_TRUE(fullscreen);
}

TEST(OpenFailures, EachIsReportedAndUnwound)
{
    struct Case {
        unsigned failure;
        PlatformAnswer answer;
        std::string message;
        bool display_touched;
    } cases[] = {
        {FAIL_REGISTER_CLASS, ANSWER_NO, crash_box, false},
        {FAIL_DISPLAY_MODE, ANSWER_YES, mode_box, false},
        {FAIL_CREATE_WINDOW, ANSWER_NO, crash_box, false},
        {FAIL_GL_CONTEXT, ANSWER_YES, crash_box, false},  // mode restored on the way out
    };
    for (const Case& c : cases) {
        // Each case in a fresh state: the shell's globals are reset by hand.
        fullscreen = false;
        headless_set_failures(c.failure);
        headless_set_answer(c.answer);
        size_t before = headless_messages_shown().size();
        EXPECT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
        ASSERT_EQ(headless_messages_shown().size(), before + 1) << c.failure;
        EXPECT_EQ(headless_messages_shown().back(), c.message);
        EXPECT_FALSE(headless_window_exists());
        EXPECT_EQ(headless_display_mode_changed(), c.display_touched);
        EXPECT_EQ(headless_swap_count(), 0);
    }
}

TEST(CloseFailures, EachFailingReleaseShowsTheCrashBox)
{
    headless_set_failures(FAIL_RELEASE_CONTEXT | FAIL_DESTROY_WINDOW);
    EXPECT_EQ(run_one_frame(), 0);
    EXPECT_EQ(headless_messages_shown(), (std::vector<std::string>{crash_box, crash_box}));
}

TEST(GlState, FixedStateAfterOpening)
{
    ASSERT_TRUE(open_test_window());
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));  // on only when the titles end
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_SMOOTH));
    EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH));
    GLint value = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    for (GLenum hint : {GL_PERSPECTIVE_CORRECTION_HINT, GL_POLYGON_SMOOTH_HINT, GL_LINE_SMOOTH_HINT}) {
        glGetIntegerv(hint, &value);
        EXPECT_EQ(value, GL_NICEST);
    }
    GLfloat colour[4];
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.8f);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, colour);
    EXPECT_FLOAT_EQ(colour[1], 1.0f);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.0f);
    EXPECT_NE(font_base, 0u);
    EXPECT_TRUE(glIsList(font_base + ('A' - 32)));
    EXPECT_TRUE(glIsList(cube_list));
    // The meshes are built after the font, in the order cross, cube, triangle.
    EXPECT_LT(font_base, cross_list);
    EXPECT_LT(cross_list, cube_list);
    EXPECT_LT(cube_list, triangle_list);
    close_gl_window();
}

TEST(ResizeView, ViewportAndProjectionFollowTheClientArea)
{
    ASSERT_TRUE(open_test_window());
    struct Case {
        int width, height;
        int viewport_height;
        double aspect;
    } cases[] = {{800, 600, 600, 800.0 / 600.0}, {1024, 768, 768, 1024.0 / 768.0},
                 {640, 0, 1, 640.0}};
    for (const Case& c : cases) {
        PlatformMessage size = {};
        size.type = MESSAGE_SIZE;
        size.width = c.width;
        size.height = c.height;
        window_procedure(size);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], c.width);
        EXPECT_EQ(viewport[3], c.viewport_height);
        GLdouble projection[16];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        // gluPerspective: m[0] = f / aspect, m[5] = f, f = cot(22.5 degrees).
        EXPECT_NEAR(projection[5] / projection[0], c.aspect, 1e-4);
        EXPECT_NEAR(projection[5], 2.4142135, 1e-5);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
    close_gl_window();
}

TEST(WindowProcedure, ActivationFollowsTheMinimisedFlagOnly)
{
    PlatformMessage activate = {};
    activate.type = MESSAGE_ACTIVATE;
    activate.minimised = true;
    window_procedure(activate);
    EXPECT_FALSE(window_active);
    activate.minimised = false;
    window_procedure(activate);
    EXPECT_TRUE(window_active);
    PlatformMessage key = {};
    key.type = MESSAGE_KEY_DOWN;
    key.key = ' ';
    window_procedure(key);
    EXPECT_FALSE(quit_requested);
    key.key = KEY_ESCAPE;
    window_procedure(key);
    EXPECT_TRUE(quit_requested);
}
