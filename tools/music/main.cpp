// brindlec-music: plays an XM module through the intro's music player,
// describes it, or renders it offline to a WAV file.
//
//   brindlec-music [--loop] [FILE.xm]          play to the song's end (Ctrl+C ends earlier)
//   brindlec-music --info [--full] [FILE.xm]   a summary; --full adds what the loader read
//   brindlec-music --wav OUT.wav [--seconds N] [--rate HZ] [FILE.xm]
//   brindlec-music --make-test-module OUT.xm [--channels N] [--rows N]
//
// Without FILE the module embedded in the intro is used. The song's end is
// the end of its first pass: where the sequence comes back to a row it has
// played, as the restart position or a jump back takes it there.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/embedded_module.h"
#include "music/music.h"
#include "platform/platform.h"
#include "tools/common/file_output.h"
#include "tools/music/module_info.h"
#include "tools/music/song_end.h"
#include "tools/music/test_module.h"

namespace {

const char* const USAGE =
    "usage: brindlec-music [--loop] [FILE.xm]\n"
    "       brindlec-music --info [--full] [FILE.xm]\n"
    "       brindlec-music --wav OUT.wav [--seconds N] [--rate HZ] [FILE.xm]\n"
    "       brindlec-music --make-test-module OUT.xm [--channels N] [--rows N]\n";

struct Options {
    std::string module_path;  // empty: the embedded module
    bool info = false;
    bool full = false;
    bool loop = false;
    std::string wav_path;
    double seconds = 0;  // 0: to the song's end and its ring-out
    int rate = OUTPUT_RATE;
    std::string test_module_path;
    int channels = 32;
    int rows = 64;
};

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

bool parse_number(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool parse_options(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        double number = 0;
        if (arg == "--info") {
            options->info = true;
        } else if (arg == "--full") {
            options->full = true;
        } else if (arg == "--loop") {
            options->loop = true;
        } else if (arg == "--wav" && has_value) {
            options->wav_path = argv[++i];
        } else if (arg == "--make-test-module" && has_value) {
            options->test_module_path = argv[++i];
        } else if (arg == "--seconds" && has_value && parse_number(argv[++i], &number)) {
            if (!(number > 0 && number <= 24 * 3600)) return false;
            options->seconds = number;
        } else if (arg == "--rate" && has_value && parse_number(argv[++i], &number)) {
            if (number < MIN_OUTPUT_RATE || number > MAX_OUTPUT_RATE || number != static_cast<int>(number))
                return false;
            options->rate = static_cast<int>(number);
        } else if (arg == "--channels" && has_value && parse_number(argv[++i], &number)) {
            if (number < 1 || number > MAX_CHANNELS || number != static_cast<int>(number)) return false;
            options->channels = static_cast<int>(number);
        } else if (arg == "--rows" && has_value && parse_number(argv[++i], &number)) {
            if (number < 1 || number > MAX_ROWS || number != static_cast<int>(number)) return false;
            options->rows = static_cast<int>(number);
        } else if (!arg.empty() && arg[0] != '-' && options->module_path.empty()) {
            options->module_path = arg;
        } else {
            return false;
        }
    }
    int modes = options->info + !options->wav_path.empty() + !options->test_module_path.empty();
    bool playing = modes == 0;
    return modes <= 1 && (!options->full || options->info) && (!options->loop || playing);
}

// --- Loading ----------------------------------------------------------------

bool read_file(const std::string& path, std::vector<uint8_t>* bytes)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return false;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    bool failed = std::ferror(in) != 0;
    int error = errno;
    std::fclose(in);
    errno = error;
    return !failed;
}

std::string module_name(const Options& options)
{
    return options.module_path.empty() ? "the embedded module" : options.module_path;
}

// Loads through the memory source, as the intro does; a refused module is
// reported with the check it failed. *note says what the file lacked when
// it loaded all the same.
Song* load_module(const Options& options, std::string* note)
{
    std::string name = module_name(options);
    std::vector<uint8_t> bytes;
    if (options.module_path.empty()) {
        bytes.assign(embedded_module, embedded_module + embedded_module_size);
    } else if (!read_file(options.module_path, &bytes)) {
        std::fprintf(stderr, "brindlec-music: cannot read %s: %s\n", name.c_str(), std::strerror(errno));
        return nullptr;
    }
    SongLoadStatus status;
    Song* song = load_song_from_memory(bytes.data(), bytes.size(), &status);
    if (!song) std::fprintf(stderr, "brindlec-music: %s: %s\n", name.c_str(), status.reason);
    *note = song ? status.reason : "";
    if (song && !note->empty() && !options.info)
        std::fprintf(stderr, "brindlec-music: %s: %s; the rest plays as silence\n", name.c_str(),
                     note->c_str());
    return song;
}

// --- --info -----------------------------------------------------------------

int print_info(Song* song, const Options& options, const std::string& note)
{
    SongPass pass;
    measure_song_pass(song, options.rate, &pass);
    std::fputs(module_summary(song, pass, options.rate, note).c_str(), stdout);
    if (options.full) std::printf("\n%s", module_dump(song).c_str());
    return 0;
}

// --- --wav ------------------------------------------------------------------

// Removes a file left cut short: only a plain file named as such goes; a
// device, a pipe or a link given as OUT is left as it was.
void remove_partial(const std::string& path)
{
    std::error_code ignored;
    if (std::filesystem::symlink_status(path, ignored).type() == std::filesystem::file_type::regular)
        std::filesystem::remove(path, ignored);
}

// The same ring and block fill as playback, with no device, written to the
// file a second of music at a time: --seconds N exactly, otherwise the
// first pass and the ring-out of its last notes.
int render_wav(Song* song, const Options& options)
{
    auto started = std::chrono::steady_clock::now();
    const bool to_end = options.seconds <= 0;
    SongPass pass = {};
    uint64_t total = static_cast<uint64_t>(options.seconds * options.rate + 0.5);
    if (to_end) {
        measure_song_pass(song, options.rate, &pass);
        if (!pass.ended) {
            std::fprintf(stderr,
                         "brindlec-music: no row of the song comes round again within %s; give --seconds\n",
                         format_duration(pass.frames, options.rate).c_str());
            return 1;
        }
        total = pass.frames + tail_frames(options.rate);
        start_song_end(song, pass, options.rate, false);
    }
    if (total > MAX_WAV_FRAMES) {
        std::fprintf(stderr,
                     "brindlec-music: %.1f s at %d Hz is more than a WAV file holds (%.1f s at most)\n",
                     static_cast<double>(total) / options.rate, options.rate,
                     static_cast<double>(MAX_WAV_FRAMES) / options.rate);
        return 1;
    }
    if (!start_offline_render(song, options.rate)) {
        std::fprintf(stderr, "brindlec-music: cannot render at %d Hz\n", options.rate);
        return 1;
    }
    std::string error;
    WavWriter wav;
    bool ok = open_wav(&wav, options.wav_path, options.rate, total, &error);
    uint64_t done = 0;
    if (ok)
        done = render_song(total, options.rate, [&](const int16_t* frames, uint32_t count) {
            return ok = write_wav_frames(&wav, frames, count, &error);
        });
    if (ok && done < total) ok = end_wav_early(&wav, &error);
    const bool opened = wav.file != nullptr;
    std::string close_error;
    if (opened && !close_wav(&wav, &close_error) && ok) {
        ok = false;
        error = close_error;
    }
    if (!ok) {
        // A file cut short would still declare every frame: leave none.
        if (opened) remove_partial(options.wav_path);
        std::fprintf(stderr, "brindlec-music: cannot write %s\n", error.c_str());
        return 1;
    }
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    double seconds = static_cast<double>(done) / options.rate;
    if (to_end)
        std::fprintf(stderr, "brindlec-music: the song's %s and %.2f s of its last notes ringing out,",
                     format_duration(pass.frames, options.rate).c_str(),
                     static_cast<double>(done - pass.frames) / options.rate);
    else
        std::fprintf(stderr, "brindlec-music: %.1f s of music,", seconds);
    std::fprintf(stderr, " rendered in %.3f s (%.0f x real time)\n", elapsed,
                 elapsed > 0 ? seconds / elapsed : 0.0);
    return 0;
}

// --- Playing ----------------------------------------------------------------

// Peak level as a bar of `cells` from -42 dBFS to full scale, '!' at the
// end once the output clips.
std::string level_meter(int peak, int cells)
{
    double db = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -100.0;
    int lit = std::clamp(static_cast<int>(std::lround((db + 42.0) / 42.0 * cells)), 0, cells);
    std::string bar(static_cast<size_t>(lit), '#');
    bar.resize(static_cast<size_t>(cells), ' ');
    if (peak >= 32767) bar.back() = '!';
    return "|" + bar + "|";
}

// The song's length as the status line gives it; dashes for a song with
// no end.
std::string duration_text(const SongPass& pass, int rate)
{
    return pass.ended ? format_duration(pass.frames, rate) : "--:--.---";
}

// One status line, cut to the terminal's width so that it never wraps.
std::string status_line(const Song* song, uint64_t played, const SongPass& pass, int rate)
{
    SongMoment moment = song_moment_at(played);
    int rows = moment.pattern < song->pattern_slots ? song->patterns[moment.pattern].row_count : 0;
    char text[160];
    std::snprintf(text, sizeof text, "%s / %s  order %3d/%-3d  pattern %3d  row %3d/%-3d  %s",
                  format_duration(played, rate).c_str(), duration_text(pass, rate).c_str(), moment.order,
                  song->song_length, moment.pattern, moment.row, rows, level_meter(moment.peak, 14).c_str());
    std::string line = text;
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 2 && line.size() > size.ws_col - 2u)
        line.resize(size.ws_col - 2u);
    return line;
}

int play(Song* song, const Options& options)
{
    SongPass pass;
    measure_song_pass(song, options.rate, &pass);
    if (!open_sound_output(options.rate)) {
        std::fprintf(stderr, "brindlec-music: no audio device could be opened at %d Hz\n", options.rate);
        return 1;
    }
    // A song that never comes back to a row it has played has no end.
    const bool endless = options.loop || !pass.ended;
    start_song_end(song, pass, options.rate, endless);
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    const bool status = isatty(STDERR_FILENO) != 0;
    play_song(song);
    std::printf("playing %s, %s%s (Ctrl+C ends)\n", module_name(options).c_str(),
                duration_text(pass, options.rate).c_str(),
                !pass.ended    ? ": no row comes round again"
                : options.loop ? ", looping"
                               : "");
    std::fflush(stdout);
    auto next_status = std::chrono::steady_clock::now();
    uint64_t end = 0, played = 0;
    while (!interrupted) {
        played = platform_audio_position() / 4;
        if (!endless && song_end_reached(&end) && played >= end) break;
        if (status && std::chrono::steady_clock::now() >= next_status) {
            std::fprintf(stderr, "\r%s", status_line(song, played, pass, options.rate).c_str());
            next_status += std::chrono::milliseconds(200);
        }
        platform_sleep_ms(20);
    }
    // The last state, and a fresh line: the two blanks cover a "^C" echoed
    // after the status line.
    if (status) std::fprintf(stderr, "\r%s  \n", status_line(song, played, pass, options.rate).c_str());
    stop_song(song);
    close_sound_output();
    return 0;
}

int make_test_module(const Options& options)
{
    std::string error;
    if (!write_file(options.test_module_path, build_test_module(options.channels, options.rows), &error)) {
        std::fprintf(stderr, "brindlec-music: cannot write %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (!options.test_module_path.empty()) return make_test_module(options);
    std::string note;
    Song* song = load_module(options, &note);
    if (!song) return 1;
    int status = 0;
    if (options.info)
        status = print_info(song, options, note);
    else if (!options.wav_path.empty())
        status = render_wav(song, options);
    else
        status = play(song, options);
    free_song(song);
    return status;
}
