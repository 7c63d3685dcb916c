#include "tools/capture/video_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/capture/png_file.h"
#include "tools/common/file_output.h"

namespace {

// Frames come every 30 ms: 100/3 per second.
const char frame_rate[] = "100/3";

// x264's cost grows with the picture: up to 1024 x 768 the default preset
// is veryfast, which keeps the capture some three times ahead of real time
// on two cores; above it ultrafast. At 1920 x 1080 that encodes a frame for
// half the CPU time superfast takes (veryfast a third) and makes the file
// about a fifth larger than superfast's: what keeps a capture there ahead
// of real time on two cores.
const int LARGEST_VERYFAST_PICTURE = 1024 * 768;

pid_t encoder_pid = -1;

// Frames on their way into the encoder's pipe: the capture queues them,
// the writer thread writes them, and their buffers come back for reuse
// (a fresh buffer for every frame would cost page faults each time).
struct FrameQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<uint8_t>> waiting;  // oldest first
    std::vector<std::vector<uint8_t>> spare;
    bool closing = false;  // no more frames will come
    bool failed = false;   // the encoder stopped taking frames
    std::thread writer;
};

// Enough to ride out the encoder's own pauses, few enough to bound memory
// (6 MB a frame at 1920 x 1080).
const size_t FRAMES_IN_FLIGHT = 4;

FrameQueue frame_queue;

void write_frames(std::FILE* pipe)
{
    FrameQueue& queue = frame_queue;
    for (;;) {
        std::vector<uint8_t> frame;
        {
            std::unique_lock<std::mutex> hold(queue.lock);
            queue.changed.wait(hold, [&queue] { return !queue.waiting.empty() || queue.closing; });
            if (queue.waiting.empty()) return;
            frame = std::move(queue.waiting.front());
            queue.waiting.pop_front();
        }
        const bool written = std::fwrite(frame.data(), 1, frame.size(), pipe) == frame.size();
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.spare.push_back(std::move(frame));
        if (!written) queue.failed = true;
        queue.changed.notify_all();
        if (!written) return;
    }
}

// Ends the writer thread once every queued frame is written; false when
// the encoder stopped taking them.
bool stop_writing(void)
{
    FrameQueue& queue = frame_queue;
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.closing = true;
        queue.changed.notify_all();
    }
    if (queue.writer.joinable()) queue.writer.join();
    return !queue.failed;
}

bool ends_with(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           strcasecmp(text.c_str() + text.size() - suffix.size(), suffix.c_str()) == 0;
}

std::string without_extension(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

// Starts `arguments` with a pipe to its standard input; null on failure.
std::FILE* start_with_pipe(const std::vector<std::string>& arguments, pid_t* pid)
{
    int ends[2];
    if (pipe(ends) != 0) return nullptr;
    *pid = fork();
    if (*pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return nullptr;
    }
    if (*pid == 0) {
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        close(ends[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(ends[0]);
    // A frame is megabytes: a larger pipe hands it over in fewer turns
    // between the writer and ffmpeg. The default size serves if refused.
    fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    return fdopen(ends[1], "wb");
}

// Waits for a child; true when it exited with status 0.
bool finished_well(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool run_to_end(const std::vector<std::string>& arguments)
{
    pid_t pid = -1;
    std::FILE* input = start_with_pipe(arguments, &pid);
    if (!input) return false;
    std::fclose(input);
    return finished_well(pid);
}

std::vector<std::string> picture_encoder(const VideoOutput& video)
{
    // clang-format off
    std::vector<std::string> arguments = {
        video.ffmpeg, "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-s", std::to_string(video.width) + "x" + std::to_string(video.height),
        "-framerate", frame_rate, "-i", "-"};
    // clang-format on
    if (video.kind == VIDEO_GIF) {
        // Half the frame rate keeps a preview small; a palette made from the
        // frames themselves keeps its colours clean.
        arguments.insert(arguments.end(),
                         {"-filter_complex",
                          "[0:v]fps=50/3,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse",
                          video.path});
    } else {
        arguments.insert(arguments.end(),
                         {"-c:v", "libx264", "-preset", video.encoder.preset, "-crf",
                          std::to_string(video.encoder.crf), "-pix_fmt", "yuv420p", video.pictures});
    }
    return arguments;
}

}  // namespace

std::string find_on_path(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "";
    size_t start = 0;
    while (start <= directories.size()) {
        size_t end = directories.find(':', start);
        if (end == std::string::npos) end = directories.size();
        std::string candidate = directories.substr(start, end - start);
        if (!candidate.empty()) {
            candidate += "/";
            candidate += name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return "";
}

bool known_preset(const std::string& preset)
{
    static const char* const presets[] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                                          "medium",    "slow",      "slower",   "veryslow", "placebo"};
    for (const char* known : presets)
        if (preset == known) return true;
    return false;
}

VideoKind video_kind(const std::string& path)
{
    if (ends_with(path, ".mp4")) return VIDEO_MP4;
    if (ends_with(path, ".mkv")) return VIDEO_MKV;
    if (ends_with(path, ".gif")) return VIDEO_GIF;
    return VIDEO_UNKNOWN;
}

bool open_video(VideoOutput* video, const std::string& path, int width, int height,
                const EncoderSettings& encoder, std::string* error)
{
    video->path = path;
    video->encoder = encoder;
    if (video->encoder.preset.empty())
        video->encoder.preset = width * height <= LARGEST_VERYFAST_PICTURE ? "veryfast" : "ultrafast";
    video->kind = video_kind(path);
    video->width = width;
    video->height = height;
    video->ffmpeg = find_on_path("ffmpeg");
    if (video->ffmpeg.empty()) {
        video->frames_dir = without_extension(path) + "-frames";
        video->wav_path = without_extension(path) + ".wav";
        if (mkdir(video->frames_dir.c_str(), 0777) != 0 && errno != EEXIST) {
            *error = video->frames_dir + ": " + std::strerror(errno);
            return false;
        }
        std::fprintf(stderr,
                     "brindlec-capture: ffmpeg is not installed: writing the frames to %s/ and the music "
                     "to %s\n",
                     video->frames_dir.c_str(), video->wav_path.c_str());
        return true;
    }
    video->pictures = without_extension(path) + ".pictures.mkv";
    video->pipe = start_with_pipe(picture_encoder(*video), &encoder_pid);
    if (!video->pipe) {
        *error = "cannot start " + video->ffmpeg;
        return false;
    }
    frame_queue.writer = std::thread(write_frames, video->pipe);
    if (video->kind == VIDEO_GIF)
        std::fprintf(stderr, "brindlec-capture: encoding with %s into %s\n", video->ffmpeg.c_str(),
                     path.c_str());
    else
        std::fprintf(stderr, "brindlec-capture: encoding with %s into %s (x264 preset %s, crf %d)\n",
                     video->ffmpeg.c_str(), path.c_str(), video->encoder.preset.c_str(), video->encoder.crf);
    return true;
}

bool add_video_frame(VideoOutput* video, const std::vector<uint8_t>& rgb, std::string* error)
{
    video->frames++;
    if (video->pipe) {
        FrameQueue& queue = frame_queue;
        std::unique_lock<std::mutex> hold(queue.lock);
        queue.changed.wait(hold,
                           [&queue] { return queue.waiting.size() < FRAMES_IN_FLIGHT || queue.failed; });
        if (queue.failed) {
            *error = "ffmpeg stopped taking frames";
            return false;
        }
        std::vector<uint8_t> frame;
        if (!queue.spare.empty()) {
            frame = std::move(queue.spare.back());
            queue.spare.pop_back();
        }
        hold.unlock();
        frame.assign(rgb.begin(), rgb.end());
        hold.lock();
        queue.waiting.push_back(std::move(frame));
        queue.changed.notify_all();
        return true;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", video->frames - 1);
    return write_png(video->frames_dir + name, video->width, video->height, rgb, error);
}

bool finish_video(VideoOutput* video, const std::vector<int16_t>& music, int rate, std::string* error)
{
    if (!video->pipe) return write_wav(video->wav_path, rate, music, error);

    bool encoded = stop_writing();
    encoded &= std::fclose(video->pipe) == 0;
    video->pipe = nullptr;
    encoded &= finished_well(encoder_pid);
    if (!encoded) {
        *error = "ffmpeg failed to encode the frames";
        return false;
    }
    if (video->kind == VIDEO_GIF) return true;  // pictures only

    std::string wav = without_extension(video->path) + ".music.wav";
    if (!write_wav(wav, rate, music, error)) return false;
    const char* audio_codec = video->kind == VIDEO_MKV ? "flac" : "aac";
    bool muxed = run_to_end({video->ffmpeg, "-loglevel", "error", "-y", "-i", video->pictures, "-i", wav,
                             "-c:v", "copy", "-c:a", audio_codec, "-b:a", "192k", video->path});
    std::remove(wav.c_str());
    std::remove(video->pictures.c_str());
    if (!muxed) *error = "ffmpeg failed to add the music to " + video->path;
    return muxed;
}

void abandon_video(VideoOutput* video)
{
    if (!video->pipe) return;
    stop_writing();
    std::fclose(video->pipe);
    video->pipe = nullptr;
    finished_well(encoder_pid);
    std::remove(video->pictures.c_str());
}

void add_thumbnail(ContactSheet* sheet, const std::vector<uint8_t>& rgb, int width, int height)
{
    // A box filter: each thumbnail pixel averages a block of the frame.
    const int scale = 4;
    sheet->thumb_width = width / scale;
    sheet->thumb_height = height / scale;
    std::vector<uint8_t> thumb(static_cast<size_t>(sheet->thumb_width) * sheet->thumb_height * 3);
    for (int y = 0; y < sheet->thumb_height; y++)
        for (int x = 0; x < sheet->thumb_width; x++)
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int dy = 0; dy < scale; dy++)
                    for (int dx = 0; dx < scale; dx++)
                        sum += rgb[((static_cast<size_t>(y) * scale + dy) * width + x * scale + dx) * 3 + c];
                thumb[(static_cast<size_t>(y) * sheet->thumb_width + x) * 3 + c] = static_cast<uint8_t>(
                    sum / (scale * scale));
            }
    sheet->thumbs.push_back(std::move(thumb));
}

bool write_contact_sheet(const ContactSheet& sheet, const std::string& path, std::string* error)
{
    if (sheet.thumbs.empty()) {
        *error = "no frames for the contact sheet";
        return false;
    }
    const int gap = 4;
    const int columns = static_cast<int>(std::min<size_t>(sheet.columns, sheet.thumbs.size()));
    const int rows = static_cast<int>((sheet.thumbs.size() + columns - 1) / columns);
    const int width = columns * (sheet.thumb_width + gap) + gap;
    const int height = rows * (sheet.thumb_height + gap) + gap;
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3, 48);  // dark grey frame
    for (size_t i = 0; i < sheet.thumbs.size(); i++) {
        int left = gap + static_cast<int>(i % columns) * (sheet.thumb_width + gap);
        int top = gap + static_cast<int>(i / columns) * (sheet.thumb_height + gap);
        for (int y = 0; y < sheet.thumb_height; y++)
            std::memcpy(&image[(static_cast<size_t>(top + y) * width + left) * 3],
                        &sheet.thumbs[i][static_cast<size_t>(y) * sheet.thumb_width * 3],
                        static_cast<size_t>(sheet.thumb_width) * 3);
    }
    return write_png(path, width, height, image, error);
}
