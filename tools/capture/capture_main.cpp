// brindlec-capture: runs the real intro off screen with an ideal clock and
// writes what it shows and plays. Frames come at elapsed_ms = 120, 150,
// 180, ..., exactly what the frame loop draws on a machine of infinite
// speed; the music is rendered through the real block fill as the intro's
// ring plays it, starting in the frame in which the title sequence starts
// the song.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/embedded_module.h"
#include "music/music.h"
#include "platform/headless/headless.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "tools/capture/gl_switch.h"
#include "tools/capture/png_file.h"
#include "tools/capture/video_output.h"

namespace {

// The intro's length at one frame every 30 ms, for the progress estimate.
const uint32_t expected_end_ms = 229650;

struct CaptureOptions {
    std::vector<uint32_t> at_ms;  // ascending
    std::string out_dir;
    bool trace = false;
    std::string video_path;
    std::string sheet_path;
    uint32_t every_ms = 0;
    uint32_t from_ms = 0;
    uint32_t to_ms = UINT32_MAX;
    int width = 800, height = 600;
    EncoderSettings encoder;
    bool gl_subset = false;
};

struct CaptureRun {
    CaptureOptions options;
    size_t next_at = 0;
    uint16_t last_scene = 0;
    uint32_t next_slot_ms = 0;        // the next 30 ms video slot to fill
    std::vector<uint8_t> frame;       // what the screen shows now
    std::vector<uint8_t> last_image;  // what the screen showed before this frame
    uint32_t next_sheet_ms = 0;
    uint32_t music_start_ms = UINT32_MAX;
    uint32_t last_frame_ms = 0;
    VideoOutput video;
    ContactSheet sheet;
    std::string error;
    std::chrono::steady_clock::time_point started;
};

void print_usage(FILE* stream)
{
    std::fputs(
        "usage: brindlec-capture [options]\n"
        "  --at MS[,MS...] --out DIR  write DIR/frame-<MS>.png for the first frame at or\n"
        "                             after each time (milliseconds of the intro clock)\n"
        "  --trace                    print 'scene <N> at <MS>' and 'end at <MS>'\n"
        "  --video OUT                the intro with its music: OUT.mp4 or OUT.mkv (H.264),\n"
        "                             OUT.gif (pictures only) through ffmpeg; without\n"
        "                             ffmpeg, a PNG sequence in OUT-frames/ and OUT.wav\n"
        "  --from MS --to MS          only this span of the video\n"
        "  --sheet OUT.png --every MS a contact sheet with a frame every MS\n"
        "  --size WxH                 picture size (default 800x600)\n"
        "  --preset NAME              x264 speed preset for MP4 and MKV (default veryfast up\n"
        "                             to 1024x768, ultrafast above; slower presets give\n"
        "                             smaller files)\n"
        "  --crf N                    x264 quality, 0 (lossless) to 51 (default 18; lower\n"
        "                             is better and larger)\n"
        "  --gl opengl|subset         draw with OSMesa's OpenGL 1.1 (the default) or with the\n"
        "                             browser build's OpenGL 1.1 subset on OSMesa's shaders\n"
        "The run stops at the intro's end, or when nothing more is asked for.\n",
        stream);
}

bool parse_number(const char* text, uint32_t* value)
{
    char* end = nullptr;
    errno = 0;
    unsigned long long number = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || number > 0xFFFFFFFFull || *text == '-') return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

bool parse_times(const char* text, std::vector<uint32_t>* times)
{
    std::string list = text;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        uint32_t value = 0;
        if (!parse_number(list.substr(start, end - start).c_str(), &value)) return false;
        times->push_back(value);
        start = end + 1;
    }
    return !times->empty();
}

bool parse_size(const char* text, int* width, int* height)
{
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2) return false;
    if (w < 16 || h < 16 || w > 7680 || h > 4320) return false;
    *width = w;
    *height = h;
    return true;
}

int bad_argument(const char* message)
{
    std::fprintf(stderr, "brindlec-capture: %s\n", message);
    return 2;
}

// Checks the options against each other; 0 when they make sense.
int check_options(CaptureOptions* options)
{
    if (!options->at_ms.empty() && options->out_dir.empty()) return bad_argument("--at needs --out DIR");
    if (!options->sheet_path.empty() && options->every_ms == 0)
        return bad_argument("--sheet needs --every MS");
    if (options->from_ms > options->to_ms) return bad_argument("--from lies after --to");
    if (!options->video_path.empty()) {
        VideoKind kind = video_kind(options->video_path);
        if (kind == VIDEO_UNKNOWN)
            return bad_argument("--video wants a file name ending in .mp4, .mkv or .gif");
        if (kind != VIDEO_GIF && (options->width % 2 || options->height % 2))
            return bad_argument("H.264 video needs an even width and height");
    }
    if (options->at_ms.empty() && !options->trace && options->video_path.empty() &&
        options->sheet_path.empty()) {
        print_usage(stderr);
        return bad_argument("nothing to do (give --at, --trace, --video or --sheet)");
    }
    std::sort(options->at_ms.begin(), options->at_ms.end());
    return 0;
}

// 0: parsed; -1: --help was shown; otherwise the exit status.
int parse_options(int argc, char** argv, CaptureOptions* options)
{
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (argument == "--help") {
            print_usage(stdout);
            return -1;
        } else if (argument == "--trace") {
            options->trace = true;
            continue;
        } else if (!value) {
            ok = false;
        } else if (argument == "--at") {
            ok = parse_times(value, &options->at_ms);
        } else if (argument == "--out") {
            options->out_dir = value;
        } else if (argument == "--video") {
            options->video_path = value;
        } else if (argument == "--sheet") {
            options->sheet_path = value;
        } else if (argument == "--every") {
            ok = parse_number(value, &options->every_ms) && options->every_ms > 0;
        } else if (argument == "--from") {
            ok = parse_number(value, &options->from_ms);
        } else if (argument == "--to") {
            ok = parse_number(value, &options->to_ms);
        } else if (argument == "--size") {
            ok = parse_size(value, &options->width, &options->height);
        } else if (argument == "--preset") {
            options->encoder.preset = value;
            ok = known_preset(value);
        } else if (argument == "--crf") {
            uint32_t crf = 0;
            ok = parse_number(value, &crf) && crf <= 51;
            options->encoder.crf = static_cast<int>(crf);
        } else if (argument == "--gl") {
            ok = std::strcmp(value, "opengl") == 0 || std::strcmp(value, "subset") == 0;
            options->gl_subset = std::strcmp(value, "subset") == 0;
        } else {
            std::fprintf(stderr, "brindlec-capture: unknown argument '%s'\n", argv[i]);
            print_usage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "brindlec-capture: bad or missing value for %s\n", argv[i]);
            return 2;
        }
        i++;
    }
    return check_options(options);
}

void fail_run(CaptureRun* run, const std::string& error)
{
    if (run->error.empty()) run->error = error;
    quit_requested = true;
}

void show_progress(const CaptureRun& run)
{
    if (!isatty(STDERR_FILENO)) return;
    uint32_t end = std::min(run.options.to_ms, expected_end_ms);
    double done = std::min(1.0, static_cast<double>(elapsed_ms) / end);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run.started).count();
    double left = done > 0.01 ? seconds / done - seconds : 0.0;
    char bar[31];
    int filled = static_cast<int>(done * 30);
    for (int i = 0; i < 30; i++) bar[i] = i < filled ? '#' : '.';
    bar[30] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%  %6.1f s of the intro, about %.0f s left ", bar,
                 static_cast<int>(done * 100), elapsed_ms / 1000.0, left);
}

// Video slots are 30 ms apart from --from on; each shows the last frame
// drawn at or before its time (the black start-up frame before 120 ms).
void fill_video_slots(CaptureRun* run, const std::vector<uint8_t>& frame)
{
    if (run->last_image.size() != frame.size()) run->last_image.assign(frame.size(), 0);
    while (run->next_slot_ms <= elapsed_ms && run->next_slot_ms <= run->options.to_ms) {
        bool current = run->next_slot_ms + FRAME_PERIOD_MS > elapsed_ms;
        if (!add_video_frame(&run->video, current ? frame : run->last_image, &run->error))
            fail_run(run, run->error);
        run->next_slot_ms += FRAME_PERIOD_MS;
    }
}

// The first video slot: the first 30 ms step at or after --from.
uint32_t first_slot_ms(uint32_t from_ms)
{
    return (from_ms + FRAME_PERIOD_MS - 1) / FRAME_PERIOD_MS * FRAME_PERIOD_MS;
}

void write_requested_frames(CaptureRun* run, const std::vector<uint8_t>& frame)
{
    const std::vector<uint32_t>& at = run->options.at_ms;
    while (run->next_at < at.size() && elapsed_ms >= at[run->next_at]) {
        std::string path = run->options.out_dir + "/frame-" + std::to_string(at[run->next_at]) + ".png";
        std::string error;
        if (!write_png(path, headless_window_width(), headless_window_height(), frame, &error))
            fail_run(run, error);
        run->next_at++;
    }
}

bool wants_more(const CaptureRun& run)
{
    const CaptureOptions& options = run.options;
    if (options.trace) return true;
    if (run.next_at < options.at_ms.size()) return true;
    if (!options.video_path.empty() && run.next_slot_ms <= options.to_ms) return true;
    if (!options.sheet_path.empty()) return true;
    return false;
}

// Whether the frame drawn at `ms` shows up in any picture asked for.
bool frame_wanted(const CaptureRun& run, uint32_t ms)
{
    const CaptureOptions& options = run.options;
    if (run.next_at < options.at_ms.size() && ms >= options.at_ms[run.next_at]) return true;
    if (!options.video_path.empty() && run.next_slot_ms <= options.to_ms &&
        ms + FRAME_PERIOD_MS > first_slot_ms(options.from_ms))
        return true;
    return !options.sheet_path.empty() && ms >= run.next_sheet_ms;
}

// After every frame: trace lines, pictures, and the stop.
void after_frame(void* context)
{
    CaptureRun* run = static_cast<CaptureRun*>(context);
    // The ideal clock draws the next frame exactly one period later (the
    // first at next_frame_ms): the subset sends it to the GPU only if a
    // picture will be taken of it.
    if (headless_swap_count() == 1) {  // the black start-up frame
        set_frames_drawn(frame_wanted(*run, next_frame_ms));
        return;
    }
    if (music_started && run->music_start_ms == UINT32_MAX) run->music_start_ms = elapsed_ms;
    if (run->options.trace) {
        if (scene_index != run->last_scene) std::printf("scene %u at %u\n", scene_index, elapsed_ms);
        if (quit_requested) std::printf("end at %u\n", elapsed_ms);
        std::fflush(stdout);
    }
    run->last_scene = scene_index;
    run->last_frame_ms = elapsed_ms;

    bool video = !run->options.video_path.empty() && elapsed_ms >= run->next_slot_ms &&
                 run->next_slot_ms <= run->options.to_ms;
    bool sheet = !run->options.sheet_path.empty() && elapsed_ms >= run->next_sheet_ms;
    bool at = run->next_at < run->options.at_ms.size() && elapsed_ms >= run->options.at_ms[run->next_at];
    if (video || sheet || at) {
        headless_read_pixels(&run->frame);
        if (video) fill_video_slots(run, run->frame);
        if (at) write_requested_frames(run, run->frame);
        if (sheet) {
            add_thumbnail(&run->sheet, run->frame, headless_window_width(), headless_window_height());
            while (run->next_sheet_ms <= elapsed_ms) run->next_sheet_ms += run->options.every_ms;
        }
        if (video) std::swap(run->last_image, run->frame);
    }
    if (!wants_more(*run)) quit_requested = true;
    set_frames_drawn(frame_wanted(*run, elapsed_ms + FRAME_PERIOD_MS));
    show_progress(*run);
}

// The music from the video's first slot to its end: silence until the
// song starts, then what the ring plays from its first frame.
bool render_music(const CaptureRun& run, std::vector<int16_t>* music, std::string* error)
{
    auto frame_at = [](uint64_t ms) { return ms * OUTPUT_RATE / 1000; };
    const uint64_t first = first_slot_ms(run.options.from_ms);
    const uint64_t end = run.next_slot_ms;  // one past the last slot's time span
    const uint64_t total = frame_at(end) - frame_at(first);
    const uint64_t start = run.music_start_ms == UINT32_MAX ? end : run.music_start_ms;
    uint64_t silent = start > first ? frame_at(start) - frame_at(first) : 0;
    silent = std::min(silent, total);
    music->assign(2 * silent, 0);
    if (silent == total) return true;

    // The intro ran silent; now the song plays offline.
    SongLoadStatus status;
    Song* song = load_song_from_memory(embedded_module, embedded_module_size, &status);
    if (!song || !start_offline_render(song, OUTPUT_RATE)) {
        *error = std::string("the embedded song does not play: ") + status.reason;
        free_song(song);
        return false;
    }
    if (first > start) {
        std::vector<int16_t> skipped(2 * (frame_at(first) - frame_at(start)));
        render_offline(skipped.data(), static_cast<uint32_t>(skipped.size() / 2));
    }
    music->resize(2 * total);
    render_offline(music->data() + 2 * silent, static_cast<uint32_t>(total - silent));
    free_song(song);
    return true;
}

int finish_outputs(CaptureRun* run)
{
    std::string error;
    if (!run->options.video_path.empty()) {
        std::vector<int16_t> music;
        if (!render_music(*run, &music, &error) || !finish_video(&run->video, music, OUTPUT_RATE, &error)) {
            std::fprintf(stderr, "brindlec-capture: %s\n", error.c_str());
            return 1;
        }
        struct stat info = {};
        stat(run->video.path.c_str(), &info);
        std::fprintf(stderr, "brindlec-capture: %d frames, %.2f s of %s%s", run->video.frames,
                     run->video.frames * FRAME_PERIOD_MS / 1000.0,
                     run->video.kind == VIDEO_GIF ? "pictures" : "video and music",
                     run->video.ffmpeg.empty() ? "\n" : "");
        if (!run->video.ffmpeg.empty())
            std::fprintf(stderr, ", %lld bytes in %s\n", static_cast<long long>(info.st_size),
                         run->video.path.c_str());
    }
    if (!run->options.sheet_path.empty()) {
        if (!write_contact_sheet(run->sheet, run->options.sheet_path, &error)) {
            std::fprintf(stderr, "brindlec-capture: %s\n", error.c_str());
            return 1;
        }
        std::fprintf(stderr, "brindlec-capture: contact sheet of %zu frames in %s\n",
                     run->sheet.thumbs.size(), run->options.sheet_path.c_str());
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run->started).count();
    std::fprintf(stderr, "brindlec-capture: %.1f s of the intro in %.1f s (%.1f x real time)\n",
                 run->last_frame_ms / 1000.0, seconds,
                 seconds > 0 ? run->last_frame_ms / 1000.0 / seconds : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    static CaptureRun run;
    int status = parse_options(argc, argv, &run.options);
    if (status != 0) return status < 0 ? 0 : status;
    const CaptureOptions& options = run.options;
    if (!options.out_dir.empty() && mkdir(options.out_dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "brindlec-capture: %s: %s\n", options.out_dir.c_str(), std::strerror(errno));
        return 1;
    }
    run.next_slot_ms = first_slot_ms(options.from_ms);
    run.next_sheet_ms = options.every_ms;
    run.started = std::chrono::steady_clock::now();
    std::signal(SIGPIPE, SIG_IGN);  // an encoder that dies is reported, not fatal
    if (!options.video_path.empty() && !open_video(&run.video, options.video_path, options.width,
                                                   options.height, options.encoder, &run.error)) {
        std::fprintf(stderr, "brindlec-capture: %s\n", run.error.c_str());
        return 1;
    }

    // The intro runs silent here; the music is rendered offline afterwards.
    display_choice = CHOICE_WINDOWED;
    use_gl_subset(options.gl_subset);
    headless_set_composed_text(!options.gl_subset);
    headless_set_window_size(options.width, options.height);
    headless_set_failures(FAIL_AUDIO_DEVICE);
    headless_set_swap_hook(after_frame, &run);
    run_intro(nullptr, nullptr, nullptr, 0);
    if (isatty(STDERR_FILENO)) std::fputc('\n', stderr);

    if (!run.error.empty()) {
        abandon_video(&run.video);
        std::fprintf(stderr, "brindlec-capture: %s\n", run.error.c_str());
        return 1;
    }
    if (run.next_at < options.at_ms.size()) {
        abandon_video(&run.video);
        std::fprintf(stderr, "brindlec-capture: the intro ended before %u ms\n", options.at_ms[run.next_at]);
        return 1;
    }
    return finish_outputs(&run);
}
