// Where captured frames go: an ffmpeg process (video file) or, without
// ffmpeg, a numbered PNG sequence; and the contact sheet.
#ifndef BRINDLEC_VIDEO_OUTPUT_H
#define BRINDLEC_VIDEO_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The full path of an executable found on PATH, or "" when there is none.
std::string find_on_path(const char* name);

enum VideoKind { VIDEO_MP4, VIDEO_MKV, VIDEO_GIF, VIDEO_UNKNOWN };
VideoKind video_kind(const std::string& path);

// How hard the H.264 encoder (x264) works: its speed preset (empty: chosen
// by the picture size, see open_video) and its constant rate factor
// (0 lossless .. 51; lower is better and larger).
struct EncoderSettings {
    std::string preset;
    int crf = 18;
};

// Whether x264 knows the preset.
bool known_preset(const std::string& preset);

struct VideoOutput {
    std::string path;  // what the user asked for
    VideoKind kind = VIDEO_UNKNOWN;
    int width = 0, height = 0;
    EncoderSettings encoder;
    std::string ffmpeg;      // "" : PNG sequence fallback
    std::string pictures;    // ffmpeg: the picture-only file before the music is added
    std::string frames_dir;  // fallback: where the PNG frames go
    std::string wav_path;    // fallback: the music beside them
    std::FILE* pipe = nullptr;
    int frames = 0;
};

// Chooses ffmpeg or the PNG fallback and says which on stderr.
bool open_video(VideoOutput* video, const std::string& path, int width, int height,
                const EncoderSettings& encoder, std::string* error);

// Adds one frame (RGB rows, top row first). To ffmpeg the frame goes
// through a thread of its own, so the capture draws the next frames while
// this one is written: a copy is taken and the call returns at once unless
// a few frames are already waiting.
bool add_video_frame(VideoOutput* video, const std::vector<uint8_t>& rgb, std::string* error);

// Finishes the pictures and adds the music (interleaved 16-bit stereo at
// `rate`): muxed into the video by ffmpeg, or written as the WAV beside
// the PNG sequence.
bool finish_video(VideoOutput* video, const std::vector<int16_t>& music, int rate, std::string* error);

// Gives up a video that failed part-way: ends the writer thread and the
// encoder without adding the music.
void abandon_video(VideoOutput* video);

// The contact sheet: thumbnails in rows, left to right, top to bottom.
struct ContactSheet {
    int thumb_width = 0, thumb_height = 0, columns = 6;
    std::vector<std::vector<uint8_t>> thumbs;
};
void add_thumbnail(ContactSheet* sheet, const std::vector<uint8_t>& rgb, int width, int height);
bool write_contact_sheet(const ContactSheet& sheet, const std::string& path, std::string* error);

#endif
