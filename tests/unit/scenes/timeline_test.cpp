// The scenes as the real frame loop draws them: the whole intro on the
// ideal clock with the moments its timeline gives and what chosen frames
// draw; slow frames, minimised spans and the boundaries of the scenes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "music/music.h"
#include "tests/support/intro_run.h"

namespace {

// Runs the intro with frames at exactly `times` (30 ms apart at least; the
// first is the loop's own at 120), each drawn in feedback mode but the
// first, calling check(t, drawn) after each, then stops. before(t) runs
// just before the frame at t is drawn, to put a scene at a boundary.
void frames_at(const std::vector<uint32_t>& times, const std::function<void(uint32_t, const Drawn&)>& check,
               const std::function<void(uint32_t)>& before = nullptr)
{
    size_t next = 0;
    ASSERT_EQ(run_intro_frames([&](uint32_t t) {
        const Drawn drawn = next ? feedback_end() : Drawn();
        EXPECT_EQ(t, times[next]) << "frame " << next;
        check(t, drawn);
        if (++next == times.size()) { quit_requested = true; return; }
        if (before) before(times[next]);
        frame_took_until(times[next]);
        feedback_begin();
    }), 0);
    EXPECT_EQ(next, times.size());
}

// A value followed frame by frame while from <= t < until: each change
// logged as "name value at t", or, when `summary`, how many and when the
// first and last came.
struct Watch {
    const char* name;
    std::function<long()> value;
    bool summary;
    uint32_t from = 0, until = UINT32_MAX;
    long last = 0;
    int changes = 0;
    uint32_t first_ms = 0, last_ms = 0;
};

}  // namespace

TEST(Intro, MomentsOfTheWholeRunAndWhatItsFramesDraw)
{
    std::vector<Watch> watches = {
        {"scene", [] { return long{scene_index}; }, false},
        {"pulse step", [] { return long{next_step_ms}; }, true, 6900, 21240},
        {"ripple join", [] { return long{ripple_started}; }, true},
        {"ripple starting", [] { return long{ripple_starting}; }, false},
        {"gathering", [] { return long{ripple_gathering}; }, false},
        {"spin forward", [] { return long{cube_spin_forward}; }, false},
        {"row drop", [] { return long{row_count}; }, true},
        {"scene2 phase", [] { return long{scene2_phase}; }, false},
        {"colour step", [] { return long{next_step_ms}; }, true, 51060, 95010},
        {"scene3 phase", [] { return long{scene3_phase}; }, false},
        {"train length", [] { return long{train_length}; }, false},
        {"scroll done", [] { return long{scroll_done}; }, false},
    };
    std::vector<std::string> log;
    for (Watch& w : watches) w.last = w.value();
    // What chosen frames draw (a frame drawn in feedback mode moves the
    // scenes on as any other; only its pixels are missing): the sums change
    // with any vertex, normal, material or glyph of the frame. After a
    // deliberate change to a scene, BRINDLEC_PRINT_MOMENTS=1 prints them.
    struct Moment {
        uint32_t ms;
        int polygons, lines, glyphs;
        double sum;
    } const moments[] = {
        {1020, 0, 0, 5, 832.2849},          // "qvt71"
        {2520, 0, 0, 8, 1764.4242},         // "presents"
        {4020, 0, 0, 8, 1659.1610},         // "Brindlec"
        {6000, 0, 0, 22, 6099.0585},        // both lines of the last caption
        {20010, 551, 0, 0, 126796.3458},    // the pulse
        {30000, 1450, 0, 0, 327712.5522},   // the wave
        {45000, 1022, 0, 0, 224046.0510},   // spin reversed, rows dropping
        {53010, 0, 16, 0, 2399.7948},       // the wire frame
        {57000, 12, 16, 0, 5058.4160},      // the box growing, blue
        {61020, 12, 16, 0, 5025.3392},      // the box in its colours (the eighth)
        {70020, 36, 16, 0, 10331.0177},     // the box opening round the star
        {75000, 40, 16, 0, 11027.1095},     // shards and star
        {83010, 24, 16, 0, 7690.2956},      // the approach: the star alone
        {88500, 36, 0, 0, 7656.1852},       // the spikes pulsing
        {100020, 1213, 0, 0, 327316.3091},  // the train sliding in
        {120000, 459, 0, 0, 94451.2600},    // the train streaming on
        {150000, 448, 2, 295, 178165.7112}, // the scroller
        {225000, 349, 2, 0, 74589.2875},    // the closing movement
    };
    std::map<uint32_t, Drawn> drawn;
    uint32_t last = 0;
    ASSERT_EQ(run_intro_frames([&](uint32_t t) {
        for (Watch& w : watches) {
            const long v = w.value();
            if (v == w.last) continue;
            w.last = v;
            if (t < w.from || t >= w.until) continue;
            if (!w.changes++) w.first_ms = t;
            w.last_ms = t;
            if (!w.summary) log.push_back(std::string(w.name) + " " + std::to_string(v) + " at " + std::to_string(t));
        }
        for (const Moment& m : moments) {
            if (t == m.ms) drawn[t] = feedback_end();
            if (t + 30 == m.ms) feedback_begin();
        }
        static std::vector<uint8_t> shown;  // each frame starts clear: the first caption goes with its last frame
        if (t == 2070) shown = headless_read_pixels();
        if (t == 2100) {
            const std::vector<uint8_t> rgb = headless_read_pixels();
            int gone = 0;
            for (size_t i = 0; i < shown.size(); i++) gone += shown[i] && !rgb[i];
            EXPECT_GT(gone, 20) << "pixels of the first caption went";
        }
        if (t == 1050) {  // on screen: the caption stands on the middle line (descenders below it), 0.9 grey
            const std::vector<uint8_t> rgb = headless_read_pixels();  // rows from the top
            int above = 0, low = 0, brightest = 0;
            for (size_t i = 0; i < rgb.size(); i++) {
                const size_t row = i / 3 / headless_window_width();
                above += row < 30 && rgb[i] > 60, low += row >= 46 && rgb[i] > 0;
                brightest = std::max<int>(brightest, rgb[i]);
            }
            EXPECT_TRUE(above > 100 && low == 0 && brightest == 230) << above << " " << low << " " << brightest;
        }
        if (scene_index == 4) {
            GLfloat width = 0;
            glGetFloatv(GL_LINE_WIDTH, &width);
            EXPECT_EQ(width, 3.0f) << "the scroller's divider lines";
        }
        last = t;
    }), 0);
    EXPECT_EQ(last, 229590u) << "the end scroller ends the intro";
    for (const Watch& w : watches)
        if (w.summary)
            log.push_back(std::string(w.name) + " x" + std::to_string(w.changes) + " " + std::to_string(w.first_ms) +
                          ".." + std::to_string(w.last_ms));
    const std::vector<std::string> want = {
        "scene 1 at 6900", "ripple starting 0 at 22350", "gathering 1 at 35250", "spin forward 0 at 36720",
        "scene 2 at 51030", "scene2 phase 1 at 51060", "scene2 phase 2 at 55230", "scene2 phase 3 at 66330",
        "scene2 phase 4 at 73020", "scene2 phase 5 at 80010", "scene2 phase 6 at 86790", "scene 3 at 95010",
        "scene3 phase 1 at 101010", "scene3 phase 2 at 101610", "scene3 phase 3 at 105990",
        "scene3 phase 4 at 113460", "train length 75 at 113460", "scene3 phase 5 at 120930", "scene 4 at 125010",
        "scroll done 1 at 221790",
        // every 460 ms from 14340; every 70 ms from 21420; every 990 ms
        // from 41100; armed in the first frame, then every 460 from 58100
        "pulse step x15 14370..20790", "ripple join x14 21450..22350", "row drop x10 41130..50040",
        "colour step x19 51060..65940"};
    EXPECT_EQ(log, want);
    for (const Moment& m : moments) {
        const Drawn& d = drawn[m.ms];
        if (std::getenv("BRINDLEC_PRINT_MOMENTS"))
            printf("{%u, %d, %d, %d, %.4f},\n", m.ms, d.polygons, d.lines, d.glyphs, d.sum);
        EXPECT_EQ(std::vector<int>({d.polygons, d.lines, d.glyphs}), std::vector<int>({m.polygons, m.lines, m.glyphs}))
            << m.ms;
        EXPECT_NEAR(d.sum, m.sum, 1e-6 * std::fabs(m.sum) + 1e-3) << m.ms;
    }
}

// The titles at both ends of each caption's window, the text colour, set
// with the first caption only, and the music, started once by the first
// frame from 480 ms on, however late.
static void expect_titles(const std::vector<uint32_t>& times, const std::vector<int>& glyphs, float red)
{
    size_t i = 0;
    Song* song = nullptr;
    frames_at(times, [&](uint32_t t, const Drawn& drawn) {
        EXPECT_EQ(drawn.glyphs, glyphs[i++]) << t;
        for (float r : drawn.glyph_colour) EXPECT_FLOAT_EQ(r, red) << t;
        EXPECT_TRUE(scene_index == (t >= 6900) && music_started == (t >= 480)) << t << ": scene, music";
        if (!song) song = current_song;
        EXPECT_EQ(current_song, song) << t << ": loaded once";
    });
    EXPECT_NE(song, nullptr);
}
TEST(Titles, LastFrameOfEachCaption)
{
    expect_titles({120, 479, 509, 2099, 3699, 5299, 6899}, {0, 0, 0, 5, 8, 8, 22}, 0.9f);
}
TEST(Titles, FirstFrameOfEachCaption)
{
    expect_titles({120, 480, 510, 2100, 3700, 5300, 6900}, {0, 0, 5, 8, 8, 22, 0}, 0.9f);
}
TEST(Titles, DefaultWhiteWhenTheFirstCaptionWasMissed) { expect_titles({120, 3000}, {0, 8}, 1.0f); }

// Frames put at the timeline's bounds, which the ideal clock misses, with
// scene 2's state set where reaching it frame by frame would take
// thousands of frames: scene 1's pulse runs only between its bounds, scene
// 2's phases and scenes 2 and 3 end only after their times (after 58100,
// 73000, 80000, 95000; at 125000), and the spike pulse and the angle wraps
// stop at their bounds.
TEST(Scenes, EndsAndBoundsAtTheirFrames)
{
    const struct {
        uint32_t ms;
        uint16_t scene;
        int16_t phase;  // scene2_phase; both after the frame
    } frames[] = {{120, 0, 0},   {6900, 1, 0},  {6930, 1, 0},  {13880, 1, 0}, {21240, 1, 0},  {36690, 1, 0},
                  {36950, 1, 0}, {51000, 1, 0}, {51030, 2, 0}, {55230, 2, 2}, {58100, 2, 2},  {73000, 2, 3},
                  {73030, 2, 4}, {80000, 2, 4}, {80030, 2, 5}, {81000, 2, 5}, {86970, 2, 6},  {87001, 2, 6},
                  {88000, 2, 6}, {88030, 2, 6}, {90000, 2, 6}, {90030, 2, 6}, {95000, 2, 6},  {95030, 3, 6},
                  {124970, 3, 6}, {125000, 4, 6}, {125030, 4, 6}};
    std::vector<uint32_t> times;
    for (const auto& f : frames) times.push_back(f.ms);
    size_t i = 0;
    float angle = 0;
    frames_at(times, [&](uint32_t t, const Drawn& drawn) {
        EXPECT_EQ(scene_index, frames[i].scene) << t;
        EXPECT_EQ(scene2_phase, frames[i++].phase) << t;
        if (t == 55230) angle = frame_angle_x;
        if (t == 58100) { EXPECT_TRUE(frame_angle_x == angle && colour_step == 0) << "58100 neither turns nor steps"; }
        if (t == 6930) { EXPECT_EQ(cube_angle_x, 360.0f) << "scene 1 keeps 360"; }
        if (t == 13880 || t == 21240) { EXPECT_EQ(column_depth[0], -30.0f) << "the pulse only between its bounds"; }
        if (t == 36950) { EXPECT_TRUE(cube_spin_forward) << "the spin turns back only between its bounds"; }
        if (t == 81000) {
            const float got[] = {frame_angle_x, frame_angle_y, box_angle_y, star_angle_x, star_angle_y};
            EXPECT_EQ(std::vector<float>(got, got + 5), (std::vector<float>{0, 1, 0, 1, 0})) << "360 wraps to 0";
        }
        if (t == 95000) {
            EXPECT_EQ(spike_tip, 2.0f) << "no pulse at tip 2";
            EXPECT_GT(drawn.polygons, 20) << "the star";
        }
        if (t == 95030) { EXPECT_TRUE(colour_step == 0 && box_angle_x == 360.0f) << "the end frame returns at once"; }
        if (t == 125000) { EXPECT_GT(drawn.polygons, 0) << "the last frame still shows the train"; }
    }, [](uint32_t t) {
        if (t == 6930) cube_angle_x = 360.0f - 3.3f;
        if (t == 81000) frame_angle_x = 357.0f, frame_angle_y = -1.0f, box_angle_y = -360.0f;
        if (t == 86970) object_depth = -0.75f;  // the approach is over
        if (t == 95000) spike_tip = 2.0f;
        if (t == 95030) box_angle_x = 360.0f;
        if (t == 125000) train_x = 0.05f, train_z = -2.0f;  // slid in
    });
}

// The spikes slide out until 87 s, in until 88, out until 89 and in from
// then on, with no step at the thousands themselves: spike_tip's step in
// frames `offset` ms from 87000, 88000, 89000 and 90000.
static void expect_spike_pulse(int offset, const std::vector<float>& steps)
{
    std::vector<uint32_t> times = {120, 6900, 51030, 55230, 66330, 73020, 80010, 86000};
    for (uint32_t s = 87000; s <= 90000; s += 1000) times.push_back(s + offset);
    std::vector<float> got;
    float tip = 0;
    frames_at(times, [&](uint32_t t, const Drawn&) {
        if (t > 86000) got.push_back(std::round((spike_tip - tip) * 1000.0f) / 1000.0f);
        tip = spike_tip;
    }, [](uint32_t t) {
        if (t == 86000) object_depth = -0.75f;  // the approach is over: the pulse starts in this frame
    });
    EXPECT_EQ(got, steps);
}
const float OUT = 0.005f, IN = -0.005f;
TEST(SpikePulse, JustBeforeEachThousand) { expect_spike_pulse(-1, {OUT, IN, OUT, IN}); }
TEST(SpikePulse, AtEachThousand) { expect_spike_pulse(0, {0, 0, 0, 0}); }
TEST(SpikePulse, JustAfterEachThousand) { expect_spike_pulse(1, {IN, OUT, IN, IN}); }

TEST(Scenes, LateApproachEndsSceneTwoInTheFrameThatEntersPhase6)
{
    frames_at({120, 6900, 51030, 55230, 66330, 73020, 80010, 95500}, [](uint32_t t, const Drawn&) {
        if (t == 95500) { EXPECT_TRUE(scene2_phase == 6 && scene_index == 3 && colour_step == 0); }
    }, [](uint32_t t) {
        if (t == 95500) object_depth = -0.75f;
    });
}

// One frame a second: each takes one timed step at most (the pulse, the
// colours), and the box turns orange at 66300 all the same.
TEST(Scenes, SlowFramesTakeOneStepEach)
{
    uint32_t step = next_step_ms;
    int pulse_steps = 0, colour_steps = 0;
    run_intro_frames([&](uint32_t t) {
        const bool pulse = scene_index == 1 && t < 21240, colours = scene2_phase >= 2;
        if (next_step_ms != step && (pulse || colours)) {
            EXPECT_EQ(next_step_ms - step, 460u) << t;
            pulse_steps += pulse, colour_steps += colours;
        }
        step = next_step_ms;
        quit_requested = t >= 67000;
        frame_took_until(t + 1000);
    });
    EXPECT_EQ(pulse_steps, 7);
    EXPECT_EQ(colour_steps, 10);
    EXPECT_TRUE(colour_step == 3 && scene2_phase == 3) << "orange";
}

// A window minimised over part of scene 1: the gather takes over a
// start-up the minimise cut short, and with no frame in the gather at all
// the rows still drop to the top one, not past it.
TEST(Scene1, GatherTakesOverAStartUpCutShortByAMinimise)
{
    queue_at(21600, activation(true));
    queue_at(35500, activation(false));
    run_intro_frames([](uint32_t t) { quit_requested = t >= 37000; });
    ASSERT_TRUE(ripple_started > 0 && ripple_started < 13) << "columns joined: " << ripple_started;
    for (int c = 0; c < WALL_COLUMNS; c++) EXPECT_LE(std::fabs(column_depth[c] + 30.0f), 0.5f) << c;
}

TEST(Scene1, RowDropsKeepTheTopRowWhenNoFrameFellIntoTheGather)
{
    queue_at(35000, activation(true));
    queue_at(37020, activation(false));
    run_intro_frames([](uint32_t t) { quit_requested = t >= 51000; });
    EXPECT_EQ(row_count, 1);
    EXPECT_NEAR(grid_drop, 10.0f + 1.9f * 10, 1e-3);
}
