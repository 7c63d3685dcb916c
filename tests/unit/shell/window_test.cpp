// Opening and closing the window: the question, the two modes, every
// failure path, the fixed GL state and the window procedure.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/gl_probe.h"

namespace {

const std::string crash_box = "ERROR|D'oh! It's crashed!";
const std::string mode_box = "ERROR|Your computer doesn't support this display mode...";

int run_one_frame(void)
{
    headless_set_swap_hook([](void*) { quit_requested = true; }, nullptr);
    return run_intro(nullptr, nullptr, nullptr, 0);
}

}  // namespace

TEST(Question, TheAnswerOrTheCommandLinePicksTheModeAndTheDisplayIsRestored)
{
    static bool mode_changed, cursor_visible;
    static int width, height;
    const struct {
        PlatformAnswer answer;
        DisplayChoice choice;
        int width, questions_asked;
    } cases[] = {{ANSWER_NO, CHOICE_ASK, 800, 1}, {ANSWER_FAILED, CHOICE_ASK, 800, 2},
                 {ANSWER_YES, CHOICE_ASK, 1024, 3}, {ANSWER_NO, CHOICE_FULLSCREEN, 1024, 3}};
    for (const auto& c : cases) {
        quit_requested = false;  // the shell's state is reset by hand between runs
        width = height = 0;
        headless_set_answer(c.answer);
        display_choice = c.choice;
        headless_set_swap_hook([](void*) {
            mode_changed = headless_display_mode_changed();
            cursor_visible = headless_cursor_visible();
            width = headless_window_width(), height = headless_window_height();
            quit_requested = true;
        }, nullptr);
        EXPECT_EQ(run_intro(nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(headless_questions_asked(), c.questions_asked);
        const bool full = c.width == 1024;
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, full ? 768 : 600);
        EXPECT_EQ(fullscreen, full);
        EXPECT_EQ(mode_changed, full);
        EXPECT_EQ(cursor_visible, !full);
        EXPECT_FALSE(headless_display_mode_changed()) << "restored";
        EXPECT_TRUE(headless_cursor_visible());
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
        EXPECT_FALSE(headless_window_exists());
        EXPECT_FALSE(headless_display_mode_changed());
        EXPECT_EQ(headless_swap_count(), 0);
    }
}

TEST(CloseFailures, EachFailingReleaseShowsTheCrashBox)
{
    headless_set_failures(FAIL_RELEASE_CONTEXT | FAIL_DESTROY_WINDOW);
    EXPECT_EQ(run_one_frame(), 0);
    EXPECT_EQ(headless_messages_shown(), (std::vector<std::string>{crash_box, crash_box}));
}

TEST(GlState, FixedStateFontAndMeshesAfterOpening)
{
    ASSERT_TRUE(open_test_window());
    for (GLenum on : {GL_LIGHT0, GL_DEPTH_TEST, GL_NORMALIZE}) EXPECT_TRUE(glIsEnabled(on)) << on;
    // Lighting comes on only when the titles end.
    for (GLenum off : {GL_LIGHTING, GL_POLYGON_SMOOTH, GL_LINE_SMOOTH}) EXPECT_FALSE(glIsEnabled(off)) << off;
    const std::pair<GLenum, GLint> values[] = {{GL_DEPTH_FUNC, GL_LEQUAL},
                                               {GL_SHADE_MODEL, GL_SMOOTH},
                                               {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
                                               {GL_POLYGON_SMOOTH_HINT, GL_NICEST},
                                               {GL_LINE_SMOOTH_HINT, GL_NICEST}};
    for (const auto& v : values) {
        GLint value = 0;
        glGetIntegerv(v.first, &value);
        EXPECT_EQ(value, v.second) << v.first;
    }
    GLfloat ambient[4], specular[4], clear[4];
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_TRUE(ambient[0] == 0.8f && specular[1] == 1.0f && clear[3] == 0.0f);
    EXPECT_TRUE(glIsList(font_base + ('A' - 32)));
    // Each mesh builder takes the next list after the large font's 96, in
    // the order cross, cube, triangle.
    EXPECT_TRUE(glIsList(cross_list) && glIsList(cube_list) && glIsList(triangle_list));
    EXPECT_EQ(cross_list, font_base + FONT_GLYPHS);
    EXPECT_EQ(cube_list, cross_list + 1);
    EXPECT_EQ(triangle_list, cube_list + 1);
}

TEST(ResizeView, ViewportAndProjectionFollowTheClientArea)
{
    ASSERT_TRUE(open_test_window());
    const struct {
        int width, height, viewport_height;
        double aspect;
    } cases[] = {{800, 600, 600, 800.0 / 600.0}, {1024, 768, 768, 1024.0 / 768.0}, {640, 0, 1, 640.0}};
    for (const auto& c : cases) {
        PlatformMessage size = {};
        size.type = MESSAGE_SIZE;
        size.width = c.width;
        size.height = c.height;
        window_procedure(size);
        GLint viewport[4], mode = 0;
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], c.width);
        EXPECT_EQ(viewport[3], c.viewport_height);
        GLdouble projection[16];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        // gluPerspective: m[0] = f / aspect, m[5] = f = cot(22.5 degrees).
        EXPECT_NEAR(projection[5] / projection[0], c.aspect, 1e-4);
        EXPECT_NEAR(projection[5], 2.4142135, 1e-5);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
}

TEST(WindowProcedure, ActivationFollowsTheMinimisedFlagAndOnlyEscQuits)
{
    PlatformMessage message = {};
    message.type = MESSAGE_ACTIVATE;
    for (bool minimised : {true, false}) {
        message.minimised = minimised;
        window_procedure(message);
        EXPECT_EQ(window_active, !minimised);
    }
    message.type = MESSAGE_KEY_DOWN;
    for (int key : {int{' '}, int{KEY_ESCAPE}}) {
        message.key = key;
        window_procedure(message);
        EXPECT_EQ(quit_requested, key == KEY_ESCAPE);
    }
}
